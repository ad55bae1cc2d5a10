// Character-set names as the browser knows them, and their code pages.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/codepage.h"

namespace quillmer {

// Code pages the browser decodes itself (the code-page layer has no UTF-16).
constexpr UINT CP_UTF16LE = 1200;
constexpr UINT CP_UTF16BE = 1201;

struct CharsetInfo {
  UINT codePage = 0;  // 0: unknown
  std::string name;   // the browser's name for it, lower case
};

// A declared name (any case, surrounding blanks and quotes ignored, the
// usual aliases: "GBK" and "x-gbk" are "gb2312", "utf8" is "utf-8", "latin1"
// is "iso-8859-1", "utf-16" is "unicode" ...). codePage 0 when unknown.
CharsetInfo LookUpCharset(std::string_view declared);

// The browser's name for a code page ("big5" for 950, "gb2312" for 936,
// "gb18030" for 54936, "hz-gb-2312" for 52936, "utf-8", "unicode",
// "unicodefffe", "iso-8859-1" for 1252 ...); empty when it has none.
std::string CharsetNameOf(UINT codePage);

}  // namespace quillmer
