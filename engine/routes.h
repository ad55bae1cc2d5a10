// What becomes of one UTF-16 unit when text is converted through the code
// pages: the route shared by the code-page path and the unit path.
#pragma once

#include <cstdint>

#include "engine/types.h"
#include "platform/base/types.h"
#include "platform/win32/codepage.h"

namespace quillmer {

// Stands in, in code-page text, for what is set aside.
constexpr char16_t kPlaceholder = 0x001F;
constexpr char16_t kWhiteSquare = 0x25A1;

struct DirectionInfo {
  UINT src, dst;
  TableSide table;
};

inline DirectionInfo Info(ConvDirection d) {
  return d == cdToTrad ? DirectionInfo{kCodePageGbk, kCodePageBig5, TableSide::ToTrad}
                       : DirectionInfo{kCodePageBig5, kCodePageGbk, TableSide::ToSim};
}

// ConvertScript goes one unit at a time: what becomes of a unit in steps 1 to
// 7 depends on the unit alone, and is worked out once and kept in a route
// table. ApplyFix and the last decoding then run on the whole text.
//
// A unit takes the character tables only when it is one whole character of
// the source code page that decodes back to itself; a single byte is left as
// it is, so the unit is too (code page 936 reads 0x80 as the euro sign, 950 as
// U+0080). Anything else — characters the source lacks, bytes such as 0xFF
// that the character map would pair with the next character, one-way
// mappings — has no counterpart and keeps its own form. A result that the
// target code page cannot carry as one whole character of its own, read back
// unchanged, is set aside and put back after ApplyFix; so is every surrogate
// and U+001F, which stands in for what is set aside.
struct UnitRoute {
  std::uint16_t code;      // source code-page code whose table entry the route used
  std::uint16_t mapped;    // that table entry
  unsigned char bytes[2];  // the unit of step 6 in the target code page
  std::uint8_t length;     // of bytes: 0, 1 or 2
  std::uint8_t flags;
};
constexpr std::uint8_t kRouteKnown = 1, kRouteLocal = 2, kRouteAside = 4, kRouteTable = 8;

// The bytes of one unit in cp: from the cached arrays when `cached` and they
// answer, else from the converter itself. -1 or 0 when there are none.
int UnitBytes(UINT cp, char16_t u, std::uint16_t& bytes, bool cached);
// Whether n bytes are one whole character of code-page text (a byte below
// 0x81, or a lead byte and one more) that cp decodes to one unit.
bool DecodeBytes(UINT cp, std::uint16_t bytes, int n, char16_t& unit, bool cached);
// Works out the route of u (neither a surrogate nor U+001F). map is the
// direction's character table, mark its "no counterpart" code.
UnitRoute FindRoute(char16_t u, const DirectionInfo& info, const std::uint16_t* map,
                    std::uint16_t mark, bool cached);

}  // namespace quillmer
