#include "engine/unit_path.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "engine/routes.h"
#include "engine/tables.h"
#include "platform/base/ascii.h"
#include "platform/base/memory.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

// A unit's map entry: 0 not worked out yet, else kKnown, the unit it becomes
// in the low 16 bits, and kFallback when text holding it must take the
// code-page path.
constexpr std::uint32_t kKnown = 1u << 16, kFallback = 1u << 17;
// A first unit's phrase root: 0 not built yet, else one of these or
// 1 + (node << 1 | whether w alone is a key).
constexpr std::int32_t kNoKeys = -1, kUnclean = -2;
constexpr std::int32_t kNoLine = INT32_MAX;
constexpr unsigned kPairBits = 20;
// Units mapped and walked at a time: the buffers stay in the cache.
constexpr std::size_t kPiece = 16384;

UnitPathUse g_use = UnitPathUse::Auto;
// Texts shorter than this wait for the tables to be made by a longer one.
constexpr std::size_t kWorthMaking = 4096;

bool IsSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Zeroed = std::unique_ptr<T[], FreeDeleter>;
// Zeroed memory from calloc: only the pages of units met are touched.
template <typename T>
Zeroed<T> NewZeroed(std::size_t n) {
  return Zeroed<T>(static_cast<T*>(std::calloc(n, sizeof(T))));
}

// Whether u is a character of cp that it writes one way and reads back.
bool OwnCharacter(UINT cp, char16_t u) {
  std::uint16_t bytes = 0;
  const int n = UnitBytes(cp, u, bytes, true);
  char16_t back = 0;
  return (n == 1 || n == 2) && DecodeBytes(cp, bytes, n, back, true) && back == u;
}

// The characters of code-page text, as the phrase walk reads them: a byte
// below 0x81, or a lead byte and the next. fn(code, length) returns false to
// stop; false also when the text ends inside a character.
template <typename Fn>
bool ForEachChar(std::string_view bytes, Fn&& fn) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < bytes.size();) {
    const int n = p[i] < 0x81 ? 1 : 2;
    if (i + static_cast<std::size_t>(n) > bytes.size()) return false;
    const auto code = static_cast<std::uint16_t>(n == 2 ? p[i] << 8 | p[i + 1] : p[i]);
    if (!fn(code, n)) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

std::uint32_t PairBit(char16_t first, char16_t second) {
  return (static_cast<std::uint32_t>(first << 16 | second) * 0x9E3779B1u) >> (32 - kPairBits);
}

}  // namespace

// One direction's tables read as UTF-16, made as units and first units are
// met, for one state of the character table and the phrase table.
struct UnitTables {
  struct Node {
    char16_t unit;        // the key unit this node stands for
    std::uint16_t count;  // children, at nodes[first...], by unit
    std::int32_t first;
    std::int32_t line;   // the earliest table line whose key ends here
    std::int32_t entry;  // its entry, or -1
  };
  struct Entry {
    std::int32_t line;
    std::uint32_t at = 0, length = 0;  // the replacement in arena
    std::uint8_t state = 0;            // 0 not read yet, 1 read, 2 not answerable
  };

  DirectionInfo info{};
  std::uint64_t charStamp = 0, fixStamp = 0;
  const EngineTables* owner = nullptr;
  const std::uint16_t* charMap = nullptr;
  std::uint16_t mark = 0;
  const FixTable* fix = nullptr;
  bool usable = false;
  // Keys begin with the byte that stands for what is set aside: text with
  // such a unit cannot be walked as units.
  bool placeholderKeys = false;
  // Every ASCII unit but U+001F stays as it is; then runs of ASCII that
  // begins no key, when few units do.
  bool asciiSame = false;
  bool asciiRuns = false;
  PlainUnitScanner plainAscii;
  PlainByteScanner plainAsciiBytes;
  // For an ASCII unit that begins keys: whether it is a key alone, and the
  // ASCII units that can follow it in a key (a unit of 0x80 or above always
  // may).
  bool asciiAlone[0x80] = {};
  std::uint64_t asciiSeconds[0x80][2] = {};
  Zeroed<std::uint32_t> map;
  // The target's characters by code as Char gives them.
  Zeroed<std::uint32_t> chars;
  Zeroed<std::int32_t> roots;
  Zeroed<std::uint64_t> pairs;
  std::vector<Node> nodes;
  std::vector<Entry> entries;
  std::vector<char16_t> arena;

