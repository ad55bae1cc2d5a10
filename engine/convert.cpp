#include "engine/convert.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/routes.h"
#include "engine/tables.h"
#include "engine/unit_path.h"
#include "platform/base/ascii.h"
#include "platform/base/memory.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

std::u16string ReadUnits(std::string_view bytes, bool bigEndian) {
  std::u16string t(bytes.size() / 2, u'\0');
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < t.size(); ++i) {
    unsigned lo = p[2 * i], hi = p[2 * i + 1];
    t[i] = static_cast<char16_t>(bigEndian ? (lo << 8 | hi) : (hi << 8 | lo));
  }
  // A unit cut off by the end reads as "?", as in the other encodings.
  if (bytes.size() % 2) t.push_back(u'?');
  return t;
}

void AppendUnits(std::string& out, std::u16string_view t, bool bigEndian) {
  std::size_t at = out.size();
  out.resize(at + 2 * t.size());
  const int first = bigEndian ? 8 : 0, second = bigEndian ? 0 : 8;
  for (char16_t u : t) {
    out[at++] = static_cast<char>((u >> first) & 0xFF);
    out[at++] = static_cast<char>((u >> second) & 0xFF);
  }
}

bool IsSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// In place: each U+001F of text, in order, is replaced by the next
// set-aside character.
void PutBack(std::u16string& text, const std::vector<std::u16string>& aside) {
  if (aside.empty()) return;
  // Where each set-aside character goes, and how much the text grows.
  std::vector<std::size_t> at;
  at.reserve(aside.size());
  std::size_t grow = 0;
  const std::size_t n = text.size();
  for (std::size_t i = FindUnit(text.data(), n, kPlaceholder); i < n && at.size() < aside.size();
       i += 1 + FindUnit(text.data() + i + 1, n - i - 1, kPlaceholder)) {
    grow += aside[at.size()].size() - 1;
    at.push_back(i);
  }
  std::size_t end = text.size();
  text.resize(end + grow);
  // From the back, so that nothing is overwritten before it is moved.
  for (std::size_t j = at.size(); j-- > 0;) {
    const std::u16string& c = aside[j];
    const std::size_t from = at[j] + 1, shift = grow;
    grow -= c.size() - 1;
    if (shift) std::char_traits<char16_t>::move(&text[from + shift], &text[from], end - from);
    std::char_traits<char16_t>::copy(&text[at[j] + grow], c.data(), c.size());
    end = at[j];
  }
}

}  // namespace

void MapCharacters(std::string& bytes, TableSide table) {
  EnsureTables();
  const auto& map = table == TableSide::ToTrad ? Tables().GbToB5Table : Tables().B5ToGbTable;
  const std::uint16_t mark = table == TableSide::ToTrad ? kBig5Square : kGbkSquare;
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i + 1 < n) {
    if (!IsLeadByte(p[i])) {
      ++i;
      continue;
    }
    unsigned code = static_cast<unsigned>(p[i]) << 8 | p[i + 1];
    std::uint16_t to = (code >= 0x8140 && code <= 0xFEFE) ? map[code - 0x8140] : mark;
    p[i] = static_cast<unsigned char>(to >> 8);
    p[i + 1] = static_cast<unsigned char>(to & 0xFF);
    i += 2;
  }
}

void MapCharacters(TextStream& stream, TableSide table) {
  MapCharacters(stream.data, table);
  stream.position = 0;
}

