// GUIDs: class, interface and service identifiers, with the registry text
// form "{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}" (braces, upper case).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{};

namespace guid_detail {
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces.
constexpr std::optional<GUID> Parse(std::string_view s) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
    return std::nullopt;
  std::uint8_t bytes[16] = {};
  std::size_t pos = 0;
  for (int i = 0; i < 16; ++i) {
    if (s[pos] == '-') ++pos;
    int hi = HexValue(s[pos]), lo = HexValue(s[pos + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    pos += 2;
  }
  GUID g;
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  return g;
}
}  // namespace guid_detail

// A GUID written in the source, e.g. MakeGuid("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}").
// A malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text) {
  auto g = guid_detail::Parse(text);
  if (!g) throw "malformed GUID literal";
  return *g;
}

// Registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string GuidToString(const GUID& g);
std::u16string GuidToWideString(const GUID& g);

// Accepts the registry form, with or without braces, in either case; nullopt
// for anything else (the platform's CLSIDFromString gives CO_E_CLASSSTRING).
std::optional<GUID> GuidFromString(std::string_view text);
std::optional<GUID> GuidFromString(std::u16string_view text);

inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
inline bool IsEqualIID(const IID& a, const IID& b) { return a == b; }
inline bool IsEqualCLSID(const CLSID& a, const CLSID& b) { return a == b; }

struct GuidHash {
  std::size_t operator()(const GUID& g) const noexcept;
};

}  // namespace quillmer
