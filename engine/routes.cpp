#include "engine/routes.h"

#include "engine/tables.h"

namespace quillmer {

int UnitBytes(UINT cp, char16_t u, std::uint16_t& bytes, bool cached) {
  unsigned char b[8];
  int n = cached ? EncodeUnitCached(cp, u, b) : -1;
  if (n < 0) n = WideCharToMultiByte(cp, 0, &u, 1, reinterpret_cast<char*>(b), 8, nullptr, nullptr);
  if (n < 1 || n > 2) return n > 2 ? -1 : n;
  bytes = n == 2 ? static_cast<std::uint16_t>(b[0] << 8 | b[1]) : b[0];
  return n;
}

bool DecodeBytes(UINT cp, std::uint16_t bytes, int n, char16_t& unit, bool cached) {
  if (n == 1 ? bytes >= 0x81 : n != 2 || bytes < 0x8100) return false;
  const unsigned char b[2] = {static_cast<unsigned char>(n == 2 ? bytes >> 8 : bytes),
                              static_cast<unsigned char>(bytes & 0xFF)};
  if (cached && HasCodePageCache(cp))
    return DecodeCharCached(cp, b, static_cast<std::size_t>(n), &unit);
  char16_t out[4];
  if (MultiByteToWideChar(cp, 0, reinterpret_cast<const char*>(b), n, out, 4) != 1) return false;
  unit = out[0];
  return true;
}

UnitRoute FindRoute(char16_t u, const DirectionInfo& info, const std::uint16_t* map,
                    std::uint16_t mark, bool cached) {
  UnitRoute r{};
  r.flags = kRouteKnown;
  char16_t w = u, back = 0;
  std::uint16_t src = 0;
  const int n = UnitBytes(info.src, u, src, cached);
  if (n == 2 && DecodeBytes(info.src, src, 2, back, cached) && back == u) {
    // Step 2: a double-byte character of the source, through the table.
    const bool inTable = src >= 0x8140 && src <= 0xFEFE;
    const std::uint16_t mapped = inTable ? map[src - 0x8140] : mark;
    if (inTable) {
      r.flags |= kRouteTable;
      r.code = src;
      r.mapped = mapped;
    }
    // Steps 3 and 4: no counterpart (□, "?" or nothing whole) keeps the unit.
    char16_t t;
    if (DecodeBytes(info.dst, mapped, 2, t, cached) && t != kWhiteSquare && t != u'?') w = t;
  }
  // Steps 5 to 7: in the target code page, or set aside.
  std::uint16_t out = 0;
  int bn = UnitBytes(info.dst, w, out, cached);
  if (bn < 1 || !DecodeBytes(info.dst, out, bn, back, cached) || back != w) {
    r.flags |= kRouteAside;
    bn = UnitBytes(info.dst, kPlaceholder, out, cached);
    if (bn != 1 || out != kPlaceholder) return r;
  }
  r.length = static_cast<std::uint8_t>(bn);
  r.bytes[0] = static_cast<unsigned char>(bn == 2 ? out >> 8 : out);
  r.bytes[1] = static_cast<unsigned char>(out);
  r.flags |= kRouteLocal;
  return r;
}

}  // namespace quillmer
