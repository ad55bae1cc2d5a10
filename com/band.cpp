#include "com/band.h"

#include <algorithm>

#include "page/context_menu.h"
#include "platform/com/service.h"
#include "platform/win32/dialogs.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

// The desk-band category the platform files bands under.
constexpr std::string_view kDeskBandCategory = "{00021492-0000-0000-C000-000000000046}";

// The captions' language: the loaded settings', else the system's.
UINT MenuCodePage() {
  const ModuleState* module = CurrentModule();
  return module ? module->shared.page.uiCodePage : 0;
}

class TBrowserBandFactory final : public TComObjectFactory {
 public:
  explicit TBrowserBandFactory(std::u16string_view caption)
      : TComObjectFactory(CLSID_BrowserBand, u"", std::u16string(caption)) {}

  void UpdateRegistry(bool registering) override {
    TComObjectFactory::UpdateRegistry(registering);
    const std::string clsid = GuidToString(ClassID());
    const std::string classKey = "CLSID\\" + clsid;
    if (registering) {
      // The pages are found by the module's long path, spaces and all.
      const std::string module = RegistryModulePath(false);
      for (int n = 1; n <= kMenuEntryCount; ++n) {
        std::string caption;
        GetMenuCaption(n, caption, MenuCodePage());
        RegisterMenuExt(caption, "res://" + module + std::string(kMenuPageSuffixes[n - 1]),
                        kMenuContextDefault, kMenuFlags);
      }
      WriteRegString(HKEY_CLASSES_ROOT, classKey, true, "", kBandRegistryName);
      WriteRegString(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32", true, "ThreadingModel",
                     "Apartment");
      WriteRegString(HKEY_LOCAL_MACHINE, kToolbarKey, true, clsid, kBandRegistryName);
    } else {
      for (int n = 1; n <= kMenuEntryCount; ++n) {
        std::string caption;
        GetMenuCaption(n, caption, MenuCodePage());
        UnregisterMenuExt(caption);
      }
      const std::string category(kDeskBandCategory);
      DeleteRegTree(HKEY_CLASSES_ROOT, "Component Categories\\" + category + "\\Enum");
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey + "\\Implemented Categories\\" + category);
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32");
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey);
      RegKey toolbar;
      if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_ALL_ACCESS, toolbar.put()) ==
          ERROR_SUCCESS) {
        LONG rc = RegDeleteValue(toolbar.get(), clsid);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
          throw Error("Error deleting system registry entry: " + std::string(kToolbarKey) +
                          " in '" + RegistryFilePath() + "': " + RegErrorText(rc),
                      E_FAIL);
      }
    }
  }

 protected:
  ComPtr<IUnknown> CreateComObject() override {
    return ComPtr<IUnknown>(MakeComObject<TBrowserBand>()->Identity());
  }
};

}  // namespace

TBrowserBand::~TBrowserBand() {
  // A browser that lets the band go without closing it leaves no toolbar
  // behind in ToolbarWindows.
  DestroyForm();
}

HRESULT TBrowserBand::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_OF(IOleWindow) || riid == IID_OF(IDockingWindow) || riid == IID_IPersistStream) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_NOINTERFACE;
  }
  return ComObject::QueryInterface(riid, out);
}

HRESULT TBrowserBand::UIActivateIO(bool, MSG*) { return S_OK; }

HRESULT TBrowserBand::HasFocusIO() { return S_OK; }

HRESULT TBrowserBand::TranslateAcceleratorIO(MSG* msg) {
  if (!msg) return E_POINTER;
  constexpr WPARAM kVkTab = 9;
  if (msg->wParam == kVkTab) return S_FALSE;
  // Key messages need no translation into characters here: the toolkit
  // delivers text itself.
  DispatchMessage(*msg);
  return S_OK;
}

