#include "platform/com/typelib.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "platform/base/ascii.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"

namespace quillmer {
namespace {

constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

// The platform's proxies for automation interfaces: dual ones and plain
// dispinterfaces.
constexpr std::string_view kPSOAInterface = "{00020424-0000-0000-C000-000000000046}";
constexpr std::string_view kPSDispatch = "{00020420-0000-0000-C000-000000000046}";

struct TypeItem {
  TYPEKIND kind = TKIND_INTERFACE;
  std::u16string name;
  std::optional<GUID> guid;
  WORD major = 0, minor = 0;
  WORD flags = 0;
  std::u16string help;
  std::vector<FUNCDESC> funcs;
  std::vector<std::size_t> impls;  // coclass: interfaces by item index, default first
};

struct LibData {
  std::u16string name, help;
  std::optional<GUID> guid;
  bool hasVersion = false;
  WORD major = 0, minor = 0;
  LCID lcid = 0;
  std::vector<std::string> imports;
  std::vector<TypeItem> items;
};

// ---- parsing ---------------------------------------------------------------

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw Error("type library line " + std::to_string(line) + ": " + what, TYPE_E_INVDATAREAD);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool IsIdentifier(std::string_view s) {
  if (s.empty() || !IsIdentStart(s[0])) return false;
  for (char c : s)
    if (!IsIdentChar(c)) return false;
  return true;
}

// The first word and the rest of the line.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view s) {
  s = Trim(s);
  std::size_t end = 0;
  while (end < s.size() && !IsSpace(s[end])) ++end;
  return {s.substr(0, end), Trim(s.substr(end))};
}

std::u16string Name(std::size_t line, std::string_view s) {
  if (!IsIdentifier(s)) Fail(line, "'" + std::string(s) + "' is not a name");
  return std::u16string(s.begin(), s.end());
}

GUID ParseUuid(std::size_t line, std::string_view s) {
  auto g = GuidFromString(s);
  if (!g) Fail(line, "'" + std::string(s) + "' is not a GUID");
  return *g;
}

template <class T>
T ParseNumber(std::size_t line, std::string_view s, int base = 10) {
  T v{};
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || p != s.data() + s.size() || s.empty())
    Fail(line, "'" + std::string(s) + "' is not a number in range");
  return v;
}

void ParseVersion(std::size_t line, std::string_view s, WORD* major, WORD* minor) {
  auto dot = s.find('.');
  if (dot == std::string_view::npos) Fail(line, "a version is MAJOR.MINOR");
  *major = ParseNumber<WORD>(line, s.substr(0, dot));
  *minor = ParseNumber<WORD>(line, s.substr(dot + 1));
}

std::u16string ParseString(std::size_t line, std::string_view s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') Fail(line, "a text is in double quotes");
  std::string out;
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '"') Fail(line, "a double quote inside a text is written \\\"");
    if (c == '\\') {
      if (i + 2 >= s.size() || (s[i + 1] != '"' && s[i + 1] != '\\'))
        Fail(line, "only \\\" and \\\\ are escapes");
      c = s[++i];
    }
    out += c;
  }
  std::u16string wide = FromUtf8(out);
  if (ToUtf8(wide) != out) Fail(line, "a text must be UTF-8");
  return wide;
}

struct TypeName {
  std::string_view text;
  VARTYPE vt;
};
constexpr TypeName kTypes[] = {
    {"BSTR", VT_BSTR},           {"long", VT_I4},           {"short", VT_I2},
    {"double", VT_R8},           {"VARIANT_BOOL", VT_BOOL}, {"VARIANT", VT_VARIANT},
    {"IDispatch*", VT_DISPATCH}, {"IUnknown*", VT_UNKNOWN},
};

std::optional<VARTYPE> TypeOf(std::string_view text) {
  for (const auto& t : kTypes)
    if (t.text == text) return t.vt;
  return std::nullopt;
}

// Splits on commas outside brackets.
std::vector<std::string_view> SplitParams(std::string_view s) {
  std::vector<std::string_view> out;
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '[') ++depth;
    if (s[i] == ']') --depth;
    if (s[i] == ',' && depth == 0) {
      out.push_back(Trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(s.substr(start)));
  return out;
}

