// The module as a COM server: the server object with its two counters and
// its type library, the class factories and the list that holds them, and
// the bodies of the four exports.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/identities.h"
#include "platform/com/com.h"
#include "platform/com/typelib.h"
#include "platform/win32/registry.h"

namespace quillmer {

// ---- the server object -----------------------------------------------------

// Objects of the three classes from their making until their last reference
// goes, plus outstanding LockServer(TRUE) calls.
long ServerObjectCount();
// Outstanding references to the factories.
long ServerFactoryCount();

// Counts an object of the server for as long as it lives.
class ServerCounted {
 protected:
  ServerCounted();
  ~ServerCounted();
  ServerCounted(const ServerCounted&) = delete;
  ServerCounted& operator=(const ServerCounted&) = delete;
};

// ISupportErrorInfo's answer for an object: S_OK for an interface it
// implements, S_FALSE for any other.
HRESULT SupportsErrorInfo(IUnknown* object, REFIID riid);

// The loaded server's type library; null before and after.
ITypeLib* ServerTypeLib();
// The library's name, which prefixes every ProgID (kLibraryName).
std::u16string ServerName();

// The module's own file: its full path, and its directory with a trailing
// separator (where the type library's help lives).
std::string ServerModulePath();
std::string ServerModuleDirectory();

// ---- class factories -------------------------------------------------------

// A plain class factory. Its references count in the server's factory count;
// the factory list owns it.
class TComObjectFactory : public IClassFactory {
 public:
  TComObjectFactory(const CLSID& clsid, std::u16string className, std::u16string description);
  virtual ~TComObjectFactory();
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // E_POINTER without out; CLASS_E_NOAGGREGATION for an outer object unless
  // riid is IUnknown; E_UNEXPECTED, after a "DAX Error" box, when making the
  // object fails.
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override;
  HRESULT LockServer(bool lock) override;

  const CLSID& ClassID() const { return clsid_; }
  const std::u16string& ClassName() const { return className_; }
  const std::u16string& Description() const { return description_; }
  // Server name, a point and the class name; empty for an empty class name.
  std::u16string ProgID() const;

  // Writes (or removes) the class's registry entries: the base registration,
  // then what the class adds. Throws Error when a base write fails.
  virtual void UpdateRegistry(bool registering);

 protected:
  // A new object of the class with one reference; throws when it cannot be made.
  virtual ComPtr<IUnknown> CreateComObject() = 0;

 private:
  CLSID clsid_;
  std::u16string className_, description_;
  std::atomic<long> locks_{0};
};

// The server's factories, newest first. DllGetClassObject may come from any
// thread while another registers, hence the reader/writer lock.
class FactoryList {
 public:
  // Adds a factory at the head (the newest is found first).
  void Add(std::unique_ptr<TComObjectFactory> factory);
  // The factory of a class; null when none serves it.
  TComObjectFactory* Find(REFCLSID clsid) const;
  // Every factory, newest first, with the list locked for writing.
  void ForEach(const std::function<void(TComObjectFactory&)>& visit);
  // Empties the list; the factories go outside the lock.
  void Clear();

 private:
  mutable std::shared_mutex mutex_;
  std::vector<std::unique_ptr<TComObjectFactory>> factories_;
};

// What the server holds from its load until its unload. The load builds one
// and keeps it, failed or not, until the unload frees it.
struct ServerState {
  enum class Status { Loading, Loaded, Failed };

  explicit ServerState(std::string modulePath) : modulePath(std::move(modulePath)) {}
  ServerState(const ServerState&) = delete;
  ServerState& operator=(const ServerState&) = delete;

  // The module's own file (tests put another in).
  std::string modulePath;
  // 2 when the host process is "explorer.exe", 0 otherwise.
  std::uint8_t hostIsExplorer = 0;
  FactoryList factories;
  // Set by the automation unit; null until then and after a failed load.
  ComPtr<ITypeLib> typeLib;
  Status status = Status::Loading;
  // Why the load failed; empty when it did not.
  std::string loadError;
};

// The server of the module; null before the load and after the unload. The
// exports reach everything of the server through it.
ServerState* CurrentServer();

// The loaded server's factory of a class; null when none serves it.
TComObjectFactory* FindFactory(REFCLSID clsid);

// ---- registry writes of the registration -----------------------------------

// The platform's registry text: 8-bit in the system ANSI code page.
std::string AnsiText(std::u16string_view text);

// Base registration: creates HKEY_CLASSES_ROOT\key and sets the value (empty
// name: the default) to data; Error "Error creating system registry entry"
// when that fails.
void CreateRegKey(std::string_view key, std::string_view valueName, std::string_view data);
// The module's path as registry text: its short alias when shortWhenSpaced
// and it holds a space, or when the ANSI code page cannot hold it. Throws
// Error when no form of it can be written.
std::string RegistryModulePath(bool shortWhenSpaced);

// Base deletion: one key without subkeys under HKEY_CLASSES_ROOT. A key that
// is missing or still has subkeys stays; Error when the store refuses.
void DeleteRegKey(std::string_view key);
// The extra deletions: a key with all its subkeys; a missing key is fine,
// Error when the store refuses.
void DeleteRegTree(HKEY root, std::string_view key);
// The extra registrations: opens the key (creating it when create is set) and
// writes the string, or skips it when the key cannot be opened.
void WriteRegString(HKEY root, std::string_view key, bool create, std::string_view valueName,
                    std::string_view data);

// ---- the exports -----------------------------------------------------------

HRESULT ServerGetClassObject(REFCLSID clsid, REFIID riid, void** out);
HRESULT ServerCanUnloadNow();
HRESULT ServerRegister();
HRESULT ServerUnregister();

}  // namespace quillmer
