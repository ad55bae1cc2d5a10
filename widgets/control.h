// The base of every control: a handle of the window toolkit, its name, and
// the properties all controls share. Controls are owned by their form (as
// members) and destroy their handle when they go.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/win32/toolkit.h"
#include "platform/win32/window.h"

namespace quillmer {

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

class Control {
 public:
  using Handler = std::function<void(Control& sender)>;

  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  HWND Handle() const { return handle_; }
  const std::string& Name() const { return name_; }
  Control* Parent() const { return parent_; }

  void SetCaption(std::u16string_view text) { SetString(Prop::Caption, text); }
  std::u16string Caption() const { return GetString(Prop::Caption); }
  void SetHint(std::u16string_view text) { SetString(Prop::Hint, text); }
  std::u16string Hint() const { return GetString(Prop::Hint); }
  void SetVisible(bool visible) { SetInt(Prop::Visible, visible); }
  bool Visible() const { return GetInt(Prop::Visible) != 0; }
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void SetEnabled(bool enabled) { SetInt(Prop::Enabled, enabled); }
  bool Enabled() const { return GetInt(Prop::Enabled) != 0; }

  // Placement in the parent's client area, as laid out.
  void SetBounds(int left, int top, int width, int height);
  void SetSize(int width, int height);
  int Left() const { return static_cast<int>(GetInt(Prop::Left)); }
  int Top() const { return static_cast<int>(GetInt(Prop::Top)); }
  int Width() const { return static_cast<int>(GetInt(Prop::Width)); }
  int Height() const { return static_cast<int>(GetInt(Prop::Height)); }
  // A point of the control on the screen.
  ScreenPoint ClientToScreen(int x, int y) const;

  // Background colour as 0x00BBGGRR; -1 for the toolkit's default.
  void SetColor(std::int32_t bgr) { SetInt(Prop::Color, bgr); }
  // 134, 136 or 0: the script the captions are written in.
  void SetFontCharset(int charset) { SetInt(Prop::FontCharset, charset); }
  void SetFocus() { SetInt(Prop::Focused, 1); }
  bool Focused() const { return GetInt(Prop::Focused) != 0; }

  // What the form's handlers look at, as the controls' Tag.
  int Tag = 0;
  Handler OnClick;

  // Clicks the control as the program would (not through the pointer).
  void Click() { DoClick(); }

 protected:
  // A control under parent's handle.
  Control(ControlKind kind, Control* parent, std::string name);
  // A control under a window of anyone's (the band site's, a dialog's
  // owner); null for top-level windows, menus and hints.
  Control(ControlKind kind, HWND parent, std::string name);

  // Every message of the handle; the default runs OnClick for QM_CLICK.
  virtual LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void DoClick();

  Toolkit& Kit() const;
  std::u16string GetString(Prop prop, std::int32_t index = 0) const;
  void SetString(Prop prop, std::u16string_view text, std::int32_t index = 0);
  std::int64_t GetInt(Prop prop, std::int32_t index = 0) const;
  void SetInt(Prop prop, std::int64_t value, std::int32_t index = 0);
  void SetBytes(Prop prop, std::string_view bytes);

 private:
  void Make(ControlKind kind, HWND parent);

  std::string name_;
  Control* parent_ = nullptr;
  HWND handle_ = nullptr;
};

}  // namespace quillmer
