// The band object: what the browser loads to show the toolbar. It tells the
// band site how large it wants to be and what its title is, and hosts one
// toolbar form as a child of the site's window. Its unit also owns the class
// factory with its registration: the toolbar entry and the context-menu
// entries.
#pragma once

#include <memory>
#include <string_view>

#include "com/server.h"
#include "com/site.h"
#include "platform/browser/desk_band.h"
#include "platform/browser/webbrowser.h"
#include "ui/band_form.h"

namespace quillmer {

inline constexpr CLSID CLSID_BrowserBand = MakeGuid(kBandClsid);
inline constexpr std::string_view kToolbarKey = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";

// One per browser window that shows the toolbar. The form is made at the
// first SetSite with a site and destroyed by CloseDW or, when the browser
// lets the band go without closing it, with the band.
class TBrowserBand final
    : public ComObject<IInputObject, IObjectWithSite, IPersistStreamInit, IDeskBand>,
      private ServerCounted {
 public:
  TBrowserBand() = default;
  ~TBrowserBand() override;

  // The band's interfaces; IOleWindow, IDockingWindow and IPersistStream are
  // not answered by their own IIDs (the site asks for IDeskBand).
  HRESULT QueryInterface(REFIID riid, void** out) override;

  HRESULT UIActivateIO(bool activate, MSG* msg) override;
  HRESULT HasFocusIO() override;
  // S_FALSE for the Tab key, which the site moves the focus with; any other
  // message is dispatched.
  HRESULT TranslateAcceleratorIO(MSG* msg) override;

  // Null keeps everything as it is. E_FAIL for a site without a window or
  // without IInputObjectSite, and when the form cannot be made.
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(REFIID riid, void** out) override;

  HRESULT GetClassID(GUID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, bool clearDirty) override;
  HRESULT GetSizeMax(std::uint64_t* size) override;
  HRESULT InitNew() override;

  // E_FAIL while there is no form (before SetSite, after CloseDW).
  HRESULT GetWindow(HWND* window) override;
  HRESULT ContextSensitiveHelp(bool enterMode) override;
  HRESULT ShowDW(bool show) override;
  HRESULT CloseDW(DWORD reserved) override;
  HRESULT ResizeBorderDW(const RECT* border, IUnknown* toolbarSite, bool reserved) override;
  // E_FAIL while there is no form.
  HRESULT GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) override;

  TBandForm* BandForm() const { return form_.get(); }

 private:
  bool FormAlive() const;
  void DestroyForm();

  std::unique_ptr<TBandForm> form_;
  HWND siteWindow_ = nullptr;
  ComPtr<IInputObjectSite> bandSite_;
  ComPtr<IWebBrowser2> siteBrowser_;
};

// No class name (so no ProgID); the band caption is its description.
std::unique_ptr<TComObjectFactory> MakeBandFactory(std::u16string_view caption);

}  // namespace quillmer
