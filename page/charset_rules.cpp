#include "page/charset_rules.h"

#include "engine/convert.h"
#include "engine/detect.h"

namespace quillmer {

std::string LowerCharsetName(std::u16string_view charset) {
  // The name is ASCII in practice; anything else cannot match a known name.
  std::string out;
  out.reserve(charset.size());
  for (char16_t u : charset) {
    if (u >= u'A' && u <= u'Z') u += u'a' - u'A';
    out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
  }
  return out;
}

bool IsGbCharset(std::string_view charset) {
  return charset == "gb2312" || charset == "gb18030" || charset == "hz-gb-2312";
}

bool IsUnicodeCharset(std::string_view charset) {
  return charset == "utf-8" || charset == "unicode" || charset == "unicodefffe";
}

bool IsChineseCharset(std::string_view charset) {
  return charset == "big5" || IsGbCharset(charset) || IsUnicodeCharset(charset);
}

bool CharsetMatchesText(std::u16string_view bodyText, ConvDirection direction,
                        std::string_view charset) {
  if (bodyText.empty()) return true;
  TextEncoding target;
  if (charset == "big5")
    target = teBig5;
  else if (IsGbCharset(charset))
    target = teGBK;
  else
    return true;
  TextStream stream;
  stream.data.resize(bodyText.size() * 2);
  for (std::size_t i = 0; i < bodyText.size(); ++i) {
    stream.data[2 * i] = static_cast<char>(bodyText[i] & 0xFF);
    stream.data[2 * i + 1] = static_cast<char>(bodyText[i] >> 8);
  }
  ConvertStream(stream, teUnicode, target, direction, false);
  TextEncoding detected = DetectEncoding(stream);
  return detected == target || detected == teUnknown;
}

bool IsTargetCharset(ConvDirection direction, std::string_view charset) {
  if (direction == cdToTrad) return charset == "big5";
  if (direction == cdToSim) return IsGbCharset(charset);
  return false;
}

TextEncoding PageEncodingFor(std::string_view charset, ConvDirection direction) {
  if (charset == "big5") return teBig5;
  if (IsGbCharset(charset)) return teGBK;
  return direction == cdToSim ? teBig5 : teGBK;
}

std::optional<std::string> OrigCharsetToRecord(std::string_view charset, bool charsetMismatch) {
  if (!charsetMismatch) return std::string(charset);
  if (charset == "big5") return "gb2312";
  if (charset == "gb2312" || charset == "gb18030") return "big5";
  return std::nullopt;
}

std::optional<std::u16string> CorrectedCharset(std::string_view charset) {
  if (charset == "big5") return u"gb2312";
  if (charset == "gb2312" || charset == "gb18030") return u"big5";
  return std::nullopt;
}

std::u16string TargetCharset(ConvDirection direction) {
  return direction == cdToSim ? u"gb2312" : u"big5";
}

UINT DetectPageCodePage(std::string_view bytes) {
  TextStream stream{std::string(bytes)};
  switch (DetectEncoding(stream)) {
    case teUnicode:
      return 1200;
    case teUnicodeBE:
      return 1201;
    case teUTF8:
      return CP_UTF8;
    case teGBK:
      return kCodePageGbk;
    case teBig5:
      return kCodePageBig5;
    default:
      return 0;
  }
}

}  // namespace quillmer
