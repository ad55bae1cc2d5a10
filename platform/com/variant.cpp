#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillmer {

VARIANT VariantNull() {
  VARIANT v;
  v.vt = VT_NULL;
  return v;
}

VARIANT VariantString(std::u16string s) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = std::move(s);
  return v;
}

VARIANT VariantInt(std::int32_t value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT VariantShort(std::int16_t value) {
  VARIANT v;
  v.vt = VT_I2;
  v.lVal = value;
  return v;
}

VARIANT VariantDouble(double value) {
  VARIANT v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

VARIANT VariantBool(bool value) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT VariantDispatch(IDispatch* p) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = p;
  return v;
}

VARIANT VariantUnknown(IUnknown* p) {
  VARIANT v;
  v.vt = VT_UNKNOWN;
  v.punkVal = p;
  return v;
}

VARIANT VariantError(SCODE code) {
  VARIANT v;
  v.vt = VT_ERROR;
  v.lVal = code;
  return v;
}

VARIANT VariantRef(VARIANT* target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}

VARIANT VariantRef(std::u16string* target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = target;
  return v;
}

VARIANT VariantRef(std::int32_t* target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_I4;
  v.plVal = target;
  return v;
}

VARIANT VariantRef(VARIANT_BOOL* target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = target;
  return v;
}

void VariantClear(VARIANT* v) {
  if (v) *v = VARIANT{};
}

const VARIANT& VariantDeref(const VARIANT& v) {
  const VARIANT* p = &v;
  // A chain of references ends at a value; a cycle is cut after a few steps.
  for (int i = 0; i < 8 && p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal; ++i) p = p->pvarVal;
  return *p;
}

bool VariantIsEmpty(const VARIANT& value) {
  const VARIANT& v = VariantDeref(value);
  return v.vt == VT_EMPTY || (v.vt == VT_DISPATCH && !v.pdispVal) ||
         (v.vt == VT_UNKNOWN && !v.punkVal);
}

namespace {

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string DoubleText(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return Widen(buf);
}

bool ParseInt(std::u16string_view text, std::int32_t* out) {
  std::string narrow;
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    narrow.push_back(static_cast<char>(c));
  }
  size_t b = narrow.find_first_not_of(" \t");
  size_t e = narrow.find_last_not_of(" \t");
  if (b == std::string::npos) return false;
  narrow = narrow.substr(b, e - b + 1);
  const char* first = narrow.data();
  if (*first == '+') ++first;
  auto r = std::from_chars(first, narrow.data() + narrow.size(), *out);
  return r.ec == std::errc{} && r.ptr == narrow.data() + narrow.size();
}

}  // namespace

HRESULT VariantToString(const VARIANT& value, std::u16string* out) {
  if (!out) return E_POINTER;
  const VARIANT& v = VariantDeref(value);
  switch (v.vt) {
    case VT_EMPTY:
      out->clear();
      return S_OK;
    case VT_BSTR:
      *out = v.bstrVal;
      return S_OK;
    case VT_I2:
    case VT_I4:
      *out = Widen(std::to_string(v.lVal));
      return S_OK;
    case VT_R8:
      *out = DoubleText(v.dblVal);
      return S_OK;
    case VT_BOOL:
      *out = v.boolVal ? u"True" : u"False";
      return S_OK;
    case VT_BYREF | VT_BSTR:
      if (!v.pbstrVal) return E_POINTER;
      *out = *v.pbstrVal;
      return S_OK;
    case VT_BYREF | VT_I4:
      if (!v.plVal) return E_POINTER;
      *out = Widen(std::to_string(*v.plVal));
      return S_OK;
    case VT_BYREF | VT_BOOL:
      if (!v.pboolVal) return E_POINTER;
      *out = *v.pboolVal ? u"True" : u"False";
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT VariantToInt(const VARIANT& value, std::int32_t* out) {
  if (!out) return E_POINTER;
  const VARIANT& v = VariantDeref(value);
  switch (v.vt) {
    case VT_I2:
    case VT_I4:
      *out = v.lVal;
      return S_OK;
    case VT_BOOL:
      *out = v.boolVal ? -1 : 0;
      return S_OK;
    case VT_R8:
      if (std::isfinite(v.dblVal) && v.dblVal == std::floor(v.dblVal) &&
          v.dblVal >= -2147483648.0 && v.dblVal <= 2147483647.0) {
        *out = static_cast<std::int32_t>(v.dblVal);
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    case VT_BSTR:
      return ParseInt(v.bstrVal, out) ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_BYREF | VT_I4:
      if (!v.plVal) return E_POINTER;
      *out = *v.plVal;
      return S_OK;
    case VT_BYREF | VT_BSTR:
      if (!v.pbstrVal) return E_POINTER;
      return ParseInt(*v.pbstrVal, out) ? S_OK : DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

bool operator==(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_I2:
    case VT_I4:
    case VT_ERROR:
      return a.lVal == b.lVal;
    case VT_R8:
      return a.dblVal == b.dblVal;
    case VT_BOOL:
      return (a.boolVal != 0) == (b.boolVal != 0);
    case VT_BSTR:
      return a.bstrVal == b.bstrVal;
    case VT_DISPATCH:
      return IsSameObject(a.pdispVal.get(), b.pdispVal.get());
    case VT_UNKNOWN:
      return IsSameObject(a.punkVal.get(), b.punkVal.get());
    case VT_BYREF | VT_VARIANT:
      return a.pvarVal == b.pvarVal;
    case VT_BYREF | VT_BSTR:
      return a.pbstrVal == b.pbstrVal;
    case VT_BYREF | VT_I4:
      return a.plVal == b.plVal;
    case VT_BYREF | VT_BOOL:
      return a.pboolVal == b.pboolVal;
    case VT_BYREF | VT_DISPATCH:
      return a.ppdispVal == b.ppdispVal;
    default:
      return false;
  }
}

}  // namespace quillmer