ELEMDESC ParseParam(std::size_t line, std::string_view s) {
  ELEMDESC p;
  bool in = false, out = false, retval = false;
  if (!s.empty() && s.front() == '[') {
    auto close = s.find(']');
    if (close == std::string_view::npos) Fail(line, "a parameter's attributes end with ]");
    std::string_view attrs = s.substr(1, close - 1);
    s = Trim(s.substr(close + 1));
    std::size_t start = 0;
    while (start <= attrs.size()) {
      auto comma = attrs.find(',', start);
      if (comma == std::string_view::npos) comma = attrs.size();
      std::string_view a = Trim(attrs.substr(start, comma - start));
      if (a == "in")
        in = true;
      else if (a == "out")
        out = true;
      else if (a == "retval")
        retval = true;
      else
        Fail(line, "unknown parameter attribute '" + std::string(a) + "'");
      start = comma + 1;
    }
  } else {
    in = true;
  }
  // The name is the last word; the type is what comes before, spaces dropped.
  std::size_t end = s.size();
  std::size_t begin = end;
  while (begin > 0 && IsIdentChar(s[begin - 1])) --begin;
  p.name = Name(line, s.substr(begin, end - begin));
  std::string type;
  for (char c : s.substr(0, begin))
    if (!IsSpace(c)) type += c;
  if (in && !out && !retval) {
    auto vt = TypeOf(type);
    if (!vt) Fail(line, "unknown parameter type '" + type + "'");
    p.vt = *vt;
    p.paramFlags = PARAMFLAG_FIN;
  } else if (out && retval && !in) {
    if (type.empty() || type.back() != '*') Fail(line, "a retval parameter is a pointer");
    type.pop_back();
    auto vt = TypeOf(type);
    if (!vt) Fail(line, "unknown parameter type '" + type + "*'");
    p.vt = *vt;
    p.paramFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  } else {
    Fail(line, "parameters are [in] or [out, retval]");
  }
  return p;
}

FUNCDESC ParseMethod(std::size_t line, std::string_view rest) {
  auto [id, sig] = SplitWord(rest);
  FUNCDESC f;
  f.memid = ParseNumber<DISPID>(line, id);
  auto open = sig.find('(');
  if (open == std::string_view::npos || sig.back() != ')')
    Fail(line, "a method is written NAME(PARAMETERS)");
  f.name = Name(line, Trim(sig.substr(0, open)));
  std::string_view params = Trim(sig.substr(open + 1, sig.size() - open - 2));
  if (!params.empty())
    for (auto p : SplitParams(params)) f.params.push_back(ParseParam(line, p));
  for (std::size_t i = 0; i < f.params.size(); ++i)
    if ((f.params[i].paramFlags & PARAMFLAG_FRETVAL) && i + 1 != f.params.size())
      Fail(line, "the retval parameter comes last");
  return f;
}

