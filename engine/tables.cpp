#include "engine/tables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/types.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/module.h"

namespace quillmer {
namespace {

// Slots with more keys than this get a second-character index.
constexpr std::size_t kLinearScanLimit = 8;
constexpr std::uint32_t kNoSecond = 0x10000;

std::string_view RequireResource(std::string_view name) {
  auto res = LoadModuleResource(name, RT_RCDATA);
  if (!res) throw Error("Resource '" + std::string(name) + "' not found", E_RESOURCE_NOT_FOUND);
  return *res;
}

UserFixLoader& UserLoader() {
  static UserFixLoader loader;
  return loader;
}

void Warn(const char* what, std::size_t line) {
  std::string text = std::string(what) + std::to_string(line);
  MessageBox(FromUtf8(text), u"Quillmer", MB_OK | MB_ICONWARNING);
}

// Length of the first character of a slot: one byte for single-byte slots.
std::size_t FirstCharLength(int slot) { return slot > 32191 ? 1 : 2; }

// The second character at p + first as a code: a byte, a two-byte code, or
// kNoSecond when the text holds no whole second character.
std::uint32_t SecondChar(const unsigned char* p, std::size_t avail, std::size_t first) {
  if (avail <= first) return kNoSecond;
  unsigned char b = p[first];
  if (!IsLeadByte(b)) return b;
  if (avail < first + 2) return kNoSecond;
  return static_cast<std::uint32_t>(b) << 8 | p[first + 1];
}

}  // namespace

// The index starts with every slot empty: first and last -1, every byte 0xFF.
FixTable::FixTable() : index_(static_cast<FixIndex*>(::operator new(sizeof(FixIndex)))) {
  std::memset(static_cast<void*>(index_->data()), 0xFF, sizeof(FixIndex));
}

void FixTable::FreeDeleter::operator()(void* p) const { std::free(p); }

void FixTable::Clear() {
  keys_ = {};
  repls_ = {};
  count_ = 0;
  std::memset(static_cast<void*>(index_->data()), 0xFF, sizeof(FixIndex));
  ForgetLookup();
}

void FixTable::Take(Lines& lines, std::string owned, std::string_view borrowed) {
  lines = {};
  std::string_view text = borrowed.empty() ? std::string_view(owned) : borrowed;
  if (text.empty()) return;
  const bool hasCR = std::memchr(text.data(), '\r', text.size()) != nullptr;
  if (!borrowed.empty() && !hasCR && borrowed.back() == '\n') {
    lines.borrowed = borrowed;
  } else if (!hasCR) {
    lines.owned = borrowed.empty() ? std::move(owned) : std::string(borrowed);
  } else {
    // CR LF and a lone CR end lines as LF does.
    lines.owned.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\r') {
        c = '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      }
      lines.owned.push_back(c);
    }
  }
  if (lines.borrowed.empty() && lines.owned.back() != '\n') lines.owned.push_back('\n');
  lines.lines = CountByte(lines.text(), '\n');
}

void FixTable::FindStarts(Lines& lines) {
  lines.starts.resize(lines.lines + 1);
  std::uint32_t* next = lines.starts.data();
  *next++ = 0;
  ForEachByte(lines.text(), '\n',
              [&](std::size_t at) { *next++ = static_cast<std::uint32_t>(at + 1); });
}

void FixTable::SetCount() {
  // A key without its replacement line is ignored rather than read past the end.
  count_ = std::min(keys_.lines, repls_.lines);
  ForgetLookup();
}

void FixTable::SetLists(std::string keysText, std::string replacementsText) {
  Take(keys_, std::move(keysText), {});
  FindStarts(keys_);
  Take(repls_, std::move(replacementsText), {});
  SetCount();
}

void FixTable::SetListsInPlace(std::string_view keysText, std::string_view replacementsText) {
  Take(keys_, {}, keysText);
  FindStarts(keys_);
  Take(repls_, {}, replacementsText);
  SetCount();
}

