// IUnknown, the reference-counted base of every object in the object model,
// and ComPtr, the smart pointer that holds one reference.
//
// Interfaces are abstract structs that derive from IUnknown (or IDispatch) and
// declare themselves with QM_INTERFACE(Name, Base, "IID"), which gives them a
// static iid, their name (for fault injection, see fault.h) and a test for
// their own and their bases' IIDs. IID_OF(T) is a type's IID.
//
// Calling convention of the whole object model: every method returns an
// HRESULT and hands results through pointers, as the platform does. Interface
// results are given with one reference that the caller owns (pass
// ComPtr::put()); strings are std::u16string (a null BSTR reads as empty).
// Use OleCheck (hresult.h) where a failed call should raise Error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/base/types.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace quillmer {

#define QM_INTERFACE(Name, Base, iidText)                                \
  static constexpr ::quillmer::GUID iid = ::quillmer::MakeGuid(iidText); \
  static constexpr std::string_view interface_name = #Name;              \
  static constexpr bool Matches(const ::quillmer::GUID& r) {             \
    return r == iid || Base::Matches(r);                                 \
  }                                                                      \
  static constexpr std::string_view NameOf(const ::quillmer::GUID& r) {  \
    return r == iid ? interface_name : Base::NameOf(r);                  \
  }

#define IID_OF(T) (T::iid)

struct IUnknown {
  static constexpr GUID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  static constexpr std::string_view interface_name = "IUnknown";
  static constexpr bool Matches(const GUID& r) { return r == iid; }
  static constexpr std::string_view NameOf(const GUID& r) {
    return r == iid ? interface_name : std::string_view{};
  }

  // Sets *out to the object's riid interface with one reference, or to null
  // and returns E_NOINTERFACE (E_POINTER when out is null). Asking for
  // IUnknown always gives the same pointer for one object (its identity).
  virtual HRESULT QueryInterface(REFIID riid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown = IUnknown::iid;

// Holds one reference; copying adds one, destruction releases it.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adds a reference to p (use Adopt to take over one the caller owns).
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& o) noexcept : p_(o.detach()) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For an out parameter: releases what is held and returns the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Takes over a reference the caller owns.
  void attach(T* p) {
    reset();
    p_ = p;
  }
  // Gives up the reference without releasing it.
  T* detach() { return std::exchange(p_, nullptr); }
  void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  // Hands out a new reference (the platform's out-parameter convention).
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

  // QueryInterface for U; out is left empty on failure. E_POINTER when this
  // is empty.
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (!p_) {
      out->reset();
      return E_POINTER;
    }
    return p_->QueryInterface(IID_OF(U), out->put_void());
  }
  // The same, empty on any failure.
  template <class U>
  ComPtr<U> query() const {
    ComPtr<U> r;
    As(&r);
    return r;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Wraps a reference the caller already owns.
template <class T>
ComPtr<T> Adopt(T* p) {
  ComPtr<T> r;
  r.attach(p);
  return r;
}

// The object's identity (its IUnknown); empty for null.
ComPtr<IUnknown> IdentityOf(IUnknown* p);
// Whether two interface pointers belong to the same object.
bool IsSameObject(IUnknown* a, IUnknown* b);

// Class factories (the COM server's; the object model itself makes objects
// directly).
struct IClassFactory : IUnknown {
  QM_INTERFACE(IClassFactory, IUnknown, "{00000001-0000-0000-C000-000000000046}")
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

}  // namespace quillmer
