#include "widgets/hint.h"

namespace quillmer {

HintWindow::HintWindow(std::string name) : Control(ControlKind::Hint, HWND{}, std::move(name)) {}

void HintWindow::ActivateHint(const ScreenRect& rect, std::u16string_view text) {
  SetCaption(text);
  SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  Show();
}

}  // namespace quillmer
