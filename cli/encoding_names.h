// Encoding names as the command line spells them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/types.h"

namespace quillmer::cli {

// "utf-16le", "utf-16be", "utf-8", "gbk", "big5"; "unknown" for teUnknown.
const char* EncodingName(TextEncoding e);
// The encoding a name stands for (a few aliases accepted); nullopt if none.
std::optional<TextEncoding> ParseEncoding(std::string_view name);
// What automatic detection takes the bytes to be: DetectEncoding, except that
// text without any byte above 0x7F is UTF-8 (ASCII is valid in every one).
TextEncoding DetectForCommandLine(std::string& bytes);

}  // namespace quillmer::cli
