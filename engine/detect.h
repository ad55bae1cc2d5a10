// Encoding detection and the bridges between code-page bytes and UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "engine/types.h"

namespace quillmer {

// teUnicode, teUnicodeBE, teUTF8 from a signature, else teUnknown. Leaves the
// position after the bytes read.
TextEncoding DetectSignature(TextStream& stream);
bool LooksLikeUTF8(TextStream& stream);
// Signature, then UTF-8 (well-formed throughout, or plausible in the first
// 3006 bytes), then a vote of frequent Big5 and GBK characters. Position 0 on
// return.
TextEncoding DetectEncoding(TextStream& stream);

std::u16string AnsiToWide(std::string_view bytes, unsigned codePage);
std::string WideToAnsi(std::u16string_view text, unsigned codePage);

// Converts text in the direction; repair re-reads it first (RepairCharset).
// An empty text leaves result untouched.
void ConvertWideText(const std::u16string& text, ConvDirection direction, TextEncoding readAs,
                     std::u16string& result, bool repair);

// Text that was read as readAs but is in the other Chinese code page, read
// again: read as teGBK, its bytes are Big5; read as teBig5, they are GBK. Any
// other encoding changes nothing more; every one turns no-break spaces into
// spaces.
std::u16string RepairCharset(std::u16string_view text, TextEncoding readAs);

bool IsAsciiText(std::u16string_view text);
std::string EscapeHighBytes(std::string_view bytes);

}  // namespace quillmer
