#include "com/server.h"

#include <mutex>
#include <shared_mutex>
#include <vector>

#include "platform/com/activation.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "platform/win32/shortpath.h"

namespace quillmer {
namespace {

// Changed from any thread: DllCanUnloadNow may come from anywhere.
std::atomic<long> g_objectCount{0};
std::atomic<long> g_factoryCount{0};

constexpr const char* kThreadingModel = "Apartment";

}  // namespace

// ---- the server object -----------------------------------------------------

long ServerObjectCount() { return g_objectCount.load(); }
long ServerFactoryCount() { return g_factoryCount.load(); }

ServerCounted::ServerCounted() { ++g_objectCount; }
ServerCounted::~ServerCounted() { --g_objectCount; }

HRESULT SupportsErrorInfo(IUnknown* object, REFIID riid) {
  ComPtr<IUnknown> p;
  return object && SUCCEEDED(object->QueryInterface(riid, p.put_void())) ? S_OK : S_FALSE;
}

ITypeLib* ServerTypeLib() {
  const ServerState* server = CurrentServer();
  return server ? server->typeLib.get() : nullptr;
}

std::u16string ServerName() {
  std::u16string name;
  if (ITypeLib* lib = ServerTypeLib()) lib->GetDocumentation(-1, &name, nullptr);
  return name.empty() ? std::u16string(kLibraryName) : name;
}

std::string ServerModulePath() {
  const ServerState* server = CurrentServer();
  return server ? server->modulePath : ModuleFileName();
}

std::string ServerModuleDirectory() {
  std::string path = ServerModulePath();
  return path.substr(0, path.rfind('/') + 1);
}

// ---- class factories -------------------------------------------------------

TComObjectFactory::TComObjectFactory(const CLSID& clsid, std::u16string className,
                                     std::u16string description)
    : clsid_(clsid), className_(std::move(className)), description_(std::move(description)) {}

TComObjectFactory::~TComObjectFactory() {
  // Locks still held when the module goes count no more.
  g_objectCount -= locks_.exchange(0);
}

HRESULT TComObjectFactory::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid != IID_IUnknown && riid != IID_OF(IClassFactory)) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG TComObjectFactory::AddRef() { return static_cast<ULONG>(++g_factoryCount); }

ULONG TComObjectFactory::Release() { return static_cast<ULONG>(--g_factoryCount); }

HRESULT TComObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  ComPtr<IUnknown> object;
  try {
    object = CreateComObject();
    if (!object) throw Error("the object could not be made", E_UNEXPECTED);
  } catch (const std::exception& e) {
    MessageBox(FromUtf8(e.what()), u"DAX Error", MB_OK | MB_ICONERROR);
    return E_UNEXPECTED;
  } catch (...) {
    MessageBox(u"Unknown error", u"DAX Error", MB_OK | MB_ICONERROR);
    return E_UNEXPECTED;
  }
  // An object that gives out no reference goes with `object`.
  return object->QueryInterface(riid, out);
}

HRESULT TComObjectFactory::LockServer(bool lock) {
  if (lock) {
    CoLockObjectExternal(this, true, true);
    ++locks_;
    ++g_objectCount;
    return S_OK;
  }
  // An unlock without a lock would leave the count below what lives, and the
  // module could be unloaded under its objects.
  long held = locks_.load();
  while (held > 0 && !locks_.compare_exchange_weak(held, held - 1)) {
  }
  if (held <= 0) return S_OK;
  --g_objectCount;
  CoLockObjectExternal(this, false, true);
  return S_OK;
}

std::u16string TComObjectFactory::ProgID() const {
  return className_.empty() ? std::u16string() : ServerName() + u"." + className_;
}

void TComObjectFactory::UpdateRegistry(bool registering) {
  const std::string clsid = GuidToString(clsid_);
  const std::string classKey = "CLSID\\" + clsid;
  const std::string progId = AnsiText(ProgID());
  if (registering) {
    CreateRegKey(classKey, "", AnsiText(description_));
    // Hosts that cannot take a space in the path get its short form.
    CreateRegKey(classKey + "\\InprocServer32", "", RegistryModulePath(true));
    CreateRegKey(classKey + "\\InprocServer32", "ThreadingModel", kThreadingModel);
    if (!progId.empty()) {
      CreateRegKey(progId, "", AnsiText(description_));
      CreateRegKey(progId + "\\Clsid", "", clsid);
      CreateRegKey(classKey + "\\ProgID", "", progId);
    }
  } else {
    if (!progId.empty()) {
      DeleteRegKey(classKey + "\\ProgID");
      DeleteRegKey(progId + "\\Clsid");
      DeleteRegKey(progId);
    }
    DeleteRegKey(classKey + "\\InprocServer32");
    DeleteRegKey(classKey);
  }
}

void FactoryList::Add(std::unique_ptr<TComObjectFactory> factory) {
  std::unique_lock lock(mutex_);
  factories_.insert(factories_.begin(), std::move(factory));
}

TComObjectFactory* FactoryList::Find(REFCLSID clsid) const {
  std::shared_lock lock(mutex_);
  for (const auto& f : factories_)
    if (f->ClassID() == clsid) return f.get();
  return nullptr;
}

void FactoryList::ForEach(const std::function<void(TComObjectFactory&)>& visit) {
  std::unique_lock lock(mutex_);
  for (const auto& f : factories_) visit(*f);
}

void FactoryList::Clear() {
  std::vector<std::unique_ptr<TComObjectFactory>> gone;
  std::unique_lock lock(mutex_);
  gone.swap(factories_);
  lock.unlock();
}

TComObjectFactory* FindFactory(REFCLSID clsid) {
  ServerState* server = CurrentServer();
  return server ? server->factories.Find(clsid) : nullptr;
}

