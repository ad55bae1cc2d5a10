// Error information: the thread's last error object (SetErrorInfo and
// GetErrorInfo), and ISupportErrorInfo, by which an object says that its
// failures come with it.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "platform/com/dispatch.h"

namespace quillmer {

struct IErrorInfo : IUnknown {
  QM_INTERFACE(IErrorInfo, IUnknown, "{1CF2B120-547D-101B-8E65-08002B2BD119}")
  virtual HRESULT GetGUID(GUID* out) = 0;
  virtual HRESULT GetSource(std::u16string* out) = 0;
  virtual HRESULT GetDescription(std::u16string* out) = 0;
  virtual HRESULT GetHelpFile(std::u16string* out) = 0;
  virtual HRESULT GetHelpContext(DWORD* out) = 0;
};

struct ISupportErrorInfo : IUnknown {
  QM_INTERFACE(ISupportErrorInfo, IUnknown, "{DF0B3D60-548F-101B-8E65-08002B2BD119}")
  // S_OK when failures of riid's methods set error information, S_FALSE
  // otherwise.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

inline constexpr IID IID_IErrorInfo = IErrorInfo::iid;
inline constexpr IID IID_ISupportErrorInfo = ISupportErrorInfo::iid;

// A new error object.
ComPtr<IErrorInfo> CreateErrorInfo(std::u16string_view source, std::u16string_view description,
                                   REFGUID iid = GUID_NULL, std::u16string_view helpFile = {},
                                   DWORD helpContext = 0);

// Replaces the calling thread's error object (null clears it). reserved: 0.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
// Takes the thread's error object away: S_OK with it, or S_FALSE with *out
// null when there is none.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** out);

// For a COM method's catch block: publishes the exception's message as the
// thread's error information from source, and returns the error's HRESULT
// (an Error's code when it is a failure code, else E_UNEXPECTED).
HRESULT HResultFromException(std::exception_ptr e, std::u16string_view source,
                             REFIID iid = GUID_NULL);

}  // namespace quillmer