void FixTable::Add(std::string_view key, std::string_view replacement) {
  auto push = [this](Lines& l, std::string_view s) {
    if (l.starts.empty()) FindStarts(l);
    if (!l.borrowed.empty()) {
      l.owned.assign(l.borrowed);
      l.borrowed = {};
    }
    // Lines beyond the pairs (an unmatched tail) give way to the new one.
    l.starts.resize(count_ + 1);
    l.owned.resize(l.starts[count_]);
    l.owned.append(s);
    l.owned.push_back('\n');
    l.starts.push_back(static_cast<std::uint32_t>(l.owned.size()));
    l.lines = count_ + 1;
  };
  push(keys_, key);
  push(repls_, replacement);
  ++count_;
  ForgetLookup();
}

bool FixTable::KeyMatches(std::int32_t i, const unsigned char* p, std::size_t avail) const {
  const auto at = static_cast<std::size_t>(i);
  const std::uint32_t begin = keys_.starts[at], size = keys_.starts[at + 1] - begin - 1;
  // An empty key would match without moving on: it never matches.
  if (size == 0 || size > avail) return false;
  const auto* k = reinterpret_cast<const unsigned char*>(keys_.data()) + begin;
  for (std::uint32_t j = 0; j < size; ++j)
    if (k[j] != p[j]) return false;
  return true;
}

void FixTable::Prepare() { ForgetLookup(); }

void FixTable::ForgetLookup() {
  slotRuns_.reset();
  runs_.clear();
  pairFilter_.reset();
  shortFirst_ = {};
  matches_ = 0;
}

namespace {

inline std::uint32_t SecondHash(std::uint32_t second, std::uint32_t bits) {
  return (second * 0x9E3779B1u) >> (32 - bits);
}

// The pair filter: 2^20 bits, built after this many lookups.
constexpr std::uint32_t kFilterBits = 20;
constexpr std::uint32_t kFilterAfter = 4096;

// A character's code and length at p: a byte, or a lead byte and the next.
inline std::uint32_t FirstChar(const unsigned char* p, std::size_t avail, std::size_t& length) {
  length = IsLeadByte(p[0]) && avail >= 2 ? 2 : 1;
  return length == 2 ? static_cast<std::uint32_t>(p[0]) << 8 | p[1] : p[0];
}

inline std::uint32_t PairBit(std::uint32_t first, std::uint32_t second) {
  return ((first << 16 | second) * 0x9E3779B1u) >> (32 - kFilterBits);
}

}  // namespace

