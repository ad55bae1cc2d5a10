#include "platform/win32/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/base/error.h"
#include "platform/base/fileio.h"

namespace quillmer {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Key(std::string_view name, std::string_view type) {
  return Upper(type) + '/' + Upper(name);
}

// Owned bytes behind unique_ptr so that views into them stay put.
std::map<std::string, std::unique_ptr<std::optional<std::string>>>& Overrides() {
  static std::map<std::string, std::unique_ptr<std::optional<std::string>>> overrides;
  return overrides;
}

}  // namespace

std::optional<std::string_view> LoadModuleResource(std::string_view name, std::string_view type) {
  auto& overrides = Overrides();
  if (!overrides.empty()) {
    auto it = overrides.find(Key(name, type));
    if (it != overrides.end()) {
      if (!*it->second) return std::nullopt;
      return std::string_view(**it->second);
    }
  }
  std::size_t count = 0;
  const BuiltinResource* table = QuillmerBuiltinResources(&count);
  std::string want = Key(name, type);
  for (std::size_t i = 0; i < count; ++i) {
    if (Key(table[i].name, table[i].type) == want)
      return std::string_view(reinterpret_cast<const char*>(table[i].begin),
                              static_cast<std::size_t>(table[i].end - table[i].begin));
  }
  return std::nullopt;
}

bool IsBuiltinResourceData(std::string_view bytes) {
  std::size_t count = 0;
  const BuiltinResource* table = QuillmerBuiltinResources(&count);
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < count; ++i)
    if (!bytes.empty() && begin >= table[i].begin && begin + bytes.size() <= table[i].end)
      return true;
  return false;
}

void SetResourceOverride(std::string_view name, std::string_view type,
                         std::optional<std::string> bytes) {
  Overrides()[Key(name, type)] = std::make_unique<std::optional<std::string>>(std::move(bytes));
}

void ClearResourceOverrides() { Overrides().clear(); }

std::string ModuleFileName() {
  char exe[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string program = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
  // Built into a shared object, dladdr names that object; built into the
  // program, it names the program (or only argv[0]), and the kernel's link wins.
  Dl_info info{};
  char real[PATH_MAX];
  if (::dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) != 0 && info.dli_fname &&
      info.dli_fname[0] == '/' && ::realpath(info.dli_fname, real) && program != real)
    return real;
  return program;
}

std::string UserConfigDirectory() {
  std::string dir;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') {
    dir = x;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dir = std::string(home) + "/.config";
  } else {
    dir = ".config";
  }
  if (dir.back() != '/') dir += '/';
  return dir + "quillmer/";
}

std::string ModuleDirectory() {
  std::string dir;
  if (const char* home = std::getenv("QUILLMER_HOME"); home && *home) {
    dir = home;
  } else {
    dir = ModuleFileName();
    auto slash = dir.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash + 1);
    // An installed copy sits in a folder its user cannot write: what the
    // product writes beside the module goes to the user's own folder instead.
    if (::access(dir.c_str(), W_OK) != 0) {
      dir = UserConfigDirectory();
      // Made now so that the first write finds it; a failure shows at that write.
      try {
        MakeDirectories(dir);
      } catch (const Error&) {
      }
    }
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace quillmer
