// The module's four exports, and its load and unload: the only symbols the
// module shows (com/Quillmer.map keeps the rest inside).
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "com/lifetime.h"
#include "com/server.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

namespace {

// Built into a program (the tests, the host) this unit is not the module and
// must not start the server on its own.
bool InsideModule() {
  char exe[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return true;
  return quillmer::ModuleFileName() != std::string(exe, static_cast<std::size_t>(n));
}

void ModuleDetach() { quillmer::ServerUnload(); }

// The unload is registered with atexit once the load has made the state it
// tears down: handlers run in reverse order of registration, together with
// the destructors of function statics, at dlclose or at exit. A destructor
// function would run at exit only after those statics are gone.
__attribute__((constructor)) void ModuleAttach() {
  if (!InsideModule()) return;
  // The unload may show a box: its handler must outlive the unload too.
  quillmer::SetMessageBoxHandler(quillmer::SetMessageBoxHandler({}));
  quillmer::ServerLoad();
  std::atexit(ModuleDetach);
}

}  // namespace

#define QM_EXPORT extern "C" __attribute__((visibility("default")))

QM_EXPORT quillmer::HRESULT DllGetClassObject(const quillmer::CLSID& rclsid,
                                              const quillmer::IID& riid, void** ppv) {
  return quillmer::ServerGetClassObject(rclsid, riid, ppv);
}

QM_EXPORT quillmer::HRESULT DllCanUnloadNow() { return quillmer::ServerCanUnloadNow(); }

QM_EXPORT quillmer::HRESULT DllRegisterServer() { return quillmer::ServerRegister(); }

QM_EXPORT quillmer::HRESULT DllUnregisterServer() { return quillmer::ServerUnregister(); }