void FixTable::BuildSlot(int slot, std::int32_t first, std::int32_t hi) const {
  if (!slotRuns_) {
    slotRuns_.reset(static_cast<std::int32_t*>(std::calloc(kFixSlots, sizeof(std::int32_t))));
    if (!slotRuns_) throw std::bad_alloc();
  }
  std::vector<std::int32_t> shortKeys;
  std::vector<std::uint64_t> bySecond;  // (second character << 32) | line
  const std::size_t firstLength = FirstCharLength(slot);
  for (std::int32_t i = first; i <= hi; ++i) {
    std::string_view k = Key(static_cast<std::size_t>(i));
    auto second =
        SecondChar(reinterpret_cast<const unsigned char*>(k.data()), k.size(), firstLength);
    if (second == kNoSecond)
      shortKeys.push_back(i);
    else
      bySecond.push_back(static_cast<std::uint64_t>(second) << 32 | static_cast<std::uint32_t>(i));
  }
  std::sort(bySecond.begin(), bySecond.end());
  std::size_t seconds = 0;
  for (std::size_t j = 0; j < bySecond.size(); ++j)
    seconds += j == 0 || (bySecond[j] >> 32) != (bySecond[j - 1] >> 32);

  const auto head = runs_.size();
  slotRuns_[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(head) + 1;
  runs_.push_back(static_cast<std::int32_t>(shortKeys.size()));
  runs_.insert(runs_.end(), shortKeys.begin(), shortKeys.end());
  // At most half full.
  std::uint32_t bits = 1;
  while ((1u << bits) < 2 * seconds + 1) ++bits;
  const std::size_t table = runs_.size() + 1;
  runs_.push_back(static_cast<std::int32_t>(bits));
  runs_.resize(table + 2 * (std::size_t{1} << bits), 0);
  const std::uint32_t mask = (1u << bits) - 1;
  for (std::size_t j = 0; j < bySecond.size();) {
    const auto second = static_cast<std::uint32_t>(bySecond[j] >> 32);
    std::size_t end = j;
    while (end < bySecond.size() && (bySecond[end] >> 32) == second) ++end;
    std::uint32_t h = SecondHash(second, bits);
    while (runs_[table + 2 * h]) h = (h + 1) & mask;
    runs_[table + 2 * h] = static_cast<std::int32_t>(second + 1);
    runs_[table + 2 * h + 1] = static_cast<std::int32_t>(runs_.size());
    runs_.push_back(static_cast<std::int32_t>(end - j));
    for (; j < end; ++j) runs_.push_back(static_cast<std::int32_t>(bySecond[j] & 0xFFFFFFFFu));
  }
}

void FixTable::BuildFilter() const {
  pairFilter_.reset(new std::uint64_t[(1u << kFilterBits) / 64]());
  for (std::size_t i = 0; i < count_; ++i) {
    std::string_view k = Key(i);
    if (k.empty()) continue;
    const auto* b = reinterpret_cast<const unsigned char*>(k.data());
    std::size_t length;
    const std::uint32_t first = FirstChar(b, k.size(), length);
    const std::uint32_t second = SecondChar(b, k.size(), length);
    if (second == kNoSecond) {  // a lone lead byte among them
      shortFirst_[b[0] >> 6] |= 1ull << (b[0] & 63);
    } else {
      const std::uint32_t bit = PairBit(first, second);
      pairFilter_[bit >> 6] |= 1ull << (bit & 63);
    }
  }
}

std::int32_t FixTable::Match(int slot, const unsigned char* p, std::size_t avail) const {
  if (slot < 0 || slot >= kFixSlots) return -1;
  const FixSlot& s = (*index_)[static_cast<std::size_t>(slot)];
  if (s.first < 0) return -1;
  if (!pairFilter_ && ++matches_ >= kFilterAfter) BuildFilter();
  if (pairFilter_ && !(shortFirst_[p[0] >> 6] >> (p[0] & 63) & 1)) {
    // A key that matches begins with the text's first two characters.
    std::size_t length;
    const std::uint32_t first = FirstChar(p, avail, length);
    const std::uint32_t second = SecondChar(p, avail, length);
    if (second != kNoSecond) {
      const std::uint32_t bit = PairBit(first, second);
      if (!(pairFilter_[bit >> 6] >> (bit & 63) & 1)) return -1;
    }
  }
  const std::int32_t hi = std::min(s.last, static_cast<std::int32_t>(count_) - 1);
  if (hi - s.first + 1 <= static_cast<std::int32_t>(kLinearScanLimit) || slot == 32191) {
    for (std::int32_t i = s.first; i <= hi; ++i)
      if (KeyMatches(i, p, avail)) return i;
    return -1;
  }
  if (!slotRuns_ || !slotRuns_[static_cast<std::size_t>(slot)]) BuildSlot(slot, s.first, hi);
  // Same answer as the scan above: the earliest matching line among the keys
  // that share the text's second character and those too short to have one.
  const std::int32_t* base = runs_.data();
  const std::int32_t* run = base + slotRuns_[static_cast<std::size_t>(slot)] - 1;
  std::int32_t best = -1;
  for (std::int32_t j = 1; j <= run[0]; ++j) {
    if (KeyMatches(run[j], p, avail)) {
      best = run[j];
      break;
    }
  }
  const std::uint32_t second = SecondChar(p, avail, FirstCharLength(slot));
  if (second == kNoSecond) return best;
  const std::int32_t* table = run + run[0] + 1;
  const auto bits = static_cast<std::uint32_t>(table[0]);
  const std::uint32_t mask = (1u << bits) - 1;
  for (std::uint32_t h = SecondHash(second, bits);; h = (h + 1) & mask) {
    const std::int32_t* e = table + 1 + 2 * h;
    if (e[0] == 0) return best;
    if (static_cast<std::uint32_t>(e[0]) != second + 1) continue;
    run = base + e[1];
    for (std::int32_t j = 1; j <= run[0]; ++j) {
      const std::int32_t i = run[j];
      if (best >= 0 && i > best) break;
      if (KeyMatches(i, p, avail)) return i;
    }
    return best;
  }
}

EngineTables& Tables() {
  static EngineTables tables;
  return tables;
}

void LoadCharTables() {
  EngineTables& t = Tables();
  t.GbToB5Table.fill(kBig5Square);
  t.B5ToGbTable.fill(kGbkSquare);
  std::string_view text = RequireResource("strtbl");
  std::size_t line = 0;
  ForEachLine(text, [&](std::size_t begin, std::size_t end) {
    const auto* l = reinterpret_cast<const unsigned char*>(text.data()) + begin;
    const std::size_t size = end - begin;
    // An odd trailing byte is no code.
    auto code = [&](std::size_t at) -> unsigned {
      return at + 1 < size ? static_cast<unsigned>(l[at]) << 8 | l[at + 1] : 0;
    };
    const unsigned g = code(0);
    if (!IsGBKCode(g)) {
      Warn("Invalid GBK code in line ", line);
      return false;
    }
    unsigned firstBig5 = 0;
    for (std::size_t at = 2; at < size; at += 2) {
      const unsigned b = code(at);
      if (!IsBig5Code(b)) {
        Warn("Invalid Big5 code in line ", line);
        return false;
      }
      if (!firstBig5) firstBig5 = b;
      t.B5ToGbTable[b - 0x8140] = static_cast<std::uint16_t>(g);
    }
    if (firstBig5) t.GbToB5Table[g - 0x8140] = static_cast<std::uint16_t>(firstBig5);
    ++line;
    return true;
  });
}

void LoadBuiltinFix(FixTable& table, int which) {
  std::string_view index = RequireResource(which == 0 ? "key1ndx" : "key2ndx");
  std::string_view keys = RequireResource(which == 0 ? "b5_1ndx" : "gb_1ndx");
  std::string_view repls = RequireResource(which == 0 ? "b5_2ndx" : "gb_2ndx");
  FixIndex& ix = table.Index();
  for (std::size_t at = 0; at + 12 <= index.size(); at += 12) {
    auto field = [&](std::size_t off) {
      std::uint32_t v = 0;
      for (int b = 3; b >= 0; --b)
        v = v << 8 | static_cast<unsigned char>(index[at + off + static_cast<std::size_t>(b)]);
      return static_cast<std::int32_t>(v);
    };
    std::int32_t slot = field(0);
    if (slot < 0 || slot >= kFixSlots) continue;
    ix[static_cast<std::size_t>(slot)] = FixSlot{field(4), field(8)};
  }
  // The built-in texts live as long as the process: read them in place.
  if (IsBuiltinResourceData(keys) && IsBuiltinResourceData(repls))
    table.SetListsInPlace(keys, repls);
  else
    table.SetLists(std::string(keys), std::string(repls));
}

namespace {

void InitFix(FixTable& table, int which) {
  table.Clear();
  auto& loader = UserLoader();
  const bool asked = Tables().userFix && loader;
  const bool user = asked && loader(table, which);
  if (!user) {
    if (asked) table.Clear();  // whatever the loader left
    LoadBuiltinFix(table, which);
  }
  table.Prepare();
}

}  // namespace

void InitB5fix() { InitFix(Tables().B5fix, 0); }
void InitGBfix() { InitFix(Tables().GBfix, 1); }

void SetUserFixLoader(UserFixLoader loader) { UserLoader() = std::move(loader); }

void EnsureTables() {
  EngineTables& t = Tables();
  if (t.allReady) return;
  if (!t.charTablesLoaded) {
    LoadCharTables();
    t.charTablesLoaded = true;
  }
  InitB5fix();
  InitGBfix();
  t.allReady = true;
}

void ResetTables() {
  EngineTables& t = Tables();
  t.GbToB5Table.fill(kBig5Square);
  t.B5ToGbTable.fill(kGbkSquare);
  t.B5fix.Clear();
  t.GBfix.Clear();
  t.charTablesLoaded = false;
  t.allReady = false;
}

}  // namespace quillmer
