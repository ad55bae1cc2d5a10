#include "engine/tables.h"

#include <algorithm>
#include <cstring>

#include "engine/types.h"
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

FixTable::FixTable() : index_(std::make_unique<FixIndex>()) {}

void FixTable::Clear() {
  keys_ = {};
  repls_ = {};
  count_ = 0;
  index_->fill(FixSlot{});
  groupOfSlot_.clear();
  groups_.clear();
}

void FixTable::Split(Lines& lines, std::string text) {
  lines.text = std::move(text);
  lines.spans.clear();
  ForEachLine(lines.text, [&](std::size_t begin, std::size_t end) {
    lines.spans.push_back(static_cast<std::uint32_t>(begin));
    lines.spans.push_back(static_cast<std::uint32_t>(end));
    return true;
  });
}

void FixTable::SetLists(std::string keysText, std::string replacementsText) {
  Split(keys_, std::move(keysText));
  Split(repls_, std::move(replacementsText));
  // A key without its replacement line is ignored rather than read past the end.
  count_ = std::min(keys_.spans.size(), repls_.spans.size()) / 2;
}

void FixTable::Add(std::string_view key, std::string_view replacement) {
  auto push = [](Lines& l, std::string_view s) {
    l.spans.push_back(static_cast<std::uint32_t>(l.text.size()));
    l.text.append(s);
    l.spans.push_back(static_cast<std::uint32_t>(l.text.size()));
  };
  keys_.spans.resize(2 * count_);
  repls_.spans.resize(2 * count_);
  push(keys_, key);
  push(repls_, replacement);
  ++count_;
}

bool FixTable::KeyMatches(std::int32_t i, const unsigned char* p, std::size_t avail) const {
  std::string_view key = Key(static_cast<std::size_t>(i));
  // An empty key would match without moving on: it never matches.
  return !key.empty() && key.size() <= avail && std::memcmp(key.data(), p, key.size()) == 0;
}

void FixTable::Prepare() {
  groupOfSlot_.assign(kFixSlots, -1);
  groups_.clear();
  const auto last = static_cast<std::int32_t>(count_) - 1;
  for (int slot = 0; slot < kFixSlots; ++slot) {
    const FixSlot& s = (*index_)[slot];
    if (s.first < 0 || slot == 32191) continue;
    std::int32_t hi = std::min(s.last, last);
    if (hi - s.first + 1 <= static_cast<std::int32_t>(kLinearScanLimit)) continue;
    Group g;
    std::size_t first = FirstCharLength(slot);
    for (std::int32_t i = s.first; i <= hi; ++i) {
      std::string_view k = Key(static_cast<std::size_t>(i));
      auto second = SecondChar(reinterpret_cast<const unsigned char*>(k.data()), k.size(), first);
      if (second == kNoSecond)
        g.shortKeys.push_back(i);
      else
        g.bySecond.push_back(static_cast<std::uint64_t>(second) << 32 |
                             static_cast<std::uint32_t>(i));
    }
    std::sort(g.bySecond.begin(), g.bySecond.end());
    groupOfSlot_[slot] = static_cast<std::int32_t>(groups_.size());
    groups_.push_back(std::move(g));
  }
}

std::int32_t FixTable::Match(int slot, const unsigned char* p, std::size_t avail) const {
  if (slot < 0 || slot >= kFixSlots) return -1;
  const FixSlot& s = (*index_)[slot];
  if (s.first < 0) return -1;
  const std::int32_t hi = std::min(s.last, static_cast<std::int32_t>(count_) - 1);
  const std::int32_t g = groupOfSlot_.empty() ? -1 : groupOfSlot_[slot];
  if (g < 0) {
    for (std::int32_t i = s.first; i <= hi; ++i)
      if (KeyMatches(i, p, avail)) return i;
    return -1;
  }
  // Same answer as the scan above: the earliest matching line among the keys
  // that share the text's second character and those too short to have one.
  const Group& group = groups_[static_cast<std::size_t>(g)];
  std::int32_t best = -1;
  for (std::int32_t i : group.shortKeys) {
    if (KeyMatches(i, p, avail)) {
      best = i;
      break;
    }
  }
  std::uint32_t second = SecondChar(p, avail, FirstCharLength(slot));
  if (second == kNoSecond) return best;
  const std::uint64_t lo = static_cast<std::uint64_t>(second) << 32;
  auto it = std::lower_bound(group.bySecond.begin(), group.bySecond.end(), lo);
  for (; it != group.bySecond.end() && (*it >> 32) == second; ++it) {
    auto i = static_cast<std::int32_t>(*it & 0xFFFFFFFFu);
    if (best >= 0 && i > best) break;
    if (KeyMatches(i, p, avail)) return i;
  }
  return best;
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
    std::string_view l = text.substr(begin, end - begin);
    auto code = [&](std::size_t at) -> unsigned {
      if (at + 1 >= l.size()) return 0;  // an odd trailing byte is no code
      return static_cast<unsigned char>(l[at]) << 8 | static_cast<unsigned char>(l[at + 1]);
    };
    unsigned g = code(0);
    if (!IsGBKCode(g)) {
      Warn("Invalid GBK code in line ", line);
      return false;
    }
    unsigned firstBig5 = 0;
    for (std::size_t at = 2; at < l.size(); at += 2) {
      unsigned b = code(at);
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
  table.SetLists(std::string(keys), std::string(repls));
}

namespace {

void InitFix(FixTable& table, int which) {
  table.Clear();
  auto& loader = UserLoader();
  bool user = Tables().userFix && loader && loader(table, which);
  if (!user) {
    table.Clear();
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
