#include "widgets/control.h"

#include <vector>

#include "platform/base/error.h"
#include "platform/base/text.h"

namespace quillmer {

Control::Control(ControlKind kind, Control* parent, std::string name)
    : name_(std::move(name)), parent_(parent) {
  Make(kind, parent ? parent->Handle() : nullptr);
}

Control::Control(ControlKind kind, HWND parent, std::string name) : name_(std::move(name)) {
  Make(kind, parent);
}

void Control::Make(ControlKind kind, HWND parent) {
  handle_ = CreateControl(kind, parent, name_, [this](HWND, UINT m, WPARAM w, LPARAM l) {
    return Message(m, w, l);
  });
}

Control::~Control() {
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
}

LRESULT Control::Message(UINT message, WPARAM, LPARAM) {
  if (message == QM_CLICK) DoClick();
  return 0;
}

void Control::DoClick() {
  if (OnClick) OnClick(*this);
}

Toolkit& Control::Kit() const {
  Toolkit* toolkit = CurrentToolkit();
  if (!toolkit) throw Error("the window toolkit is gone");
  return *toolkit;
}

void Control::SetBounds(int left, int top, int width, int height) {
  SetInt(Prop::Left, left);
  SetInt(Prop::Top, top);
  SetSize(width, height);
}

void Control::SetSize(int width, int height) {
  SetInt(Prop::Width, width);
  SetInt(Prop::Height, height);
}

ScreenPoint Control::ClientToScreen(int x, int y) const {
  return {static_cast<int>(GetInt(Prop::ScreenLeft)) + x,
          static_cast<int>(GetInt(Prop::ScreenTop)) + y};
}

std::u16string Control::GetString(Prop prop, std::int32_t index) const {
  std::vector<char> buffer(256);
  std::size_t n = Kit().GetText(handle_, prop, buffer.data(), buffer.size(), index);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = Kit().GetText(handle_, prop, buffer.data(), buffer.size(), index);
    if (n >= buffer.size()) n = 0;  // changed meanwhile: nothing sure to give
  }
  return FromUtf8(std::string_view(buffer.data(), n));
}

void Control::SetString(Prop prop, std::u16string_view text, std::int32_t index) {
  Kit().SetText(handle_, prop, ToUtf8(text).c_str(), index);
}

std::int64_t Control::GetInt(Prop prop, std::int32_t index) const {
  return Kit().GetInt(handle_, prop, index);
}

void Control::SetInt(Prop prop, std::int64_t value, std::int32_t index) {
  Kit().SetInt(handle_, prop, value, index);
}

void Control::SetBytes(Prop prop, std::string_view bytes) {
  Kit().SetBytes(handle_, prop, reinterpret_cast<const unsigned char*>(bytes.data()),
                 bytes.size());
}

}  // namespace quillmer
