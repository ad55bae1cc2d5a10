#include "platform/win32/keys.h"

#include <array>

namespace quillmer {
namespace {

struct NamedKey {
  std::string_view name;
  WORD code;
};

// The first name of a code is the one HotKeyName gives.
constexpr std::array kNamedKeys{
    NamedKey{"Backspace", VK_BACK},
    NamedKey{"BkSp", VK_BACK},
    NamedKey{"Tab", VK_TAB},
    NamedKey{"Enter", VK_RETURN},
    NamedKey{"Return", VK_RETURN},
    NamedKey{"Pause", VK_PAUSE},
    NamedKey{"Esc", VK_ESCAPE},
    NamedKey{"Escape", VK_ESCAPE},
    NamedKey{"Space", VK_SPACE},
    NamedKey{"PgUp", VK_PRIOR},
    NamedKey{"PageUp", VK_PRIOR},
    NamedKey{"PgDn", VK_NEXT},
    NamedKey{"PageDown", VK_NEXT},
    NamedKey{"End", VK_END},
    NamedKey{"Home", VK_HOME},
    NamedKey{"Left", VK_LEFT},
    NamedKey{"Up", VK_UP},
    NamedKey{"Right", VK_RIGHT},
    NamedKey{"Down", VK_DOWN},
    NamedKey{"Ins", VK_INSERT},
    NamedKey{"Insert", VK_INSERT},
    NamedKey{"Del", VK_DELETE},
    NamedKey{"Delete", VK_DELETE},
    NamedKey{"Num *", VK_MULTIPLY},
    NamedKey{"Num +", VK_ADD},
    NamedKey{"Num -", VK_SUBTRACT},
    NamedKey{"Num .", VK_DECIMAL},
    NamedKey{"Num /", VK_DIVIDE},
    NamedKey{";", 0xBA},
    NamedKey{"=", 0xBB},
    NamedKey{",", 0xBC},
    NamedKey{"-", 0xBD},
    NamedKey{".", 0xBE},
    NamedKey{"/", 0xBF},
    NamedKey{"`", 0xC0},
    NamedKey{"[", 0xDB},
    NamedKey{"\\", 0xDC},
    NamedKey{"]", 0xDD},
    NamedKey{"'", 0xDE},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool Same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "Num7", "num 7", "Num  *" alike.
std::string SquashKeypad(std::string_view key) {
  if (key.size() < 4 || !Same(key.substr(0, 3), "num")) return std::string(key);
  return "Num " + std::string(Trim(key.substr(3)));
}

std::optional<WORD> KeyCode(std::string_view key) {
  if (key.size() == 1) {
    char c = key[0];
    if (c >= 'a' && c <= 'z') return static_cast<WORD>(c - 32);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<WORD>(c);
  }
  auto number = [](std::string_view digits) -> int {
    if (digits.empty() || digits.size() > 3) return -1;
    int n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      n = n * 10 + (c - '0');
    }
    return n;
  };
  if (key.size() >= 2 && (key[0] == 'F' || key[0] == 'f')) {
    int n = number(key.substr(1));
    if (n >= 1 && n <= 24) return static_cast<WORD>(VK_F1 + n - 1);
  }
  if (key.size() >= 2 && key[0] == '#') {
    int n = number(key.substr(1));
    if (n >= 1 && n <= 0xFF) return static_cast<WORD>(n);
  }
  const std::string squashed = SquashKeypad(key);
  if (squashed.size() == 5 && squashed.starts_with("Num ") && squashed[4] >= '0' &&
      squashed[4] <= '9')
    return static_cast<WORD>(VK_NUMPAD0 + squashed[4] - '0');
  for (const auto& k : kNamedKeys)
    if (Same(k.name, squashed)) return k.code;
  return std::nullopt;
}

}  // namespace

WORD HotKeyValue(LONG keyCode, bool shift, bool ctrl, bool alt) {
  if (keyCode < 0 || keyCode > 0xFF) return 0;
  return static_cast<WORD>(keyCode | (shift ? kHotKeyShift : 0) | (ctrl ? kHotKeyCtrl : 0) |
                           (alt ? kHotKeyAlt : 0));
}

std::optional<WORD> ParseHotKey(std::string_view name) {
  name = Trim(name);
  if (name.empty() || Same(name, "None")) return WORD{0};
  WORD modifiers = 0;
  // "+" and "-" are keys too: the key is what follows the last separator that
  // ends a modifier.
  for (;;) {
    size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 == name.size()) break;
    std::string_view part = Trim(name.substr(0, plus));
    WORD bit = Same(part, "Shift")                           ? kHotKeyShift
               : Same(part, "Ctrl") || Same(part, "Control") ? kHotKeyCtrl
               : Same(part, "Alt")                           ? kHotKeyAlt
                                                             : 0;
    if (!bit) break;
    if (modifiers & bit) return std::nullopt;
    modifiers |= bit;
    name = Trim(name.substr(plus + 1));
  }
  auto code = KeyCode(name);
  if (!code) return std::nullopt;
  return static_cast<WORD>(*code | modifiers);
}

std::string HotKeyName(WORD value) {
  if (value == 0) return "";
  std::string out;
  if (value & kHotKeyShift) out += "Shift+";
  if (value & kHotKeyCtrl) out += "Ctrl+";
  if (value & kHotKeyAlt) out += "Alt+";
  const WORD code = value & 0xFF;
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
    return out + static_cast<char>(code);
  if (code >= VK_F1 && code <= VK_F24) return out + "F" + std::to_string(code - VK_F1 + 1);
  if (code >= VK_NUMPAD0 && code <= VK_NUMPAD0 + 9)
    return out + "Num " + static_cast<char>('0' + code - VK_NUMPAD0);
  for (const auto& k : kNamedKeys)
    if (k.code == code) return out + std::string(k.name);
  return out + "#" + std::to_string(code);
}

}  // namespace quillmer
