// VARIANT: the tagged value that late-bound calls, browser properties and DOM
// attributes pass. Unlike the platform's union, every member has its own
// field, so a VARIANT copies and destroys itself safely; only the field that
// vt names is meaningful. A BSTR is std::u16string (no null BSTR: empty).
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/dispatch.h"

namespace quillmer {

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_BYREF = 0x4000;
constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  std::int32_t lVal = 0;       // VT_I4, VT_I2, VT_ERROR (the SCODE)
  double dblVal = 0;           // VT_R8
  VARIANT_BOOL boolVal = 0;    // VT_BOOL
  std::u16string bstrVal;      // VT_BSTR
  ComPtr<IDispatch> pdispVal;  // VT_DISPATCH; may hold no object
  ComPtr<IUnknown> punkVal;    // VT_UNKNOWN; may hold no object
  // By reference (vt = VT_BYREF | the type); the referent outlives the call.
  VARIANT* pvarVal = nullptr;          // VT_BYREF | VT_VARIANT
  std::u16string* pbstrVal = nullptr;  // VT_BYREF | VT_BSTR
  std::int32_t* plVal = nullptr;       // VT_BYREF | VT_I4
  VARIANT_BOOL* pboolVal = nullptr;    // VT_BYREF | VT_BOOL
  IDispatch** ppdispVal = nullptr;     // VT_BYREF | VT_DISPATCH
};

VARIANT VariantNull();
VARIANT VariantString(std::u16string s);
VARIANT VariantInt(std::int32_t v);    // VT_I4
VARIANT VariantShort(std::int16_t v);  // VT_I2
VARIANT VariantDouble(double v);
VARIANT VariantBool(bool v);
VARIANT VariantDispatch(IDispatch* p);  // adds a reference
VARIANT VariantUnknown(IUnknown* p);    // adds a reference
VARIANT VariantError(SCODE code);
// By-reference VARIANTs.
VARIANT VariantRef(VARIANT* target);
VARIANT VariantRef(std::u16string* target);
VARIANT VariantRef(std::int32_t* target);
VARIANT VariantRef(VARIANT_BOOL* target);

// Empties v (VariantClear).
void VariantClear(VARIANT* v);
// The VARIANT a VT_BYREF | VT_VARIANT one points at (itself otherwise).
const VARIANT& VariantDeref(const VARIANT& v);

// VT_EMPTY, or VT_DISPATCH / VT_UNKNOWN holding no object.
bool VariantIsEmpty(const VARIANT& v);

// The platform's VariantChangeType to VT_BSTR: strings as they are, numbers
// in decimal, booleans "True"/"False", VT_EMPTY as ""; by-reference values are
// followed. DISP_E_TYPEMISMATCH for null and objects.
HRESULT VariantToString(const VARIANT& v, std::u16string* out);
// To VT_I4: integers, whole doubles, booleans (-1/0), decimal strings.
// DISP_E_TYPEMISMATCH otherwise.
HRESULT VariantToInt(const VARIANT& v, std::int32_t* out);

// Value equality of the field vt names (objects by identity); for tests.
bool operator==(const VARIANT& a, const VARIANT& b);

}  // namespace quillmer