namespace {

// ApplyFix's walk over the bytes at p; the output goes to a sink as runs of
// the input to copy and replacements to put.
template <typename Sink>
void WalkFix(const FixTable& fix, const unsigned char* p, std::size_t n, Sink& sink) {
  const FixIndex& index = fix.Index();
  // Single bytes that begin no key (most ASCII) are passed over in a run.
  bool begins[0x81];
  for (unsigned b = 0; b < 0x81; ++b)
    begins[b] =
        index[static_cast<std::size_t>(FixSlotOfByte(static_cast<unsigned char>(b)))].first >= 0;
  // When few single bytes begin keys, runs of the others are found sixteen
  // bytes at a time.
  unsigned char few[4];
  std::size_t fewCount = 0;
  for (unsigned b = 0; b < 0x81; ++b)
    if (begins[b] && fewCount++ < std::size(few)) few[fewCount - 1] = static_cast<unsigned char>(b);
  const bool runs = fewCount <= std::size(few);
  std::size_t i = 0, copied = 0;  // bytes [copied, i) still to copy
  while (i < n) {
    if (p[i] < 0x81) {
      if (runs) i += PlainBytes(p + i, n - i, few, fewCount);
      while (i < n && p[i] < 0x81 && !begins[p[i]]) ++i;
    }
    if (i == n) break;
    std::size_t len;
    int slot;
    if (!IsLeadByte(p[i])) {
      len = 1;
      slot = FixSlotOfByte(p[i]);
    } else if (i + 1 < n) {
      len = 2;
      slot = FixSlotOfCode(static_cast<unsigned>(p[i]) << 8 | p[i + 1]);
    } else {
      break;  // a lead byte that ends the data is copied as it is
    }
    // Most characters begin no key: a filter or index read instead of a call.
    if (!fix.MayBeginAt(p + i, n - i) || static_cast<unsigned>(slot) >= kFixSlots ||
        index[slot].first < 0) {
      i += len;
      continue;
    }
    std::size_t keyLength = 0;
    std::int32_t m = fix.Match(slot, p + i, n - i, &keyLength);
    if (m < 0) {
      i += len;
      continue;
    }
    sink.Copy(copied, i - copied);
    i += keyLength;
    sink.Put(fix.Replacement(static_cast<std::size_t>(m)), i);
    copied = i;
  }
  sink.Copy(copied, n - copied);
}

struct AppendSink {
  std::string_view in;
  std::string& out;
  void Copy(std::size_t from, std::size_t n) { out.append(in.data() + from, n); }
  void Put(std::string_view r, std::size_t) { out.append(r); }
};

// Writes the output over the input, behind the reading position; should a
// longer replacement catch up with it, the rest goes to a new string.
struct InPlaceSink {
  explicit InPlaceSink(std::string& b) : buf(b) {}
  std::string& buf;
  std::size_t w = 0;
  std::string spill;
  bool spilled = false;
  void Copy(std::size_t from, std::size_t n) {
    if (spilled) {
      spill.append(buf, from, n);
    } else {
      if (w != from) std::memmove(buf.data() + w, buf.data() + from, n);
      w += n;
    }
  }
  void Put(std::string_view r, std::size_t next) {
    if (!spilled && w + r.size() <= next) {
      std::memcpy(buf.data() + w, r.data(), r.size());
      w += r.size();
      return;
    }
    if (!spilled) {
      spilled = true;
      spill.reserve(buf.size() + buf.size() / 8 + r.size());
      spill.assign(buf, 0, w);
    }
    spill.append(r);
  }
  void Finish() {
    if (spilled)
      buf = std::move(spill);
    else
      buf.resize(w);
  }
};

const FixTable& FixOf(TableSide table) {
  return table == TableSide::ToTrad ? Tables().B5fix : Tables().GBfix;
}

// ApplyFix over bytes in place.
void ApplyFixInPlace(std::string& bytes, TableSide table) {
  InPlaceSink sink{bytes};
  WalkFix(FixOf(table), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sink);
  sink.Finish();
}

}  // namespace

std::string ApplyFix(std::string_view bytes, TableSide table) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  AppendSink sink{bytes, out};
  WalkFix(FixOf(table), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sink);
  return out;
}

void ApplyFix(TextStream& stream, TableSide table) {
  EnsureTables();
  ApplyFixInPlace(stream.data, table);
  stream.position = 0;
}