  void Reset(ConvDirection direction, const EngineTables& t) {
    info = Info(direction);
    owner = &t;
    charStamp = t.charStamp;
    const bool trad = info.table == TableSide::ToTrad;
    fix = trad ? &t.B5fix : &t.GBfix;
    fixStamp = fix->Stamp();
    charMap = trad ? t.GbToB5Table.data() : t.B5ToGbTable.data();
    mark = trad ? kBig5Square : kGbkSquare;
    map = NewZeroed<std::uint32_t>(0x10000);
    chars = NewZeroed<std::uint32_t>(0x10000);
    roots = NewZeroed<std::int32_t>(0x10000);
    pairs = NewZeroed<std::uint64_t>((1u << kPairBits) / 64);
    // Room for every key's nodes from the start: growing would copy them and
    // touch fresh memory each time.
    nodes.clear();
    entries.clear();
    arena.clear();
    nodes.reserve(fix->Count() * 3 + 16);
    entries.reserve(fix->Count() + 16);
    AdviseHugePages(nodes.data(), nodes.capacity() * sizeof(Node));
    AdviseHugePages(entries.data(), entries.capacity() * sizeof(Entry));
    for (auto& a : asciiAlone) a = false;
    // What is set aside stands as U+001F in code-page text, which must keep
    // its own place there.
    const UnitRoute r = FindRoute(kPlaceholder, info, charMap, mark, true);
    usable = map && chars && roots && pairs && (r.flags & kRouteLocal) && !(r.flags & kRouteAside) &&
             r.length == 1 && r.bytes[0] == kPlaceholder;
    const FixIndex& index = fix->Index();
    placeholderKeys = fix->Count() > 0 && index[FixSlotOfByte(kPlaceholder)].first >= 0;
    if (!usable) return;
    asciiSame = true;
    char16_t stops[PlainUnitScanner::kMost];
    std::size_t count = 0;
    for (char16_t u = 0; u < 0x80; ++u) {
      if (u != kPlaceholder && MapEntry(u) != (kKnown | u)) asciiSame = false;
      if (Root(u) != kNoKeys && count++ < std::size(stops)) stops[count - 1] = u;
    }
    asciiRuns = count <= std::size(stops);
    if (asciiRuns) {
      unsigned char bytes[std::size(stops)];
      for (std::size_t k = 0; k < count; ++k) {
        const char16_t u = stops[k];
        bytes[k] = static_cast<unsigned char>(u);
        const std::int32_t r = roots[u];
        // One whose keys the unit path cannot answer for is always met.
        asciiAlone[u] = r <= 0 || ((r - 1) & 1);
        if (r <= 0) continue;
        const Node& root = nodes[static_cast<std::size_t>((r - 1) >> 1)];
        asciiSeconds[u][0] = asciiSeconds[u][1] = 0;
        for (std::uint16_t c = 0; c < root.count; ++c) {
          const char16_t second = nodes[static_cast<std::size_t>(root.first + c)].unit;
          if (second < 0x80) asciiSeconds[u][second >> 6] |= std::uint64_t{1} << (second & 63);
        }
      }
      plainAscii = PlainUnitScanner(stops, count);
      plainAsciiBytes = PlainByteScanner(bytes, count);
    }
  }

  bool Current(const EngineTables& t) const {
    const FixTable& f = info.table == TableSide::ToTrad ? t.B5fix : t.GBfix;
    return map && owner == &t && charStamp == t.charStamp && fixStamp == f.Stamp();
  }

  // A character of target code-page text (len bytes, code): 0 when it reads
  // as nothing whole, else kKnown | its unit, with kOwn when the unit is
  // written back as the same bytes.
  static constexpr std::uint32_t kOwn = 1u << 18;
  std::uint32_t Char(std::uint16_t code, int len) {
    std::uint32_t& c = chars[code];
    if (c == 0) {
      char16_t u = 0;
      std::uint16_t back = 0;
      if (!DecodeBytes(info.dst, code, len, u, true)) {
        c = kFallback;
      } else {
        c = kKnown | u;
        if (UnitBytes(info.dst, u, back, true) == len && back == code) c |= kOwn;
      }
    }
    return c & kFallback ? 0 : c;
  }

