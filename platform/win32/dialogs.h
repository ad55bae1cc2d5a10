// Message boxes: the one call through which the program asks or tells the user.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/base/text.h"

namespace quillmer {

// Buttons (low nibble) and icons, with the platform's values.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct MessageBoxCall {
  std::u16string text;
  std::u16string caption;
  unsigned flags = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxCall&)>;

// Shows a box and returns the button chosen: a real modal one once the
// toolkit is loaded (a window is open), else printed to the terminal.
int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned flags);

// Replaces who answers the boxes (tests capture them); returns the previous
// handler. An empty handler restores the terminal one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The terminal's answer: prints the box to standard error and takes the
// default button (OK, or Yes for a question).
int PrintMessageBox(const MessageBoxCall& call);

// UTF-16 to the terminal's encoding.
std::string ToTerminal(std::u16string_view text);

}  // namespace quillmer
