#include "platform/win32/shortpath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

namespace quillmer {
namespace {

// The characters an 8.3 name may hold, upper-cased; everything else (spaces,
// dots, non-ASCII bytes) is left out, as the platform does.
std::string ShortChars(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        std::string_view("!#$%&'()-@^_`{}~").find(static_cast<char>(c)) != std::string_view::npos)
      out += static_cast<char>(c);
  }
  return out;
}

bool LinksTo(const std::string& link, const std::string& target) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  return n >= 0 && std::string_view(buf, static_cast<std::size_t>(n)) == target;
}

// The alias of name in dir: an existing link to it, or a new one.
std::string Alias(const std::string& dir, const std::string& name) {
  auto dot = name.rfind('.');
  if (dot == 0) dot = std::string::npos;
  std::string base = ShortChars(name.substr(0, dot));
  std::string ext = dot == std::string::npos ? "" : ShortChars(name.substr(dot + 1)).substr(0, 3);
  if (base.empty()) base = "_";
  for (int n = 1; n < 100000; ++n) {
    std::string tail = "~" + std::to_string(n);
    std::string alias = base.substr(0, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
    std::string path = dir + alias;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode) && LinksTo(path, name)) return alias;
      continue;
    }
    // A relative link keeps working when the directory moves.
    if (::symlink(name.c_str(), path.c_str()) == 0) return alias;
    if (errno == EEXIST && LinksTo(path, name)) return alias;  // made by another process
    if (errno != EEXIST) return {};
  }
  return {};
}

// Short names hold no spaces and only ASCII.
bool NeedsAlias(std::string_view part) {
  for (unsigned char c : part)
    if (c == ' ' || c >= 0x80) return true;
  return false;
}

}  // namespace

std::string GetShortPathName(const std::string& longPath) {
  struct stat st {};
  if (longPath.empty() || ::stat(longPath.c_str(), &st) != 0) return {};
  std::string out;
  std::size_t pos = 0;
  if (longPath[0] == '/') {
    out = "/";
    pos = 1;
  }
  while (pos <= longPath.size()) {
    auto slash = longPath.find('/', pos);
    if (slash == std::string::npos) slash = longPath.size();
    std::string part = longPath.substr(pos, slash - pos);
    if (NeedsAlias(part)) {
      part = Alias(out.empty() ? "./" : out, part);
      if (part.empty()) return {};
    }
    out += part;
    if (slash < longPath.size()) out += '/';
    pos = slash + 1;
  }
  return out;
}

}  // namespace quillmer
