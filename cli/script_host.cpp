#include "cli/script_host.h"

#include <duktape.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <unordered_map>
#include <vector>

#include "cli/automation.h"
#include "cli/command.h"
#include "platform/win32/dialogs.h"

// Duktape reports script errors with longjmp, which skips C++ destructors: the
// C functions below do their C++ work in inner functions whose objects are
// gone before an error is thrown.

namespace quillmer::cli {

struct ScriptHost::Impl {
  duk_context* ctx = nullptr;
  // Automation objects by the heap address of their script object (the
  // proxy) and of the proxy's target.
  std::unordered_map<void*, ComPtr<IDispatch>> objects;
  std::vector<std::unique_ptr<HostFunction>> functions;
};

namespace {

constexpr const char* kImplKey = "quillmer";
constexpr const char* kNameKey = DUK_HIDDEN_SYMBOL("name");
constexpr const char* kTargetKey = DUK_HIDDEN_SYMBOL("target");
constexpr const char* kProxyKey = DUK_HIDDEN_SYMBOL("proxy");
constexpr const char* kFunctionKey = DUK_HIDDEN_SYMBOL("function");

// Script strings are CESU-8: every UTF-16 unit on its own.
std::string ToScript(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t u : text) {
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The engine's strings back to UTF-16; it may also hold four-byte sequences
// for characters beyond the BMP.
std::u16string FromScript(const char* s, duk_size_t len) {
  std::u16string out;
  out.reserve(len);
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  const auto* end = p + len;
  while (p < end) {
    unsigned c = *p;
    int extra = c < 0x80 ? 0 : c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || end - p <= extra) {
      out += u'\uFFFD';
      ++p;
      continue;
    }
    std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool ok = true;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) ok = false;
      cp = cp << 6 | (p[i] & 0x3F);
    }
    if (!ok) {
      out += u'\uFFFD';
      ++p;
      continue;
    }
    p += extra + 1;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else if (cp > 0x10FFFF) {
      out += u'\uFFFD';
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::u16string GetScriptString(duk_context* ctx, duk_idx_t index) {
  duk_size_t len = 0;
  const char* s = duk_get_lstring(ctx, index, &len);
  return s ? FromScript(s, len) : std::u16string();
}

ScriptHost::Impl* ImplOf(duk_context* ctx) {
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, kImplKey);
  auto* impl = static_cast<ScriptHost::Impl*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return impl;
}

duk_ret_t CallMember(duk_context* ctx);

// The proxy's get trap: every property is a method of the object, looked up
// when it is called.
duk_ret_t ProxyGet(duk_context* ctx) {
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) return 0;
  duk_push_c_function(ctx, CallMember, DUK_VARARGS);
  duk_dup(ctx, 1);
  duk_put_prop_string(ctx, -2, kNameKey);
  duk_dup(ctx, 0);
  duk_put_prop_string(ctx, -2, kTargetKey);
  return 1;
}

duk_ret_t ProxySet(duk_context* ctx) {
  return duk_type_error(ctx, "properties of automation objects cannot be set");
}

// The target's finalizer: the object's reference goes with it.
duk_ret_t FinalizeTarget(duk_context* ctx) {
  ScriptHost::Impl* impl = ImplOf(ctx);
  if (!impl) return 0;
  impl->objects.erase(duk_get_heapptr(ctx, 0));
  duk_get_prop_string(ctx, 0, kProxyKey);
  impl->objects.erase(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return 0;
}

void PushDispatch(duk_context* ctx, IDispatch* object) {
  if (!object) {
    duk_push_null(ctx);
    return;
  }
  ScriptHost::Impl* impl = ImplOf(ctx);
  duk_push_object(ctx);
  void* target = duk_get_heapptr(ctx, -1);
  duk_push_c_function(ctx, FinalizeTarget, 1);
  duk_set_finalizer(ctx, -2);
  duk_push_object(ctx);
  duk_push_c_function(ctx, ProxyGet, 3);
  duk_put_prop_string(ctx, -2, "get");
  duk_push_c_function(ctx, ProxySet, 4);
  duk_put_prop_string(ctx, -2, "set");
  duk_push_proxy(ctx, 0);
  void* proxy = duk_get_heapptr(ctx, -1);
  duk_push_heapptr(ctx, target);
  duk_push_pointer(ctx, proxy);
  duk_put_prop_string(ctx, -2, kProxyKey);
  duk_pop(ctx);
  impl->objects[target] = object;
  impl->objects[proxy] = object;
}

// Script value to VARIANT; false with a message on the stack's top.
bool ToVariant(duk_context* ctx, duk_idx_t index, VARIANT* out) {
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_UNDEFINED:
      *out = VARIANT{};
      return true;
    case DUK_TYPE_NULL:
      *out = VariantNull();
      return true;
    case DUK_TYPE_BOOLEAN:
      *out = VariantBool(duk_get_boolean(ctx, index));
      return true;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, index);
      if (std::trunc(d) == d && d >= std::numeric_limits<std::int32_t>::min() &&
          d <= std::numeric_limits<std::int32_t>::max())
        *out = VariantInt(static_cast<std::int32_t>(d));
      else
        *out = VariantDouble(d);
      return true;
    }
    case DUK_TYPE_STRING:
      *out = VariantString(GetScriptString(ctx, index));
      return true;
    case DUK_TYPE_OBJECT: {
      ScriptHost::Impl* impl = ImplOf(ctx);
      auto it = impl->objects.find(duk_get_heapptr(ctx, index));
      if (it != impl->objects.end()) {
        *out = VariantDispatch(it->second.get());
        return true;
      }
      break;
    }
    default:
      break;
  }
  duk_push_string(ctx,
                  "only strings, numbers, booleans, null and automation objects can be passed");
  return false;
}