namespace {

// Zero-filled static storage: only the pages of units met are touched.
UnitRoute g_routes[2][0x10000];
bool g_fastPath = true;

// The direct byte paths (GBK to Big5 and back) read the source a character
// at a time, as the code page does. A double-byte code with a table entry
// takes it. Any other character — no entry, a byte such as 0x80 that means
// something else in the target, a byte such as 0xFF that the source reads
// alone — is written as itself in the target code page, or as □ when the
// target lacks it; it never takes its neighbour's byte. Answers that depend
// on the code pages alone are kept per direction: 0 not asked yet, else
// kByteKnown | length << 16 | bytes.
constexpr std::uint32_t kByteKnown = 1u << 31;
std::uint32_t g_byteSingle[2][256];
std::uint32_t g_bytePair[2][0x10000];

// The target bytes of the source character `bytes` (n of them).
std::uint32_t ByteRoute(const DirectionInfo& info, std::uint16_t bytes, int n, std::uint16_t mark) {
  char16_t c = 0, same = 0;
  std::uint16_t back = 0, out = mark;
  int bn = 2;
  if (DecodeBytes(info.src, bytes, n, c, true) && UnitBytes(info.src, c, back, true) == n &&
      back == bytes) {
    if (n == 1 && DecodeBytes(info.dst, bytes, 1, same, true) && same == c) {
      out = bytes;  // ASCII: the same in both
      bn = 1;
    } else {
      std::uint16_t d = 0;
      const int dn = UnitBytes(info.dst, c, d, true);
      if (dn >= 1 && DecodeBytes(info.dst, d, dn, same, true) && same == c) {
        out = d;
        bn = dn;
      }
    }
  }
  return kByteKnown | static_cast<std::uint32_t>(bn) << 16 | out;
}

// Step 1 of the byte paths in place of the bare character map.
void MapCodePageText(std::string& d, const DirectionInfo& info) {
  const std::uint16_t* map =
      info.table == TableSide::ToTrad ? Tables().GbToB5Table.data() : Tables().B5ToGbTable.data();
  const std::uint16_t mark = info.table == TableSide::ToTrad ? kBig5Square : kGbkSquare;
  // The answers are kept only while both code pages have their lookup arrays
  // (a code page made to look missing must not leave its answers behind).
  const bool keep = HasCodePageCache(info.src) && HasCodePageCache(info.dst);
  static std::uint32_t noSingle[256], noPair[0x10000];
  static int lead[2][256], noLead[256];
  std::uint32_t* single = keep ? g_byteSingle[SlotOf(info.table)] : noSingle;
  std::uint32_t* pair = keep ? g_bytePair[SlotOf(info.table)] : noPair;
  // Whether the source reads a byte of 0x81 or above as a lead byte.
  int* leads = keep ? lead[SlotOf(info.table)] : noLead;
  if (!keep) {
    std::memset(noSingle, 0, sizeof noSingle);
    std::memset(noPair, 0, sizeof noPair);
    std::memset(noLead, 0, sizeof noLead);
  }
  std::string out;
  out.reserve(d.size() + d.size() / 16 + 2);
  const auto* p = reinterpret_cast<const unsigned char*>(d.data());
  const std::size_t n = d.size();
  auto put = [&](std::uint32_t e) {
    if ((e >> 16 & 3) == 2) out.push_back(static_cast<char>(e >> 8 & 0xFF));
    out.push_back(static_cast<char>(e & 0xFF));
  };
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      const std::size_t run = AsciiBytes(p + i, n - i);
      out.append(d, i, run);
      i += run;
      continue;
    }
    if (b >= 0x81 && !leads[b]) {
      char16_t u;
      leads[b] = HasCodePageCache(info.src) && DecodeCharCached(info.src, &b, 1, &u) ? -1 : 1;
    }
    if (b < 0x81 || leads[b] < 0) {
      std::uint32_t& e = single[b];
      if (!e) e = ByteRoute(info, b, 1, mark);
      put(e);
      ++i;
      continue;
    }
    if (i + 1 == n) {  // a lead byte that ends the data stays as it is
      out.push_back(static_cast<char>(b));
      break;
    }
    const unsigned code = static_cast<unsigned>(b) << 8 | p[i + 1];
    const std::uint16_t to = code >= 0x8140 && code <= 0xFEFE ? map[code - 0x8140] : mark;
    if (to != mark) {
      out.push_back(static_cast<char>(to >> 8));
      out.push_back(static_cast<char>(to & 0xFF));
    } else {
      std::uint32_t& e = pair[code];
      if (!e) e = ByteRoute(info, static_cast<std::uint16_t>(code), 2, mark);
      put(e);
    }
    i += 2;
  }
  d = std::move(out);
}

