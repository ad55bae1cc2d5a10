#include "platform/com/errorinfo.h"

#include <dlfcn.h>

#include "platform/com/object.h"
#include "platform/win32/dialogs.h"

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

IErrorInfo* LocalCreate(std::u16string_view source, std::u16string_view description, REFGUID iid,
                        std::u16string_view helpFile, DWORD helpContext) {
  return MakeComObject<TErrorInfo>(source, description, iid, helpFile, helpContext).detach();
}

HRESULT LocalSet(DWORD, IErrorInfo* info) {
  t_errorInfo = info;
  return S_OK;
}

HRESULT LocalGet(DWORD, IErrorInfo** out) {
  if (!out) return E_POINTER;
  *out = t_errorInfo.detach();
  return *out ? S_OK : S_FALSE;
}

}  // namespace

// The platform keeps one error slot per thread for every module of the
// process. Here the program and each module carry their own copy of this
// code, so the program publishes its functions (quillmer_error_info_api) and
// a module uses those. Error objects are made by the program too: they
// outlive a module that is unloaded while one of its errors is pending.

struct ErrorInfoApi {
  int version;
  IErrorInfo* (*create)(std::u16string_view, std::u16string_view, REFGUID, std::u16string_view,
                        DWORD);
  HRESULT (*set)(DWORD, IErrorInfo*);
  HRESULT (*get)(DWORD, IErrorInfo**);
};

namespace {
constexpr int kApiVersion = 1;
constexpr ErrorInfoApi kLocalApi{kApiVersion, LocalCreate, LocalSet, LocalGet};
}  // namespace
}  // namespace quillmer

// Exported by the program (-Wl,--export-dynamic-symbol); kept inside modules
// by their version scripts.
extern "C" __attribute__((visibility("default"))) const quillmer::ErrorInfoApi*
quillmer_error_info_api() {
  return &quillmer::kLocalApi;
}

namespace quillmer {
namespace {

const ErrorInfoApi& Api() {
  static const ErrorInfoApi* api = [] {
    using Fn = const ErrorInfoApi* (*)();
    auto shared = reinterpret_cast<Fn>(::dlsym(RTLD_DEFAULT, "quillmer_error_info_api"));
    const ErrorInfoApi* found = shared ? shared() : nullptr;
    return found && found->version == kApiVersion ? found : &kLocalApi;
  }();
  return *api;
}

}  // namespace

ComPtr<IErrorInfo> CreateErrorInfo(std::u16string_view source, std::u16string_view description,
                                   REFGUID iid, std::u16string_view helpFile, DWORD helpContext) {
  return Adopt(Api().create(source, description, iid, helpFile, helpContext));
}

HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info) { return Api().set(reserved, info); }

HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** out) { return Api().get(reserved, out); }

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
