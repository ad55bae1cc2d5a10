#include "cli/automation.h"

#include "platform/com/activation.h"
#include "platform/win32/dialogs.h"

namespace quillmer::cli {

ComPtr<IDispatch> CreateAutomationObject(std::u16string_view progId) {
  const std::string name = ToUtf8(progId);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(progId, &clsid)))
    throw Error("no class is registered as \"" + name + "\" (quillmer register adds ours)",
                REGDB_E_CLASSNOTREG);
  ComPtr<IDispatch> object;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr)) {
    std::string why = LastActivationError();
    if (why.empty()) why = HResultText(hr);
    throw Error("cannot create \"" + name + "\": " + why, hr);
  }
  return object;
}

VARIANT CallMethod(IDispatch* object, std::u16string_view name, std::vector<VARIANT> args) {
  const std::string method = ToUtf8(name);
  std::u16string n(name);
  DISPID id = DISPID_UNKNOWN;
  if (HRESULT hr = object->GetIDsOfNames(GUID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr))
    throw Error("the object has no method " + method + ": " + HResultText(hr), hr);
  VARIANT result;
  EXCEPINFO excep;
  HRESULT hr = InvokeDispatch(object, id, DISPATCH_METHOD, std::move(args), &result, {}, &excep);
  if (hr == DISP_E_EXCEPTION) {
    std::string text = ToUtf8(excep.bstrDescription);
    if (!excep.bstrSource.empty()) text = ToUtf8(excep.bstrSource) + ": " + text;
    throw Error(method + " failed: " + text, excep.scode ? excep.scode : hr);
  }
  if (FAILED(hr)) throw Error(method + " failed: " + HResultText(hr), hr);
  return result;
}

void FreeUnusedServers() { CoFreeUnusedLibraries(); }

}  // namespace quillmer::cli