void PushVariant(duk_context* ctx, const VARIANT& value) {
  const VARIANT& v = VariantDeref(value);
  switch (v.vt) {
    case VT_NULL:
      duk_push_null(ctx);
      break;
    case VT_I2:
    case VT_I4:
      duk_push_int(ctx, v.lVal);
      break;
    case VT_R8:
      duk_push_number(ctx, v.dblVal);
      break;
    case VT_BOOL:
      duk_push_boolean(ctx, v.boolVal != VARIANT_FALSE);
      break;
    case VT_BSTR: {
      std::string s = ToScript(v.bstrVal);
      duk_push_lstring(ctx, s.data(), s.size());
      break;
    }
    case VT_DISPATCH:
      PushDispatch(ctx, v.pdispVal.get());
      break;
    case VT_UNKNOWN: {
      ComPtr<IDispatch> d;
      if (v.punkVal) v.punkVal.As(&d);
      PushDispatch(ctx, d.get());
      break;
    }
    default:
      duk_push_undefined(ctx);
  }
}

// The call itself; leaves the result, or the error's message, on the stack.
bool CallMemberWork(duk_context* ctx, duk_idx_t argc) {
  ScriptHost::Impl* impl = ImplOf(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kNameKey);
  std::u16string name = GetScriptString(ctx, -1);
  duk_get_prop_string(ctx, -2, kTargetKey);
  auto it = impl->objects.find(duk_get_heapptr(ctx, -1));
  duk_pop_3(ctx);
  if (it == impl->objects.end()) {
    duk_push_string(ctx, "the automation object is gone");
    return false;
  }
  ComPtr<IDispatch> object = it->second;
  std::vector<VARIANT> args(static_cast<std::size_t>(argc));
  for (duk_idx_t i = 0; i < argc; ++i)
    if (!ToVariant(ctx, i, &args[static_cast<std::size_t>(i)])) return false;
  try {
    VARIANT result = CallMethod(object.get(), name, std::move(args));
    PushVariant(ctx, result);
    return true;
  } catch (const std::exception& e) {
    duk_push_string(ctx, e.what());
    return false;
  }
}

// Throws the message on the stack's top as an Error of the calling script
// (no C file and line: the script's own line is the one that helps).
duk_ret_t ThrowMessage(duk_context* ctx) {
  duk_error_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", duk_get_string(ctx, -1));
  return 0;  // not reached
}

duk_ret_t CallMember(duk_context* ctx) {
  if (!CallMemberWork(ctx, duk_get_top(ctx))) return ThrowMessage(ctx);
  return 1;
}

bool CallHostWork(duk_context* ctx, duk_idx_t argc) {
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kFunctionKey);
  auto* function = static_cast<HostFunction*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  std::vector<VARIANT> args(static_cast<std::size_t>(argc));
  for (duk_idx_t i = 0; i < argc; ++i)
    if (!ToVariant(ctx, i, &args[static_cast<std::size_t>(i)])) return false;
  std::string json;
  try {
    ScriptValue result = (*function)(args);
    if (result.json.empty()) {
      PushVariant(ctx, result.value);
      return true;
    }
    json = std::move(result.json);
  } catch (const std::exception& e) {
    duk_push_string(ctx, e.what());
    return false;
  }
  duk_push_lstring(ctx, json.data(), json.size());
  duk_json_decode(ctx, -1);
  return true;
}

