#include "platform/com/guid.h"

#include <cstdio>

namespace quillmer {

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

std::u16string GuidToWideString(const GUID& g) {
  std::string s = GuidToString(g);
  return std::u16string(s.begin(), s.end());
}

std::optional<GUID> GuidFromString(std::string_view text) { return guid_detail::Parse(text); }

std::optional<GUID> GuidFromString(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return guid_detail::Parse(narrow);
}

std::size_t GuidHash::operator()(const GUID& g) const noexcept {
  std::size_t h = g.Data1;
  h = h * 31 + g.Data2;
  h = h * 31 + g.Data3;
  for (auto b : g.Data4) h = h * 31 + b;
  return h;
}

}  // namespace quillmer
