#include "engine/detect.h"

#include <bitset>
#include <cstdint>
#include <memory>

#include "engine/convert.h"
#include "engine/tables.h"
#include "platform/base/ascii.h"
#include "platform/base/error.h"
#include "platform/win32/codepage.h"
#include "platform/win32/module.h"

namespace quillmer {
namespace {

constexpr std::size_t kUtf8Sample = 3006;
constexpr std::size_t kUtf8Enough = 3000;
constexpr int kMaxDbcs = 5120;

// The test table as a set of codes (big-endian 16-bit entries).
std::unique_ptr<std::bitset<65536>> LoadTestTable(std::string_view name) {
  auto res = LoadModuleResource(name, RT_RCDATA);
  if (!res) throw Error("Resource '" + std::string(name) + "' not found", E_RESOURCE_NOT_FOUND);
  auto set = std::make_unique<std::bitset<65536>>();
  for (std::size_t i = 0; i + 1 < res->size(); i += 2)
    set->set(static_cast<unsigned char>((*res)[i]) << 8 |
             static_cast<unsigned char>((*res)[i + 1]));
  return set;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Whether all n bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF, nothing cut off) holding at least one character
// beyond ASCII.
bool WholeIsUTF8(const unsigned char* p, std::size_t n) {
  bool multi = false;
  std::size_t i = 0;
  while (i < n) {
    i += AsciiBytes(p + i, n - i);
    if (i == n) break;
    // Runs of three-byte sequences, most Chinese text, a word at a time: a
    // lead byte 0xE0-0xEF and two continuation bytes, the second byte at
    // least 0xA0 after 0xE0 and below 0xA0 after 0xED.
    while (n - i >= 3) {
      const std::uint32_t x = static_cast<std::uint32_t>(p[i]) | p[i + 1] << 8 | p[i + 2] << 16;
      if ((x & 0xC0C0F0) != 0x8080E0) break;
      const bool high = x & 0x2000;
      if ((x & 0x0F) == 0x0 ? !high : (x & 0x0F) == 0xD && high) return false;
      multi = true;
      i += 3;
    }
    if (i == n || p[i] < 0x80) continue;
    const unsigned char b = p[i];
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k)
      if (!IsContinuation(p[i + k])) return false;
    multi = true;
    i += len;
  }
  return multi;
}

}  // namespace

TextEncoding DetectSignature(TextStream& stream) {
  stream.position = 0;
  const std::string& d = stream.data;
  if (d.size() < 2) return teUnknown;
  stream.position = 2;
  if (d[0] == '\xFF' && d[1] == '\xFE') return teUnicode;
  if (d[0] == '\xFE' && d[1] == '\xFF') return teUnicodeBE;
  if (d[0] == '\xEF' && d[1] == '\xBB' && d.size() > 2) {
    stream.position = 3;
    if (d[2] == '\xBF') return teUTF8;
  }
  return teUnknown;
}

bool LooksLikeUTF8(TextStream& stream) {
  stream.position = 0;
  const std::size_t n = std::min(stream.data.size(), kUtf8Sample);
  const auto* p = reinterpret_cast<const unsigned char*>(stream.data.data());
  bool result = false;
  std::size_t i = 0;
  while (i < n) {
    unsigned char b = p[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0) return false;
    // A sequence cut off by the end of the sample ends the scan.
    if (i + len > n) break;
    for (std::size_t k = 1; k < len; ++k)
      if (!IsContinuation(p[i + k])) return false;
    result = true;
    i += len;
    if (i > kUtf8Enough) return true;
  }
  return result;
}

TextEncoding DetectEncoding(TextStream& stream) {
  EnsureTables();
  stream.position = 0;
  TextEncoding r = DetectSignature(stream);
  if (r <= teUTF8) {
    stream.position = 0;
    return r;
  }
  // Text that is UTF-8 from end to end is taken as such whatever its first
  // kilobytes hold; the sample below only decides for the rest.
  if (WholeIsUTF8(reinterpret_cast<const unsigned char*>(stream.data.data()), stream.data.size()) ||
      LooksLikeUTF8(stream)) {
    stream.position = 0;
    return teUTF8;
  }
  auto big5 = LoadTestTable("testtbl1");
  auto gbk = LoadTestTable("testtbl2");
  int big5Hits = 0, gbHits = 0, nonGB2312 = 0, dbcs = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(stream.data.data());
  const std::size_t n = stream.data.size();
  for (std::size_t i = 0; i + 1 < n;) {
    if (p[i] < 0x81) {
      ++i;
      continue;
    }
    unsigned code = static_cast<unsigned>(p[i]) << 8 | p[i + 1];
    i += 2;
    if (big5->test(code)) ++big5Hits;
    if (gbk->test(code)) ++gbHits;
    if (!IsGB2312Code(code)) ++nonGB2312;
    if (++dbcs > kMaxDbcs) break;
  }
  stream.position = 0;
  if (dbcs == 0) return teUnknown;
  if (gbHits > big5Hits) return teGBK;
  if (big5Hits > gbHits) return teBig5;
  if (dbcs <= 50) return teUnknown;
  return static_cast<double>(nonGB2312) / dbcs * 100.0 > 4.0 ? teBig5 : teGBK;
}

std::u16string AnsiToWide(std::string_view bytes, unsigned codePage) {
  return DecodeCodePage(codePage, bytes);
}

std::string WideToAnsi(std::u16string_view text, unsigned codePage) {
  return EncodeCodePage(codePage, text);
}

void ConvertWideText(const std::u16string& text, ConvDirection direction, TextEncoding readAs,
                     std::u16string& result, bool repair) {
  if (text.empty()) return;
  std::u16string t = repair ? RepairCharset(text, readAs) : text;
  // The same as passing the units through a UTF-16 stream: the tables load,
  // and a leading U+FEFF is taken for a signature when the script changes.
  EnsureTables();
  if (direction == cdToTrad || direction == cdToSim) {
    if (!t.empty() && t[0] == 0xFEFF) t.erase(0, 1);
    ConvertScript(t, direction);
  }
  result = std::move(t);
}

std::u16string RepairCharset(std::u16string_view text, TextEncoding readAs) {
  std::u16string r(text);
  for (char16_t& u : r)
    if (u == 0x00A0) u = 0x0020;
  if (readAs == teGBK) return DecodeCodePage(kCodePageBig5, EncodeCodePage(kCodePageGbk, r));
  if (readAs == teBig5) return DecodeCodePage(kCodePageGbk, EncodeCodePage(kCodePageBig5, r));
  return r;
}

bool IsAsciiText(std::u16string_view text) {
  for (char16_t u : text)
    if (u > 0x80) return false;
  return true;
}

std::string EscapeHighBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0xF]);
    }
  }
  return out;
}

}  // namespace quillmer
