// The string rules page conversion applies to what it reads out of a document:
// script classification, font-name substitution, link re-encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/types.h"

namespace quillmer {

enum class ScriptClass : std::uint8_t {
  NoHan = 0,
  Chinese = 1,
  Japanese = 2,
};

// Han against kana code units: more Han is Chinese, a tie or more kana is
// Japanese, neither is NoHan.
ScriptClass ClassifyScript(std::u16string_view text);

// One pass: the first occurrence of each font name of the source script is
// replaced by its partner; the Latin name is found regardless of case. With
// charsetMismatch the text is repaired first. True when a name was replaced.
bool SubstituteFontNames(std::u16string& text, ConvDirection direction, TextEncoding pageEncoding,
                         bool charsetMismatch);

// Every occurrence, case-sensitively (only the lower-case Latin name): for
// style sheet text.
bool SubstituteAllFontNames(std::u16string& text, ConvDirection direction,
                            TextEncoding pageEncoding, bool charsetMismatch);

// Replaces length units at the 1-based position; a stretch past the end is cut
// at the end, a position past the end appends.
void ReplaceAt(std::u16string& text, std::u16string_view replacement, std::size_t position,
               std::size_t length);

// A link is local when it starts with "file:", or when it is relative (no
// "://") on a page that is itself a local file.
bool IsLocalFileLink(std::u16string_view documentUrl, std::u16string_view url);

// Escapes the non-ASCII part of a link as %XX of the page's own code page, so
// that it still leads to the same place after the page's charset changes. A
// link with a character the code page cannot hold is given back unchanged.
std::u16string EncodeLinkUrl(std::u16string_view url, TextEncoding pageEncoding,
                             bool charsetMismatch);

// Lowers each UTF-16 unit on its own, so positions in the copy fit the original.
std::u16string LowerKeepingLength(std::u16string_view text);

}  // namespace quillmer
