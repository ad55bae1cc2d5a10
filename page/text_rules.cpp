#include "page/text_rules.h"

#include <unicode/uchar.h>

#include <array>

#include "engine/detect.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

struct FontPair {
  std::u16string_view simplified, traditional;
};

// Tried in this order; the first pair is the Latin one.
constexpr std::array<FontPair, 3> kFontNames = {{
    {u"simsun", u"mingliu"},
    {u"宋体", u"細明體"},
    {u"楷体_GB2312", u"標楷體"},
}};

std::u16string_view SourceName(const FontPair& p, ConvDirection d) {
  return d == cdToSim ? p.traditional : p.simplified;
}
std::u16string_view TargetName(const FontPair& p, ConvDirection d) {
  return d == cdToSim ? p.simplified : p.traditional;
}

bool IsHan(char16_t u) { return (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF); }
bool IsKana(char16_t u) { return (u >= 0x3041 && u <= 0x30FE) || (u >= 0xFF61 && u <= 0xFFEE); }

char16_t AsciiLower(char16_t u) { return u >= u'A' && u <= u'Z' ? u + (u'a' - u'A') : u; }

bool StartsWithAsciiNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(s[i]) != prefix[i]) return false;
  return true;
}

}  // namespace

ScriptClass ClassifyScript(std::u16string_view text) {
  std::size_t han = 0, kana = 0;
  for (char16_t u : text) {
    if (IsHan(u))
      ++han;
    else if (IsKana(u))
      ++kana;
  }
  if (han == 0 && kana == 0) return ScriptClass::NoHan;
  return han > kana ? ScriptClass::Chinese : ScriptClass::Japanese;
}

std::u16string LowerKeepingLength(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& u : out) {
    if (U16_IS_SURROGATE(u)) continue;
    UChar32 l = u_tolower(u);
    // Only a lowering that stays one unit keeps positions in step.
    if (l <= 0xFFFF && !U16_IS_SURROGATE(l)) u = static_cast<char16_t>(l);
  }
  return out;
}

void ReplaceAt(std::u16string& text, std::u16string_view replacement, std::size_t position,
               std::size_t length) {
  std::size_t at = position == 0 ? 0 : position - 1;
  if (at >= text.size()) {
    text.append(replacement);
    return;
  }
  text.replace(at, std::min(length, text.size() - at), replacement);
}

bool SubstituteFontNames(std::u16string& text, ConvDirection direction, TextEncoding pageEncoding,
                         bool charsetMismatch) {
  const bool plain = IsAsciiText(text);
  if (charsetMismatch) text = RepairCharset(text, pageEncoding);
  bool replaced = false;

  const FontPair& latin = kFontNames[0];
  std::size_t p = LowerKeepingLength(text).find(SourceName(latin, direction));
  if (plain && p == std::u16string::npos) return false;
  if (p != std::u16string::npos) {
    ReplaceAt(text, TargetName(latin, direction), p + 1, SourceName(latin, direction).size());
    replaced = true;
  }
  for (std::size_t i = 1; i < kFontNames.size(); ++i) {
    std::u16string_view from = SourceName(kFontNames[i], direction);
    std::size_t q = text.find(from);
    if (q == std::u16string::npos) continue;
    ReplaceAt(text, TargetName(kFontNames[i], direction), q + 1, from.size());
    replaced = true;
  }
  return replaced;
}

bool SubstituteAllFontNames(std::u16string& text, ConvDirection direction,
                            TextEncoding pageEncoding, bool charsetMismatch) {
  if (text.empty()) return false;
  if (charsetMismatch) text = RepairCharset(text, pageEncoding);
  // No target name holds or forms a source name, so replacing every occurrence
  // in one sweep per name ends where repeated first-occurrence passes would.
  bool replaced = false;
  for (const FontPair& pair : kFontNames) {
    std::u16string_view from = SourceName(pair, direction);
    std::u16string_view to = TargetName(pair, direction);
    std::size_t q = text.find(from);
    if (q == std::u16string::npos) continue;
    std::u16string out;
    out.reserve(text.size() + 16);
    std::size_t done = 0;
    for (; q != std::u16string::npos; q = text.find(from, done)) {
      out.append(text, done, q - done);
      out.append(to);
      done = q + from.size();
    }
    out.append(text, done);
    text = std::move(out);
    replaced = true;
  }
  return replaced;
}

bool IsLocalFileLink(std::u16string_view documentUrl, std::u16string_view url) {
  bool fileDocument = StartsWithAsciiNoCase(documentUrl, u"file:");
  if (fileDocument && url.find(u"://") == std::u16string_view::npos) return true;
  return StartsWithAsciiNoCase(url, u"file:");
}

std::u16string EncodeLinkUrl(std::u16string_view url, TextEncoding pageEncoding,
                             bool charsetMismatch) {
  if (IsAsciiText(url)) return std::u16string(url);
  std::u16string text(url);
  UINT codePage = pageEncoding == teGBK ? kCodePageGbk : kCodePageBig5;
  if (charsetMismatch) {
    text = RepairCharset(url, pageEncoding);
    codePage = pageEncoding == teGBK ? kCodePageBig5 : kCodePageGbk;
  }
  const int n = static_cast<int>(text.size());
  std::string bytes(static_cast<std::size_t>(n) * 2, '\0');
  bool usedDefault = false;
  int written = WideCharToMultiByte(codePage, 0, text.data(), n, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, &usedDefault);
  // A character the code page cannot hold would turn into "?", which ends the
  // path and starts a query: such a link is better left as it is.
  if (usedDefault || written <= 0) return std::u16string(url);
  bytes.resize(static_cast<std::size_t>(written));
  std::string escaped = EscapeHighBytes(bytes);
  return std::u16string(escaped.begin(), escaped.end());
}

}  // namespace quillmer
