// Making objects of in-process servers by class, as the platform's COM
// runtime does: the class's registry keys under HKEY_CLASSES_ROOT name the
// module (CLSID\{...}\InprocServer32), the module is loaded once and asked
// for the class factory through its DllGetClassObject export; modules that
// answer DllCanUnloadNow with S_OK are unloaded again.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/com.h"

namespace quillmer {

constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004019Fu);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

// The entry points of a server module.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// HKEY_CLASSES_ROOT\<progId>\Clsid. CO_E_CLASSSTRING when the ProgID is not
// registered or its CLSID is not one.
HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* out);

// The class factory (or riid of it) of a registered in-process class.
// REGDB_E_CLASSNOTREG when the class or its InprocServer32 is not
// registered, CO_E_DLLNOTFOUND when the module cannot be loaded,
// CO_E_ERRORINDLL when it has no DllGetClassObject; else the module's answer.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** out);

// A new object of the class: its factory's CreateInstance.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** out);

// Unloads the modules loaded by CoGetClassObject whose DllCanUnloadNow
// answers S_OK; returns how many stay loaded.
int CoFreeUnusedLibraries();

// Why the last CoGetClassObject on this thread failed, for messages: the
// registry key or the module and the loader's reason. Empty after success.
std::string LastActivationError();

// Holds a strong reference for an outside client (lock) or drops it again.
// An unlock without a lock does nothing.
HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases);

// A module loaded by its path for a caller of its exports (the registration
// tool); unloaded when it goes.
class ServerModule {
 public:
  // Throws Error with the loader's reason when the module cannot be loaded.
  explicit ServerModule(const std::string& path);
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;
  // The export, or null when the module has none by that name.
  void* Export(const char* name) const;

 private:
  void* handle_;
};

}  // namespace quillmer
