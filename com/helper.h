// The browser helper object: one per browser window, it follows the window's
// navigation and converts and zooms each page while it loads, puts a page's
// original charset back before the window leaves it, and keeps the page's
// forms connected. Its unit also owns the host check and the class factory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/form_events.h"
#include "com/server.h"
#include "com/site.h"
#include "page/page_state.h"
#include "platform/browser/mshtml.h"

namespace quillmer {

inline constexpr CLSID CLSID_IEBrowserHelper = MakeGuid(kHelperClsid);

// 2 when the host process is "explorer.exe", 0 otherwise (and while no
// server is loaded); set at load.
std::uint8_t HostIsExplorer();
// The flag's value for a host program's path (its file name, any case).
std::uint8_t HostCheck(std::string_view programPath);

// The helper's own interface: IDispatch, through which every event source
// calls it, and the one method page conversion calls after it has switched a
// page's charset.
struct IIEBrowserHelper : IDispatch {
  QM_INTERFACE(IIEBrowserHelper, IDispatch, "{8B6F0A38-3C95-4E7A-A2D4-61C9E5F08B72}")
  // Connects the onsubmit events of the forms of the browser's document.
  virtual HRESULT ConnectFormEvents(IWebBrowser2* browser) = 0;
};

inline constexpr IID IID_IIEBrowserHelper = IIEBrowserHelper::iid;

class TIEBrowserHelper final : public ObjectWithSite<IIEBrowserHelper> {
 public:
  TIEBrowserHelper() = default;
  ~TIEBrowserHelper() override;

  // Finds the window's top-level browser through the site, connects to its
  // events and stores the helper on it as a property. Inert (S_OK, nothing
  // kept) in the explorer.exe host, for a null site or a site without a
  // browser; E_FAIL when the browser refuses the connection or the property.
  HRESULT SetSite(IUnknown* site) override;

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  HRESULT GetIDsOfNames(REFIID riid, const std::u16string* names, UINT count, LCID lcid,
                        DISPID* ids) override;
  // The browser's, the document's and the forms' events. S_OK for each event
  // it handles, whatever became of the handling; DISP_E_MEMBERNOTFOUND for
  // any other DISPID. result is never written.
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

  HRESULT ConnectFormEvents(IWebBrowser2* browser) override;

  // What the helper knows of its window.
  IWebBrowser2* Browser() const { return browser_.get(); }
  const std::u16string& CurrentURL() const { return currentUrl_; }
  const std::u16string& CompletedURL() const { return completedUrl_; }
  bool Busy() const { return busy_; }
  std::int32_t PendingNavigations() const { return pendingNavigations_; }
  const TFormConnections& FormConnections() const { return formConnections_; }
  bool DocumentEventsConnected() const { return documentEventsCookie_ != 0; }

  // Called just before the whole window is converted while it loads; tests
  // send nested events from here.
  std::function<void()> beforeWindowConversion;

 private:
  void BeforeNavigate2(const DispatchArgs& args);
  void NavigateComplete2(const DispatchArgs& args);
  void DocumentComplete(const DispatchArgs& args);
  void DownloadComplete();
  void OnQuit();

  bool IsTopLevel(IWebBrowser2* browser) const;
  void StoreHelperProperty(IWebBrowser2* browser);
  void ConnectDocumentEvents();
  void DisconnectDocumentEvents();
  void ApplyAutoZoomToPage();
  void ConnectFormEventsTree(IWebBrowser2* browser);
  void DisconnectFormEvents();

  std::u16string currentUrl_;
  std::u16string completedUrl_;
  bool busy_ = false;
  DWORD browserEventsCookie_ = 0;
  DWORD documentEventsCookie_ = 0;
  ComPtr<IConnectionPoint> browserEventsPoint_;
  // The document whose events are connected, and their point: the events
  // are taken back from the document that gives them, not from whichever is
  // current then.
  ComPtr<IUnknown> documentEventsSource_;
  ComPtr<IConnectionPoint> documentEventsPoint_;
  std::int32_t pendingNavigations_ = 0;
  ComPtr<IWebBrowser2> browser_;
  TFormConnections formConnections_;
};

// How page conversion reaches a helper's ConnectFormEvents: through the
// IDispatch it stored on a browser.
FormEventsConnector HelperFormConnector();

// Named "Quillmer_Helper"; registers the Browser Helper Objects key too.
std::unique_ptr<TComObjectFactory> MakeHelperFactory();

}  // namespace quillmer