  std::uint32_t MapEntry(char16_t u) {
    std::uint32_t e = kKnown | u;
    if (IsSurrogate(u)) {
      // Set aside, as one placeholder per pair.
      if (placeholderKeys) e |= kFallback;
    } else if (u != kPlaceholder) {
      const UnitRoute r = FindRoute(u, info, charMap, mark, true);
      if (!(r.flags & kRouteLocal)) {
        e |= kFallback;
      } else if (r.flags & kRouteAside) {
        // Stands as U+001F among the bytes; as itself here it must match no
        // key either.
        if (placeholderKeys || OwnCharacter(info.dst, u)) e |= kFallback;
      } else {
        const auto bytes = static_cast<std::uint16_t>(r.length == 2 ? r.bytes[0] << 8 | r.bytes[1]
                                                                    : r.bytes[0]);
        char16_t w = 0;
        if (DecodeBytes(info.dst, bytes, r.length, w, true))
          e = kKnown | w;
        else
          e |= kFallback;
      }
    }
    map[u] = e;
    return e;
  }

  // The keys that begin with w, as a tree of units; built when w is first met.
  std::int32_t Root(char16_t w) {
    std::int32_t& root = roots[w];
    root = kNoKeys;
    std::uint16_t bytes = 0;
    if (IsSurrogate(w) || !OwnCharacter(info.dst, w) || fix->Count() == 0) return root;
    const int n = UnitBytes(info.dst, w, bytes, true);
    const int slot = n == 2 ? FixSlotOfCode(bytes) : FixSlotOfByte(static_cast<unsigned char>(bytes));
    if (slot < 0 || slot >= kFixSlots) return root;
    const FixSlot s = fix->Index()[static_cast<std::size_t>(slot)];
    const std::int32_t hi = std::min(s.last, static_cast<std::int32_t>(fix->Count()) - 1);
    if (s.first < 0 || hi < s.first) return root;

    keys_.clear();
    units_.clear();
    bool unclean = false, descending = true;
    std::string_view previous;
    fix->ForEachKey(s.first, hi, [&](std::int32_t line, std::string_view key) {
      const std::size_t at = units_.size();
      bool own = true, placeholder = false;
      const bool complete = ForEachChar(key, [&](std::uint16_t code, int len) {
        const std::uint32_t c = Char(code, len);
        own = (c & kOwn) != 0;
        placeholder |= static_cast<char16_t>(c) == kPlaceholder;
        units_.push_back(static_cast<char16_t>(c));
        return own;
      });
      // A key with a character that is not the target's own can never meet
      // the text, whose characters all are.
      if (!own || (units_.size() > at && units_[at] != w)) {
        units_.resize(at);
        return;
      }
      // One that ends inside a character could match half of one; one with
      // U+001F's byte could match what is set aside.
      if (!complete || placeholder) unclean = true;
      if (!complete || placeholder || units_.size() == at) {
        units_.resize(at);
        return;
      }
      descending &= keys_.empty() || key <= previous;
      previous = key;
      keys_.push_back(Key{key, static_cast<std::uint32_t>(at),
                          static_cast<std::uint32_t>(units_.size() - at), line});
    });
    if (unclean) return root = kUnclean;
    if (keys_.empty()) return root;
    // In ascending byte order the keys that share a prefix of characters lie
    // together, the shorter first, and equal keys in table order. The shipped
    // tables are in descending order already.
    if (descending) {
      std::reverse(keys_.begin(), keys_.end());
      for (std::size_t k = 0; k + 1 < keys_.size();) {  // equal keys back in table order
        std::size_t e = k + 1;
        while (e < keys_.size() && keys_[e].bytes == keys_[k].bytes) ++e;
        std::reverse(keys_.begin() + static_cast<std::ptrdiff_t>(k),
                     keys_.begin() + static_cast<std::ptrdiff_t>(e));
        k = e;
      }
    } else {
      std::sort(keys_.begin(), keys_.end(), [](const Key& a, const Key& b) {
        return a.bytes != b.bytes ? a.bytes < b.bytes : a.line < b.line;
      });
    }
    for (const Key& k : keys_)
      if (k.length >= 2) {
        const std::uint32_t bit = PairBit(units_[k.at], units_[k.at + 1]);
        pairs[bit >> 6] |= std::uint64_t{1} << (bit & 63);
      }
    const auto at = static_cast<std::int32_t>(nodes.size());
    nodes.push_back(Node{w, 0, 0, kNoLine, -1});
    Build(at, 0, keys_.size(), 1);
    // The low bit tells a key of w alone.
    return root = 1 + (at << 1 | (nodes[static_cast<std::size_t>(at)].entry >= 0));
  }

