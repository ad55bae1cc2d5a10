// What page conversion decides about a page's character set: whether the
// declaration fits the text, whether the page already is in the target script,
// which code page its text is taken to be in, what is remembered as the page's
// original charset, and what a wrong declaration is corrected to. Charset
// names are 8-bit and lower case, as the document reports them after lowering.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/types.h"
#include "platform/win32/codepage.h"

namespace quillmer {

// ASCII letters only, as charset names are compared.
std::string LowerCharsetName(std::u16string_view charset);

bool IsGbCharset(std::string_view charset);       // gb2312, gb18030, hz-gb-2312
bool IsUnicodeCharset(std::string_view charset);  // utf-8, unicode, unicodefffe
// The charsets an automatic conversion accepts at all.
bool IsChineseCharset(std::string_view charset);

// Converts the text to the declared code page in the conversion's direction
// and asks the detector whether the bytes read as that code page. Charsets
// without a text check always fit, as does an empty text.
bool CharsetMatchesText(std::u16string_view bodyText, ConvDirection direction,
                        std::string_view charset);

bool IsTargetCharset(ConvDirection direction, std::string_view charset);

// teBig5 for big5, teGBK for the GB family, otherwise the direction's source.
TextEncoding PageEncodingFor(std::string_view charset, ConvDirection direction);

// What "OrigCharset" records: the charset itself, or after a mismatch the
// other Chinese one; nothing for other charsets when mismatched.
std::optional<std::string> OrigCharsetToRecord(std::string_view charset, bool charsetMismatch);

// The declaration a mismatched page is corrected to, if any.
std::optional<std::u16string> CorrectedCharset(std::string_view charset);

// The charset a switched page is given: "big5" or "gb2312".
std::u16string TargetCharset(ConvDirection direction);

// The engine's guess at the code page of page bytes that declare none, for
// the browser's loader: 1200/1201 (UTF-16), 65001, 936, 950, or 0 when the
// detector cannot tell.
UINT DetectPageCodePage(std::string_view bytes);

}  // namespace quillmer
