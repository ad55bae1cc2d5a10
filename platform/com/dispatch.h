// IDispatch: late-bound calls by DISPID, with arguments in DISPPARAMS.
//
// As on the platform, DISPPARAMS holds the arguments in reverse order: with n
// arguments, the first declared parameter is rgvarg[n - 1] and the last is
// rgvarg[0]. Named arguments come first in rgvarg: rgvarg[j] for j below
// cNamedArgs is the parameter whose position (its DISPID) is
// rgdispidNamedArgs[j]. DispatchArgs undoes this for an implementation;
// InvokeDispatch builds it for a caller.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/com/unknown.h"

namespace quillmer {

struct VARIANT;
struct ITypeInfo;  // served by the COM server's type library

using DISPID = std::int32_t;
using LCID = std::uint32_t;
using SCODE = std::int32_t;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

struct EXCEPINFO {
  WORD wCode = 0;
  WORD wReserved = 0;
  std::u16string bstrSource;
  std::u16string bstrDescription;
  std::u16string bstrHelpFile;
  DWORD dwHelpContext = 0;
  SCODE scode = 0;
};

struct IDispatch : IUnknown {
  QM_INTERFACE(IDispatch, IUnknown, "{00020400-0000-0000-C000-000000000046}")
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) = 0;
  // Sets ids[i] for names[i]; DISP_E_UNKNOWNNAME (with DISPID_UNKNOWN in the
  // slots not found) when a name is unknown.
  virtual HRESULT GetIDsOfNames(REFIID riid, const std::u16string* names, UINT count, LCID lcid,
                                DISPID* ids) = 0;
  // result, excepInfo and argErr may be null.
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

inline constexpr IID IID_IDispatch = IDispatch::iid;

// The arguments of one Invoke by declared position. With p = cArgs -
// cNamedArgs positional arguments, position i below p is rgvarg[cArgs - 1 - i];
// each named argument j puts rgvarg[j] at the position its DISPID gives
// (DISPID_PROPERTYPUT: the last position, where a put's value goes; other
// positions outside 0..cArgs-1 are ignored). Positions no argument fills are
// null.
class DispatchArgs {
 public:
  explicit DispatchArgs(const DISPPARAMS* params);
  UINT count() const { return static_cast<UINT>(map_.size()); }
  // The argument at a declared position, or null when there is none.
  VARIANT* at(UINT position) const;
  // The same, following a by-reference VARIANT to the one it points at.
  VARIANT* value(UINT position) const;

 private:
  std::vector<VARIANT*> map_;
};

// A name-to-DISPID table for GetIDsOfNames; names compare without regard to
// ASCII case, as the platform's do.
struct DispMember {
  std::u16string_view name;
  DISPID id;
};
HRESULT LookupDispIds(std::span<const DispMember> table, const std::u16string* names, UINT count,
                      DISPID* ids);

// Calls disp with args given in declared order (first parameter first); they
// are put into DISPPARAMS reversed. named, when given, names the DISPIDs of
// the last named.size() arguments of args (the platform's named arguments).
HRESULT InvokeDispatch(IDispatch* disp, DISPID id, WORD flags, std::vector<VARIANT> args,
                       VARIANT* result = nullptr, std::span<const DISPID> named = {},
                       EXCEPINFO* excepInfo = nullptr);

// GetIDsOfNames for one name, then InvokeDispatch.
HRESULT InvokeByName(IDispatch* disp, std::u16string_view name, WORD flags,
                     std::vector<VARIANT> args, VARIANT* result = nullptr);

}  // namespace quillmer

// IDispatch for objects that are reached through their own interfaces only:
// no type information, no names, no members.
#define QM_NO_DISPATCH_MEMBERS                                                                    \
  HRESULT GetTypeInfoCount(UINT* count) override {                                                \
    if (!count) return E_POINTER;                                                                 \
    *count = 0;                                                                                   \
    return S_OK;                                                                                  \
  }                                                                                               \
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** out) override {                                     \
    if (out) *out = nullptr;                                                                      \
    return E_NOTIMPL;                                                                             \
  }                                                                                               \
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT count, LCID, DISPID* ids) override {  \
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;                              \
    return DISP_E_UNKNOWNNAME;                                                                    \
  }                                                                                               \
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { \
    return DISP_E_MEMBERNOTFOUND;                                                                 \
  }
