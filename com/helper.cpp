#include "com/helper.h"

#include <optional>

#include "page/page_access.h"
#include "page/page_convert.h"
#include "platform/win32/codepage.h"
#include "ui/lifecycle.h"
#include "ui/shared_settings.h"
#include "ui/zoom.h"

namespace quillmer {
namespace {

class TIEBrowserHelperFactory final : public TComObjectFactory {
 public:
  TIEBrowserHelperFactory()
      : TComObjectFactory(CLSID_IEBrowserHelper, std::u16string(kHelperClassName),
                          std::u16string(kHelperClassName)) {}

  void UpdateRegistry(bool registering) override {
    TComObjectFactory::UpdateRegistry(registering);
    // The key's presence is what switches the helper on.
    const std::string key = std::string(kBrowserHelperObjectsKey) + GuidToString(ClassID());
    if (registering)
      WriteRegString(HKEY_LOCAL_MACHINE, key, true, "", kHelperRegistryName);
    else
      DeleteRegTree(HKEY_LOCAL_MACHINE, key);
  }

 protected:
  ComPtr<IUnknown> CreateComObject() override {
    return ComPtr<IUnknown>(MakeComObject<TIEBrowserHelper>()->Identity());
  }
};

template <class Char>
Char LowerAscii(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + 32) : c;
}

template <class Char>
bool EqualNoCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

constexpr std::u16string_view kAboutBlank = u"about:blank";

// The browser or frame an event names. Anything but an object (a sender that
// got the event's arguments wrong) names none.
ComPtr<IWebBrowser2> BrowserArg(const DispatchArgs& args, UINT position) {
  const VARIANT* v = args.value(position);
  if (!v) return {};
  IDispatch* object = nullptr;
  if (v->vt == VT_DISPATCH)
    object = v->pdispVal.get();
  else if (v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal)
    object = *v->ppdispVal;
  if (!object) return {};
  ComPtr<IWebBrowser2> browser;
  if (FAILED(object->QueryInterface(IID_IWebBrowser2, browser.put_void()))) return {};
  return browser;
}

// An event's URL: a string, given by reference or not; nothing for any other
// type.
std::optional<std::u16string> UrlArg(const DispatchArgs& args, UINT position) {
  const VARIANT* v = args.value(position);
  if (!v) return std::nullopt;
  if (v->vt == VT_BSTR) return v->bstrVal;
  if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) return *v->pbstrVal;
  return std::nullopt;
}

// The browser's document as an HTML document; empty when it holds none.
ComPtr<IHTMLDocument2> HtmlDocument(IWebBrowser2* browser) {
  ComPtr<IDispatch> document;
  OleCheck(browser->get_Document(document.put()), "IWebBrowser2::get_Document");
  return document ? document.query<IHTMLDocument2>() : ComPtr<IHTMLDocument2>();
}

// The point through which source sends events, and the sink's cookie on it.
// Error when the source has no such point or refuses the sink: nothing is
// then kept that a later Unadvise could trip on.
std::pair<ComPtr<IConnectionPoint>, DWORD> Connect(IUnknown* source, REFIID events,
                                                   IUnknown* sink) {
  auto container = QueryOrThrow<IConnectionPointContainer>(source);
  ComPtr<IConnectionPoint> point;
  OleCheck(container->FindConnectionPoint(events, point.put()),
           "IConnectionPointContainer::FindConnectionPoint");
  ThrowIfNull(point);
  DWORD cookie = 0;
  OleCheck(point->Advise(sink, &cookie), "IConnectionPoint::Advise");
  // No connection has cookie 0: a point that gives it connected nothing.
  if (cookie == 0) throw Error("IConnectionPoint::Advise gave no cookie", E_FAIL);
  return {point, cookie};
}

std::optional<ConvDirection> AutoConvertDirection(std::uint8_t mode) {
  if (mode == 1) return cdToSim;
  if (mode == 2) return cdToTrad;
  return std::nullopt;
}

}  // namespace