// ---- registry writes -------------------------------------------------------

std::string AnsiText(std::u16string_view text) { return EncodeCodePage(GetACP(), text); }

namespace {

bool AnsiCanHold(const std::string& utf8) {
  const std::u16string wide = FromUtf8(utf8);
  return DecodeCodePage(GetACP(), EncodeCodePage(GetACP(), wide)) == wide;
}

[[noreturn]] void ThrowRegistryError(const std::string& what, std::string_view key, LONG rc) {
  throw Error(what + ": HKEY_CLASSES_ROOT\\" + std::string(key) + " in '" + RegistryFilePath() +
                  "': " + RegErrorText(rc),
              E_FAIL);
}

}  // namespace

std::string RegistryModulePath(bool shortWhenSpaced) {
  const std::string path = ServerModulePath();
  const bool spaced = shortWhenSpaced && path.find(' ') != std::string::npos;
  if (!spaced && AnsiCanHold(path)) return AnsiText(FromUtf8(path));
  // The alias names the same file in characters any code page holds.
  const std::string alias = GetShortPathName(path);
  if (!alias.empty() && AnsiCanHold(alias)) return AnsiText(FromUtf8(alias));
  if (spaced && AnsiCanHold(path)) return AnsiText(FromUtf8(path));
  throw Error("cannot register '" + path + "': code page " + std::to_string(GetACP()) +
                  " cannot hold its path and no short alias can be made beside it",
              E_FAIL);
}

void CreateRegKey(std::string_view key, std::string_view valueName, std::string_view data) {
  RegKey k;
  const std::string value(data);
  LONG rc = RegCreateKeyEx(HKEY_CLASSES_ROOT, key,
                           KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, k.put());
  if (rc == ERROR_SUCCESS)
    rc = RegSetValueEx(k.get(), valueName, REG_SZ, value.c_str(),
                       static_cast<DWORD>(value.size() + 1));
  if (rc != ERROR_SUCCESS) ThrowRegistryError("Error creating system registry entry", key, rc);
}

namespace {

// Keys that are already gone, and keys that still have subkeys, are left as
// they are; a store that refuses the change is not.
bool Ignorable(HKEY root, std::string_view key, LONG rc) {
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED) return true;
  if (rc != ERROR_ACCESS_DENIED) return false;
  RegKey k;
  std::string sub;
  return RegOpenKeyEx(root, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS &&
         RegEnumKeyEx(k.get(), 0, &sub) == ERROR_SUCCESS;
}

}  // namespace

void DeleteRegKey(std::string_view key) {
  LONG rc = RegDeleteKey(HKEY_CLASSES_ROOT, key);
  if (!Ignorable(HKEY_CLASSES_ROOT, key, rc))
    ThrowRegistryError("Error deleting system registry entry", key, rc);
}

void DeleteRegTree(HKEY root, std::string_view key) {
  LONG rc = RegDeleteTree(root, key);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_KEY_DELETED)
    throw Error("Error deleting system registry entry: " + std::string(key) + " in '" +
                    RegistryFilePath() + "': " + RegErrorText(rc),
                E_FAIL);
}

void WriteRegString(HKEY root, std::string_view key, bool create, std::string_view valueName,
                    std::string_view data) {
  RegKey k;
  LONG opened = create ? RegCreateKeyEx(root, key, KEY_ALL_ACCESS, k.put())
                       : RegOpenKeyEx(root, key, 0, KEY_ALL_ACCESS, k.put());
  if (opened != ERROR_SUCCESS) return;
  const std::string value(data);
  if (RegSetValueEx(k.get(), valueName, REG_SZ, value.c_str(),
                    static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw Error("Failed to set data for '" + std::string(valueName) + "'", E_FAIL);
}

// ---- the exports -----------------------------------------------------------

HRESULT ServerGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  TComObjectFactory* factory = FindFactory(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, out);
}

HRESULT ServerCanUnloadNow() {
  return ServerObjectCount() != 0 || ServerFactoryCount() != 0 ? S_FALSE : S_OK;
}

namespace {

// The export's answer is E_FAIL, as the platform's; what failed goes to the
// caller as the thread's error information.
HRESULT RegistrationFailed(const char* exportName) {
  HResultFromException(std::current_exception(), FromUtf8(exportName));
  return E_FAIL;
}

}  // namespace

// Each runs as one change of the registry: written whole or not at all.
HRESULT ServerRegister() {
  try {
    RegTransaction change;
    ServerState* server = CurrentServer();
    ITypeLib* lib = server ? server->typeLib.get() : nullptr;
    if (!lib) throw Error("the type library is not loaded", E_UNEXPECTED);
    const std::string path = RegistryModulePath(false);
    OleCheck(RegisterTypeLib(lib, path, path.substr(0, path.rfind('/') + 1)), "RegisterTypeLib");
    server->factories.ForEach([](TComObjectFactory& f) { f.UpdateRegistry(true); });
    change.Commit();
    return S_OK;
  } catch (...) {
    return RegistrationFailed("DllRegisterServer");
  }
}

HRESULT ServerUnregister() {
  try {
    RegTransaction change;
    ServerState* server = CurrentServer();
    ITypeLib* lib = server ? server->typeLib.get() : nullptr;
    if (!lib) throw Error("the type library is not loaded", E_UNEXPECTED);
    TLIBATTR attr;
    OleCheck(lib->GetLibAttr(&attr), "the type library's attributes");
    UnRegisterTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
    server->factories.ForEach([](TComObjectFactory& f) { f.UpdateRegistry(false); });
    change.Commit();
    return S_OK;
  } catch (...) {
    return RegistrationFailed("DllUnregisterServer");
  }
}

}  // namespace quillmer
