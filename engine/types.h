// Shared engine types: text encodings, conversion directions and the byte
// stream the conversions work on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillmer {

enum TextEncoding : std::uint8_t {
  teUnicode = 0,    // UTF-16 little-endian
  teUnicodeBE = 1,  // UTF-16 big-endian
  teUTF8 = 2,
  teGBK = 3,   // code page 936
  teBig5 = 4,  // code page 950
  teUnknown = 5,
};

enum ConvDirection : std::uint8_t {
  cdToTrad = 0,  // Simplified to Traditional
  cdToSim = 1,   // Traditional to Simplified
  cdNone = 2,    // only the encoding changes
};

// Which way a character map or phrase table converts: ToTrad is
// GbToB5Table and B5fix, ToSim B5ToGbTable and GBfix. The values number the
// tables' slots.
enum class TableSide : std::uint8_t { ToTrad = 0, ToSim = 1 };

constexpr std::size_t SlotOf(TableSide side) { return static_cast<std::size_t>(side); }

// A growable in-memory byte buffer with a position, as the conversions read
// and rewrite it.
struct TextStream {
  std::string data;
  std::size_t position = 0;

  TextStream() = default;
  explicit TextStream(std::string bytes) : data(std::move(bytes)) {}
  std::size_t size() const { return data.size(); }
};

// Code-page text: bytes up to 0x80 are single characters, a byte of 0x81 or
// above leads a two-byte character.
constexpr bool IsLeadByte(unsigned char b) { return b >= 0x81; }

}  // namespace quillmer