LibData Parse(std::string_view text) {
  LibData lib;
  bool haveLibrary = false;
  TypeItem* item = nullptr;
  // Coclass defaults are resolved once every interface is known.
  std::vector<std::pair<std::size_t, std::pair<std::size_t, std::u16string>>> defaults;
  std::size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    auto nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.empty() || line.front() == '#') continue;
    auto [word, rest] = SplitWord(line);
    if (word == "library") {
      if (haveLibrary) Fail(lineNo, "only one library");
      lib.name = Name(lineNo, rest);
      haveLibrary = true;
      continue;
    }
    if (!haveLibrary) Fail(lineNo, "the library statement comes first");
    if (word == "interface" || word == "coclass") {
      TypeItem t;
      if (word == "interface") {
        auto colon = rest.find(':');
        if (colon == std::string_view::npos || Trim(rest.substr(colon + 1)) != "IDispatch")
          Fail(lineNo, "an interface is written NAME : IDispatch");
        t.name = Name(lineNo, Trim(rest.substr(0, colon)));
        t.kind = TKIND_INTERFACE;
        t.flags = TYPEFLAG_FDISPATCHABLE;
      } else {
        t.name = Name(lineNo, rest);
        t.kind = TKIND_COCLASS;
      }
      for (const auto& other : lib.items)
        if (EqualNoCase(other.name, t.name)) Fail(lineNo, "'" + std::string(rest) + "' twice");
      lib.items.push_back(std::move(t));
      item = &lib.items.back();
      continue;
    }
    if (word == "uuid") {
      GUID g = ParseUuid(lineNo, rest);
      (item ? item->guid : lib.guid) = g;
    } else if (word == "version") {
      if (item) {
        ParseVersion(lineNo, rest, &item->major, &item->minor);
      } else {
        ParseVersion(lineNo, rest, &lib.major, &lib.minor);
        lib.hasVersion = true;
      }
    } else if (word == "helpstring") {
      (item ? item->help : lib.help) = ParseString(lineNo, rest);
    } else if (word == "lcid" && !item) {
      bool hex = rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X');
      lib.lcid = ParseNumber<LCID>(lineNo, hex ? rest.substr(2) : rest, hex ? 16 : 10);
    } else if (word == "importlib" && !item) {
      if (rest.empty()) Fail(lineNo, "importlib names a file");
      lib.imports.emplace_back(rest);
    } else if (word == "flags" && item) {
      for (std::string_view f = rest; !f.empty();) {
        auto [flag, more] = SplitWord(f);
        if (flag == "dual" && item->kind == TKIND_INTERFACE)
          item->flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION;
        else if (flag == "oleautomation" && item->kind == TKIND_INTERFACE)
          item->flags |= TYPEFLAG_FOLEAUTOMATION;
        else if (flag == "creatable" && item->kind == TKIND_COCLASS)
          item->flags |= TYPEFLAG_FCANCREATE;
        else if (flag == "hidden")
          item->flags |= TYPEFLAG_FHIDDEN;
        else
          Fail(lineNo, "unknown flag '" + std::string(flag) + "'");
        f = more;
      }
    } else if (word == "method" && item && item->kind == TKIND_INTERFACE) {
      FUNCDESC f = ParseMethod(lineNo, rest);
      for (const auto& other : item->funcs) {
        if (other.memid == f.memid) Fail(lineNo, "DISPID " + std::to_string(f.memid) + " twice");
        if (EqualNoCase(other.name, f.name)) Fail(lineNo, "method named twice");
      }
      item->funcs.push_back(std::move(f));
    } else if (word == "default" && item && item->kind == TKIND_COCLASS) {
      defaults.push_back(
          {static_cast<std::size_t>(item - lib.items.data()), {lineNo, Name(lineNo, rest)}});
    } else {
      Fail(lineNo, "'" + std::string(word) + "' is not expected here");
    }
  }
  if (!haveLibrary) Fail(lineNo, "no library statement");
  if (!lib.guid) Fail(lineNo, "the library has no uuid");
  if (!lib.hasVersion) Fail(lineNo, "the library has no version");
  for (const auto& [index, def] : defaults) {
    TypeItem& coclass = lib.items[index];
    if (!coclass.impls.empty()) Fail(def.first, "a coclass has one default interface");
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < lib.items.size(); ++i)
      if (lib.items[i].kind == TKIND_INTERFACE && EqualNoCase(lib.items[i].name, def.second))
        found = i;
    if (!found) Fail(def.first, "no interface named " + ToUtf8(def.second));
    coclass.impls.push_back(*found);
  }
  for (const auto& t : lib.items) {
    if (!t.guid) Fail(lineNo, ToUtf8(t.name) + " has no uuid");
    if (t.kind == TKIND_COCLASS && t.impls.empty())
      Fail(lineNo, ToUtf8(t.name) + " has no default interface");
  }
  return lib;
}

// ---- the objects -----------------------------------------------------------

class TypeLibObject;

class TypeInfoObject final : public ComObject<ITypeInfo> {
 public:
  TypeInfoObject(TypeLibObject* lib, std::size_t index);
  HRESULT GetTypeAttr(TYPEATTR* out) override;
  HRESULT GetFuncDesc(UINT index, FUNCDESC* out) override;
  HRESULT GetIDsOfNames(const std::u16string* names, UINT count, DISPID* ids) override;
  HRESULT GetDocumentation(DISPID memid, std::u16string* name, std::u16string* doc) override;
  HRESULT GetImplTypeInfo(UINT index, ITypeInfo** out) override;
  HRESULT GetContainingTypeLib(ITypeLib** out, UINT* index) override;
  HRESULT Invoke(DispatchTarget* target, DISPID memid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

 private:
  const TypeItem& Item() const;
  ComPtr<TypeLibObject> lib_;
  std::size_t index_;
};

class TypeLibObject final : public ComObject<ITypeLib> {
 public:
  explicit TypeLibObject(LibData data) : data_(std::move(data)) {}
  const LibData& data() const { return data_; }

