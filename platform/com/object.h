// ComObject: reference counting and QueryInterface for an object that
// implements a list of interfaces.
//
//   class TThing : public ComObject<IThing, IDispatch> { ... };
//   ComPtr<TThing> t = MakeComObject<TThing>(args...);
//
// QueryInterface answers IUnknown (through the first interface) and each
// listed interface and its bases, first match in list order, unless a test
// hid that interface (fault.h). Objects are deleted by their last Release.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/fault.h"
#include "platform/com/unknown.h"

namespace quillmer {

// Finds riid among the interfaces of a list and their bases, first match in
// list order, for an object self that derives from all of them; null when it
// is not offered or a test hid it (fault.h). IUnknown is not looked for here.
template <class First, class... Rest>
struct InterfaceList {
  template <class Self>
  static void* Find(Self* self, const IUnknown* identity, REFIID riid) {
    if (FaultsActive()) {
      std::string_view name = First::NameOf(riid);
      ((name.empty() ? (void)(name = Rest::NameOf(riid)) : (void)0), ...);
      if (!name.empty() && InterfaceHidden(identity, name)) return nullptr;
    }
    void* out = nullptr;
    if (First::Matches(riid))
      out = static_cast<First*>(self);
    else
      ((out == nullptr && Rest::Matches(riid) ? (void)(out = static_cast<Rest*>(self)) : (void)0),
       ...);
    return out;
  }
};

template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = riid == IID_IUnknown ? Identity()
                                : InterfaceList<First, Rest...>::Find(this, Identity(), riid);
    if (!*out) *out = QueryExtra(riid);
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  IUnknown* Identity() { return static_cast<First*>(this); }
  const IUnknown* Identity() const { return static_cast<const First*>(this); }

 protected:
  ComObject() = default;
  ~ComObject() override = default;
  // Interfaces beyond the list (tear-offs, conditional ones); the result is
  // AddRef'd by QueryInterface. Null when not offered.
  virtual IUnknown* QueryExtra(REFIID) { return nullptr; }
  // The fault a test injected for this call on this object (fault.h).
  std::optional<HRESULT> Fault(std::string_view method) const {
    return FaultsActive() ? CallFault(Identity(), method) : std::nullopt;
  }

 private:
  std::atomic<ULONG> refs_{0};
};

template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace quillmer
