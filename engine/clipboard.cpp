#include "engine/clipboard.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/convert.h"
#include "engine/detect.h"
#include "platform/base/error.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

// One opening of the clipboard. It is never held open across a conversion:
// other programs wait while it is open.
class ClipboardSession {
 public:
  ClipboardSession() {
    if (!OpenClipboard(nullptr))
      throw Error("cannot open the clipboard: " + LastClipboardError(), CLIPBRD_E_CANT_OPEN);
  }
  ~ClipboardSession() {
    if (open_) CloseClipboard();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;

  void Close() {
    open_ = false;
    if (!CloseClipboard())
      throw Error("the clipboard did not take the text: " + LastClipboardError(),
                  CLIPBRD_E_CANT_CLOSE);
  }

 private:
  bool open_ = true;
};

bool AppendBlock(UINT format, TextStream& stream) {
  HGLOBAL block = GetClipboardData(format);
  if (!block) return false;
  if (const void* p = GlobalLock(block)) {
    stream.data.append(static_cast<const char*>(p), GlobalSize(block));
    GlobalUnlock(block);
  }
  return true;
}

void PutBlock(UINT format, TextStream& stream, std::size_t count) {
  std::size_t from = std::min(stream.position, stream.size());
  std::size_t n = std::min(count, stream.size() - from);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, n);
  if (!block) return;
  if (void* p = GlobalLock(block)) {
    std::memcpy(p, stream.data.data() + from, n);
    GlobalUnlock(block);
  }
  stream.position = from + n;
  if (!SetClipboardData(format, block)) {
    GlobalFree(block);
    throw Error("the clipboard did not take the text", CLIPBRD_E_CANT_SET);
  }
}

std::string UnitBytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

std::u16string Units(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return units;
}

}  // namespace

bool ReadClipboardFormat(UINT format, TextStream& stream) {
  ClipboardSession session;
  bool read = AppendBlock(format, stream);
  session.Close();
  return read;
}

void WriteClipboardFormat(UINT format, TextStream& stream, std::size_t count) {
  ClipboardSession session;
  PutBlock(format, stream, count);
  session.Close();
}

bool ConvertClipboard(ConvDirection direction) {
  // The text is read, converted and only then written back in one opening
  // that empties the clipboard: an error on the way (the clipboard taken by
  // another program, tables that fail to load) leaves the user's text where
  // it was.
  TextStream stream;
  {
    ClipboardSession session;
    const bool unicode = IsClipboardFormatAvailable(CF_UNICODETEXT);
    if (!unicode && !IsClipboardFormatAvailable(CF_TEXT)) return false;
    TextStream block;
    // Another program may have taken the text since it was offered.
    if (!AppendBlock(unicode ? CF_UNICODETEXT : CF_TEXT, block)) return false;
    session.Close();
    if (unicode) {
      std::u16string text = Units(block.data);
      stream.data = UnitBytes(std::u16string_view(text).substr(0, text.find(u'\0')));
    } else {
      std::string_view bytes(block.data);
      stream.data = UnitBytes(AnsiToWide(bytes.substr(0, bytes.find('\0')), GetACP()));
    }
  }
  ConvertStream(stream, teUnicode, teUnicode, direction, false);
  const std::u16string converted = Units(stream.data);

  ClipboardSession session;
  EmptyClipboard();
  stream.data.append(2, '\0');
  stream.position = 0;
  PutBlock(CF_UNICODETEXT, stream, stream.size());
  TextStream ansi(WideToAnsi(converted, GetACP()) + '\0');
  PutBlock(CF_TEXT, ansi, ansi.size());
  session.Close();
  return true;
}

}  // namespace quillmer
