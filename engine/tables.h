// The conversion tables: the GBK/Big5 character maps and the two phrase tables
// (B5fix after conversion to Big5, GBfix after conversion to GBK).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/types.h"
#include "platform/base/ascii.h"

namespace quillmer {

// A number no table has had before: what a cache made from a table notes, so
// that it knows when the table has changed.
std::uint64_t NewTableStamp();

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

// Reading code-page text a character at a time, for the phrase tables.
namespace fixtext {

constexpr std::uint32_t kNoSecond = 0x10000;
constexpr std::uint32_t kFilterBits = 20;

// A character's code and length at p: a byte, or a lead byte and the next.
inline std::uint32_t FirstChar(const unsigned char* p, std::size_t avail, std::size_t& length) {
  length = p[0] >= 0x81 && avail >= 2 ? 2 : 1;
  return length == 2 ? static_cast<std::uint32_t>(p[0]) << 8 | p[1] : p[0];
}

// The second character at p + first as a code: a byte, a two-byte code, or
// kNoSecond when the text holds no whole second character.
inline std::uint32_t SecondChar(const unsigned char* p, std::size_t avail, std::size_t first) {
  if (avail <= first) return kNoSecond;
  unsigned char b = p[first];
  if (b < 0x81) return b;
  if (avail < first + 2) return kNoSecond;
  return static_cast<std::uint32_t>(b) << 8 | p[first + 1];
}

inline std::uint32_t PairBit(std::uint32_t first, std::uint32_t second) {
  return ((first << 16 | second) * 0x9E3779B1u) >> (32 - kFilterBits);
}

}  // namespace fixtext

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
  // The same over texts that outlive the table (the module's own resources),
  // read in place where their lines already end in LF.
  void SetListsInPlace(std::string_view keysText, std::string_view replacementsText);
  // Appends one entry; for tables built from pairs rather than texts.
  void Add(std::string_view key, std::string_view replacement);
  // Call once the lists and the index are complete (or changed): the fast
  // lookup is then built from them as slots are met.
  void Prepare();

  std::size_t Count() const { return count_; }
  // Changes whenever the lists or the index change (through Prepare).
  std::uint64_t Stamp() const { return stamp_; }
  std::string_view Key(std::size_t i) const {
    if (keys_.starts.empty()) FindStarts(keys_);
    return View(keys_, i);
  }
  std::string_view Replacement(std::size_t i) const {
    return repls_.starts.empty() ? FindReplacement(i) : View(repls_, i);
  }
  // The keys of lines first..hi as (line, key), in order; cheaper than Key
  // for a few slots' worth, before every line's start is noted.
  template <typename Fn>
  void ForEachKey(std::int32_t first, std::int32_t hi, Fn&& fn) const {
    std::vector<std::int32_t> spans;
    KeySpans(first, hi, spans);
    const std::string_view text = keys_.text();
    for (std::size_t k = 0; k + 2 < spans.size(); k += 3)
      fn(spans[k], text.substr(static_cast<std::size_t>(spans[k + 1]),
                               static_cast<std::size_t>(spans[k + 2])));
  }
  FixIndex& Index() { return index_ ? *index_ : NewIndex(); }
  const FixIndex& Index() const { return index_ ? *index_ : NewIndex(); }

  // The first key of the slot's range, in table order, that matches the text
  // at p (avail bytes left); -1 when none. slot is the slot of p's character.
  // keyLength, when given, receives the key's length.
  std::int32_t Match(int slot, const unsigned char* p, std::size_t avail,
                     std::size_t* keyLength = nullptr) const;
  // False when no key can begin at p (avail bytes left). Once the table has
  // been used at length, a filter on the first two characters of every key
  // tells most such text without a lookup; before, this is always true.
  bool MayBeginAt(const unsigned char* p, std::size_t avail) const {
    if (!pairFilter_ || (shortFirst_[p[0] >> 6] >> (p[0] & 63) & 1)) return true;
    // A key that matches begins with the text's first two characters.
    std::size_t length;
    const std::uint32_t first = fixtext::FirstChar(p, avail, length);
    const std::uint32_t second = fixtext::SecondChar(p, avail, length);
    if (second == fixtext::kNoSecond) return true;
    const std::uint32_t bit = fixtext::PairBit(first, second);
    return pairFilter_[bit >> 6] >> (bit & 63) & 1;
  }

 private:
  // Line i of a list is text[starts[i], starts[i + 1] - 1): every line is
  // followed by one LF, whatever ended it in the source. The text is owned,
  // or borrowed from bytes that outlive the table.
  struct Lines {
    std::string owned;
    std::string_view borrowed;
    std::vector<std::uint32_t> starts;  // one per line and one past the end
    std::size_t lines = 0;
    // Until starts are noted: the LFs before each block of kBlock bytes.
    std::vector<std::uint32_t> blockLines;
    const char* data() const { return borrowed.empty() ? owned.data() : borrowed.data(); }
    std::string_view text() const { return borrowed.empty() ? std::string_view(owned) : borrowed; }
  };
  static constexpr std::size_t kBlock = 1024;
  struct FreeDeleter {
    void operator()(void* p) const;
  };

