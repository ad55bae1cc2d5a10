// The conversion tables: the GBK/Big5 character maps and the two phrase tables
// (B5fix after conversion to Big5, GBfix after conversion to GBK).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

constexpr int kCharTableSize = 32192;  // codes 0x8140..0xFEFF
constexpr int kFixSlots = 32320;
constexpr std::uint16_t kBig5Square = 0xA1BC;  // □ in Big5: no counterpart
constexpr std::uint16_t kGbkSquare = 0xA1F5;   // □ in GBK

constexpr bool IsGBKCode(unsigned code) {
  return code >= 0x8140 && code <= 0xFEFE && (code & 0xFF) >= 0x40;
}
constexpr bool IsBig5Code(unsigned code) {
  return code >= 0x8140 && code <= 0xFEFE && (code & 0xFF) >= 0x40;
}
constexpr bool IsGB2312Code(unsigned code) {
  return code >= 0xA1A1 && code <= 0xF7FE && (code & 0xFF) >= 0xA1;
}

// Slot of a first character: a double-byte code gives code - 0x8140, a single
// byte b gives b + 32191 (0x00 and 0xFEFF share slot 32191).
constexpr int FixSlotOfCode(unsigned code) { return static_cast<int>(code) - 0x8140; }
constexpr int FixSlotOfByte(unsigned char b) { return b + 32191; }

struct FixSlot {
  std::int32_t first = -1;
  std::int32_t last = -1;
};
using FixIndex = std::array<FixSlot, kFixSlots>;

// One phrase table: line-aligned keys and replacements, and the index of the
// key lines by first character.
class FixTable {
 public:
  FixTable();

  void Clear();
  // Takes the key and replacement lists from line texts (CR, LF or CR LF).
  void SetLists(std::string keysText, std::string replacementsText);
  // Appends one entry; for tables built from pairs rather than texts.
  void Add(std::string_view key, std::string_view replacement);
  // Call once the lists and the index are complete: builds the fast lookup.
  void Prepare();

  std::size_t Count() const { return count_; }
  std::string_view Key(std::size_t i) const { return View(keys_, i); }
  std::string_view Replacement(std::size_t i) const { return View(repls_, i); }
  FixIndex& Index() { return *index_; }
  const FixIndex& Index() const { return *index_; }

  // The first key of the slot's range, in table order, that matches the text
  // at p (avail bytes left); -1 when none. slot is the slot of p's character.
  std::int32_t Match(int slot, const unsigned char* p, std::size_t avail) const;

 private:
  struct Lines {
    std::string text;
    std::vector<std::uint32_t> spans;  // begin, end pairs
  };
  struct Group {
    std::vector<std::int32_t> shortKeys;  // no whole second character
    std::vector<std::uint64_t> bySecond;  // (second character << 32) | line
  };

  static void Split(Lines& lines, std::string text);
  static std::string_view View(const Lines& l, std::size_t i) {
    return std::string_view(l.text).substr(l.spans[2 * i], l.spans[2 * i + 1] - l.spans[2 * i]);
  }
  bool KeyMatches(std::int32_t i, const unsigned char* p, std::size_t avail) const;

  Lines keys_, repls_;
  std::size_t count_ = 0;
  std::unique_ptr<FixIndex> index_;
  std::vector<std::int32_t> groupOfSlot_;
  std::vector<Group> groups_;
};

struct EngineTables {
  std::array<std::uint16_t, kCharTableSize> GbToB5Table{};
  std::array<std::uint16_t, kCharTableSize> B5ToGbTable{};
  FixTable B5fix;
  FixTable GBfix;
  bool charTablesLoaded = false;
  bool allReady = false;
  // "Text_Convert" / "UserFix": whether the user's emendation files take part.
  bool userFix = true;
};

EngineTables& Tables();

void EnsureTables();
void LoadCharTables();
void InitB5fix();
void InitGBfix();

// The user emendation path: given the table (0 B5fix, 1 GBfix), fills it from
// the user's file and returns true, or returns false to take the built-in path.
using UserFixLoader = std::function<bool(FixTable&, int which)>;
void SetUserFixLoader(UserFixLoader loader);

// Loads a phrase table from its three resources (index, keys, replacements).
void LoadBuiltinFix(FixTable& table, int which);

// Forgets every table, as at module load; tests use it with their own resources.
void ResetTables();

}  // namespace quillmer

namespace quillmer {

// Calls fn(begin, end) for each line of text, split at CR, LF or CR LF; a
// last line without an end counts. Stops when fn returns false.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t begin = 0, i = 0, n = text.size();
  while (i < n) {
    char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    if (!fn(begin, i)) return;
    i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
    begin = i;
  }
  if (begin < n) fn(begin, n);
}

}  // namespace quillmer
