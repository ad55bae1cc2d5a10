#include "platform/win32/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/fileio.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

struct quillmer::HKEY__ {
  int hive;
  std::vector<std::string> path;  // UTF-8 names below the hive
  REGSAM access;
};

namespace quillmer {
namespace {

constexpr const char* kHiveNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                      "HKEY_LOCAL_MACHINE"};
constexpr int kHives = 3;

struct Value {
  std::string name;  // UTF-8
  DWORD type = REG_NONE;
  std::string data;  // REG_SZ and REG_EXPAND_SZ as UTF-8, others as given
};

struct Key {
  std::string name;                                        // UTF-8, as first created
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by folded name
  std::vector<Value> values;
};

struct Store {
  Key hives[kHives];
};

// Who the cached store was read from, to notice another process's rename.
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct State {
  std::recursive_mutex mutex;
  std::string path;
  std::optional<FileIdentity> identity;  // empty: nothing cached
  Store store;
  LONG loadError = ERROR_SUCCESS;  // ERROR_BADDB when the file is damaged
  std::string damage;              // why, for ExportRegistry
  std::set<HKEY> handles;
  RegFaultHook hook;
  int txDepth = 0;
  bool inTx = false;  // the cache is the transaction's copy: never reread
  bool txDirty = false;
};

State& S() {
  static State state;
  return state;
}

std::u16string Fold(std::string_view utf8) {
  std::u16string wide = FromUtf8(utf8);
  std::u16string out(wide.size() * 3 + 1, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                            reinterpret_cast<const UChar*>(wide.data()),
                            static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT, &err);
  if (U_FAILURE(err)) return wide;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return a == b || Fold(a) == Fold(b); }

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  return ToUtf8(DecodeCodePage(GetACP(), ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return EncodeCodePage(GetACP(), FromUtf8(utf8));
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// ---- the file --------------------------------------------------------------

std::string DefaultPath() {
  if (const char* p = std::getenv("QUILLMER_REGISTRY"); p && *p) return p;
  return UserConfigDirectory() + "registry";
}

FileIdentity Identify(const std::string& path) {
  FileIdentity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return id;
  id.exists = true;
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  id.size = st.st_size;
  id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (i) out += ',';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// A REG_SZ prints as a quoted string when it is one line of text ended by its
// one terminating zero; anything else prints as hex(1) so that it reads back
// byte for byte.
bool PrintsAsString(const Value& v) {
  if (v.type != REG_SZ || v.data.empty() || v.data.back() != '\0') return false;
  std::string_view text(v.data.data(), v.data.size() - 1);
  return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

std::string FormatValue(const Value& v) {
  std::string line = v.name.empty() ? "@" : Quote(v.name);
  line += '=';
  if (PrintsAsString(v)) {
    line += Quote(std::string_view(v.data.data(), v.data.size() - 1));
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    std::uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = d << 8 | static_cast<unsigned char>(v.data[i]);
    char buf[20];
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    line += buf;
  } else if (v.type == REG_BINARY) {
    line += "hex:" + Hex(v.data);
  } else {
    line += "hex(" + std::to_string(v.type) + "):" + Hex(v.data);
  }
  return line;
}

void FormatKey(const Key& key, const std::string& path, std::string& out) {
  out += '[' + path + "]\n";
  for (const Value& v : key.values) out += FormatValue(v) + '\n';
  out += '\n';
  for (const auto& [folded, sub] : key.subkeys) FormatKey(*sub, path + '\\' + sub->name, out);
}

std::string Serialize(const Store& store) {
  std::string out = "REGEDIT4\n\n";
  for (int h = 0; h < kHives; ++h) FormatKey(store.hives[h], kHiveNames[h], out);
  return out;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t next = path.find('\\', at);
    if (next == std::string_view::npos) next = path.size();
    if (next > at) parts.emplace_back(path.substr(at, next - at));
    at = next + 1;
  }
  return parts;
}

int HiveIndex(std::string_view name) {
  static constexpr const char* kShort[] = {"HKCR", "HKCU", "HKLM"};
  for (int h = 0; h < kHives; ++h)
    if (SameName(name, kHiveNames[h]) || SameName(name, kShort[h])) return h;
  return -1;
}

Key* Child(Key& key, std::string_view name, bool create) {
  std::u16string folded = Fold(name);
  auto it = key.subkeys.find(folded);
  if (it != key.subkeys.end()) return it->second.get();
  if (!create) return nullptr;
  auto sub = std::make_unique<Key>();
  sub->name = std::string(name);
  Key* raw = sub.get();
  key.subkeys.emplace(std::move(folded), std::move(sub));
  return raw;
}

Value* FindValue(Key& key, std::string_view name) {
  for (Value& v : key.values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

class ParseError {
 public:
  std::size_t line;
  std::string what;
};

// Reads a quoted string at s[at] (the opening quote); at ends past the close.
std::string ReadQuoted(std::string_view s, std::size_t& at, std::size_t lineNo) {
  std::string out;
  ++at;
  while (at < s.size() && s[at] != '"') {
    if (s[at] == '\\' && at + 1 < s.size()) ++at;
    out += s[at++];
  }
  if (at >= s.size()) throw ParseError{lineNo, "unterminated string"};
  ++at;
  return out;
}

std::string ReadHex(std::string_view s, std::size_t lineNo) {
  std::string out;
  std::size_t at = 0;
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw ParseError{lineNo, "bad hex digit"};
  };
  while (at < s.size()) {
    if (at + 2 > s.size()) throw ParseError{lineNo, "bad hex byte"};
    out += static_cast<char>(digit(s[at]) << 4 | digit(s[at + 1]));
    at += 2;
    if (at < s.size()) {
      if (s[at] != ',') throw ParseError{lineNo, "expected ','"};
      ++at;
    }
  }
  return out;
}

Value ParseValue(std::string_view line, std::size_t lineNo) {
  Value v;
  std::size_t at = 0;
  if (line[0] == '@') {
    at = 1;
  } else {
    v.name = ReadQuoted(line, at, lineNo);
  }
  if (at >= line.size() || line[at] != '=') throw ParseError{lineNo, "expected '='"};
  std::string_view data = line.substr(at + 1);
  if (!data.empty() && data[0] == '"') {
    std::size_t q = 0;
    v.type = REG_SZ;
    v.data = ReadQuoted(data, q, lineNo);
    if (q != data.size()) throw ParseError{lineNo, "text after the string"};
    v.data += '\0';
  } else if (data.starts_with("dword:")) {
    std::string_view digits = data.substr(6);
    if (digits.size() != 8) throw ParseError{lineNo, "a dword has eight hex digits"};
    std::string be =
        ReadHex(std::string(digits.substr(0, 2)) + ',' + std::string(digits.substr(2, 2)) + ',' +
                    std::string(digits.substr(4, 2)) + ',' + std::string(digits.substr(6, 2)),
                lineNo);
    v.type = REG_DWORD;
    v.data.assign(be.rbegin(), be.rend());
  } else if (data.starts_with("hex:")) {
    v.type = REG_BINARY;
    v.data = ReadHex(data.substr(4), lineNo);
  } else if (data.starts_with("hex(")) {
    std::size_t close = data.find("):");
    if (close == std::string_view::npos || close == 4) throw ParseError{lineNo, "bad hex type"};
    std::string_view t = data.substr(4, close - 4);
    DWORD type = 0;
    for (char c : t) {
      if (c < '0' || c > '9' || type > 0x0FFFFFFF) throw ParseError{lineNo, "bad hex type"};
      type = type * 10 + static_cast<DWORD>(c - '0');
    }
    v.type = type;
    v.data = ReadHex(data.substr(close + 2), lineNo);
  } else {
    throw ParseError{lineNo, "unknown value form"};
  }
  return v;
}

Store Parse(std::string_view text) {
  Store store;
  Key* current = nullptr;
  bool header = false;
  std::size_t lineNo = 0, at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (!header) {
      if (line != "REGEDIT4") throw ParseError{lineNo, "the first line is not REGEDIT4"};
      header = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') throw ParseError{lineNo, "a key line ends with ']'"};
      auto parts = SplitPath(line.substr(1, line.size() - 2));
      int hive = parts.empty() ? -1 : HiveIndex(parts[0]);
      if (hive < 0) throw ParseError{lineNo, "unknown hive"};
      current = &store.hives[hive];
      for (std::size_t i = 1; i < parts.size(); ++i) current = Child(*current, parts[i], true);
      continue;
    }
    if (!current) throw ParseError{lineNo, "a value before any key"};
    Value v = ParseValue(line, lineNo);
    if (Value* old = FindValue(*current, v.name))
      *old = std::move(v);
    else
      current->values.push_back(std::move(v));
  }
  return store;
}

// Brings the cache in step with the file; false when it is damaged.
void Refresh(State& s) {
  if (s.inTx) return;
  std::string path = DefaultPath();
  FileIdentity id = Identify(path);
  if (s.identity && *s.identity == id && s.path == path) return;
  s.path = path;
  s.identity = id;
  s.loadError = ERROR_SUCCESS;
  s.damage.clear();
  s.store = Store{};
  if (!id.exists) return;
  try {
    auto text = ReadFileIfExists(path);
    if (text) s.store = Parse(*text);
  } catch (const ParseError& e) {
    s.loadError = ERROR_BADDB;
    s.damage =
        "registry file '" + path + "' is damaged at line " + std::to_string(e.line) + ": " + e.what;
  } catch (const Error& e) {
    s.loadError = ERROR_ACCESS_DENIED;
    s.damage = e.what();
  }
}

std::string FullPath(int hive, const std::vector<std::string>& path) {
  std::string out = kHiveNames[hive];
  for (const auto& p : path) out += '\\' + p;
  return out;
}

LONG AskHook(State& s, RegOp op, int hive, const std::vector<std::string>& path) {
  if (!s.hook) return ERROR_SUCCESS;
  return s.hook(op, FullPath(hive, path));
}

int PredefinedHive(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return 0;
  if (key == HKEY_CURRENT_USER) return 1;
  if (key == HKEY_LOCAL_MACHINE) return 2;
  return -1;
}

// The key a handle names; null for an unknown handle.
struct Target {
  int hive = -1;
  std::vector<std::string> path;
  REGSAM access = KEY_ALL_ACCESS;
};

std::optional<Target> Resolve(State& s, HKEY key) {
  if (int h = PredefinedHive(key); h >= 0) return Target{h, {}, KEY_ALL_ACCESS};
  if (!key || !s.handles.count(key)) return std::nullopt;
  return Target{key->hive, key->path, key->access};
}

Key* Walk(Store& store, int hive, const std::vector<std::string>& path) {
  Key* k = &store.hives[hive];
  for (const auto& p : path) {
    k = Child(*k, p, false);
    if (!k) return nullptr;
  }
  return k;
}

bool ValidName(std::string_view name) {
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// Splits an ANSI subkey path into UTF-8 names; false for a name the file
// cannot hold.
bool SubPath(std::string_view subKey, std::vector<std::string>& out) {
  for (auto& part : SplitPath(subKey)) {
    if (!ValidName(part)) return false;
    out.push_back(AnsiToUtf8(part));
  }
  return true;
}

LONG FromError(const Error& e) {
  return e.code() == static_cast<HRESULT>(0x80070005u) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
}

// Runs change on the freshest store under the directory lock and writes the
// result; nothing is written when change fails.
template <typename Fn>
LONG Change(State& s, Fn&& change) {
  if (s.inTx) {
    LONG rc = change(s.store);
    if (rc == ERROR_SUCCESS) s.txDirty = true;
    return rc;
  }
  std::string path = DefaultPath();
  int dirFd = -1;
  try {
    MakeDirectories(DirectoryOf(path));
    dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
      while (::flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
      }
    Refresh(s);
    LONG rc = s.loadError;
    if (rc == ERROR_SUCCESS) rc = change(s.store);
    if (rc == ERROR_SUCCESS) {
      s.identity.reset();  // should the write fail, read the file again
      ReplaceFileAtomic(path, Serialize(s.store), -1, ReadOnlyFiles::Refuse);
      s.identity = Identify(path);
    }
    if (dirFd >= 0) ::close(dirFd);
    return rc;
  } catch (const Error& e) {
    if (dirFd >= 0) ::close(dirFd);
    s.identity.reset();
    return FromError(e);
  }
}

}  // namespace

LONG RegOpenKeyEx(HKEY key, std::string_view subKey, DWORD, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  if (!SubPath(subKey, t->path)) return ERROR_INVALID_PARAMETER;
  if (LONG rc = AskHook(s, RegOp::Open, t->hive, t->path)) return rc;
  Refresh(s);
  if (s.loadError) return s.loadError;
  if (!Walk(s.store, t->hive, t->path)) return ERROR_FILE_NOT_FOUND;
  auto* h = new HKEY__{t->hive, std::move(t->path), access};
  s.handles.insert(h);
  *result = h;
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY* result,
                    DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  bool hasSub = !SplitPath(subKey).empty();
  if (hasSub && !(t->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  if (!SubPath(subKey, t->path)) return ERROR_INVALID_PARAMETER;
  if (LONG rc = AskHook(s, RegOp::Open, t->hive, t->path)) return rc;
  Refresh(s);
  if (s.loadError) return s.loadError;
  DWORD disp = REG_OPENED_EXISTING_KEY;
  if (!Walk(s.store, t->hive, t->path)) {
    if (LONG rc = AskHook(s, RegOp::Write, t->hive, t->path)) return rc;
    LONG rc = Change(s, [&](Store& store) {
      Key* k = &store.hives[t->hive];
      for (const auto& p : t->path) k = Child(*k, p, true);
      return ERROR_SUCCESS;
    });
    if (rc) return rc;
    disp = REG_CREATED_NEW_KEY;
  }
  if (disposition) *disposition = disp;
  auto* h = new HKEY__{t->hive, std::move(t->path), access};
  s.handles.insert(h);
  *result = h;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (PredefinedHive(key) >= 0) return ERROR_SUCCESS;
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (!key || !s.handles.erase(key)) return ERROR_INVALID_HANDLE;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY key, std::string_view valueName, DWORD type, const void* data, DWORD size) {
  if (size && !data) return ERROR_INVALID_PARAMETER;
  if (valueName.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
    return ERROR_INVALID_PARAMETER;
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  if (!(t->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (LONG rc = AskHook(s, RegOp::Write, t->hive, t->path)) return rc;
  Value v;
  v.name = AnsiToUtf8(valueName);
  v.type = type;
  std::string_view bytes(static_cast<const char*>(data), size);
  v.data = IsText(type) ? AnsiToUtf8(bytes) : std::string(bytes);
  return Change(s, [&](Store& store) {
    Key* k = Walk(store, t->hive, t->path);
    if (!k) return ERROR_KEY_DELETED;
    if (Value* old = FindValue(*k, v.name)) {
      old->type = v.type;
      old->data = v.data;
    } else {
      k->values.push_back(v);
    }
    return ERROR_SUCCESS;
  });
}

namespace {

// Runs read on the open key's current contents, under the lock.
template <class Read>
LONG ReadKey(HKEY key, Read read) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  Refresh(s);
  if (s.loadError) return s.loadError;
  Key* k = Walk(s.store, t->hive, t->path);
  if (!k) return ERROR_KEY_DELETED;
  return read(*k);
}

}  // namespace

LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, std::string* data) {
  return ReadKey(key, [&](Key& k) -> LONG {
    Value* v = FindValue(k, AnsiToUtf8(valueName));
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    if (data) *data = IsText(v->type) ? Utf8ToAnsi(v->data) : v->data;
    return ERROR_SUCCESS;
  });
}

LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, void* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  std::string bytes;
  LONG rc = RegQueryValueEx(key, valueName, type, &bytes);
  if (rc) return rc;
  if (!size) return ERROR_SUCCESS;
  auto need = static_cast<DWORD>(bytes.size());
  if (data && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  *size = need;
  return ERROR_SUCCESS;
}

LONG RegDeleteValue(HKEY key, std::string_view valueName) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  if (!(t->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (LONG rc = AskHook(s, RegOp::Write, t->hive, t->path)) return rc;
  std::string name = AnsiToUtf8(valueName);
  return Change(s, [&](Store& store) {
    Key* k = Walk(store, t->hive, t->path);
    if (!k) return ERROR_KEY_DELETED;
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const Value& v) { return SameName(v.name, name); });
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    k->values.erase(it);
    return ERROR_SUCCESS;
  });
}

namespace {

LONG DeleteKey(HKEY key, std::string_view subKey, bool tree) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto t = Resolve(s, key);
  if (!t) return ERROR_INVALID_HANDLE;
  const std::size_t parentDepth = t->path.size();
  if (!SubPath(subKey, t->path)) return ERROR_INVALID_PARAMETER;
  bool self = t->path.size() == parentDepth;
  if (self && !tree) return ERROR_INVALID_PARAMETER;
  if (LONG rc = AskHook(s, RegOp::Write, t->hive, t->path)) return rc;
  return Change(s, [&](Store& store) {
    Key* k = Walk(store, t->hive, t->path);
    if (!k) return self ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
    if (self) {
      k->subkeys.clear();
      k->values.clear();
      return ERROR_SUCCESS;
    }
    if (!tree && !k->subkeys.empty()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parentPath(t->path.begin(), t->path.end() - 1);
    Key* parent = Walk(store, t->hive, parentPath);
    parent->subkeys.erase(Fold(t->path.back()));
    return ERROR_SUCCESS;
  });
}

}  // namespace

LONG RegDeleteKey(HKEY key, std::string_view subKey) { return DeleteKey(key, subKey, false); }
LONG RegDeleteTree(HKEY key, std::string_view subKey) { return DeleteKey(key, subKey, true); }

LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name) {
  return ReadKey(key, [&](Key& k) -> LONG {
    if (index >= k.subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = std::next(k.subkeys.begin(), static_cast<std::ptrdiff_t>(index));
    if (name) *name = Utf8ToAnsi(it->second->name);
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValue(HKEY key, DWORD index, std::string* name, DWORD* type, std::string* data) {
  return ReadKey(key, [&](Key& k) -> LONG {
    if (index >= k.values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k.values[index];
    if (name) *name = Utf8ToAnsi(v.name);
    if (type) *type = v.type;
    if (data) *data = IsText(v.type) ? Utf8ToAnsi(v.data) : v.data;
    return ERROR_SUCCESS;
  });
}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    reset();
    key_ = other.release();
  }
  return *this;
}

void RegKey::reset() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

RegTransaction::RegTransaction() {
  State& s = S();
  lock_ = std::unique_lock(s.mutex);
  if (s.txDepth++ > 0) return;
  outermost_ = true;
  open_ = true;
  try {
    path_ = DefaultPath();
    const std::string dir = DirectoryOf(path_);
    MakeDirectories(dir);
    dirFd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) throw Error(SystemErrorText("lock the registry in", dir), E_FAIL);
    while (::flock(dirFd_, LOCK_EX) != 0) {
      if (errno != EINTR) throw Error(SystemErrorText("lock the registry in", dir), E_FAIL);
    }
    s.identity.reset();  // another process may have changed it a moment ago
    Refresh(s);
    if (s.loadError) throw Error(s.damage, E_FAIL);
    s.inTx = true;
    s.txDirty = false;
  } catch (...) {
    End(false);
    throw;
  }
}

RegTransaction::~RegTransaction() { End(false); }

void RegTransaction::Commit() {
  if (!open_) return;
  State& s = S();
  if (s.txDirty) {
    try {
      ReplaceFileAtomic(path_, Serialize(s.store), -1, ReadOnlyFiles::Refuse);
    } catch (const Error& e) {
      End(false);
      throw Error("cannot write the registry: " + std::string(e.what()), e.code());
    }
  }
  End(true);
}

void RegTransaction::End(bool keep) {
  if (!lock_.owns_lock()) return;
  State& s = S();
  if (outermost_ && open_) {
    s.inTx = false;
    s.txDirty = false;
    // Kept: the cache is what was written. Dropped: read the file again.
    s.identity.reset();
    if (keep) s.identity = Identify(path_);
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = -1;
    open_ = false;
  }
  --s.txDepth;
  lock_.unlock();
}

std::string RegErrorText(LONG code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "success";
    case ERROR_FILE_NOT_FOUND:
      return "not found";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_INVALID_HANDLE:
      return "invalid handle";
    case ERROR_WRITE_FAULT:
      return "the registry file cannot be written";
    case ERROR_INVALID_PARAMETER:
      return "invalid name";
    case ERROR_BADDB:
      return "the registry file is damaged";
    case ERROR_KEY_DELETED:
      return "the key was deleted";
    default:
      return "error " + std::to_string(code);
  }
}

std::string RegistryFilePath() { return DefaultPath(); }

std::string ExportRegistry(std::string_view path) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  Refresh(s);
  if (s.loadError) throw Error(s.damage);
  auto parts = SplitPath(path);
  if (parts.empty()) return Serialize(s.store);
  int hive = HiveIndex(parts[0]);
  if (hive < 0) throw Error("no such hive: " + parts[0], E_INVALIDARG);
  parts.erase(parts.begin());
  Key* k = Walk(s.store, hive, parts);
  if (!k) throw Error("no such key: " + std::string(path), E_FILE_NOT_FOUND);
  // The key's path as stored, with the case it was made with.
  std::string shown = kHiveNames[hive];
  Key* at = &s.store.hives[hive];
  for (const auto& p : parts) {
    at = Child(*at, p, false);
    shown += '\\' + at->name;
  }
  std::string out = "REGEDIT4\n\n";
  FormatKey(*k, shown, out);
  return out;
}

void SetRegistryFaultHook(RegFaultHook hook) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.hook = std::move(hook);
}

}  // namespace quillmer