HRESULT TBrowserBand::SetSite(IUnknown* site) {
  if (!site) return S_OK;
  try {
    siteWindow_ = nullptr;
    if (ComPtr<IOleWindow> window = ComPtr<IUnknown>(site).query<IOleWindow>())
      window->GetWindow(&siteWindow_);
    if (!siteWindow_) return E_FAIL;
    ComPtr<IInputObjectSite> inputSite = ComPtr<IUnknown>(site).query<IInputObjectSite>();
    if (!inputSite) return E_FAIL;
    bandSite_ = inputSite;
    siteBrowser_ = nullptr;
    if (ComPtr<IServiceProvider> services = ComPtr<IUnknown>(site).query<IServiceProvider>()) {
      ComPtr<IWebBrowser2> browser;
      if (SUCCEEDED(QueryService(services.get(), SID_SWebBrowserApp, &browser)))
        siteBrowser_ = browser;
    }
    if (!form_) {
      ModuleState* module = CurrentModule();
      if (!module) return E_FAIL;
      form_ = std::make_unique<TBandForm>(*module, siteWindow_);
    }
    form_->Browser = siteBrowser_;
    return S_OK;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

HRESULT TBrowserBand::GetSite(REFIID riid, void** out) {
  if (out) *out = nullptr;
  if (!bandSite_) return E_FAIL;
  return bandSite_->QueryInterface(riid, out);
}

HRESULT TBrowserBand::GetClassID(GUID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_BrowserBand;
  return S_OK;
}

HRESULT TBrowserBand::IsDirty() { return S_FALSE; }
HRESULT TBrowserBand::Load(IStream*) { return S_OK; }
HRESULT TBrowserBand::Save(IStream*, bool) { return S_OK; }
HRESULT TBrowserBand::GetSizeMax(std::uint64_t*) { return E_NOTIMPL; }
HRESULT TBrowserBand::InitNew() { return E_NOTIMPL; }

HRESULT TBrowserBand::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = nullptr;
  if (!form_) return E_FAIL;
  *window = form_->Handle();
  return S_OK;
}

HRESULT TBrowserBand::ContextSensitiveHelp(bool) { return E_NOTIMPL; }

bool TBrowserBand::FormAlive() const { return form_ && IsWindow(form_->Handle()); }

HRESULT TBrowserBand::ShowDW(bool show) {
  try {
    if (FormAlive()) form_->SetVisible(show);
  } catch (const std::exception&) {
  }
  return S_OK;
}

HRESULT TBrowserBand::CloseDW(DWORD) {
  try {
    if (FormAlive()) form_->Hide();
  } catch (const std::exception&) {
  }
  // A form whose window went with its parent is let go as well, with the
  // browser it holds.
  DestroyForm();
  ProcessMessages();
  return S_OK;
}

void TBrowserBand::DestroyForm() {
  if (!form_) return;
  form_->Browser = nullptr;
  form_.reset();
}

HRESULT TBrowserBand::ResizeBorderDW(const RECT*, IUnknown*, bool) { return E_NOTIMPL; }

HRESULT TBrowserBand::GetBandInfo(DWORD, DWORD, DESKBANDINFO* info) {
  if (!info) return E_POINTER;
  if (!FormAlive()) return E_FAIL;
  try {
    TBandForm& form = *form_;
    if (info->dwMask & DBIM_MINSIZE) {
      // The band can shrink to the two page buttons: up to the first
      // separator, or to the end of the second button when that is hidden.
      const int width = form.ToolButton3.Visible()
                            ? form.ToolButton3.Left()
                            : form.ToolButton2.Left() + form.ToolButton2.Width();
      info->ptMinSize = {width, form.ToolButton1.Height() + 2};
    }
    if (info->dwMask & DBIM_MAXSIZE) info->ptMaxSize = {-1, -1};
    if (info->dwMask & DBIM_INTEGRAL) info->ptIntegral = {1, 1};
    if (info->dwMask & DBIM_ACTUAL) info->ptActual = {form.Width(), form.Height()};
    if (info->dwMask & DBIM_TITLE) {
      std::u16string_view caption = form.Module().shared.bandCaption;
      constexpr std::size_t kMaxTitle = std::size(DESKBANDINFO{}.wszTitle) - 1;
      if (caption.size() > kMaxTitle) {
        caption = caption.substr(0, kMaxTitle);
        // Half a surrogate pair is no character.
        if (caption.back() >= 0xD800 && caption.back() < 0xDC00) caption.remove_suffix(1);
      }
      std::copy(caption.begin(), caption.end(), info->wszTitle);
      info->wszTitle[caption.size()] = u'\0';
    }
    if (info->dwMask & DBIM_MODEFLAGS) info->dwModeFlags = DBIMF_NORMAL;
    // The site paints its own background.
    info->dwMask &= ~DBIM_BKCOLOR;
    return S_OK;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

std::unique_ptr<TComObjectFactory> MakeBandFactory(std::u16string_view caption) {
  return std::make_unique<TBrowserBandFactory>(caption);
}

}  // namespace quillmer
