// Virtual-key codes and hotkey values: a 16-bit value with the virtual key in
// the low byte and the modifiers above it (0x2000 Shift, 0x4000 Ctrl, 0x8000
// Alt; 0 means no key), and their names such as "Ctrl+Alt+T" or "Shift+F5".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace quillmer {

constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_PAUSE = 0x13;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_PRIOR = 0x21;
constexpr WORD VK_NEXT = 0x22;
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_INSERT = 0x2D;
constexpr WORD VK_DELETE = 0x2E;
constexpr WORD VK_NUMPAD0 = 0x60;
constexpr WORD VK_MULTIPLY = 0x6A;
constexpr WORD VK_ADD = 0x6B;
constexpr WORD VK_SUBTRACT = 0x6D;
constexpr WORD VK_DECIMAL = 0x6E;
constexpr WORD VK_DIVIDE = 0x6F;
constexpr WORD VK_F1 = 0x70;
constexpr WORD VK_F24 = 0x87;

constexpr WORD kHotKeyShift = 0x2000;
constexpr WORD kHotKeyCtrl = 0x4000;
constexpr WORD kHotKeyAlt = 0x8000;

// The hotkey value of a key with its modifiers; 0 for a key code that does
// not fit in 8 bits.
WORD HotKeyValue(LONG keyCode, bool shift, bool ctrl, bool alt);

// Parses "Ctrl+Alt+T", "shift+f5", "Alt+Num 7", "Ctrl+PgUp"...: modifiers
// (Shift, Ctrl or Control, Alt) in any order and case, then one key: a letter,
// a digit, F1 to F24, a named key (Enter, Esc, Space, Tab, Backspace, Ins,
// Del, Home, End, PgUp, PgDn, Left, Up, Right, Down, Pause), a keypad key
// ("Num 0" to "Num 9", "Num *", "Num +", "Num -", "Num .", "Num /") or a
// punctuation key (; = , - . / ` [ \ ] '). "" and "None" give 0. nullopt
// when the text names no key, or a modifier twice.
std::optional<WORD> ParseHotKey(std::string_view name);

// The name of a hotkey value, modifiers in the order Shift, Ctrl, Alt:
// "Ctrl+Alt+T"; "" for 0; a key without a name as its code ("Ctrl+#233").
std::string HotKeyName(WORD value);

}  // namespace quillmer
