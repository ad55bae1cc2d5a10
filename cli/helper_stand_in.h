// A stand-in, in quillmer browse, for the browser helper object's handling of
// the browser's events, until the helper handles them itself. After each
// navigation of the window it does what the helper does when a page has
// loaded: auto-zoom of the page (with AutoZoom on), the forms of the page and
// its frames connected (their values converted before they are sent), and,
// once per window, the first page's keys connected (the hotkeys). It reads
// its settings from Quillmer.ini as the helper does, and acts only when the
// helper is registered. Remove it when the helper's own events do this.
#pragma once

#include <memory>

#include "com/form_events.h"
#include "platform/browser/mshtml.h"
#include "ui/module_state.h"

namespace quillmer::cli {

class HelperStandIn final : public ComObject<IDispatch> {
 public:
  // browser: the window's top-level browser, which outlives the stand-in's
  // connections (Quit ends them). Loads the settings; Error when Quillmer.ini
  // cannot be read.
  explicit HelperStandIn(IWebBrowser2* browser);
  ~HelperStandIn() override;

  // After a navigation: drops the form connections of the page left, zooms
  // the page, connects its forms and (the first time) its keys.
  void Navigated();
  // The window closes: every connection goes.
  void Quit();

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  HRESULT GetIDsOfNames(REFIID riid, const std::u16string* names, UINT count, LCID lcid,
                        DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

 private:
  IWebBrowser2* browser_;
  std::unique_ptr<ModuleState> module_;
  EngineTables* previousTables_ = nullptr;
  TFormConnections forms_;
  ComPtr<IHTMLDocument2> keysDocument_;
  DWORD keysCookie_ = 0;
};

}  // namespace quillmer::cli