  // Fills node `at`, whose prefix the keys [lo, hi) share up to depth units.
  void Build(std::int32_t at, std::size_t lo, std::size_t hi, std::size_t depth) {
    auto unit = [&](std::size_t k) { return units_[keys_[k].at + depth]; };
    if (keys_[lo].length == depth) {
      nodes[static_cast<std::size_t>(at)].line = keys_[lo].line;
      nodes[static_cast<std::size_t>(at)].entry = static_cast<std::int32_t>(entries.size());
      entries.push_back(Entry{keys_[lo].line});
      while (lo < hi && keys_[lo].length == depth) ++lo;
    }
    if (lo == hi) return;
    std::size_t groups = 0;
    for (std::size_t k = lo; k < hi; ++k)
      if (k == lo || unit(k) != unit(k - 1)) ++groups;
    const auto first = static_cast<std::int32_t>(nodes.size());
    nodes[static_cast<std::size_t>(at)].first = first;
    nodes[static_cast<std::size_t>(at)].count = static_cast<std::uint16_t>(groups);
    nodes.resize(nodes.size() + groups);
    std::size_t g = 0;
    for (std::size_t k = lo; k < hi; ++g) {
      std::size_t end = k + 1;
      while (end < hi && unit(end) == unit(k)) ++end;
      const auto child = first + static_cast<std::int32_t>(g);
      nodes[static_cast<std::size_t>(child)] = Node{unit(k), 0, 0, kNoLine, -1};
      Build(child, k, end, depth + 1);
      k = end;
    }
    // Byte order is not unit order: the children are looked up by unit.
    if (groups > 1)
      std::sort(nodes.begin() + first, nodes.begin() + first + static_cast<std::int32_t>(groups),
                [](const Node& a, const Node& b) { return a.unit < b.unit; });
  }

  // The keys of the slot being built, their units one after another.
  struct Key {
    std::string_view bytes;
    std::uint32_t at, length;
    std::int32_t line;
  };
  std::vector<Key> keys_;
  std::vector<char16_t> units_;

  bool PairMayBegin(char16_t first, char16_t second) const {
    const std::uint32_t bit = PairBit(first, second);
    return pairs[bit >> 6] >> (bit & 63) & 1;
  }

  const Node* Child(const Node& node, char16_t u) const {
    const Node* lo = nodes.data() + node.first;
    // Without branches on the units: they are unpredictable.
    std::size_t len = node.count;
    while (len > 1) {
      const std::size_t half = len / 2;
      lo = lo[half].unit <= u ? lo + half : lo;
      len -= half;
    }
    return lo->unit == u ? lo : nullptr;
  }

  // The replacement of an entry as units, read when first used; null when
  // it holds something the code-page path would not give back as these units
  // (a character cut off, U+001F's byte, bytes that read as nothing whole).
  const Entry* Replacement(std::int32_t index) {
    Entry& e = entries[static_cast<std::size_t>(index)];
    if (e.state == 0) {
      e.state = 2;
      e.at = static_cast<std::uint32_t>(arena.size());
      const bool whole = ForEachChar(
          fix->Replacement(static_cast<std::size_t>(e.line)), [&](std::uint16_t code, int len) {
            const std::uint32_t c = Char(code, len);
            if ((len == 1 && code == kPlaceholder) || !c) return false;
            arena.push_back(static_cast<char16_t>(c));
            return true;
          });
      if (whole) {
        e.state = 1;
        e.length = static_cast<std::uint32_t>(arena.size()) - e.at;
      } else {
        arena.resize(e.at);
      }
    }
    return e.state == 1 ? &e : nullptr;
  }
};

