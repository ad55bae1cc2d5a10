// IServiceProvider: an object hands out services of the objects around it
// (the browser that holds a document, the top-level browser of a frame).
#pragma once

#include "platform/com/unknown.h"

namespace quillmer {

struct IServiceProvider : IUnknown {
  QM_INTERFACE(IServiceProvider, IUnknown, "{6D5140C1-7436-11CE-8034-00AA006009FA}")
  // Sets *out to the service's riid interface; E_NOINTERFACE (out null) when
  // the service or the interface is not offered.
  virtual HRESULT QueryService(REFGUID service, REFIID riid, void** out) = 0;
};

inline constexpr IID IID_IServiceProvider = IServiceProvider::iid;

// QueryService for T into out.
template <class T>
HRESULT QueryService(IServiceProvider* sp, REFGUID service, ComPtr<T>* out) {
  if (!sp) return E_POINTER;
  return sp->QueryService(service, IID_OF(T), out->put_void());
}

}  // namespace quillmer
