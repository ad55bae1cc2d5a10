// The registry: hives of keys with subkeys and typed values, kept in one
// file (QUILLMER_REGISTRY, else $XDG_CONFIG_HOME/quillmer/registry, else
// ~/.config/quillmer/registry) that every call reads again when another
// process has replaced it, and that every change rewrites atomically.
//
// The calls are the platform's ANSI ones: names and REG_SZ data are bytes in
// the system ANSI code page; the file holds them as UTF-8 in REGEDIT4 form.
// Names compare without regard to case. A subkey path may start or end with
// a backslash.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/base/types.h"
#include "platform/win32/codepage.h"

namespace quillmer {

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = std::uint32_t;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key. An empty subKey opens key itself again.
LONG RegOpenKeyEx(HKEY key, std::string_view subKey, DWORD options, REGSAM access, HKEY* result);

// Opens a key, creating it and its missing parents. disposition, when given,
// says whether the key was created or already there.
LONG RegCreateKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY* result,
                    DWORD* disposition = nullptr);

LONG RegCloseKey(HKEY key);

// Sets a value; an empty name is the key's default value. REG_SZ data is the
// text with its terminating zero, as the platform stores it.
LONG RegSetValueEx(HKEY key, std::string_view valueName, DWORD type, const void* data, DWORD size);

// The platform's contract: with data null, *size receives the length needed;
// when *size is too small, ERROR_MORE_DATA and the length needed.
LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, void* data, DWORD* size);
// The whole value at once.
LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, std::string* data);

LONG RegDeleteValue(HKEY key, std::string_view valueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKey(HKEY key, std::string_view subKey);
// Deletes a key with all its subkeys; an empty subKey empties key itself.
LONG RegDeleteTree(HKEY key, std::string_view subKey);

// The index-th subkey name in name order, or ERROR_NO_MORE_ITEMS.
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name);
// The index-th value in the order the values were made, or ERROR_NO_MORE_ITEMS.
LONG RegEnumValue(HKEY key, DWORD index, std::string* name, DWORD* type = nullptr,
                  std::string* data = nullptr);

// Closes the key when it goes.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  RegKey(RegKey&& other) noexcept : key_(other.release()) {}
  RegKey& operator=(RegKey&& other) noexcept;
  ~RegKey() { reset(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY get() const { return key_; }
  HKEY* put() {
    reset();
    return &key_;
  }
  HKEY release() {
    HKEY k = key_;
    key_ = nullptr;
    return k;
  }
  void reset();
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// Makes every change this process makes while it lives one change of the
// store, all or nothing: the store is locked against other processes and
// threads, read once, changed in memory and written once by Commit. Gone
// without a Commit, it leaves the store as it was. Reads see the changes
// made so far. Nested ones join the outermost.
class RegTransaction {
 public:
  // Throws Error naming the file when the store cannot be locked or read, or
  // is damaged.
  RegTransaction();
  ~RegTransaction();
  RegTransaction(const RegTransaction&) = delete;
  RegTransaction& operator=(const RegTransaction&) = delete;
  // Writes the changes, if there are any. Throws Error naming the file when
  // it cannot (read-only file or folder, full disk); the store stays as it was.
  void Commit();

 private:
  void End(bool keep);
  std::unique_lock<std::recursive_mutex> lock_;
  std::string path_;
  int dirFd_ = -1;
  bool outermost_ = false;
  bool open_ = false;
};

// A registry result as text ("access denied", "the registry file is
// damaged" ...), for messages.
std::string RegErrorText(LONG code);

// The store's file: QUILLMER_REGISTRY or the default under the user's
// configuration directory.
std::string RegistryFilePath();

// The whole registry as REGEDIT4 text (UTF-8), from the key given by path
// (e.g. "HKEY_CURRENT_USER\Software"; empty for every hive). Throws Error when
// the file cannot be read or is damaged, or the key does not exist.
std::string ExportRegistry(std::string_view path = {});

// Test seam: hook(op, path) is asked before every open and every change; a
// result other than ERROR_SUCCESS makes the call fail with it. path is the
// full key path ("HKEY_LOCAL_MACHINE\Software\..."). An empty hook removes it.
enum class RegOp { Open, Write };
using RegFaultHook = std::function<LONG(RegOp op, std::string_view path)>;
void SetRegistryFaultHook(RegFaultHook hook);

}  // namespace quillmer
