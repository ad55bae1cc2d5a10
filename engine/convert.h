// Simplified/Traditional conversion of code-page, UTF-8 and UTF-16 text.
#pragma once

#include <string>
#include <string_view>

#include "engine/types.h"

namespace quillmer {

// Converts the whole stream in place from source to target encoding, in the
// given direction; position 0 on return.
void ConvertStream(TextStream& stream, TextEncoding source, TextEncoding target,
                   ConvDirection direction, bool writeSignature);

// For text whose encoding is not given: when it is well-formed UTF-8 from end
// to end with a character beyond ASCII (what DetectEncoding takes for UTF-8
// before anything else), converts it as ConvertStream from UTF-8 to UTF-8
// would, checking it on the way, into result and returns true. Otherwise, or
// when the text needs the slower path, returns false.
bool ConvertIfWholeUtf8(std::string_view text, ConvDirection direction, bool writeSignature,
                        std::string& result);

// Converts UTF-16 text in place; direction cdToTrad or cdToSim.
void ConvertScript(std::u16string& text, ConvDirection direction);
// Test seam: false keeps ConvertScript on its general, string-at-a-time path.
void SetConvertScriptFastPath(bool enabled);

// ToTrad: GBK to Big5 (GbToB5Table), ToSim: Big5 to GBK (B5ToGbTable). In
// place, position 0 on return.
void MapCharacters(TextStream& stream, TableSide table);
void MapCharacters(std::string& bytes, TableSide table);

// ToTrad: B5fix, ToSim: GBfix. Position 0 on return.
void ApplyFix(TextStream& stream, TableSide table);
std::string ApplyFix(std::string_view bytes, TableSide table);

// Lenient UTF-8 to UTF-16, without validating continuation bytes; a sequence
// cut off by the end gives "?".
std::u16string DecodeUTF8Bytes(const unsigned char* bytes, std::size_t count);
// UTF-16 units to UTF-8: U+0000 as one zero byte, a surrogate pair as four
// bytes, a lone surrogate as three.
std::string EncodeUTF8Units(std::u16string_view units);
// Swaps the bytes of each unit up to the first U+0000.
void SwapByteOrder(std::u16string& text);

}  // namespace quillmer