  UINT GetTypeInfoCount() override { return static_cast<UINT>(data_.items.size()); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index >= data_.items.size()) return TYPE_E_ELEMENTNOTFOUND;
    return ComPtr<ITypeInfo>(MakeComObject<TypeInfoObject>(this, index)).CopyTo(out);
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (std::size_t i = 0; i < data_.items.size(); ++i)
      if (data_.items[i].guid == guid) return GetTypeInfo(static_cast<UINT>(i), out);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR* out) override {
    if (!out) return E_POINTER;
    *out = TLIBATTR{*data_.guid, data_.lcid, SYS_WIN32, data_.major, data_.minor, 0};
    return S_OK;
  }
  HRESULT GetDocumentation(INT index, std::u16string* name, std::u16string* doc) override {
    if (index < -1 || index >= static_cast<INT>(data_.items.size())) return TYPE_E_ELEMENTNOTFOUND;
    const std::u16string& n = index < 0 ? data_.name : data_.items[index].name;
    const std::u16string& d = index < 0 ? data_.help : data_.items[index].help;
    if (name) *name = n;
    if (doc) *doc = d;
    return S_OK;
  }

 private:
  LibData data_;
};

TypeInfoObject::TypeInfoObject(TypeLibObject* lib, std::size_t index) : lib_(lib), index_(index) {}

const TypeItem& TypeInfoObject::Item() const { return lib_->data().items[index_]; }

HRESULT TypeInfoObject::GetTypeAttr(TYPEATTR* out) {
  if (!out) return E_POINTER;
  const TypeItem& t = Item();
  *out = TYPEATTR{*t.guid,
                  lib_->data().lcid,
                  t.kind,
                  static_cast<WORD>(t.funcs.size()),
                  static_cast<WORD>(t.impls.size()),
                  t.major,
                  t.minor,
                  t.flags};
  return S_OK;
}