// Whether every ASCII unit but U+001F goes through unchanged, one byte each, in
// direction `table`: 0 not asked yet, 1 yes, -1 no. It depends on the code
// pages alone.
int g_asciiSame[2];

bool AsciiGoesThrough(const DirectionInfo& info, UnitRoute* routes, const std::uint16_t* map,
                      std::uint16_t mark, bool cached) {
  int& same = g_asciiSame[SlotOf(info.table)];
  if (same == 0) {
    same = 1;
    for (char16_t u = 0; u < 0x80; ++u) {
      if (u == kPlaceholder) continue;
      UnitRoute& r = routes[u];
      if (!(r.flags & kRouteKnown)) r = FindRoute(u, info, map, mark, cached);
      if (r.flags != (kRouteKnown | kRouteLocal) || r.length != 1 || r.bytes[0] != u) same = -1;
    }
  }
  return same > 0;
}

// Steps 1 to 7 for units given a block at a time: the bytes of each unit's
// route, and in order the characters set aside. A high surrogate that ends a
// block waits for the next, which may hold its low half. `cached`: routes kept
// across calls and worked out from the code pages' lookup arrays; otherwise
// worked out afresh from the converters for this text alone.
class RouteWriter {
 public:
  RouteWriter(const DirectionInfo& info, std::string& bytes, std::size_t sizeHint, bool cached)
      : info_(info),
        bytes_(bytes),
        map_(info.table == TableSide::ToTrad ? Tables().GbToB5Table.data()
                                             : Tables().B5ToGbTable.data()),
        mark_(info.table == TableSide::ToTrad ? kBig5Square : kGbkSquare),
        cached_(cached) {
    if (cached) {
      if (!g_fastPath || !HasCodePageCache(info.src) || !HasCodePageCache(info.dst)) return;
      routes_ = g_routes[SlotOf(info.table)];
    } else {
      own_.reset(new UnitRoute[0x10000]());
      routes_ = own_.get();
    }
    // Set-aside characters stand as U+001F, which must itself keep its place.
    placeholder_ = FindRoute(kPlaceholder, info, map_, mark_, cached);
    if (!(placeholder_.flags & kRouteLocal) || (placeholder_.flags & kRouteAside)) return;
    // Worth asking only for text long enough to hold runs.
    asciiRuns_ = sizeHint >= 256 && AsciiGoesThrough(info, routes_, map_, mark_, cached);
    bytes_.clear();
    if (bytes_.capacity() < sizeHint) bytes_.reserve(sizeHint + sizeHint / 2);
    ready_ = true;
  }

  // False when the path cannot be taken at all.
  bool Ready() const { return ready_; }

  // False when a unit has no route: the text must take the general path.
  bool Feed(const char16_t* p, std::size_t n) {
    if (n == 0) return true;
    std::size_t i = 0;
    if (high_) {
      const bool pair = p[0] >= 0xDC00 && p[0] <= 0xDFFF;
      aside.push_back(pair ? std::u16string{high_, p[0]} : std::u16string(1, high_));
      if (k_ > sizeof buf_ - 2) Flush();
      Put(placeholder_);
      high_ = 0;
      i = pair ? 1 : 0;
    }
    for (; i < n; ++i) {
      if (k_ > sizeof buf_ - 2) Flush();
      const char16_t u = p[i];
      if (asciiRuns_ && u < 0x80 && u != kPlaceholder) {
        const std::size_t run = AsciiUnits(p + i, std::min(n - i, sizeof buf_ - k_), kPlaceholder);
        NarrowUnits(p + i, run, buf_ + k_);
        k_ += run;
        i += run - 1;
        continue;
      }
      const UnitRoute* r = &routes_[u];
      // The common case: a route known, kept, and not set aside.
      if ((r->flags & ~kRouteTable) != (kRouteKnown | kRouteLocal) ||
          ((r->flags & kRouteTable) && map_[r->code - 0x8140] != r->mapped)) {
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 == n) {
          high_ = u;  // its pair may begin the next block
          continue;
        }
        if (u == kPlaceholder || IsSurrogate(u)) {
          const std::size_t len =
              (u <= 0xDBFF && u >= 0xD800 && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) ? 2 : 1;
          aside.emplace_back(p + i, len);
          r = &placeholder_;
          i += len - 1;
        } else {
          if (!(r->flags & kRouteKnown) ||
              ((r->flags & kRouteTable) && map_[r->code - 0x8140] != r->mapped))
            routes_[u] = FindRoute(u, info_, map_, mark_, cached_);
          if (!(r->flags & kRouteLocal)) return false;
          if (r->flags & kRouteAside) aside.emplace_back(1, u);
        }
      }
      Put(*r);
    }
    return true;
  }

  // After the last block: a waiting high surrogate stands alone.
  void Finish() {
    if (high_) {
      aside.emplace_back(1, high_);
      if (k_ > sizeof buf_ - 2) Flush();
      Put(placeholder_);
      high_ = 0;
    }
    Flush();
  }

  std::vector<std::u16string> aside;

 private:
  void Put(const UnitRoute& r) {
    buf_[k_] = static_cast<char>(r.bytes[0]);
    buf_[k_ + 1] = static_cast<char>(r.bytes[1]);
    k_ += r.length;
  }
  void Flush() {
    bytes_.append(buf_, k_);
    k_ = 0;
  }

  const DirectionInfo info_;
  std::string& bytes_;
  const std::uint16_t* map_;
  std::uint16_t mark_;
  const bool cached_;
  UnitRoute* routes_ = nullptr;
  std::unique_ptr<UnitRoute[]> own_;
  UnitRoute placeholder_{};
  bool ready_ = false;
  bool asciiRuns_ = false;
  char16_t high_ = 0;
  char buf_[8192];
  std::size_t k_ = 0;
};