namespace {

UnitTables g_tables[2];

UnitTables* TablesFor(ConvDirection direction, std::size_t sizeHint) {
  if (g_use == UnitPathUse::Off || (direction != cdToTrad && direction != cdToSim)) return nullptr;
  const DirectionInfo info = Info(direction);
  if (!HasCodePageCache(info.src) || !HasCodePageCache(info.dst)) return nullptr;
  EnsureTables();
  const EngineTables& t = Tables();
  UnitTables& u = g_tables[SlotOf(info.table)];
  if (!u.Current(t)) {
    if (g_use == UnitPathUse::Auto && sizeHint < kWorthMaking) return nullptr;
    u.Reset(direction, t);
  }
  return u.usable ? &u : nullptr;
}

// One character of well-formed UTF-8 at p (avail bytes): its length and
// code point; 0 when the bytes are not well-formed UTF-8 (overlong forms,
// surrogates, past U+10FFFF, cut off).
[[gnu::always_inline]] inline int Utf8Char(const unsigned char* p, std::size_t avail,
                                           char32_t& c) {
  const unsigned b = p[0];
  if (b < 0x80) {
    c = b;
    return 1;
  }
  // (x ^ 0x80) < 0x40 for a continuation byte.
  if ((b & 0xF0) == 0xE0) {  // most Chinese text
    if (avail < 3 || ((p[1] ^ 0x80u) | (p[2] ^ 0x80u)) >= 0x40) return 0;
    c = (b & 0x0F) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF) ? 3 : 0;
  }
  if ((b & 0xE0) == 0xC0) {
    if (avail < 2 || (p[1] ^ 0x80u) >= 0x40) return 0;
    c = (b & 0x1F) << 6 | (p[1] & 0x3Fu);
    return c >= 0x80 ? 2 : 0;
  }
  if ((b & 0xF8) == 0xF0) {
    if (avail < 4 || ((p[1] ^ 0x80u) | (p[2] ^ 0x80u) | (p[3] ^ 0x80u)) >= 0x40) return 0;
    c = (b & 0x07) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
    return c >= 0x10000 && c <= 0x10FFFF ? 4 : 0;
  }
  return 0;
}

// The unit the character at byte q of p[0..n) becomes, and its length in
// bytes: 0 for a character beyond the Basic Multilingual Plane (a pair of
// surrogates, which no key holds), -1 when the text must take another path.
[[gnu::always_inline]] inline int UnitAt(UnitTables& t, const unsigned char* p, std::size_t n,
                                         std::size_t q, char16_t& w) {
  char32_t c = 0;
  const int len = Utf8Char(p + q, n - q, c);
  if (len == 0) return -1;
  if (len == 4) return t.placeholderKeys ? -1 : 0;
  std::uint32_t e = t.map[c];
  if ((e & (kKnown | kFallback)) != kKnown) {
    if (!e) e = t.MapEntry(static_cast<char16_t>(c));
    if (e & kFallback) return -1;
  }
  w = static_cast<char16_t>(e);
  return len;
}

// Output written through a pointer, the string grown ahead of it.
class Utf8Out {
 public:
  Utf8Out(std::string& s, std::size_t expect) : s_(s) {
    ReserveLarge(s_, expect);
    s_.resize(expect);
  }
  [[gnu::always_inline]] char* Room(std::size_t n) {
    if (at_ + n > s_.size()) s_.resize(std::max(s_.size() + s_.size() / 2, at_ + n + 64));
    return s_.data() + at_;
  }
  void Put(const unsigned char* p, std::size_t n) {
    std::memcpy(Room(n), p, n);
    at_ += n;
  }
  // A unit that is no surrogate.
  [[gnu::always_inline]] void Put(char16_t u) {
    char* o = Room(3);
    if (u < 0x80) {
      o[0] = static_cast<char>(u);
      at_ += 1;
    } else if (u < 0x800) {
      o[0] = static_cast<char>(0xC0 | u >> 6);
      o[1] = static_cast<char>(0x80 | (u & 0x3F));
      at_ += 2;
    } else {
      o[0] = static_cast<char>(0xE0 | u >> 12);
      o[1] = static_cast<char>(0x80 | (u >> 6 & 0x3F));
      o[2] = static_cast<char>(0x80 | (u & 0x3F));
      at_ += 3;
    }
  }
  void Finish() { s_.resize(at_); }

 private:
  std::string& s_;
  std::size_t at_ = 0;
};

}  // namespace

