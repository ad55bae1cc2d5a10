#include "platform/win32/dialogs.h"

#include <langinfo.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <clocale>
#include <cstdio>
#include <mutex>

#include "platform/win32/window.h"

namespace quillmer {
namespace {

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned flags) {
  MessageBoxCall call{std::u16string(text), std::u16string(caption), flags};
  if (auto& h = Handler()) return h(call);
  // With windows open, a real modal box; otherwise the terminal's.
  if (Toolkit* toolkit = CurrentToolkit())
    return toolkit->MessageBox(nullptr, ToUtf8(call.text).c_str(), ToUtf8(call.caption).c_str(),
                               flags);
  return PrintMessageBox(call);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

int PrintMessageBox(const MessageBoxCall& call) {
  std::string line = ToTerminal(call.caption) + ": " + ToTerminal(call.text) + "\n";
  std::fputs(line.c_str(), stderr);
  switch (call.flags & 0x0F) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return IDYES;
    default:
      return IDOK;
  }
}

std::string ToTerminal(std::u16string_view text) {
  static std::once_flag once;
  static std::string codeset;
  std::call_once(once, [] {
    const char* prev = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = prev ? prev : "C";
    std::setlocale(LC_CTYPE, "");
    codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.c_str());
  });
  // A plain "C" locale still gets UTF-8: it is what terminals here show.
  if (codeset.empty() || codeset == "UTF-8" || codeset == "ANSI_X3.4-1968") return ToUtf8(text);
  UErrorCode err = U_ZERO_ERROR;
  UConverter* conv = ucnv_open(codeset.c_str(), &err);
  if (U_FAILURE(err)) return ToUtf8(text);
  std::string out(text.size() * 4 + 4, '\0');
  int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()),
                              static_cast<int32_t>(text.size()), &err);
  ucnv_close(conv);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
  return out;
}

}  // namespace quillmer