bool ConvertScriptRoutes(std::u16string& text, const DirectionInfo& info, std::string& bytes,
                         bool cached) {
  RouteWriter writer(info, bytes, text.size(), cached);
  if (!writer.Ready() || !writer.Feed(text.data(), text.size())) return false;
  writer.Finish();
  // The text's own storage takes the result: it is read no more.
  ApplyFixInPlace(bytes, info.table);
  DecodeCodePage(info.dst, bytes, text);
  PutBack(text, writer.aside);
  return true;
}

void AppendTo(void* text, const char16_t* units, std::size_t n) {
  static_cast<std::u16string*>(text)->append(units, n);
}

// ConvertScript in one pass over the units; false (the text untouched) when
// the text must take the code-page path.
bool ConvertScriptUnits(std::u16string& text, ConvDirection direction) {
  std::u16string out;
  UnitConverter converter(direction, text.size(), &AppendTo, &out);
  if (!converter.Ready()) return false;
  out.reserve(text.size() + text.size() / 8);
  if (!converter.Feed(text.data(), text.size()) || !converter.Finish()) return false;
  text = std::move(out);
  return true;
}

// ConvertScript with a byte buffer to work in, whose storage is reused.
void ConvertScript(std::u16string& text, ConvDirection direction, std::string& scratch) {
  if (direction != cdToTrad && direction != cdToSim) return;
  EnsureTables();
  const DirectionInfo info = Info(direction);
  // Without both code pages nothing can be converted: the text stays as it is.
  if (!IsValidCodePage(info.src) || !IsValidCodePage(info.dst)) return;
  if (g_fastPath && ConvertScriptUnits(text, direction)) return;
  if (!ConvertScriptRoutes(text, info, scratch, true))
    ConvertScriptRoutes(text, info, scratch, false);
}

}  // namespace

void ConvertScript(std::u16string& text, ConvDirection direction) {
  std::string scratch;
  ConvertScript(text, direction, scratch);
}

void SetConvertScriptFastPath(bool enabled) { g_fastPath = enabled; }

