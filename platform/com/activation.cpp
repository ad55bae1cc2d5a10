#include "platform/com/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <optional>

#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"

namespace quillmer {
namespace {

struct LoadedModule {
  std::string path;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
};

std::mutex g_mutex;
std::map<void*, LoadedModule>& Modules() {
  static std::map<void*, LoadedModule> modules;
  return modules;
}
std::map<IUnknown*, int>& ExternalLocks() {
  static std::map<IUnknown*, int> locks;
  return locks;
}

thread_local std::string t_lastError;

// A REG_SZ default value, without its terminating zero; nullopt when absent.
std::optional<std::string> ReadDefault(std::string_view key) {
  RegKey k;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  std::string data;
  if (RegQueryValueEx(k.get(), "", &type, &data) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  while (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

// The registry holds ANSI text; the file system takes UTF-8.
std::string AnsiToPath(std::string_view ansi) { return ToUtf8(DecodeCodePage(GetACP(), ansi)); }

}  // namespace

HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* out) {
  if (!out) return E_POINTER;
  *out = GUID_NULL;
  if (progId.empty()) return CO_E_CLASSSTRING;
  auto text = ReadDefault(EncodeCodePage(GetACP(), progId) + "\\Clsid");
  auto clsid = text ? GuidFromString(*text) : std::nullopt;
  if (!clsid) return CO_E_CLASSSTRING;
  *out = *clsid;
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  t_lastError.clear();
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  const std::string key = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
  auto module = ReadDefault(key);
  if (!module || module->empty()) {
    t_lastError = "HKEY_CLASSES_ROOT\\" + key + " is not registered";
    return REGDB_E_CLASSNOTREG;
  }
  const std::string path = AnsiToPath(*module);

  DllGetClassObjectFn getClassObject = nullptr;
  {
    std::lock_guard lock(g_mutex);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      t_lastError = why ? why : "cannot load " + path;
      return CO_E_DLLNOTFOUND;
    }
    auto& modules = Modules();
    auto it = modules.find(handle);
    if (it != modules.end()) {
      ::dlclose(handle);  // one reference per module is enough
    } else {
      LoadedModule m;
      m.path = path;
      m.getClassObject =
          reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
      m.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
      if (!m.getClassObject) {
        ::dlclose(handle);
        t_lastError = path + " has no DllGetClassObject";
        return CO_E_ERRORINDLL;
      }
      it = modules.emplace(handle, std::move(m)).first;
    }
    getClassObject = it->second.getClassObject;
  }
  HRESULT hr = getClassObject(clsid, riid, out);
  if (FAILED(hr))
    t_lastError = path + " does not serve " + GuidToString(clsid) + ": " + HResultText(hr);
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, IID_OF(IClassFactory), factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, riid, out);
}

int CoFreeUnusedLibraries() {
  std::lock_guard lock(g_mutex);
  auto& modules = Modules();
  for (auto it = modules.begin(); it != modules.end();) {
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      ::dlclose(it->first);
      it = modules.erase(it);
    } else {
      ++it;
    }
  }
  return static_cast<int>(modules.size());
}

std::string LastActivationError() { return t_lastError; }

HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool) {
  if (!object) return E_INVALIDARG;
  {
    std::lock_guard guard(g_mutex);
    auto& locks = ExternalLocks();
    if (lock) {
      ++locks[object];
    } else {
      auto it = locks.find(object);
      if (it == locks.end()) return S_OK;
      if (--it->second == 0) locks.erase(it);
    }
  }
  // Outside the lock: the last Release may run the object's destructor.
  if (lock)
    object->AddRef();
  else
    object->Release();
  return S_OK;
}

ServerModule::ServerModule(const std::string& path)
    : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) {
    const char* why = ::dlerror();
    throw Error(std::string("cannot load the module: ") + (why ? why : path.c_str()),
                CO_E_DLLNOTFOUND);
  }
}

ServerModule::~ServerModule() { ::dlclose(handle_); }

void* ServerModule::Export(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace quillmer