  // Takes a text (owned, or borrowed when it can be read in place) and counts
  // its lines; FindStarts then notes where each begins.
  static void Take(Lines& lines, std::string owned, std::string_view borrowed);
  static void FindStarts(Lines& lines);
  // Replacement i before the replacement lines are noted: found from the
  // nearest block, until lookups are many enough to note them all.
  std::string_view FindReplacement(std::size_t i) const;
  static std::string_view View(const Lines& l, std::size_t i) {
    return std::string_view(l.data() + l.starts[i], l.starts[i + 1] - l.starts[i] - 1);
  }
  void SetCount();
  FixIndex& NewIndex() const;
  void ForgetLookup();
  // Line, offset and length of each key of lines first..hi, in order.
  void KeySpans(std::int32_t first, std::int32_t hi, std::vector<std::int32_t>& out) const;
  // A slot's keys, with those of slots with many keys grouped by second
  // character, built when the slot is first met.
  void BuildSlot(int slot, std::int32_t first, std::int32_t hi) const;
  void BuildFilter() const;
  // A trie over keys given as spans, all sharing their first `prefix` bytes;
  // returns its root in trie_.
  std::int32_t BuildTrie(const std::vector<std::int32_t>& keys, std::size_t prefix) const;
  // The earliest line of the trie's keys that the text at p begins with, and
  // its length; kNoLine when none.
  std::int32_t TrieMatch(std::int32_t root, std::size_t prefix, const unsigned char* p,
                         std::size_t avail, std::int32_t& length) const;
  static constexpr std::int32_t kNoLine = 0x7FFFFFFF;

  // Lines are noted when many are asked for; until then a few are found
  // from the nearest block.
  mutable Lines keys_;
  mutable Lines repls_;
  std::size_t count_ = 0;
  mutable std::unique_ptr<FixIndex> index_;
  // Per slot: 0 not built yet, else 1 + where the slot's lookup starts in
  // runs_. Zeroed memory from calloc: only the pages of slots met are touched.
  mutable std::unique_ptr<std::int32_t[], FreeDeleter> slotRuns_;
  // A slot's lookup, keys given as (line, offset, length). A few keys: 0, a
  // count, the keys. Many: 1; the count and keys of those too short to have
  // a second character; the bits of a small open-addressing table and its
  // entries (second character + 1, where its run starts); then the runs, each
  // a count and that many keys in table order.
  mutable std::vector<std::int32_t> runs_;
  mutable std::uint32_t slotsBuilt_ = 0;
  // Tries of runs with many keys (a run's count is then -1 - its root).
  mutable std::vector<std::int32_t> trie_;
  // Once a table is used at length: a bit per hashed pair of first and second
  // characters of the keys, and the first bytes of keys without a second
  // character. Text whose first two characters miss both begins no key.
  // (An ASCII byte and a two-byte code never share a code.)
  mutable std::unique_ptr<std::uint64_t[]> pairFilter_;
  mutable std::array<std::uint64_t, 4> shortFirst_{};
  mutable std::uint32_t matches_ = 0;
  std::uint64_t stamp_ = NewTableStamp();
  mutable std::uint32_t replacementsFound_ = 0;
};

// Where the engine's messages go (a faulty table line, a user file that
// cannot be read or an index that cannot be written): the tables' owner
// shows them. icon is the message box icon the message calls for.
using EngineReporter = std::function<void(const std::string& text, unsigned icon)>;

// What the user tables need of the module: where the files are, and the age
// values in the settings store (WriteAgeValue saves the file at once and
// throws Error when it cannot).
struct UserFixHost {
  std::string directory;  // with its trailing separator
  std::function<std::int32_t(std::string_view key)> ReadAgeValue;
  std::function<void(std::string_view key, std::int32_t age)> WriteAgeValue;
  std::string settingsFile = "Quillmer.ini";  // named when WriteAgeValue fails
};

struct EngineTables {
  // Filled by LoadCharTables.
  std::array<std::uint16_t, kCharTableSize> GbToB5Table{};
  std::array<std::uint16_t, kCharTableSize> B5ToGbTable{};
  FixTable B5fix;
  FixTable GBfix;
  // Changes whenever the character tables do; whoever writes to them directly
  // calls CharTablesChanged.
  std::uint64_t charStamp = NewTableStamp();
  void CharTablesChanged() { charStamp = NewTableStamp(); }
  bool charTablesLoaded = false;
  bool allReady = false;
  // "Text_Convert" / "UserFix": whether the user's emendation files take part.
  bool userFix = true;
  // The user's files, when the owner has them: InitB5fix / InitGBfix then
  // merge them in. Without, the built-in tables alone.
  std::optional<UserFixHost> user;
  EngineReporter report;

  void Report(const std::string& text, unsigned icon) const {
    if (report) report(text, icon);
  }
};

// The tables conversion uses: the current owner's (see SetCurrentTables), or
// else the process's own, for programs that never load the module.
EngineTables& Tables();
// Makes tables (owned by the caller, null for none) the current ones and
// returns the previous.
EngineTables* SetCurrentTables(EngineTables* tables);

void EnsureTables();
void LoadCharTables();
void InitB5fix();
void InitGBfix();

// Loads a phrase table from its three resources (index, keys, replacements).
void LoadBuiltinFix(FixTable& table, TableSide side);

// What tells one built-in phrase table from another, so that an index merged
// with an older one is built again: a hash of its keys and replacements, taken
// once per process for the module's own. Never 0, the value of a missing key.
std::int32_t BuiltinFixIdentity(TableSide side);

// Forgets every table, as at module load; tests use it with their own resources.
void ResetTables();

}  // namespace quillmer

namespace quillmer {

// Calls fn(begin, end) for each line of text, split at CR, LF or CR LF; a
// last line without an end counts. Stops when fn returns false.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t begin = 0, n = text.size();
  if (n == 0) return;
  if (std::memchr(text.data(), '\r', n) == nullptr) {
    // LF only, as the shipped tables are: the ends are found many at a time.
    bool go = true;
    ForEachByte(text, '\n', [&](std::size_t end) {
      if (go) go = fn(begin, end);
      begin = end + 1;
    });
    if (go && begin < n) fn(begin, n);
    return;
  }
  std::size_t i = 0;
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
