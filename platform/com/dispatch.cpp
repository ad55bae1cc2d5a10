#include "platform/com/dispatch.h"

#include "platform/com/variant.h"

namespace quillmer {

DispatchArgs::DispatchArgs(const DISPPARAMS* params) {
  if (!params || params->cArgs == 0 || !params->rgvarg) return;
  UINT n = params->cArgs;
  UINT named = params->rgdispidNamedArgs ? std::min(params->cNamedArgs, n) : 0;
  map_.assign(n, nullptr);
  // Positional arguments follow the named ones in rgvarg, last parameter first.
  for (UINT i = 0; i < n - named; ++i) map_[i] = &params->rgvarg[n - 1 - i];
  for (UINT j = 0; j < named; ++j) {
    DISPID pos = params->rgdispidNamedArgs[j];
    // The value of a property put is its last parameter.
    if (pos == DISPID_PROPERTYPUT) pos = static_cast<DISPID>(n - 1);
    if (pos >= 0 && static_cast<UINT>(pos) < n) map_[static_cast<UINT>(pos)] = &params->rgvarg[j];
  }
}

VARIANT* DispatchArgs::at(UINT position) const {
  return position < map_.size() ? map_[position] : nullptr;
}

VARIANT* DispatchArgs::value(UINT position) const {
  VARIANT* v = at(position);
  return v ? const_cast<VARIANT*>(&VariantDeref(*v)) : nullptr;
}

namespace {

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

}  // namespace

HRESULT LookupDispIds(std::span<const DispMember> table, const std::u16string* names, UINT count,
                      DISPID* ids) {
  if (count && (!names || !ids)) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const auto& m : table)
      if (EqualNoCase(m.name, names[i])) {
        ids[i] = m.id;
        break;
      }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT InvokeDispatch(IDispatch* disp, DISPID id, WORD flags, std::vector<VARIANT> args,
                       VARIANT* result, std::span<const DISPID> named, EXCEPINFO* excepInfo) {
  if (!disp) return E_POINTER;
  if (named.size() > args.size()) return E_INVALIDARG;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  // The named arguments are the last ones given, so they come first in rgvarg.
  std::vector<DISPID> namedIds(named.rbegin(), named.rend());
  DISPPARAMS params;
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cNamedArgs = static_cast<UINT>(namedIds.size());
  params.rgdispidNamedArgs = namedIds.empty() ? nullptr : namedIds.data();
  UINT argErr = 0;
  return disp->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excepInfo,
                      &argErr);
}

HRESULT InvokeByName(IDispatch* disp, std::u16string_view name, WORD flags,
                     std::vector<VARIANT> args, VARIANT* result) {
  if (!disp) return E_POINTER;
  std::u16string n(name);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = disp->GetIDsOfNames(GUID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<DISPID> named;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) named.push_back(DISPID_PROPERTYPUT);
  if (named.size() > args.size()) return DISP_E_BADPARAMCOUNT;
  return InvokeDispatch(disp, id, flags, std::move(args), result, named);
}

}  // namespace quillmer
