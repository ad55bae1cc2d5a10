// Conversion of the text on the clipboard between the scripts.
#pragma once

#include <cstddef>

#include "engine/types.h"
#include "platform/win32/clipboard.h"

namespace quillmer {

// Converts the clipboard's text (cdToTrad or cdToSim) and puts it back as
// CF_UNICODETEXT and CF_TEXT, dropping the clipboard's other formats. False
// when the clipboard held no text: it is left as it was. Throws
// quillmer::Error when the clipboard cannot be opened or will not take the
// text, and when the tables fail to load; the clipboard keeps its text then.
bool ConvertClipboard(ConvDirection direction);

// Appends the block of format to the stream; false when the clipboard does
// not hold the format. Opens and closes the clipboard.
bool ReadClipboardFormat(UINT format, TextStream& stream);

// Puts count bytes from the stream's position (fewer when it ends first) on
// the clipboard as format. Opens and closes the clipboard; a block that
// cannot be allocated skips the format silently.
void WriteClipboardFormat(UINT format, TextStream& stream, std::size_t count);

}  // namespace quillmer
