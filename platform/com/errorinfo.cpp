#include "platform/com/errorinfo.h"

#include "platform/com/object.h"
#include "platform/dialogs.h"

namespace quillmer {
namespace {

class TErrorInfo final : public ComObject<IErrorInfo> {
 public:
  TErrorInfo(std::u16string_view source, std::u16string_view description, REFGUID iid,
             std::u16string_view helpFile, DWORD helpContext)
      : source_(source),
        description_(description),
        iid_(iid),
        helpFile_(helpFile),
        helpContext_(helpContext) {}

  HRESULT GetGUID(GUID* out) override { return Give(out, iid_); }
  HRESULT GetSource(std::u16string* out) override { return Give(out, source_); }
  HRESULT GetDescription(std::u16string* out) override { return Give(out, description_); }
  HRESULT GetHelpFile(std::u16string* out) override { return Give(out, helpFile_); }
  HRESULT GetHelpContext(DWORD* out) override { return Give(out, helpContext_); }

 private:
  template <class T>
  static HRESULT Give(T* out, const T& value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
  }

  std::u16string source_, description_;
  GUID iid_;
  std::u16string helpFile_;
  DWORD helpContext_;
};

// Each thread has its own last error, as on the platform.
thread_local ComPtr<IErrorInfo> t_errorInfo;

}  // namespace

ComPtr<IErrorInfo> CreateErrorInfo(std::u16string_view source, std::u16string_view description,
                                   REFGUID iid, std::u16string_view helpFile, DWORD helpContext) {
  return MakeComObject<TErrorInfo>(source, description, iid, helpFile, helpContext);
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  t_errorInfo = info;
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** out) {
  if (!out) return E_POINTER;
  *out = t_errorInfo.detach();
  return *out ? S_OK : S_FALSE;
}

HRESULT HResultFromException(std::exception_ptr e, std::u16string_view source, REFIID iid) {
  HRESULT hr = E_UNEXPECTED;
  std::u16string message;
  try {
    if (e) std::rethrow_exception(e);
    message = u"Unknown error";
  } catch (const Error& err) {
    if (FAILED(err.code())) hr = err.code();
    message = FromUtf8(err.what());
  } catch (const std::exception& ex) {
    message = FromUtf8(ex.what());
  } catch (...) {
    message = u"Unknown error";
  }
  SetErrorInfo(0, CreateErrorInfo(source, message, iid).get());
  return hr;
}

}  // namespace quillmer