bool ConvertUtf8Whole(ConvDirection direction, std::string_view text, bool writeSignature,
                      std::string& result, bool* wide) {
  UnitTables* tables = TablesFor(direction, text.size());
  // ASCII is copied as it is: it must stay as it is.
  if (!tables || !tables->asciiRuns || !tables->asciiSame) return false;
  UnitTables& t = *tables;
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::string out;
  Utf8Out o(out, n + n / 8 + 64);
  if (writeSignature) o.Put(reinterpret_cast<const unsigned char*>("\xEF\xBB\xBF"), 3);
  const std::int32_t* roots = t.roots.get();
  // An ASCII unit at k that begins keys can begin one here: a key of it
  // alone, or one that goes on with what follows.
  auto asciiMayBegin = [&](std::size_t k) {
    const unsigned u = p[k];
    if (t.asciiAlone[u] || k + 1 == n || p[k + 1] >= 0x80) return true;
    const unsigned v = p[k + 1];
    return (t.asciiSeconds[u][v >> 6] >> (v & 63) & 1) != 0;
  };

  // The character read ahead from the position before, and where it is.
  bool sawWide = false;
  std::size_t i = 0, aheadAt = SIZE_MAX;
  char16_t ahead = 0;
  int aheadLength = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      // ASCII that begins no key, as it is; a unit that begins keys but no
      // key here goes with it.
      std::size_t k = i;
      for (;;) {
        k += t.plainAsciiBytes.Run(p + k, n - k);
        if (k == n || p[k] >= 0x80 || asciiMayBegin(k)) break;
        ++k;
      }
      if (k > i) {
        o.Put(p + i, k - i);
        i = k;
        continue;
      }
    }
    char16_t w = 0;
    const int len = i == aheadAt ? aheadLength : UnitAt(t, p, n, i, w);
    if (i == aheadAt) w = ahead;
    if (len < 0) return false;
    sawWide |= p[i] >= 0x80;
    if (len == 0) {  // beyond the BMP: as it is
      o.Put(p + i, 4);
      i += 4;
      continue;
    }
    std::int32_t r = roots[w];
    if (r <= 0) {
      if (r == 0) r = t.Root(w);
      if (r == kUnclean) return false;
      if (r == kNoKeys) {
        o.Put(w);
        i += static_cast<std::size_t>(len);
        continue;
      }
    }
    const bool single = (r - 1) & 1;
    std::size_t j = i + static_cast<std::size_t>(len);
    char16_t next = 0;
    int nextLength = j < n ? UnitAt(t, p, n, j, next) : 0;
    if (nextLength < 0) return false;
    aheadAt = j;
    ahead = next;
    aheadLength = nextLength;
    if (!single && (nextLength == 0 || !t.PairMayBegin(w, next))) {
      o.Put(w);
      i = j;
      continue;
    }
    // The earliest table line among the keys that the text begins with.
    const UnitTables::Node* node = &t.nodes[static_cast<std::size_t>((r - 1) >> 1)];
    std::int32_t bestLine = node->line, bestEntry = node->entry;
    std::size_t bestEnd = j;
    while (node->count && nextLength > 0) {
      node = t.Child(*node, next);
      if (!node) break;
      j += static_cast<std::size_t>(nextLength);
      if (node->entry >= 0 && node->line < bestLine) {
        bestLine = node->line;
        bestEntry = node->entry;
        bestEnd = j;
      }
      if (!node->count || j == n) break;
      nextLength = UnitAt(t, p, n, j, next);
      if (nextLength < 0) return false;
    }
    if (bestEntry < 0) {
      o.Put(w);
      i += static_cast<std::size_t>(len);
      continue;
    }
    const UnitTables::Entry* e = t.Replacement(bestEntry);
    if (!e) return false;
    for (std::uint32_t k = 0; k < e->length; ++k) o.Put(t.arena[e->at + k]);
    i = bestEnd;
  }
  o.Finish();
  result = std::move(out);
  // Every character beyond ASCII went through the loop above.
  if (wide) *wide = sawWide;
  return true;
}

UnitConverter::UnitConverter(ConvDirection direction, std::size_t sizeHint, Sink sink,
                             void* context)
    : tables_(TablesFor(direction, sizeHint)), sink_(sink), context_(context) {}

