#include "platform/win32/resfile.h"

#include <elf.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/base/error.h"

namespace quillmer {
namespace {

constexpr HRESULT E_BAD_FORMAT = static_cast<HRESULT>(0x800700C1u);  // ERROR_BAD_FORMAT
constexpr std::uint64_t kMaxSection = 64u << 20;

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The platform's numbered types by their names.
std::string_view TypeName(std::string_view t) {
  if (t.starts_with('#')) t.remove_prefix(1);
  if (t == "23") return "RT_HTML";
  if (t == "10" || EqualNoCase(t, "RT_RCDATA")) return "RCDATA";
  return t;
}

std::uint32_t Le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

class ModuleFile {
 public:
  explicit ModuleFile(const std::string& path) : path_(path), in_(path, std::ios::binary) {
    if (!in_) {
      int err = errno;
      throw Error("cannot read module " + path + ": " + std::strerror(err),
                  err == ENOENT ? E_FILE_NOT_FOUND : E_FAIL);
    }
    in_.seekg(0, std::ios::end);
    size_ = static_cast<std::uint64_t>(in_.tellg());
  }

  std::string Read(std::uint64_t offset, std::uint64_t length) {
    if (offset > size_ || length > size_ - offset) NotAModule();
    std::string out(length, '\0');
    in_.seekg(static_cast<std::streamoff>(offset));
    if (!in_.read(out.data(), static_cast<std::streamsize>(length))) NotAModule();
    return out;
  }

  [[noreturn]] void NotAModule() const {
    throw Error(path_ + " is not a module with resources", E_BAD_FORMAT);
  }

  std::string Section(std::string_view wanted) {
    Elf64_Ehdr eh;
    std::string head = Read(0, sizeof eh);
    std::memcpy(&eh, head.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr) ||
        eh.e_shstrndx >= eh.e_shnum)
      NotAModule();
    std::string table = Read(eh.e_shoff, std::uint64_t{eh.e_shnum} * sizeof(Elf64_Shdr));
    auto header = [&](std::size_t i) {
      Elf64_Shdr sh;
      std::memcpy(&sh, table.data() + i * sizeof sh, sizeof sh);
      return sh;
    };
    Elf64_Shdr strtab = header(eh.e_shstrndx);
    if (strtab.sh_size > kMaxSection) NotAModule();
    std::string names = Read(strtab.sh_offset, strtab.sh_size);
    for (std::size_t i = 0; i < eh.e_shnum; ++i) {
      Elf64_Shdr sh = header(i);
      if (sh.sh_name >= names.size()) continue;
      if (std::string_view(names.c_str() + sh.sh_name) != wanted) continue;
      if (sh.sh_type == SHT_NOBITS || sh.sh_size > kMaxSection) NotAModule();
      return Read(sh.sh_offset, sh.sh_size);
    }
    NotAModule();
  }

 private:
  std::string path_;
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::optional<std::string> LoadResourceFromModuleFile(const std::string& modulePath,
                                                      std::string_view name,
                                                      std::string_view type) {
  ModuleFile file(modulePath);
  std::string s = file.Section(kModuleResourceSection);
  if (s.size() < 12 || s.compare(0, 8, "QMRSRC01") != 0) file.NotAModule();
  const std::uint32_t count = Le32(s, 8);
  if (count > (s.size() - 12) / 24) file.NotAModule();
  auto piece = [&](std::size_t at) {
    std::uint32_t off = Le32(s, at), len = Le32(s, at + 4);
    if (off > s.size() || len > s.size() - off) file.NotAModule();
    return std::string_view(s).substr(off, len);
  };
  const std::string_view wantedType = TypeName(type);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = 12 + std::size_t{i} * 24;
    if (EqualNoCase(piece(at), wantedType) && EqualNoCase(piece(at + 8), name))
      return std::string(piece(at + 16));
  }
  return std::nullopt;
}

std::optional<ResUrl> ParseResUrl(std::string_view url) {
  constexpr std::string_view scheme = "res://";
  if (url.size() < scheme.size() || !EqualNoCase(url.substr(0, scheme.size()), scheme))
    return std::nullopt;
  url.remove_prefix(scheme.size());
  auto last = url.rfind('/');
  if (last == std::string_view::npos || last == 0 || last + 1 == url.size()) return std::nullopt;
  ResUrl r;
  r.name = url.substr(last + 1);
  std::string_view rest = url.substr(0, last);
  auto prev = rest.rfind('/');
  std::string_view segment = prev == std::string_view::npos ? rest : rest.substr(prev + 1);
  std::string_view type = TypeName(segment);
  if (prev != std::string_view::npos && prev > 0 &&
      (EqualNoCase(type, "RT_HTML") || EqualNoCase(type, "RCDATA") ||
       EqualNoCase(type, "TYPELIB"))) {
    r.type = type;
    r.module = rest.substr(0, prev);
  } else {
    r.type = "RT_HTML";
    r.module = rest;
  }
  return r;
}

}  // namespace quillmer
