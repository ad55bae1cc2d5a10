#include "cli/helper_stand_in.h"

#include "platform/win32/codepage.h"
#include "ui/lifecycle.h"
#include "ui/zoom.h"

namespace quillmer::cli {

HelperStandIn::HelperStandIn(IWebBrowser2* browser)
    : browser_(browser), module_(LoadModuleState()) {
  // The user's emendation tables, as in the module.
  previousTables_ = SetCurrentTables(module_->tables.get());
}

HelperStandIn::~HelperStandIn() {
  Quit();
  SetCurrentTables(previousTables_);
}

void HelperStandIn::Navigated() {
  DisconnectFormEvents(forms_);
  if (!keysDocument_) {
    ComPtr<IDispatch> document;
    if (SUCCEEDED(browser_->get_Document(document.put())) && document)
      if (auto html = document.query<IHTMLDocument2>()) {
        DWORD cookie = 0;
        if (SUCCEEDED(AtlAdvise(html.get(), this, DIID_HTMLDocumentEvents2, &cookie))) {
          keysDocument_ = html;
          keysCookie_ = cookie;
        }
      }
  }
  if (module_->shared.AutoZoom) {
    std::u16string url;
    if (SUCCEEDED(browser_->get_LocationURL(&url)))
      ApplyAutoZoom(module_->shared, browser_, EncodeCodePage(GetACP(), url));
  }
  ConnectFormEventsTree(forms_, this, browser_);
}

void HelperStandIn::Quit() {
  if (keysDocument_) AtlUnadvise(keysDocument_.get(), DIID_HTMLDocumentEvents2, keysCookie_);
  keysDocument_ = nullptr;
  DisconnectFormEvents(forms_);
}

HRESULT HelperStandIn::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT HelperStandIn::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT HelperStandIn::GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT HelperStandIn::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                              EXCEPINFO*, UINT*) {
  return InvokeFormEvent(*module_, browser_, id, params) ? S_OK : DISP_E_MEMBERNOTFOUND;
}

}  // namespace quillmer::cli
