#include "engine/convert.h"

#include <cstring>
#include <vector>

#include "engine/tables.h"
#include "platform/codepage.h"

namespace quillmer {
namespace {

constexpr char16_t kPlaceholder = 0x001F;
constexpr char16_t kWhiteSquare = 0x25A1;

struct DirectionInfo {
  UINT src, dst;
  int table;
};

DirectionInfo Info(ConvDirection d) {
  return d == cdToTrad ? DirectionInfo{936, 950, 0} : DirectionInfo{950, 936, 1};
}

std::u16string ReadUnits(std::string_view bytes, bool bigEndian) {
  std::u16string t(bytes.size() / 2, u'\0');
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < t.size(); ++i) {
    unsigned lo = p[2 * i], hi = p[2 * i + 1];
    t[i] = static_cast<char16_t>(bigEndian ? (lo << 8 | hi) : (hi << 8 | lo));
  }
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

}  // namespace

void MapCharacters(std::string& bytes, int table) {
  EnsureTables();
  const auto& map = table == 0 ? Tables().GbToB5Table : Tables().B5ToGbTable;
  const std::uint16_t mark = table == 0 ? kBig5Square : kGbkSquare;
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

void MapCharacters(TextStream& stream, int table) {
  MapCharacters(stream.data, table);
  stream.position = 0;
}

std::string ApplyFix(std::string_view bytes, int table) {
  const FixTable& fix = table == 0 ? Tables().B5fix : Tables().GBfix;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::string out;
  out.reserve(n + n / 8);
  std::size_t i = 0, copied = 0;  // bytes [copied, i) still to copy
  while (i < n) {
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
    std::int32_t m = fix.Match(slot, p + i, n - i);
    if (m < 0) {
      i += len;
      continue;
    }
    out.append(bytes.data() + copied, i - copied);
    out.append(fix.Replacement(static_cast<std::size_t>(m)));
    i += fix.Key(static_cast<std::size_t>(m)).size();
    copied = i;
  }
  out.append(bytes.data() + copied, n - copied);
  return out;
}

void ApplyFix(TextStream& stream, int table) {
  EnsureTables();
  stream.data = ApplyFix(stream.data, table);
  stream.position = 0;
}

void ConvertScript(std::u16string& text, ConvDirection direction) {
  if (direction != cdToTrad && direction != cdToSim) return;
  EnsureTables();
  const DirectionInfo info = Info(direction);

  // Characters that must come through untouched but cannot travel through the
  // code pages one unit each — those outside the Basic Multilingual Plane and
  // U+001F itself — are set aside up front and stand as U+001F meanwhile.
  std::vector<std::u16string> early;
  std::u16string s;
  s.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u == kPlaceholder) {
      early.emplace_back(1, u);
      s.push_back(kPlaceholder);
    } else if (IsSurrogate(u)) {
      std::size_t len =
          (u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
              ? 2
              : 1;
      early.emplace_back(text, i, len);
      s.push_back(kPlaceholder);
      i += len - 1;
    } else {
      s.push_back(u);
    }
  }

  std::string b = EncodeCodePage(info.src, s);
  MapCharacters(b, info.table);
  std::u16string w = DecodeCodePage(info.dst, b);
  const std::size_t common = std::min(w.size(), s.size());
  for (std::size_t i = 0; i < common; ++i)
    if (w[i] == kWhiteSquare || w[i] == u'?') w[i] = s[i];
  w = DecodeCodePage(info.dst, EncodeCodePage(info.dst, w));

  // One list in text order: the early ones where their placeholders stand,
  // and the characters the target code page cannot hold.
  std::vector<std::u16string> aside;
  std::size_t nextEarly = 0;
  const std::size_t common2 = std::min(w.size(), s.size());
  for (std::size_t i = 0; i < common2; ++i) {
    if (s[i] == kPlaceholder && nextEarly < early.size()) {
      aside.push_back(std::move(early[nextEarly++]));
      w[i] = kPlaceholder;
    } else if (w[i] == u'?' && s[i] != u'?') {
      aside.emplace_back(1, s[i]);
      w[i] = kPlaceholder;
    }
  }

  std::string out = ApplyFix(EncodeCodePage(info.dst, w), info.table);
  std::u16string result = DecodeCodePage(info.dst, out);
  if (aside.empty()) {
    text = std::move(result);
    return;
  }
  text.clear();
  text.reserve(result.size() + aside.size());
  std::size_t next = 0;
  for (char16_t u : result) {
    if (u == kPlaceholder && next < aside.size())
      text += aside[next++];
    else
      text.push_back(u);
  }
}

std::u16string DecodeUTF8Bytes(const unsigned char* p, std::size_t count) {
  std::u16string out;
  out.reserve(count);
  std::size_t i = 0;
  while (i < count) {
    unsigned b0 = p[i];
    if (b0 < 0x80) {
      out.push_back(static_cast<char16_t>(b0));
      ++i;
    } else if ((b0 & 0xE0) == 0xC0) {
      if (count - i < 2) break;
      out.push_back(static_cast<char16_t>((b0 & 0x1F) << 6 | (p[i + 1] & 0x3F)));
      i += 2;
    } else if ((b0 & 0xF8) == 0xF0 && count - i >= 4 && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80 && (p[i + 3] & 0xC0) == 0x80) {
      // Four bytes beyond the Basic Multilingual Plane: a surrogate pair, so
      // that such characters come through intact.
      char32_t c =
          (b0 & 0x07) << 18 | (p[i + 1] & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 | (p[i + 3] & 0x3F);
      if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        i += 4;
        continue;
      }
      out.push_back(
          static_cast<char16_t>((b0 & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)));
      i += 3;
    } else {
      if (count - i < 3) break;
      out.push_back(
          static_cast<char16_t>((b0 & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)));
      i += 3;
    }
  }
  return out;
}

std::string EncodeUTF8Units(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      // A surrogate pair is one character: four bytes, as UTF-8 wants it.
      char32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (u >= 1 && u <= 0x7F) {
      out.push_back(static_cast<char>(u));
    } else if (u >= 0x80 && u <= 0x7FF) {
      out.push_back(static_cast<char>(0xC0 + (u >> 6 & 0x1F)));
      out.push_back(static_cast<char>(0x80 + (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 + (u >> 12 & 0x0F)));
      out.push_back(static_cast<char>(0x80 + (u >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 + (u & 0x3F)));
    }
  }
  return out;
}

void SwapByteOrder(std::u16string& text) {
  for (char16_t& u : text) {
    if (u == 0) break;
    u = static_cast<char16_t>((u >> 8) | (u << 8));
  }
}

void ConvertStream(TextStream& stream, TextEncoding source, TextEncoding target,
                   ConvDirection direction, bool writeSignature) {
  stream.position = 0;
  if (stream.data.empty()) return;
  EnsureTables();
  std::string& d = stream.data;

  if (source == teGBK && target == teBig5) {
    MapCharacters(d, 0);
    d = ApplyFix(d, 0);
    return;
  }
  if (source == teBig5 && target == teGBK && (direction == cdToSim || direction == cdNone)) {
    MapCharacters(d, 1);
    d = ApplyFix(d, 1);
    return;
  }
  if (source <= teUTF8 && source == target && direction == cdNone) return;

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
      t = DecodeCodePage(936, bytes);
      break;
    case teBig5:
      t = DecodeCodePage(950, bytes);
      break;
    default:
      break;
  }

  auto convert = [&] {
    if (direction == cdToTrad || direction == cdToSim) ConvertScript(t, direction);
  };
  std::string out;
  switch (target) {
    case teUnicode:
      convert();
      if (writeSignature) out = "\xFF\xFE";
      AppendUnits(out, t, false);
      break;
    case teUnicodeBE:
      convert();
      // Every unit is written big-endian, those after a U+0000 too.
      if (writeSignature) out = "\xFE\xFF";
      AppendUnits(out, t, true);
      break;
    case teUTF8:
      convert();
      if (writeSignature) out = "\xEF\xBB\xBF";
      out += EncodeUTF8Units(t);
      break;
    case teGBK:
      convert();
      for (char16_t& u : t)
        if (u == 0x2027) u = 0xFF0E;
      out = EncodeCodePage(936, t);
      break;
    case teBig5:
      ConvertScript(t, cdToTrad);
      out = EncodeCodePage(950, t);
      break;
    default:
      return;
  }
  d = std::move(out);
}

}  // namespace quillmer