UnitConverter::~UnitConverter() = default;

bool UnitConverter::Feed(const char16_t* units, std::size_t n) {
  while (n > 0) {
    const std::size_t piece = std::min(n, kPiece);
    if (!Map(units, piece) || !Walk(false)) return false;
    Flush();
    units += piece;
    n -= piece;
  }
  return true;
}

bool UnitConverter::Finish() {
  if (!Walk(true)) return false;
  Flush();
  return true;
}

char16_t* UnitConverter::Buffer::Extend(std::size_t n) {
  if (size + n > capacity) {
    const std::size_t grown = std::max({2 * capacity, size + n, std::size_t{1024}});
    auto bigger = std::make_unique_for_overwrite<char16_t[]>(grown);
    if (size) std::memcpy(bigger.get(), data.get(), size * sizeof(char16_t));
    data = std::move(bigger);
    capacity = grown;
  }
  size += n;
  return data.get() + size - n;
}

void UnitConverter::Buffer::DropFront(std::size_t n) {
  if (n < size) std::memmove(data.get(), data.get() + n, (size - n) * sizeof(char16_t));
  size -= n;
}

bool UnitConverter::Map(const char16_t* units, std::size_t n) {
  UnitTables& t = *tables_;
  char16_t* out = mapped_.Extend(n);
  const std::uint32_t* map = t.map.get();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = units[i];
    if (u < 0x80 && t.asciiSame && u != kPlaceholder) {
      const std::size_t run = AsciiUnits(units + i, n - i, kPlaceholder);
      std::memcpy(out + i, units + i, run * sizeof(char16_t));
      i += run - 1;
      continue;
    }
    std::uint32_t e = map[u];
    if ((e & (kKnown | kFallback)) != kKnown) {
      if (!e) e = t.MapEntry(u);
      if (e & kFallback) return false;
    }
    out[i] = static_cast<char16_t>(e);
  }
  return true;
}

bool UnitConverter::Walk(bool last) {
  UnitTables& t = *tables_;
  const char16_t* m = mapped_.data.get();
  const std::size_t n = mapped_.size;
  const std::int32_t* roots = t.roots.get();
  auto put = [this](const char16_t* p, std::size_t k) {
    if (k) std::memcpy(out_.Extend(k), p, k * sizeof(char16_t));
  };
  std::size_t i = 0, copied = 0;
  while (i < n) {
    const char16_t w = m[i];
    std::int32_t r = roots[w];
    if (r <= 0) {
      if (r == 0) r = t.Root(w);
      if (r == kUnclean) return false;
      if (r == kNoKeys) {
        ++i;
        if (w < 0x80 && t.asciiRuns) i += t.plainAscii.Run(m + i, n - i);
        continue;
      }
    }
    // Most text begins no key with two units or more, and none with one.
    const bool single = (r - 1) & 1;
    if (!single && i + 1 < n && !t.PairMayBegin(w, m[i + 1])) {
      ++i;
      continue;
    }
    const UnitTables::Node* node = &t.nodes[static_cast<std::size_t>((r - 1) >> 1)];
    // The earliest table line among the keys that the text begins with.
    std::int32_t bestLine = node->line, bestEntry = node->entry;
    std::size_t bestLength = 1, j = i + 1;
    bool wait = false;
    while (node->count) {
      if (j == n) {
        wait = !last;
        break;
      }
      node = t.Child(*node, m[j]);
      if (!node) break;
      ++j;
      if (node->entry >= 0 && node->line < bestLine) {
        bestLine = node->line;
        bestEntry = node->entry;
        bestLength = j - i;
      }
    }
    if (wait) break;  // a key may go on in what is fed next
    if (bestEntry < 0) {
      ++i;
      continue;
    }
    const UnitTables::Entry* e = t.Replacement(bestEntry);
    if (!e) return false;
    put(m + copied, i - copied);
    put(t.arena.data() + e->at, e->length);
    i += bestLength;
    copied = i;
  }
  put(m + copied, i - copied);
  mapped_.DropFront(i);
  return true;
}

void UnitConverter::Flush() {
  if (out_.size) sink_(context_, out_.data.get(), out_.size);
  out_.size = 0;
}

void SetUnitPath(UnitPathUse use) { g_use = use; }

}  // namespace quillmer
