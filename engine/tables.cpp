#include "engine/tables.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/types.h"
#include "engine/userfix.h"
#include "platform/base/ascii.h"
#include "platform/base/error.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

namespace quillmer {
namespace {

// Slots with more keys than this get a second-character index, and runs of
// keys with the same second character more than kTrieAfter a trie.
constexpr std::size_t kLinearScanLimit = 8;
constexpr std::size_t kTrieAfter = 16;

std::string_view RequireResource(std::string_view name) {
  auto res = LoadModuleResource(name, RT_RCDATA);
  if (!res) throw Error("Resource '" + std::string(name) + "' not found", E_RESOURCE_NOT_FOUND);
  return *res;
}

void Warn(const char* what, std::size_t line) {
  Tables().Report(std::string(what) + std::to_string(line), MB_ICONWARNING);
}

// Length of the first character of a slot: one byte for single-byte slots.
std::size_t FirstCharLength(int slot) { return slot > 32191 ? 1 : 2; }

using fixtext::kNoSecond;
using fixtext::SecondChar;

}  // namespace

std::uint64_t NewTableStamp() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

FixTable::FixTable() = default;

// The index starts with every slot empty: first and last -1, every byte 0xFF.
// It is made when first asked for; until then no slot has keys.
FixIndex& FixTable::NewIndex() const {
  index_.reset(static_cast<FixIndex*>(::operator new(sizeof(FixIndex))));
  std::memset(static_cast<void*>(index_->data()), 0xFF, sizeof(FixIndex));
  return *index_;
}

void FixTable::FreeDeleter::operator()(void* p) const { std::free(p); }

void FixTable::Clear() {
  keys_ = {};
  repls_ = {};
  count_ = 0;
  if (index_) std::memset(static_cast<void*>(index_->data()), 0xFF, sizeof(FixIndex));
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
  const std::string_view t = lines.text();
  lines.blockLines.reserve(t.size() / kBlock + 1);
  for (std::size_t at = 0; at < t.size(); at += kBlock) {
    lines.blockLines.push_back(static_cast<std::uint32_t>(lines.lines));
    lines.lines += CountByte(t.substr(at, kBlock), '\n');
  }
}

std::string_view FixTable::FindReplacement(std::size_t i) const {
  Lines& l = repls_;
  if (++replacementsFound_ > 64) {
    FindStarts(l);
    return View(l, i);
  }
  // Line i begins after the i-th LF: in the last block that has fewer before it.
  std::size_t begin = 0;
  if (i > 0) {
    auto k = static_cast<std::size_t>(
        std::lower_bound(l.blockLines.begin(), l.blockLines.end(), i) - l.blockLines.begin() - 1);
    begin = FindNthByte(l.text(), k * kBlock, '\n', i - l.blockLines[k]) + 1;
  }
  const std::size_t end = FindNthByte(l.text(), begin, '\n', 1);
  return l.text().substr(begin, end - begin);
}

void FixTable::FindStarts(Lines& lines) {
  lines.blockLines = {};
  lines.starts.resize(lines.lines + 1);
  std::uint32_t* next = lines.starts.data();
  *next++ = 0;
  ForEachByte(lines.text(), '\n',
              [&](std::size_t at) { *next++ = static_cast<std::uint32_t>(at + 1); });
}

void FixTable::SetCount() {
  replacementsFound_ = 0;
  // A key without its replacement line is ignored rather than read past the end.
  count_ = std::min(keys_.lines, repls_.lines);
  ForgetLookup();
}

void FixTable::SetLists(std::string keysText, std::string replacementsText) {
  Take(keys_, std::move(keysText), {});
  Take(repls_, std::move(replacementsText), {});
  SetCount();
}

void FixTable::SetListsInPlace(std::string_view keysText, std::string_view replacementsText) {
  Take(keys_, {}, keysText);
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

void FixTable::Prepare() { ForgetLookup(); }

void FixTable::ForgetLookup() {
  slotRuns_.reset();
  runs_.clear();
  trie_.clear();
  slotsBuilt_ = 0;
  pairFilter_.reset();
  shortFirst_ = {};
  matches_ = 0;
  stamp_ = NewTableStamp();
}

namespace {

inline std::uint32_t SecondHash(std::uint32_t second, std::uint32_t bits) {
  return (second * 0x9E3779B1u) >> (32 - bits);
}

// The pair filter is built after this many lookups.
constexpr std::uint32_t kFilterAfter = 4096;
using fixtext::FirstChar;
using fixtext::kFilterBits;
using fixtext::PairBit;

// Whether the key of length size at k is the text at p (avail bytes left).
// An empty key would match without moving on: it never matches.
inline bool KeyIsAt(const unsigned char* k, std::size_t size, const unsigned char* p,
                    std::size_t avail) {
  if (size == 0 || size > avail) return false;
  for (std::size_t j = 0; j < size; ++j)
    if (k[j] != p[j]) return false;
  return true;
}

// Slots built from the lines' text before all key lines are noted.
constexpr std::uint32_t kSlotsBeforeStarts = 64;

}  // namespace

void FixTable::KeySpans(std::int32_t first, std::int32_t hi, std::vector<std::int32_t>& out) const {
  Lines& l = keys_;
  if (l.starts.empty() && ++slotsBuilt_ > kSlotsBeforeStarts) FindStarts(l);
  if (!l.starts.empty()) {
    for (std::int32_t i = first; i <= hi; ++i) {
      const auto at = static_cast<std::size_t>(i);
      out.insert(out.end(), {i, static_cast<std::int32_t>(l.starts[at]),
                             static_cast<std::int32_t>(l.starts[at + 1] - l.starts[at] - 1)});
    }
    return;
  }
  // Line first begins after the first-th LF: in the last block with fewer
  // before it. The lines after it follow one LF each.
  const std::string_view text = l.text();
  std::size_t begin = 0;
  if (first > 0) {
    const auto n = static_cast<std::size_t>(first);
    auto k = static_cast<std::size_t>(
        std::lower_bound(l.blockLines.begin(), l.blockLines.end(), n) - l.blockLines.begin() - 1);
    begin = FindNthByte(text, k * kBlock, '\n', n - l.blockLines[k]) + 1;
  }
  for (std::int32_t i = first; i <= hi; ++i) {
    const std::size_t end = FindNthByte(text, begin, '\n', 1);
    out.insert(out.end(),
               {i, static_cast<std::int32_t>(begin), static_cast<std::int32_t>(end - begin)});
    begin = end + 1;
  }
}

void FixTable::BuildSlot(int slot, std::int32_t first, std::int32_t hi) const {
  if (!slotRuns_) {
    slotRuns_.reset(static_cast<std::int32_t*>(std::calloc(kFixSlots, sizeof(std::int32_t))));
    if (!slotRuns_) throw std::bad_alloc();
  }
  std::vector<std::int32_t> spans;
  if (first <= hi) KeySpans(first, hi, spans);
  const std::size_t keys = spans.size() / 3;
  slotRuns_[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(runs_.size()) + 1;
  if (keys <= kLinearScanLimit || slot == 32191) {
    runs_.push_back(0);
    runs_.push_back(static_cast<std::int32_t>(keys));
    runs_.insert(runs_.end(), spans.begin(), spans.end());
    return;
  }
  std::vector<std::int32_t> shortKeys;  // as spans
  std::vector<std::uint64_t> bySecond;  // (second character << 32) | key number
  const std::size_t firstLength = FirstCharLength(slot);
  const auto* text = reinterpret_cast<const unsigned char*>(keys_.data());
  for (std::size_t j = 0; j < keys; ++j) {
    const auto* k = text + spans[3 * j + 1];
    const auto size = static_cast<std::size_t>(spans[3 * j + 2]);
    auto second = SecondChar(k, size, firstLength);
    if (second == kNoSecond)
      shortKeys.insert(shortKeys.end(), spans.begin() + 3 * j, spans.begin() + 3 * j + 3);
    else
      bySecond.push_back(static_cast<std::uint64_t>(second) << 32 | j);
  }
  std::sort(bySecond.begin(), bySecond.end());
  std::size_t seconds = 0;
  for (std::size_t j = 0; j < bySecond.size(); ++j)
    seconds += j == 0 || (bySecond[j] >> 32) != (bySecond[j - 1] >> 32);

  runs_.push_back(1);
  runs_.push_back(static_cast<std::int32_t>(shortKeys.size() / 3));
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
    if (end - j > kTrieAfter) {
      // Many keys with the same two first characters: a trie of what follows
      // them, so that a shared prefix is read once, not once per key.
      std::vector<std::int32_t> run;
      for (; j < end; ++j) {
        const std::size_t key = bySecond[j] & 0xFFFFFFFFu;
        run.insert(run.end(), spans.begin() + 3 * key, spans.begin() + 3 * key + 3);
      }
      runs_.push_back(-1 - BuildTrie(run, firstLength + (second > 0xFF ? 2 : 1)));
      continue;
    }
    runs_.push_back(static_cast<std::int32_t>(end - j));
    for (; j < end; ++j) {
      const std::size_t key = bySecond[j] & 0xFFFFFFFFu;
      runs_.insert(runs_.end(), spans.begin() + 3 * key, spans.begin() + 3 * key + 3);
    }
  }
}

std::int32_t FixTable::BuildTrie(const std::vector<std::int32_t>& keys, std::size_t prefix) const {
  // The keys' bytes after the prefix, in byte order; a key before its
  // extensions, equal keys in table order.
  struct Tail {
    std::string_view bytes;
    std::int32_t line, length;
  };
  const char* text = keys_.data();
  std::vector<Tail> tails;
  tails.reserve(keys.size() / 3);
  for (std::size_t j = 0; j < keys.size(); j += 3)
    tails.push_back(
        {std::string_view(text + keys[j + 1], static_cast<std::size_t>(keys[j + 2])).substr(prefix),
         keys[j], keys[j + 2]});
  std::sort(tails.begin(), tails.end(), [](const Tail& a, const Tail& b) {
    return a.bytes != b.bytes ? a.bytes < b.bytes : a.line < b.line;
  });
  // Node: the earliest line ending there (or kNoLine) and its key's length,
  // the number of children, then (byte, node) for each in byte order.
  struct Task {
    std::size_t lo, hi, depth, parentSlot;
  };
  const auto root = static_cast<std::int32_t>(trie_.size());
  std::vector<Task> tasks{{0, tails.size(), 0, 0}};
  while (!tasks.empty()) {
    const Task t = tasks.back();
    tasks.pop_back();
    const auto node = static_cast<std::int32_t>(trie_.size());
    if (t.parentSlot) trie_[t.parentSlot] = node;
    std::int32_t best = kNoLine, bestLength = 0;
    std::size_t i = t.lo;
    for (; i < t.hi && tails[i].bytes.size() == t.depth; ++i) {
      if (tails[i].line < best) {
        best = tails[i].line;
        bestLength = tails[i].length;
      }
    }
    std::size_t children = 0;
    for (std::size_t k = i; k < t.hi; ++k)
      children += k == i || tails[k].bytes[t.depth] != tails[k - 1].bytes[t.depth];
    trie_.insert(trie_.end(), {best, bestLength, static_cast<std::int32_t>(children)});
    for (std::size_t k = i; k < t.hi;) {
      const char b = tails[k].bytes[t.depth];
      std::size_t e = k;
      while (e < t.hi && tails[e].bytes[t.depth] == b) ++e;
      trie_.push_back(static_cast<unsigned char>(b));
      trie_.push_back(0);
      tasks.push_back({k, e, t.depth + 1, trie_.size() - 1});
      k = e;
    }
  }
  return root;
}

std::int32_t FixTable::TrieMatch(std::int32_t root, std::size_t prefix, const unsigned char* p,
                                 std::size_t avail, std::int32_t& length) const {
  const std::int32_t* t = trie_.data();
  std::int32_t best = kNoLine;
  std::size_t pos = prefix;
  for (std::int32_t n = root;;) {
    if (t[n] < best) {
      best = t[n];
      length = t[n + 1];
    }
    if (pos >= avail) break;
    const std::int32_t* first = t + n + 3;
    const std::int32_t* last = first + 2 * t[n + 2];
    const std::int32_t b = p[pos];
    // Children in byte order: a binary search over the pairs.
    std::size_t lo = 0, hi = static_cast<std::size_t>(last - first) / 2;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (first[2 * mid] < b)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (first + 2 * lo >= last || first[2 * lo] != b) break;
    n = first[2 * lo + 1];
    ++pos;
  }
  return best;
}

void FixTable::BuildFilter() const {
  pairFilter_.reset(new std::uint64_t[(1u << kFilterBits) / 64]());
  for (std::size_t i = 0; i < count_; ++i) {
    std::string_view k = Key(i);  // notes every key line: the table is in use at length
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

std::int32_t FixTable::Match(int slot, const unsigned char* p, std::size_t avail,
                             std::size_t* keyLength) const {
  if (slot < 0 || slot >= kFixSlots || !index_) return -1;
  const FixSlot& s = (*index_)[static_cast<std::size_t>(slot)];
  if (s.first < 0) return -1;
  if (!pairFilter_ && ++matches_ >= kFilterAfter) BuildFilter();
  if (!MayBeginAt(p, avail)) return -1;
  if (!slotRuns_ || !slotRuns_[static_cast<std::size_t>(slot)])
    BuildSlot(slot, s.first, std::min(s.last, static_cast<std::int32_t>(count_) - 1));
  const auto* text = reinterpret_cast<const unsigned char*>(keys_.data());
  const std::int32_t* base = runs_.data();
  const std::int32_t* run = base + slotRuns_[static_cast<std::size_t>(slot)] - 1;
  auto found = [&](const std::int32_t* key) {
    if (keyLength) *keyLength = static_cast<std::size_t>(key[2]);
    return key[0];
  };
  auto at = [&](const std::int32_t* key) {
    return KeyIsAt(text + key[1], static_cast<std::size_t>(key[2]), p, avail);
  };
  if (run[0] == 0) {  // a few keys: in table order
    for (std::int32_t j = 0; j < run[1]; ++j)
      if (at(run + 2 + 3 * j)) return found(run + 2 + 3 * j);
    return -1;
  }
  // Same answer as scanning in table order: the earliest matching line among
  // the keys that share the text's second character and those too short to
  // have one.
  const std::int32_t* best = nullptr;
  for (std::int32_t j = 0; j < run[1]; ++j) {
    if (at(run + 2 + 3 * j)) {
      best = run + 2 + 3 * j;
      break;
    }
  }
  const std::uint32_t second = SecondChar(p, avail, FirstCharLength(slot));
  const std::int32_t* table = run + 2 + 3 * run[1];
  const auto bits = static_cast<std::uint32_t>(table[0]);
  const std::uint32_t mask = (1u << bits) - 1;
  for (std::uint32_t h = SecondHash(second, bits); second != kNoSecond; h = (h + 1) & mask) {
    const std::int32_t* e = table + 1 + 2 * h;
    if (e[0] == 0) break;
    if (static_cast<std::uint32_t>(e[0]) != second + 1) continue;
    const std::int32_t* keys = base + e[1];
    if (keys[0] < 0) {
      std::int32_t length = 0;
      const std::int32_t line = TrieMatch(
          -1 - keys[0], FirstCharLength(slot) + (second > 0xFF ? 2 : 1), p, avail, length);
      if (line != kNoLine && (!best || line < best[0])) {
        if (keyLength) *keyLength = static_cast<std::size_t>(length);
        return line;
      }
      break;
    }
    for (std::int32_t j = 0; j < keys[0]; ++j) {
      const std::int32_t* key = keys + 1 + 3 * j;
      if (best && key[0] > best[0]) break;
      if (at(key)) return found(key);
    }
    break;
  }
  return best ? found(best) : -1;
}

namespace {

EngineTables*& CurrentTables() {
  static EngineTables* current = nullptr;
  return current;
}

}  // namespace

EngineTables& Tables() {
  if (EngineTables* current = CurrentTables()) return *current;
  static EngineTables own;
  return own;
}

EngineTables* SetCurrentTables(EngineTables* tables) {
  EngineTables* previous = CurrentTables();
  CurrentTables() = tables;
  return previous;
}

namespace {

// One strtbl line into the tables; false (after the warning) when it holds a
// bad code.
bool ApplyCharLine(EngineTables& t, const unsigned char* l, std::size_t size, std::size_t line) {
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
  return true;
}

}  // namespace

void LoadCharTables() {
  EngineTables& t = Tables();
  t.CharTablesChanged();
  t.GbToB5Table.fill(kBig5Square);
  t.B5ToGbTable.fill(kGbkSquare);
  std::string_view text = RequireResource("strtbl");
  const auto* base = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t line = 0;
  if (!text.empty() && std::memchr(text.data(), '\r', text.size()) == nullptr) {
    // LF only, as the shipped table is; its lines are a few bytes long.
    const unsigned char* end = base + text.size();
    for (const unsigned char* p = base; p < end; ++line) {
      // Most lines are one GBK code and one Big5 code.
      if (end - p >= 5 && p[4] == '\n' && p[1] >= 0x40 && p[3] >= 0x40) {
        const unsigned g = static_cast<unsigned>(p[0]) << 8 | p[1];
        const unsigned b = static_cast<unsigned>(p[2]) << 8 | p[3];
        if (IsGBKCode(g) && IsBig5Code(b)) {
          t.B5ToGbTable[b - 0x8140] = static_cast<std::uint16_t>(g);
          t.GbToB5Table[g - 0x8140] = static_cast<std::uint16_t>(b);
          p += 5;
          continue;
        }
      }
      const unsigned char* q = p;
      while (q < end && *q != '\n') ++q;
      if (!ApplyCharLine(t, p, static_cast<std::size_t>(q - p), line)) return;
      p = q + 1;
    }
    return;
  }
  ForEachLine(text, [&](std::size_t begin, std::size_t end) {
    return ApplyCharLine(t, base + begin, end - begin, line++);
  });
}

void LoadBuiltinFix(FixTable& table, TableSide side) {
  const bool b5 = side == TableSide::ToTrad;
  std::string_view index = RequireResource(b5 ? "key1ndx" : "key2ndx");
  std::string_view keys = RequireResource(b5 ? "b5_1ndx" : "gb_1ndx");
  std::string_view repls = RequireResource(b5 ? "b5_2ndx" : "gb_2ndx");
  FixIndex& ix = table.Index();
  for (std::size_t at = 0; at + 12 <= index.size(); at += 12) {
    auto field = [&](std::size_t off) {
      std::uint32_t v = 0;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, index.data() + at + off, 4);
      } else {
        for (int b = 3; b >= 0; --b)
          v = v << 8 | static_cast<unsigned char>(index[at + off + static_cast<std::size_t>(b)]);
      }
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

// Eight bytes a step: the module's phrase texts are 600 KB.
std::uint64_t HashBlock(std::string_view bytes, std::uint64_t h) {
  constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull, k2 = 0xC2B2AE3D27D4EB4Full;
  auto step = [&](std::uint64_t w) { h = std::rotl(h ^ (w * k1), 27) * k2 + 0x52DCE729; };
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    step(w);
  }
  std::uint64_t tail = 0;
  if (i < bytes.size()) std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
  step(tail);
  // The length keeps a line moved from one text to the other a change.
  step(bytes.size());
  return h;
}

std::int32_t FixIdentity(std::string_view keys, std::string_view repls) {
  std::uint64_t h = HashBlock(repls, HashBlock(keys, 0x27D4EB2F165667C5ull));
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(h ^ (h >> 32)));
  return id != 0 ? id : 1;
}

}  // namespace

std::int32_t BuiltinFixIdentity(TableSide side) {
  const bool b5 = side == TableSide::ToTrad;
  std::string_view keys = RequireResource(b5 ? "b5_1ndx" : "gb_1ndx");
  std::string_view repls = RequireResource(b5 ? "b5_2ndx" : "gb_2ndx");
  if (!IsBuiltinResourceData(keys) || !IsBuiltinResourceData(repls))
    return FixIdentity(keys, repls);
  // The module's own texts never change while it runs.
  if (b5) {
    static const std::int32_t id = FixIdentity(keys, repls);
    return id;
  }
  static const std::int32_t id = FixIdentity(keys, repls);
  return id;
}

namespace {

void InitFix(FixTable& table, TableSide side) {
  table.Clear();
  const EngineTables& t = Tables();
  const bool asked = t.userFix && t.user;
  const bool user = asked && LoadUserFix(table, side, *t.user);
  if (!user) {
    if (asked) table.Clear();  // whatever the user path left
    LoadBuiltinFix(table, side);
  }
  table.Prepare();
}

}  // namespace

void InitB5fix() { InitFix(Tables().B5fix, TableSide::ToTrad); }
void InitGBfix() { InitFix(Tables().GBfix, TableSide::ToSim); }

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
  t.CharTablesChanged();
  t.B5fix.Clear();
  t.GBfix.Clear();
  t.charTablesLoaded = false;
  t.allReady = false;
}

}  // namespace quillmer
