// Fields the user types into: plain and masked text, numbers within a
// range, and hot-key chords.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/types.h"
#include "widgets/control.h"
#include "widgets/edit_mask.h"

namespace quillmer {

class Edit : public Control {
 public:
  Edit(Control& parent, std::string name);

  std::u16string Text() const { return GetString(Prop::Text); }
  void SetText(std::u16string_view text);
  // At most this many characters may be typed (0: no limit); text the
  // program sets is kept whole.
  void SetMaxLength(int characters);
  int MaxLength() const { return maxLength_; }
  void SetReadOnly(bool on) { SetInt(Prop::ReadOnly, on); }
  bool ReadOnly() const { return GetInt(Prop::ReadOnly) != 0; }
  // Character height in pixels; 0: the toolkit's default.
  void SetFontHeight(int pixels) { SetInt(Prop::FontHeight, pixels); }

  // The user changed the text.
  Handler OnChange;
  // The field lost the keyboard focus.
  Handler OnExit;

 protected:
  Edit(ControlKind kind, Control& parent, std::string name);
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The user's text, already cut to MaxLength; false refuses the change
  // (the field then shows what it showed before).
  virtual bool TakeText(const std::u16string& text);
  virtual void Leave() {}

 private:
  int maxLength_ = 0;
  std::u16string shown_;
};

// A field whose text must take the form of its mask (see edit_mask.h):
// typing that the mask cannot take is undone.
class MaskedEdit : public Edit {
 public:
  MaskedEdit(Control& parent, std::string name, std::u16string_view mask = {});

  void SetMask(std::u16string_view mask);
  const EditMask& Mask() const { return mask_; }
  // False (and nothing changes) when the mask cannot take the text.
  bool SetText(std::u16string_view text);
  // The text fills the whole mask.
  bool Complete() const { return mask_.Fits(Text()); }

 protected:
  bool TakeText(const std::u16string& text) override;

 private:
  EditMask mask_;
};

// A whole number within MinValue..MaxValue. While the user types, Value is
// the typed number clamped to the range, or the last valid value while the
// text is not a number; leaving the field shows Value again.
class SpinEdit : public Edit {
 public:
  SpinEdit(Control& parent, std::string name, int minValue = 0, int maxValue = 100, int value = 0);

  // A reversed range is taken as the one value minValue.
  void SetRange(int minValue, int maxValue);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  void SetValue(int value);
  int Value() const { return value_; }

 protected:
  bool TakeText(const std::u16string& text) override;
  void Leave() override;

 private:
  int min_ = 0, max_ = 100, value_ = 0;
};

// A whole number in text: optional blanks and sign, then digits. Numbers
// beyond the int range saturate. False when the text is not a number.
bool ParseInteger(std::u16string_view text, int& value);

// Captures one key chord as the settings store it: the virtual key in the
// low byte, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt; 0 for none. A key
// without a modifier or with Shift alone is refused; Backspace or Delete
// alone clears the field.
class HotKeyEdit : public Control {
 public:
  HotKeyEdit(Control& parent, std::string name);

  void SetHotKey(WORD value);
  WORD HotKey() const { return value_; }
  // What the field shows without a chord, in the form's language.
  void SetNoneText(std::u16string text);

  // The user set or cleared the chord.
  Handler OnChange;

  // A key as the toolkit reports it: the virtual key and the modifier bits.
  // True when the key was taken.
  bool KeyDown(unsigned virtualKey, unsigned modifiers);

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  WORD value_ = 0;
  std::u16string noneText_ = u"None";
};

}  // namespace quillmer