std::uint8_t HostIsExplorer() {
  const ServerState* server = CurrentServer();
  return server ? server->hostIsExplorer : 0;
}

std::uint8_t HostCheck(std::string_view programPath) {
  auto slash = programPath.find_last_of("/\\");
  std::string_view name =
      slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
  return EqualNoCase(name, std::string_view("explorer.exe")) ? 2 : 0;
}

TIEBrowserHelper::~TIEBrowserHelper() = default;

HRESULT TIEBrowserHelper::SetSite(IUnknown* site) {
  ObjectWithSite::SetSite(site);
  pendingNavigations_ = 0;
  // A null site leaves the connections alone: OnQuit takes them back.
  if (HostIsExplorer() != 0 || !site) return S_OK;
  try {
    auto provider = QueryOrThrow<IServiceProvider>(site);
    ComPtr<IServiceProvider> top;
    if (FAILED(QueryService(provider.get(), SID_STopLevelBrowser, &top)) || !top) return S_OK;
    ComPtr<IWebBrowser2> browser;
    if (FAILED(QueryService(top.get(), SID_SWebBrowserApp, &browser)) || !browser) return S_OK;
    // Sited again: the earlier window's events go first.
    if (browserEventsPoint_) browserEventsPoint_->Unadvise(browserEventsCookie_);
    browserEventsPoint_ = nullptr;
    browserEventsCookie_ = 0;
    browser_ = nullptr;
    auto [point, cookie] =
        Connect(browser.get(), DIID_DWebBrowserEvents2, static_cast<IIEBrowserHelper*>(this));
    browser_ = browser;
    browserEventsPoint_ = point;
    browserEventsCookie_ = cookie;
    StoreHelperProperty(browser_.get());
    return S_OK;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

HRESULT TIEBrowserHelper::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT TIEBrowserHelper::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT TIEBrowserHelper::GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT TIEBrowserHelper::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) {
  // A handler may make the browser drop its last reference to the helper.
  ComPtr<IUnknown> keep(Identity());
  switch (id) {
    case DISPID_BEFORENAVIGATE2:
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
    case DISPID_DOWNLOADCOMPLETE:
    case DISPID_DOWNLOADBEGIN:
    case DISPID_ONQUIT:
    case DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT:
    case DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN:
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  // The browser is told nothing of what became of the handling.
  try {
    if (id == DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT ||
        id == DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN) {
      // Held here: a hotkey's conversion may run into OnQuit, which lets the
      // browser go.
      ComPtr<IWebBrowser2> browser = browser_;
      if (ModuleState* module = CurrentModule())
        InvokeFormEvent(*module, browser.get(), id, params);
      return S_OK;
    }
    const DispatchArgs args(params);
    switch (id) {
      case DISPID_BEFORENAVIGATE2:
        BeforeNavigate2(args);
        break;
      case DISPID_NAVIGATECOMPLETE2:
        NavigateComplete2(args);
        break;
      case DISPID_DOCUMENTCOMPLETE:
        DocumentComplete(args);
        break;
      case DISPID_DOWNLOADCOMPLETE:
        DownloadComplete();
        break;
      case DISPID_ONQUIT:
        OnQuit();
        break;
      default:
        break;
    }
  } catch (const std::exception&) {
  }
  return S_OK;
}

HRESULT TIEBrowserHelper::ConnectFormEvents(IWebBrowser2* browser) {
  quillmer::ConnectFormEvents(formConnections_, static_cast<IIEBrowserHelper*>(this), browser);
  return S_OK;
}

bool TIEBrowserHelper::IsTopLevel(IWebBrowser2* browser) const {
  return browser_ && browser && IsSameObject(browser, browser_.get());
}

void TIEBrowserHelper::StoreHelperProperty(IWebBrowser2* browser) {
  OleCheck(browser->PutProperty(std::u16string(kHelperProperty),
                                VariantDispatch(static_cast<IIEBrowserHelper*>(this))),
           "IWebBrowser2::PutProperty");
}

void TIEBrowserHelper::BeforeNavigate2(const DispatchArgs& args) {
  ++pendingNavigations_;
  ComPtr<IWebBrowser2> browser = BrowserArg(args, 0);
  if (!browser) return;
  std::optional<std::u16string> url = UrlArg(args, 1);
  if (!url) return;
  ModuleState* module = CurrentModule();
  if (!module) return;
  // A new page is handled by the settings as they now stand on disk.
  module->RefreshSettings();

  if (module->shared.page.AlterWBCharset) {
    // Put back the charset the page came with before the browser leaves it,
    // so that what it keeps of the page (history, cache) reads as it was.
    const std::u16string original = GetOrigCharset(browser.get());
    ComPtr<IHTMLDocument2> document = HtmlDocument(browser.get());
    std::u16string current;
    if (!EqualNoCase(std::u16string_view(*url), kAboutBlank) && document)
      OleCheck(document->get_charset(&current), "IHTMLDocument2::get_charset");
    if (!original.empty() && !EqualNoCase<char16_t>(original, current) && document)
      OleCheck(document->put_charset(original), "IHTMLDocument2::put_charset");
  }
  OleCheck(browser->PutProperty(std::u16string(kOrigCharsetProperty), VariantString(u"")),
           "IWebBrowser2::PutProperty");

  if (IsTopLevel(browser.get())) {
    pendingNavigations_ = 1;
    currentUrl_ = *url;
    DisconnectFormEvents();
  }
}

void TIEBrowserHelper::NavigateComplete2(const DispatchArgs& args) {
  ComPtr<IWebBrowser2> browser = BrowserArg(args, 0);
  if (!browser) return;
  StoreHelperProperty(browser.get());
  if (!IsTopLevel(browser.get())) return;
  std::optional<std::u16string> url = UrlArg(args, 1);
  if (!url) return;
  currentUrl_ = *url;
  ConnectDocumentEvents();
}

void TIEBrowserHelper::ConnectDocumentEvents() {
  ComPtr<IDispatch> current;
  OleCheck(browser_->get_Document(current.put()), "IWebBrowser2::get_Document");
  if (!current) return;
  ComPtr<IHTMLDocument2> document;
  if (current->QueryInterface(IID_IHTMLDocument2, document.put_void()) != S_OK || !document) return;
  ComPtr<IUnknown> identity;
  document->QueryInterface(IID_IUnknown, identity.put_void());
  if (documentEventsCookie_ != 0) {
    if (IsSameObject(identity.get(), documentEventsSource_.get())) return;
    // A new page: the keys are the new page's.
    DisconnectDocumentEvents();
  }
  auto [point, cookie] =
      Connect(document.get(), DIID_HTMLDocumentEvents2, static_cast<IIEBrowserHelper*>(this));
  documentEventsSource_ = identity;
  documentEventsPoint_ = point;
  documentEventsCookie_ = cookie;
}

void TIEBrowserHelper::DisconnectDocumentEvents() {
  if (documentEventsCookie_ != 0 && documentEventsPoint_)
    documentEventsPoint_->Unadvise(documentEventsCookie_);
  documentEventsPoint_ = nullptr;
  documentEventsSource_ = nullptr;
  documentEventsCookie_ = 0;
}

void TIEBrowserHelper::DocumentComplete(const DispatchArgs& args) {
  if (--pendingNavigations_ < 0) pendingNavigations_ = 0;
  ModuleState* module = CurrentModule();
  if (!module) return;
  if (browser_ && module->shared.AutoZoom) ApplyAutoZoomToPage();

  ComPtr<IWebBrowser2> browser = BrowserArg(args, 0);
  std::optional<std::u16string> url = UrlArg(args, 1);
  if (!url) return;
  if (IsTopLevel(browser.get())) completedUrl_ = *url;
  if (!browser || busy_ || *url == kAboutBlank) return;

  if (auto direction = AutoConvertDirection(module->shared.AutoConvert))
    ConvertDocument(module->PageConversion(), browser.get(), *direction,
                    ConversionTrigger::Automatic, CharsetPolicy::MaySwitch);
  ConnectFormEvents(browser.get());
}

void TIEBrowserHelper::DownloadComplete() {
  // Only the handling that set Busy clears it: a nested one that ends early
  // leaves the outer conversion guarded.
  bool setBusy = false;
  struct ClearBusy {
    TIEBrowserHelper& helper;
    bool& set;
    ~ClearBusy() {
      if (set) helper.busy_ = false;
    }
  } clearBusy{*this, setBusy};

  ModuleState* module = CurrentModule();
  if (!module || !browser_ || currentUrl_ == kAboutBlank) return;
  READYSTATE state = READYSTATE_UNINITIALIZED;
  OleCheck(browser_->get_ReadyState(&state), "IWebBrowser2::get_ReadyState");
  // Only while the page is still loading.
  if (state == READYSTATE_COMPLETE) return;
  // The user's own conversion of this window is under way.
  if (module->page.IsConvertingBrowser(browser_.get())) return;
  if (pendingNavigations_ != 0 && currentUrl_ != completedUrl_) return;
  if (module->shared.AutoZoom) ApplyAutoZoomToPage();
  if (busy_) return;
  busy_ = true;
  setBusy = true;

  ComPtr<IWebBrowser2> browser = browser_;
  StoreHelperProperty(browser.get());
  const int frames = CountEmbeddedObjects(browser.get());
  for (int i = 0; i < frames; ++i)
    if (ComPtr<IWebBrowser2> frame = GetEmbeddedBrowser(browser.get(), i))
      StoreHelperProperty(frame.get());

  if (beforeWindowConversion) beforeWindowConversion();
  if (auto direction = AutoConvertDirection(module->shared.AutoConvert))
    ConvertBrowserTree(module->PageConversion(), browser.get(), *direction,
                       ConversionTrigger::Automatic, CharsetPolicy::Keep);
  if (!formConnections_.empty()) DisconnectFormEvents();
  ConnectFormEventsTree(browser.get());
}

void TIEBrowserHelper::OnQuit() {
  if (browserEventsPoint_) browserEventsPoint_->Unadvise(browserEventsCookie_);
  browserEventsPoint_ = nullptr;
  browserEventsCookie_ = 0;
  DisconnectDocumentEvents();
  DisconnectFormEvents();
  // The window is closing: holding its browser would keep the window, and
  // the frames that hold this helper, alive.
  browser_ = nullptr;
}

// Whatever auto-zoom raises (a broken entry of the user's list, a URL the
// code page cannot hold) ends here, so that the conversion and the forms that
// follow still get done.
void TIEBrowserHelper::ApplyAutoZoomToPage() {
  ModuleState* module = CurrentModule();
  if (!module || !browser_) return;
  try {
    ComPtr<IWebBrowser2> browser = browser_;
    ApplyAutoZoom(module->shared, browser.get(), EncodeCodePage(GetACP(), currentUrl_));
  } catch (const std::exception&) {
  }
}

void TIEBrowserHelper::ConnectFormEventsTree(IWebBrowser2* browser) {
  quillmer::ConnectFormEventsTree(formConnections_, static_cast<IIEBrowserHelper*>(this), browser);
}

void TIEBrowserHelper::DisconnectFormEvents() { quillmer::DisconnectFormEvents(formConnections_); }

FormEventsConnector HelperFormConnector() {
  return [](IDispatch* helper, IWebBrowser2* browser) {
    if (!helper) return;
    ComPtr<IIEBrowserHelper> own;
    if (SUCCEEDED(helper->QueryInterface(IID_IIEBrowserHelper, own.put_void())) && own)
      own->ConnectFormEvents(browser);
  };
}

std::unique_ptr<TComObjectFactory> MakeHelperFactory() {
  return std::make_unique<TIEBrowserHelperFactory>();
}

}  // namespace quillmer