namespace {

// The UTF-8 codecs write through a small buffer handed on in blocks: an output
// string only ever touches the memory it keeps. take(units, n) returns false
// to stop.
template <typename Take>
void DecodeUTF8To(const unsigned char* p, std::size_t count, Take&& take) {
  char16_t buf[4096];
  std::size_t k = 0, i = 0;
  while (i < count) {
    if (k > std::size(buf) - 2) {
      if (!take(buf, k)) return;
      k = 0;
    }
    unsigned b0 = p[i];
    if (b0 < 0x80) {
      const std::size_t run = AsciiBytes(p + i, std::min(count - i, std::size(buf) - k));
      WidenBytes(p + i, run, buf + k);
      k += run;
      i += run;
    } else if ((b0 & 0xF0) == 0xE0 && count - i >= 3) {
      // A run of three-byte sequences: most Chinese text.
      const std::size_t room = std::size(buf) - k;
      std::size_t j = 0;
      do {
        buf[k++] =
            static_cast<char16_t>((p[i] & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
        i += 3;
      } while (++j < room && count - i >= 3 && (p[i] & 0xF0) == 0xE0);
    } else if ((b0 & 0xE0) == 0xC0) {
      if (count - i < 2) {
        buf[k++] = u'?';  // cut off by the end, as the code pages read a lone lead byte
        break;
      }
      buf[k++] = static_cast<char16_t>((b0 & 0x1F) << 6 | (p[i + 1] & 0x3F));
      i += 2;
    } else if ((b0 & 0xF8) == 0xF0 && count - i >= 4 && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80 && (p[i + 3] & 0xC0) == 0x80) {
      // Four bytes beyond the Basic Multilingual Plane: a surrogate pair, so
      // that such characters come through intact.
      char32_t c =
          (b0 & 0x07) << 18 | (p[i + 1] & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 | (p[i + 3] & 0x3F);
      if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        buf[k++] = static_cast<char16_t>(0xD800 + (c >> 10));
        buf[k++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        i += 4;
        continue;
      }
      buf[k++] =
          static_cast<char16_t>((b0 & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
      i += 3;
    } else {
      if (count - i < 3) {
        buf[k++] = u'?';
        break;
      }
      buf[k++] =
          static_cast<char16_t>((b0 & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
      i += 3;
    }
  }
  take(buf, k);
}

// UTF-16 units to UTF-8 a block at a time: a high surrogate that ends a block
// waits to see whether the next begins with its low half.
class Utf8Encoder {
 public:
  explicit Utf8Encoder(std::string& out) : out_(out) {}

  void Put(const char16_t* units, std::size_t n) {
    std::size_t i = 0;
    if (high_ && n > 0) {
      if (IsLow(units[0])) {
        Pair(high_, units[0]);
        i = 1;
      } else {
        Three(high_);
      }
      high_ = 0;
    }
    for (; i < n; ++i) {
      if (k_ > sizeof buf_ - 4) Flush();
      char16_t u = units[i];
      if (u >= 0x800 && (u < 0xD800 || u > 0xDFFF)) {
        // A run of units of three bytes each: most Chinese text.
        for (; i < n && k_ <= sizeof buf_ - 3; ++i) {
          u = units[i];
          if (u < 0x800 || (u >= 0xD800 && u <= 0xDFFF)) break;
          Three(u);
        }
        --i;
      } else if (u <= 0x7F) {
        // 0x80 stops nothing: every unit below it, U+0000 too, is one byte.
        const std::size_t run = AsciiUnits(units + i, std::min(n - i, sizeof buf_ - k_), 0x80);
        NarrowUnits(units + i, run, buf_ + k_);
        k_ += run;
        i += run - 1;
      } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 == n) {
        high_ = u;
      } else if (u >= 0xD800 && u <= 0xDBFF && IsLow(units[i + 1])) {
        // A surrogate pair is one character: four bytes, as UTF-8 wants it.
        Pair(u, units[++i]);
      } else if (u >= 0x80 && u <= 0x7FF) {
        buf_[k_++] = static_cast<char>(0xC0 + (u >> 6 & 0x1F));
        buf_[k_++] = static_cast<char>(0x80 + (u & 0x3F));
      } else {
        Three(u);
      }
    }
  }

  void Finish() {
    if (high_) {
      if (k_ > sizeof buf_ - 4) Flush();
      Three(high_);
      high_ = 0;
    }
    Flush();
  }

 private:
  static bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
  void Flush() {
    out_.append(buf_, k_);
    k_ = 0;
  }
  void Three(char16_t u) {
    buf_[k_++] = static_cast<char>(0xE0 + (u >> 12 & 0x0F));
    buf_[k_++] = static_cast<char>(0x80 + (u >> 6 & 0x3F));
    buf_[k_++] = static_cast<char>(0x80 + (u & 0x3F));
  }
  void Pair(char16_t high, char16_t low) {
    if (k_ > sizeof buf_ - 4) Flush();
    char32_t c = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    buf_[k_++] = static_cast<char>(0xF0 | (c >> 18));
    buf_[k_++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    buf_[k_++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    buf_[k_++] = static_cast<char>(0x80 | (c & 0x3F));
  }

  std::string& out_;
  char buf_[8192];
  std::size_t k_ = 0;
  char16_t high_ = 0;
};

void AppendUTF8(std::u16string_view units, std::string& out) {
  if (out.capacity() < out.size() + units.size())
    out.reserve(out.size() + units.size() + units.size() / 2);
  Utf8Encoder encoder(out);
  encoder.Put(units.data(), units.size());
  encoder.Finish();
}

// Decoded units on their way to UTF-8, each U+001F in turn replaced by the
// next set-aside character while any remain.
struct PutBackEncoder {
  Utf8Encoder encoder;
  const std::vector<std::u16string>& aside;
  std::size_t next = 0;

  static void Take(void* self, const char16_t* units, std::size_t n) {
    static_cast<PutBackEncoder*>(self)->Put(units, n);
  }
  void Put(const char16_t* units, std::size_t n) {
    while (n > 0) {
      const std::size_t at = next < aside.size() ? FindUnit(units, n, kPlaceholder) : n;
      encoder.Put(units, at);
      if (at == n) return;
      const std::u16string& c = aside[next++];
      encoder.Put(c.data(), c.size());
      units += at + 1;
      n -= at + 1;
    }
  }
};

void EncodeTo(void* encoder, const char16_t* units, std::size_t n) {
  static_cast<Utf8Encoder*>(encoder)->Put(units, n);
}

// ConvertStream from UTF-8 to UTF-8 in one pass: decoded, converted and
// encoded a block at a time. False (the stream untouched) when the text must
// take the code-page path.
bool ConvertUtf8Units(std::string& d, ConvDirection direction, bool writeSignature) {
  std::string_view in = d;
  if (in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
  std::string out;
  ReserveLarge(out, in.size() + in.size() / 8 + 3);
  if (writeSignature) out.assign("\xEF\xBB\xBF");
  Utf8Encoder encoder(out);
  UnitConverter converter(direction, in.size(), &EncodeTo, &encoder);
  if (!converter.Ready()) return false;
  bool fed = true;
  DecodeUTF8To(reinterpret_cast<const unsigned char*>(in.data()), in.size(),
               [&](const char16_t* units, std::size_t n) {
                 return fed = converter.Feed(units, n);
               });
  if (!fed || !converter.Finish()) return false;
  encoder.Finish();
  d = std::move(out);
  return true;
}

// ConvertStream from UTF-8 to UTF-8 in one go: the text goes from UTF-8 to
// the routes' bytes and from the corrected bytes back to UTF-8 a block at a
// time, never whole as UTF-16. The same result as decoding, ConvertScript and
// encoding; false (the stream untouched) when a unit has no route.
bool ConvertUtf8Fast(std::string& d, const DirectionInfo& info, bool writeSignature) {
  std::string_view in = d;
  if (in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
  std::string bytes;
  RouteWriter writer(info, bytes, in.size(), true);
  if (!writer.Ready()) return false;
  bool routed = true;
  DecodeUTF8To(
      reinterpret_cast<const unsigned char*>(in.data()), in.size(),
      [&](const char16_t* units, std::size_t n) { return routed = writer.Feed(units, n); });
  if (!routed) return false;
  writer.Finish();
  ApplyFixInPlace(bytes, info.table);

  // The input is read no more: its storage takes the result.
  d.assign(writeSignature ? "\xEF\xBB\xBF" : "");
  PutBackEncoder out{Utf8Encoder(d), writer.aside};
  if (!DecodeCodePageBlocks(info.dst, bytes, &PutBackEncoder::Take, &out)) {
    d.assign(writeSignature ? "\xEF\xBB\xBF" : "");
    PutBackEncoder whole{Utf8Encoder(d), writer.aside};
    const std::u16string units = DecodeCodePage(info.dst, bytes);
    whole.Put(units.data(), units.size());
    whole.encoder.Finish();
    return true;
  }
  out.encoder.Finish();
  return true;
}

}  // namespace

std::u16string DecodeUTF8Bytes(const unsigned char* p, std::size_t count) {
  std::u16string out;
  out.reserve(count);
  DecodeUTF8To(p, count, [&](const char16_t* units, std::size_t n) {
    out.append(units, n);
    return true;
  });
  return out;
}

std::string EncodeUTF8Units(std::u16string_view units) {
  std::string out;
  AppendUTF8(units, out);
  return out;
}

void SwapByteOrder(std::u16string& text) {
  for (char16_t& u : text) {
    if (u == 0) break;
    u = static_cast<char16_t>((u >> 8) | (u << 8));
  }
}

bool ConvertIfWholeUtf8(std::string_view text, ConvDirection direction, bool writeSignature,
                        std::string& result) {
  if (!g_fastPath || (direction != cdToTrad && direction != cdToSim)) return false;
  // A signature of UTF-16 is no UTF-8; one of UTF-8 is taken for itself.
  std::string out;
  bool wide = false;
  if (!ConvertUtf8Whole(direction, text, writeSignature, out, &wide) || !wide) return false;
  result = std::move(out);
  return true;
}

void ConvertStream(TextStream& stream, TextEncoding source, TextEncoding target,
                   ConvDirection direction, bool writeSignature) {
  stream.position = 0;
  if (stream.data.empty()) return;
  EnsureTables();
  std::string& d = stream.data;

  if (source == teGBK && target == teBig5) {
    MapCodePageText(d, Info(cdToTrad));
    ApplyFixInPlace(d, TableSide::ToTrad);
    return;
  }
  if (source == teBig5 && target == teGBK && (direction == cdToSim || direction == cdNone)) {
    MapCodePageText(d, Info(cdToSim));
    ApplyFixInPlace(d, TableSide::ToSim);
    return;
  }
  // Nothing to convert: the bytes stay as they are, those that no code page
  // could decode included.
  if (source <= teBig5 && source == target && direction == cdNone) return;
  if (source == teUTF8 && target == teUTF8 && (direction == cdToTrad || direction == cdToSim) &&
      ((g_fastPath && (ConvertUtf8Whole(direction, d, writeSignature, d) ||
                       ConvertUtf8Units(d, direction, writeSignature))) ||
       ConvertUtf8Fast(d, Info(direction), writeSignature)))
    return;

  std::u16string t;
  std::string_view bytes = d;
  switch (source) {
    case teUnicode:
      if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') bytes.remove_prefix(2);
      t = ReadUnits(bytes, false);
      break;
    case teUnicodeBE:
      if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') bytes.remove_prefix(2);
      t = ReadUnits(bytes, true);
      break;
    case teUTF8:
      if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
      t = DecodeUTF8Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
      break;
    case teGBK:
      t = DecodeCodePage(kCodePageGbk, bytes);
      break;
    case teBig5:
      t = DecodeCodePage(kCodePageBig5, bytes);
      break;
    default:
      break;
  }

  // The stream's bytes are read no more: their storage serves the conversion
  // as scratch and then takes the result.
  auto convert = [&] {
    if (direction == cdToTrad || direction == cdToSim) ConvertScript(t, direction, d);
  };
  switch (target) {
    case teUnicode:
      convert();
      d.assign(writeSignature ? "\xFF\xFE" : "");
      AppendUnits(d, t, false);
      break;
    case teUnicodeBE:
      convert();
      // Every unit is written big-endian, those after a U+0000 too.
      d.assign(writeSignature ? "\xFE\xFF" : "");
      AppendUnits(d, t, true);
      break;
    case teUTF8:
      convert();
      d.assign(writeSignature ? "\xEF\xBB\xBF" : "");
      AppendUTF8(t, d);
      break;
    case teGBK:
      convert();
      for (char16_t& u : t)
        if (u == 0x2027) u = 0xFF0E;
      EncodeCodePage(kCodePageGbk, t, d);
      break;
    case teBig5:
      ConvertScript(t, cdToTrad, d);
      EncodeCodePage(kCodePageBig5, t, d);
      break;
    default:
      return;
  }
}

}  // namespace quillmer
