#include "platform/com/unknown.h"

namespace quillmer {

ComPtr<IUnknown> IdentityOf(IUnknown* p) {
  ComPtr<IUnknown> id;
  if (p) p->QueryInterface(IID_IUnknown, id.put_void());
  return id;
}

bool IsSameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return a == b;
  return IdentityOf(a) == IdentityOf(b);
}

}  // namespace quillmer