duk_ret_t CallHost(duk_context* ctx) {
  if (!CallHostWork(ctx, duk_get_top(ctx))) return ThrowMessage(ctx);
  return 1;
}

bool ActiveXObjectWork(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    duk_push_string(ctx, "ActiveXObject needs the name of a class");
    return false;
  }
  try {
    ComPtr<IDispatch> object = CreateAutomationObject(GetScriptString(ctx, 0));
    PushDispatch(ctx, object.get());
    return true;
  } catch (const std::exception& e) {
    duk_push_string(ctx, e.what());
    return false;
  }
}

duk_ret_t ActiveXObject(duk_context* ctx) {
  if (!ActiveXObjectWork(ctx)) return ThrowMessage(ctx);
  return 1;
}

void Fatal(void*, const char* message) {
  std::fprintf(stderr, "quillmer: the script engine failed: %s\n", message ? message : "");
  std::abort();
}

// "line N: Error: message" for an error value on the stack's top.
std::string ErrorText(duk_context* ctx) {
  std::string line;
  if (duk_is_error(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    if (duk_is_number(ctx, -1)) line = "line " + std::to_string(duk_get_int(ctx, -1)) + ": ";
    duk_pop(ctx);
  }
  duk_size_t len = 0;
  const char* text = duk_safe_to_lstring(ctx, -1, &len);
  return line + ToUtf8(FromScript(text, len));
}

}  // namespace

ScriptHost::ScriptHost() : impl_(std::make_unique<Impl>()) {
  impl_->ctx = duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal);
  if (!impl_->ctx) throw Error("cannot start the script engine", E_OUTOFMEMORY);
  duk_context* ctx = impl_->ctx;
  duk_push_global_stash(ctx);
  duk_push_pointer(ctx, impl_.get());
  duk_put_prop_string(ctx, -2, kImplKey);
  duk_pop(ctx);
  duk_push_c_function(ctx, ActiveXObject, 1);
  duk_put_global_string(ctx, "ActiveXObject");
  duk_push_object(ctx);
  duk_push_null(ctx);
  duk_put_prop_string(ctx, -2, "menuArguments");
  duk_put_global_string(ctx, "external");
}

ScriptHost::~ScriptHost() {
  // Finalizers still running while the heap goes take their objects out.
  duk_destroy_heap(impl_->ctx);
  impl_->objects.clear();
}

void ScriptHost::SetMenuArguments(IDispatch* window) {
  duk_context* ctx = impl_->ctx;
  duk_get_global_string(ctx, "external");
  PushDispatch(ctx, window);
  duk_put_prop_string(ctx, -2, "menuArguments");
  duk_pop(ctx);
}

void ScriptHost::Define(const std::string& name, HostFunction function) {
  impl_->functions.push_back(std::make_unique<HostFunction>(std::move(function)));
  duk_context* ctx = impl_->ctx;
  duk_push_c_function(ctx, CallHost, DUK_VARARGS);
  duk_push_pointer(ctx, impl_->functions.back().get());
  duk_put_prop_string(ctx, -2, kFunctionKey);
  duk_put_global_string(ctx, name.c_str());
}

void ScriptHost::Run(std::u16string_view source, const std::string& name) {
  duk_context* ctx = impl_->ctx;
  const std::string code = ToScript(source);
  duk_push_lstring(ctx, name.data(), name.size());
  if (duk_pcompile_lstring_filename(ctx, 0, code.data(), code.size()) != 0 ||
      duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
    std::string message = ErrorText(ctx);
    duk_pop(ctx);
    throw Error("script error in " + name + " " + message, E_FAIL);
  }
  duk_pop(ctx);
}

void DefinePrint(ScriptHost& host) {
  host.Define("__print", [](const std::vector<VARIANT>& a) {
    std::u16string line;
    if (!a.empty()) VariantToString(a[0], &line);
    WriteStdout(ToUtf8(line) + "\n");
    return ScriptValue{};
  });
  host.Run(
      u"function print() {\n"
      u"  var parts = [];\n"
      u"  for (var i = 0; i < arguments.length; i++) {\n"
      u"    var a = arguments[i];\n"
      u"    parts.push(a !== null && typeof a === 'object' ? JSON.stringify(a) : String(a));\n"
      u"  }\n"
      u"  __print(parts.join(' '));\n"
      u"}\n",
      "print");
}

}  // namespace quillmer::cli
