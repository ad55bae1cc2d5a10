#include "widgets/edits.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/win32/keys.h"

namespace quillmer {

// ---- Edit -------------------------------------------------------------------

namespace {

// The first n characters of the text, a surrogate pair never split.
std::u16string CutToCharacters(const std::u16string& text, int n) {
  std::size_t i = 0;
  for (int count = 0; count < n && i < text.size(); ++count) U16_FWD_1(text.data(), i, text.size());
  return text.substr(0, i);
}

std::u16string Decimal(int n) {
  const std::string s = std::to_string(n);
  return {s.begin(), s.end()};
}

}  // namespace

Edit::Edit(Control& parent, std::string name) : Edit(ControlKind::Edit, parent, std::move(name)) {}

Edit::Edit(ControlKind kind, Control& parent, std::string name)
    : Control(kind, &parent, std::move(name)) {}

void Edit::SetMaxLength(int characters) {
  maxLength_ = std::max(characters, 0);
  SetInt(Prop::MaxLength, maxLength_);
}

void Edit::SetText(std::u16string_view text) {
  shown_ = text;
  SetString(Prop::Text, text);
}

bool Edit::TakeText(const std::u16string&) { return true; }

LRESULT Edit::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_CHANGE) {
    std::u16string text = Text();
    std::u16string cut = maxLength_ > 0 ? CutToCharacters(text, maxLength_) : text;
    if (cut != text) SetString(Prop::Text, cut);
    if (!TakeText(cut)) {
      SetString(Prop::Text, shown_);
      return 0;
    }
    shown_ = cut;
    if (OnChange) OnChange(*this);
    return 0;
  }
  if (message == QM_FOCUS && wParam == 0) {
    Leave();
    if (OnExit) OnExit(*this);
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

// ---- MaskedEdit -------------------------------------------------------------

MaskedEdit::MaskedEdit(Control& parent, std::string name, std::u16string_view mask)
    : Edit(ControlKind::MaskedEdit, parent, std::move(name)) {
  SetMask(mask);
}

void MaskedEdit::SetMask(std::u16string_view mask) {
  mask_ = EditMask(mask);
  SetString(Prop::Mask, mask);
  if (!mask_.Allows(Text())) Edit::SetText(u"");
}

bool MaskedEdit::SetText(std::u16string_view text) {
  if (!mask_.Allows(text)) return false;
  Edit::SetText(text);
  return true;
}

bool MaskedEdit::TakeText(const std::u16string& text) { return mask_.Allows(text); }

// ---- SpinEdit ---------------------------------------------------------------

bool ParseInteger(std::u16string_view text, int& value) {
  std::size_t i = 0;
  auto blank = [&](std::size_t at) {
    return at < text.size() && (text[at] == u' ' || text[at] == u'\t');
  };
  while (blank(i)) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  const std::size_t digits = i;
  long long n = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    n = std::min<long long>(n * 10 + (text[i] - u'0'), 1LL << 40);
  if (i == digits) return false;
  while (blank(i)) ++i;
  if (i != text.size()) return false;
  if (negative) n = -n;
  value = static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
  return true;
}

SpinEdit::SpinEdit(Control& parent, std::string name, int minValue, int maxValue, int value)
    : Edit(ControlKind::SpinEdit, parent, std::move(name)) {
  SetRange(minValue, maxValue);
  SetValue(value);
}

void SpinEdit::SetRange(int minValue, int maxValue) {
  min_ = minValue;
  max_ = std::max(minValue, maxValue);
  SetInt(Prop::Min, min_);
  SetInt(Prop::Max, max_);
  SetValue(value_);
}

void SpinEdit::SetValue(int value) {
  value_ = std::clamp(value, min_, max_);
  SetInt(Prop::Value, value_);
  Edit::SetText(Decimal(value_));
}

bool SpinEdit::TakeText(const std::u16string& text) {
  int n;
  if (ParseInteger(text, n)) value_ = std::clamp(n, min_, max_);
  return true;
}

void SpinEdit::Leave() {
  if (Text() != Decimal(value_)) SetValue(value_);
}

// ---- HotKeyEdit -------------------------------------------------------------

HotKeyEdit::HotKeyEdit(Control& parent, std::string name)
    : Control(ControlKind::HotKeyEdit, &parent, std::move(name)) {
  SetHotKey(0);
}

void HotKeyEdit::SetHotKey(WORD value) {
  value_ = value;
  SetInt(Prop::HotKey, value);
  const std::string name = value ? HotKeyName(value) : std::string();
  SetString(Prop::Text, value ? std::u16string(name.begin(), name.end()) : noneText_);
}

void HotKeyEdit::SetNoneText(std::u16string text) {
  noneText_ = std::move(text);
  SetHotKey(value_);
}

bool HotKeyEdit::KeyDown(unsigned virtualKey, unsigned modifiers) {
  const bool shift = modifiers & kHotKeyShift, ctrl = modifiers & kHotKeyCtrl,
             alt = modifiers & kHotKeyAlt;
  // A modifier alone is a chord still being pressed; left and right
  // variants (0xA0 to 0xA5) likewise.
  if (virtualKey == VK_SHIFT || virtualKey == VK_CONTROL || virtualKey == VK_MENU ||
      (virtualKey >= 0xA0 && virtualKey <= 0xA5))
    return true;
  if (!shift && !ctrl && !alt && (virtualKey == VK_BACK || virtualKey == VK_DELETE)) {
    if (value_ != 0) {
      SetHotKey(0);
      if (OnChange) OnChange(*this);
    }
    return true;
  }
  if (!ctrl && !alt) return false;  // no modifier, or Shift alone
  const WORD value = HotKeyValue(static_cast<LONG>(virtualKey), shift, ctrl, alt);
  if (value == 0) return false;
  if (value != value_) {
    SetHotKey(value);
    if (OnChange) OnChange(*this);
  }
  return true;
}

LRESULT HotKeyEdit::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN)
    return KeyDown(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam)) ? 1 : 0;
  if (message == QM_CHANGE) {
    // A chord set into the control as a whole (a script): taken as a key.
    const auto value = static_cast<WORD>(GetInt(Prop::HotKey));
    if (value == value_) return 0;
    if (value == 0) {
      SetHotKey(0);
      if (OnChange) OnChange(*this);
    } else if (!KeyDown(value & 0xFF, value & (kHotKeyShift | kHotKeyCtrl | kHotKeyAlt))) {
      SetHotKey(value_);  // refused: the control shows what it held
    }
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

}  // namespace quillmer
