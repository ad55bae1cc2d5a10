// The module as a COM server: the server object with its two counters and
// its type library, the class factories and the list that holds them, and
// the bodies of the four exports.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

// The type library loaded at load; null before and after.
ITypeLib* ServerTypeLib();
void SetServerTypeLib(ComPtr<ITypeLib> lib);
// The library's name, which prefixes every ProgID (kLibraryName).
std::u16string ServerName();

// The module's own file: its full path, and its directory with a trailing
// separator (where the type library's help lives). Tests put another path in.
std::string ServerModulePath();
std::string ServerModuleDirectory();
void SetServerModulePathForTests(std::string path);

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

// Adds a factory at the head of the list (the newest is found first).
void AddFactory(std::unique_ptr<TComObjectFactory> factory);
// The factory of a class; null when none serves it.
TComObjectFactory* FindFactory(REFCLSID clsid);
// Every factory, newest first, with the list locked for writing.
void ForEachFactory(const std::function<void(TComObjectFactory&)>& visit);
// Empties the list (unload).
void DestroyFactories();

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
