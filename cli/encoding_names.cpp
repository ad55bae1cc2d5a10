#include "cli/encoding_names.h"

#include <algorithm>
#include <cctype>

#include "engine/detect.h"

namespace quillmer::cli {

const char* EncodingName(TextEncoding e) {
  switch (e) {
    case teUnicode:
      return "utf-16le";
    case teUnicodeBE:
      return "utf-16be";
    case teUTF8:
      return "utf-8";
    case teGBK:
      return "gbk";
    case teBig5:
      return "big5";
    default:
      return "unknown";
  }
}

std::optional<TextEncoding> ParseEncoding(std::string_view name) {
  std::string n(name);
  std::transform(n.begin(), n.end(), n.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (n == "utf-16le" || n == "utf16le" || n == "utf-16" || n == "unicode") return teUnicode;
  if (n == "utf-16be" || n == "utf16be") return teUnicodeBE;
  if (n == "utf-8" || n == "utf8") return teUTF8;
  if (n == "gbk" || n == "cp936" || n == "gb2312") return teGBK;
  if (n == "big5" || n == "cp950") return teBig5;
  return std::nullopt;
}

TextEncoding DetectForCommandLine(std::string& bytes) {
  // The stream borrows the bytes and gives them back, on every way out: a
  // copy of a large file costs as much as converting it.
  TextStream stream(std::move(bytes));
  struct GiveBack {
    std::string& to;
    TextStream& from;
    ~GiveBack() { to = std::move(from.data); }
  };
  TextEncoding e;
  {
    GiveBack back{bytes, stream};
    e = DetectEncoding(stream);
  }
  if (e == teUnknown && std::none_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; }))
    return teUTF8;
  return e;
}

}  // namespace quillmer::cli