HRESULT TypeInfoObject::GetFuncDesc(UINT index, FUNCDESC* out) {
  if (!out) return E_POINTER;
  if (index >= Item().funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
  *out = Item().funcs[index];
  return S_OK;
}

HRESULT TypeInfoObject::GetIDsOfNames(const std::u16string* names, UINT count, DISPID* ids) {
  std::vector<DispMember> table;
  for (const auto& f : Item().funcs) table.push_back({f.name, f.memid});
  return LookupDispIds(table, names, count, ids);
}

HRESULT TypeInfoObject::GetDocumentation(DISPID memid, std::u16string* name, std::u16string* doc) {
  const TypeItem& t = Item();
  if (memid == MEMBERID_NIL) {
    if (name) *name = t.name;
    if (doc) *doc = t.help;
    return S_OK;
  }
  for (const auto& f : t.funcs)
    if (f.memid == memid) {
      if (name) *name = f.name;
      if (doc) doc->clear();
      return S_OK;
    }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfoObject::GetImplTypeInfo(UINT index, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index >= Item().impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  return lib_->GetTypeInfo(static_cast<UINT>(Item().impls[index]), out);
}

HRESULT TypeInfoObject::GetContainingTypeLib(ITypeLib** out, UINT* index) {
  if (!out) return E_POINTER;
  if (index) *index = static_cast<UINT>(index_);
  return ComPtr<ITypeLib>(lib_.get()).CopyTo(out);
}

// The platform's coercion of an argument to its declared type.
HRESULT Coerce(const VARIANT& given, VARTYPE vt, VARIANT* out) {
  const VARIANT& v = VariantDeref(given);
  switch (vt) {
    case VT_VARIANT:
      *out = v;
      return S_OK;
    case VT_BSTR: {
      std::u16string s;
      HRESULT hr = VariantToString(v, &s);
      if (SUCCEEDED(hr)) *out = VariantString(std::move(s));
      return hr;
    }
    case VT_I4:
    case VT_I2: {
      std::int32_t n = 0;
      HRESULT hr = VariantToInt(v, &n);
      if (FAILED(hr)) return hr;
      if (vt == VT_I2) {
        if (n < std::numeric_limits<std::int16_t>::min() ||
            n > std::numeric_limits<std::int16_t>::max())
          return DISP_E_OVERFLOW;
        *out = VariantShort(static_cast<std::int16_t>(n));
      } else {
        *out = VariantInt(n);
      }
      return S_OK;
    }
    case VT_R8: {
      if (v.vt == VT_R8) {
        *out = VariantDouble(v.dblVal);
        return S_OK;
      }
      std::int32_t n = 0;
      HRESULT hr = VariantToInt(v, &n);
      if (SUCCEEDED(hr)) *out = VariantDouble(n);
      return hr;
    }
    case VT_BOOL:
      if (v.vt == VT_BOOL) {
        *out = VariantBool(v.boolVal != VARIANT_FALSE);
        return S_OK;
      }
      if (v.vt == VT_I4 || v.vt == VT_I2) {
        *out = VariantBool(v.lVal != 0);
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH:
      if (v.vt == VT_DISPATCH) {
        *out = VariantDispatch(v.pdispVal.get());
        return S_OK;
      }
      if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
        *out = VariantDispatch(nullptr);
        return S_OK;
      }
      if (v.vt == VT_UNKNOWN) {
        ComPtr<IDispatch> d;
        if (v.punkVal && FAILED(v.punkVal.As(&d))) return DISP_E_TYPEMISMATCH;
        *out = VariantDispatch(d.get());
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    case VT_UNKNOWN:
      if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
        *out = VariantUnknown(v.vt == VT_UNKNOWN ? v.punkVal.get() : v.pdispVal.get());
        return S_OK;
      }
      if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
        *out = VariantUnknown(nullptr);
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT TypeInfoObject::Invoke(DispatchTarget* target, DISPID memid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (!target || !params) return E_POINTER;
  const TypeItem& t = Item();
  if (t.kind != TKIND_INTERFACE) return DISP_E_MEMBERNOTFOUND;
  const FUNCDESC* f = nullptr;
  for (const auto& candidate : t.funcs)
    if (candidate.memid == memid) f = &candidate;
  if (!f || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
  const bool hasRetval = !f->params.empty() && (f->params.back().paramFlags & PARAMFLAG_FRETVAL);
  const UINT inCount = static_cast<UINT>(f->params.size() - (hasRetval ? 1 : 0));
  if (params->cArgs != inCount) return DISP_E_BADPARAMCOUNT;
  if (inCount && !params->rgvarg) return E_INVALIDARG;

  std::vector<VARIANT> args(inCount);
  for (UINT i = 0; i < inCount; ++i) {
    const UINT slot = inCount - 1 - i;  // arguments come in reverse order
    HRESULT hr = Coerce(params->rgvarg[slot], f->params[i].vt, &args[i]);
    if (FAILED(hr)) {
      if (argErr) *argErr = slot;
      return hr;
    }
  }

  SetErrorInfo(0, nullptr);
  VARIANT ret;
  HRESULT hr = target->InvokeMember(memid, args, hasRetval ? &ret : nullptr);
  if (FAILED(hr)) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return hr;
    if (!excepInfo) {
      // Nobody takes it here: leave it for the caller's GetErrorInfo.
      SetErrorInfo(0, info.get());
      return DISP_E_EXCEPTION;
    }
    *excepInfo = EXCEPINFO{};
    info->GetSource(&excepInfo->bstrSource);
    info->GetDescription(&excepInfo->bstrDescription);
    info->GetHelpFile(&excepInfo->bstrHelpFile);
    info->GetHelpContext(&excepInfo->dwHelpContext);
    excepInfo->scode = hr;
    return DISP_E_EXCEPTION;
  }
  if (result) {
    VariantClear(result);
    if (hasRetval) *result = std::move(ret);
  }
  return hr;
}

// ---- registration ----------------------------------------------------------

std::string Ansi(std::u16string_view text) { return EncodeCodePage(GetACP(), text); }

std::string VersionKey(WORD major, WORD minor) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x.%x", major, minor);
  return buf;
}

std::string SysKindName(SYSKIND k) {
  switch (k) {
    case SYS_WIN16:
      return "win16";
    case SYS_MAC:
      return "mac";
    case SYS_WIN64:
      return "win64";
    default:
      return "win32";
  }
}

std::string LcidKey(LCID lcid) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", lcid);
  return buf;
}

bool SetKeyValue(std::string_view key, std::string_view name, const std::string& value) {
  RegKey k;
  if (RegCreateKeyEx(HKEY_CLASSES_ROOT, key, KEY_WRITE, k.put()) != ERROR_SUCCESS) return false;
  return RegSetValueEx(k.get(), name, REG_SZ, value.c_str(),
                       static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::string ReadDefault(HKEY root, std::string_view key, std::string_view name = {}) {
  RegKey k;
  if (RegOpenKeyEx(root, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  std::string data;
  if (RegQueryValueEx(k.get(), name, &type, &data) != ERROR_SUCCESS || type != REG_SZ) return {};
  while (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

bool HasSubkeys(std::string_view key) {
  RegKey k;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return false;
  std::string name;
  return RegEnumKeyEx(k.get(), 0, &name) == ERROR_SUCCESS;
}

}  // namespace

ComPtr<ITypeLib> ParseTypeLib(std::string_view text) {
  return MakeComObject<TypeLibObject>(Parse(text));
}

HRESULT LoadTypeLibFromText(std::string_view text, ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    return ParseTypeLib(text).CopyTo(out);
  } catch (const Error& e) {
    return e.code();
  }
}

HRESULT RegisterTypeLib(ITypeLib* lib, const std::string& fullPath, const std::string& helpDir) {
  if (!lib) return E_INVALIDARG;
  TLIBATTR attr;
  if (HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  std::u16string name, doc;
  lib->GetDocumentation(-1, &name, &doc);
  const std::string libid = GuidToString(attr.guid);
  const std::string version = VersionKey(attr.wMajorVerNum, attr.wMinorVerNum);
  const std::string key = "TypeLib\\" + libid + "\\" + version;
  bool ok =
      SetKeyValue(key, "", Ansi(doc.empty() ? name : doc)) &&
      SetKeyValue(key + "\\FLAGS", "", std::to_string(attr.wLibFlags)) &&
      SetKeyValue(key + "\\HELPDIR", "", helpDir) &&
      SetKeyValue(key + "\\" + LcidKey(attr.lcid) + "\\" + SysKindName(attr.syskind), "", fullPath);
  for (UINT i = 0; ok && i < lib->GetTypeInfoCount(); ++i) {
    ComPtr<ITypeInfo> info;
    TYPEATTR ta;
    if (FAILED(lib->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&ta))) continue;
    const bool automation =
        ta.typekind == TKIND_DISPATCH ||
        (ta.typekind == TKIND_INTERFACE && (ta.wTypeFlags & TYPEFLAG_FOLEAUTOMATION));
    if (!automation) continue;
    std::u16string typeName;
    info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr);
    const std::string ikey = "Interface\\" + GuidToString(ta.guid);
    const std::string proxy(ta.typekind == TKIND_DISPATCH ? kPSDispatch : kPSOAInterface);
    ok = SetKeyValue(ikey, "", Ansi(typeName)) &&
         SetKeyValue(ikey + "\\ProxyStubClsid", "", proxy) &&
         SetKeyValue(ikey + "\\ProxyStubClsid32", "", proxy) &&
         SetKeyValue(ikey + "\\TypeLib", "", libid) &&
         SetKeyValue(ikey + "\\TypeLib", "Version", version);
  }
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  const std::string lib = GuidToString(libid);
  const std::string version = VersionKey(major, minor);
  const std::string key = "TypeLib\\" + lib + "\\" + version;
  {
    RegKey k;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key + "\\" + LcidKey(lcid) + "\\" + SysKindName(syskind), 0,
                     KEY_READ, k.put()) != ERROR_SUCCESS)
      return TYPE_E_REGISTRYACCESS;
  }
  // The interfaces registered for this library and version; the platform
  // finds them by reading the library, we by what their keys say.
  std::vector<std::string> interfaces;
  {
    RegKey k;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, k.put()) == ERROR_SUCCESS) {
      std::string name;
      for (DWORD i = 0; RegEnumKeyEx(k.get(), i, &name) == ERROR_SUCCESS; ++i) {
        const std::string tl = "Interface\\" + name + "\\TypeLib";
        auto owner = GuidFromString(ReadDefault(HKEY_CLASSES_ROOT, tl));
        if (owner && *owner == libid && ReadDefault(HKEY_CLASSES_ROOT, tl, "Version") == version)
          interfaces.push_back("Interface\\" + name);
      }
    }
  }
  for (const auto& i : interfaces) RegDeleteTree(HKEY_CLASSES_ROOT, i);
  if (RegDeleteTree(HKEY_CLASSES_ROOT, key) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (!HasSubkeys("TypeLib\\" + lib)) RegDeleteTree(HKEY_CLASSES_ROOT, "TypeLib\\" + lib);
  return S_OK;
}

}  // namespace quillmer
