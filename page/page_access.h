// Reaching browsers and documents: the top-level browser of a window, the
// objects embedded in a document (frames among them), and the small query
// helpers the page walkers share.
#pragma once

#include <utility>

#include "platform/browser/mshtml.h"

namespace quillmer {

// The object's interface T; Error (E_NOINTERFACE, or E_POINTER for no object)
// when it is not offered.
template <class T>
ComPtr<T> QueryOrThrow(IUnknown* object) {
  if (!object)
    throw Error("No object where " + std::string(T::interface_name) + " was expected", E_POINTER);
  ComPtr<T> r;
  OleCheck(object->QueryInterface(IID_OF(T), r.put_void()), T::interface_name);
  return r;
}

// A call that succeeded without giving the object asked for.
template <class T>
ComPtr<T> ThrowIfNull(ComPtr<T> p) {
  if (!p) throw Error("No " + std::string(T::interface_name) + " was given", E_POINTER);
  return p;
}

// The top-level browser of the window that object (a browser, document or
// window) belongs to; empty when the services do not give one. Error when the
// object offers no IServiceProvider.
ComPtr<IWebBrowser2> GetTopLevelBrowser(IUnknown* object);

// The number of objects embedded in the browser's document, at most 100.
// Never raises: 0 on any failure.
int CountEmbeddedObjects(IWebBrowser2* browser);

// The index-th embedded object (zero-based) when it is a browser; empty when
// it is none or on any failure.
ComPtr<IWebBrowser2> GetEmbeddedBrowser(IWebBrowser2* browser, int index);

// How many frames a conversion of the browser's tree leaves as they were
// because they lie beyond the first 100 embedded objects of a document:
// those frames and every frame inside them. Never raises.
int CountFramesBeyondLimit(IWebBrowser2* browser);

}  // namespace quillmer
