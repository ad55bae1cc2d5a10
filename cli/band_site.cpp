#include "cli/band_site.h"

#include <algorithm>
#include <cstdio>

#include "com/band.h"
#include "platform/base/error.h"
#include "platform/browser/desk_band.h"
#include "platform/com/activation.h"
#include "platform/com/object.h"
#include "platform/com/service.h"
#include "platform/win32/registry.h"

namespace quillmer::cli {
namespace {

// What the bands are given as their site: the band site's window, the focus
// notifications (ignored), and the window's browser as a service.
class BandSite final : public ComObject<IOleWindow, IInputObjectSite, IServiceProvider> {
 public:
  BandSite(HWND window, IWebBrowser2* browser) : window_(window), browser_(browser) {}

  HRESULT GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(bool) override { return E_NOTIMPL; }
  HRESULT OnFocusChangeIS(IUnknown*, bool) override { return S_OK; }
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if ((service == SID_SWebBrowserApp || service == SID_STopLevelBrowser) && browser_)
      return browser_->QueryInterface(riid, out);
    return E_NOINTERFACE;
  }
  void Forget() { browser_ = nullptr; }

 private:
  HWND window_;
  ComPtr<IWebBrowser2> browser_;
};

}  // namespace

struct BandSiteHost::Impl {
  ComPtr<BandSite> site;
  struct Band {
    std::string clsid;
    ComPtr<IObjectWithSite> object;
    ComPtr<IDeskBand> desk;
    HWND window = nullptr;
    int height = 0;
  };
  std::vector<Band> bands;
  void LoadBands() {
    RegKey key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
      return;
    std::string name;
    for (DWORD i = 0; RegEnumValue(key.get(), i, &name) == ERROR_SUCCESS; ++i) {
      auto clsid = GuidFromString(name);
      if (!clsid) continue;
      Band band{name, {}, {}, nullptr, 0};
      HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                    band.object.put_void());
      if (SUCCEEDED(hr)) hr = band.object->SetSite(site->Identity());
      if (SUCCEEDED(hr)) hr = band.object->QueryInterface(IID_OF(IDeskBand), band.desk.put_void());
      if (SUCCEEDED(hr)) hr = band.desk->GetWindow(&band.window);
      if (FAILED(hr)) {
        std::string why = LastActivationError();
        std::fprintf(stderr, "quillmer browse: the toolbar %s was not loaded: %s\n", name.c_str(),
                     (why.empty() ? HResultText(hr) : why).c_str());
        if (band.object) band.object->SetSite(nullptr);
        continue;
      }
      DESKBANDINFO info;
      info.dwMask = DBIM_MINSIZE | DBIM_ACTUAL | DBIM_TITLE;
      if (SUCCEEDED(band.desk->GetBandInfo(0, 0, &info)))
        band.height = std::max<int>(info.ptMinSize.y, info.ptActual.y);
      band.desk->ShowDW(true);
      bands.push_back(std::move(band));
    }
  }

  int BandsHeight() const {
    int h = 0;
    for (const auto& b : bands) h += b.height;
    return h;
  }
};

BandSiteHost::BandSiteHost(HWND siteWindow, IWebBrowser2* browser)
    : impl_(std::make_unique<Impl>()) {
  impl_->site = MakeComObject<BandSite>(siteWindow, browser);
  impl_->LoadBands();
}

BandSiteHost::~BandSiteHost() { Close(); }

int BandSiteHost::Height() const {
  int h = 0;
  for (const auto& b : impl_->bands) h += b.height;
  return h;
}

void BandSiteHost::Layout(int width) {
  Toolkit* kit = CurrentToolkit();
  int top = 0;
  for (const auto& b : impl_->bands) {
    if (kit && kit->Exists(b.window)) {
      kit->SetInt(b.window, Prop::Left, 0);
      kit->SetInt(b.window, Prop::Top, top);
      kit->SetInt(b.window, Prop::Width, width);
      kit->SetInt(b.window, Prop::Height, b.height);
    }
    top += b.height;
  }
}

void BandSiteHost::Close() {
  for (auto& b : impl_->bands) {
    b.desk->ShowDW(false);
    b.desk->CloseDW(0);
    b.object->SetSite(nullptr);
  }
  impl_->bands.clear();
  if (impl_->site) impl_->site->Forget();
  impl_->site = nullptr;
}

std::vector<std::string> BandSiteHost::Classes() const {
  std::vector<std::string> out;
  for (const auto& b : impl_->bands) out.push_back(b.clsid);
  return out;
}

}  // namespace quillmer::cli
