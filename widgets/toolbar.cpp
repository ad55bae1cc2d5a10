#include "widgets/toolbar.h"

namespace quillmer {

ToolBar::ToolBar(Control& parent, std::string name)
    : Control(ControlKind::ToolBar, &parent, std::move(name)) {}

LRESULT ToolBar::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_CONTEXTMENU) {
    if (popupMenu_) popupMenu_->Popup(static_cast<int>(wParam), static_cast<int>(lParam));
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

ToolButton::ToolButton(ToolBar& bar, std::string name, ToolButtonStyle style)
    : Control(style == ToolButtonStyle::Separator ? ControlKind::ToolSeparator
                                                  : ControlKind::ToolButton,
              &bar, std::move(name)),
      bar_(bar),
      style_(style) {
  if (style == ToolButtonStyle::Separator) {
    SetSize(kSeparatorWidth, kButtonHeight);
    return;
  }
  SetSize(kButtonWidth, kButtonHeight);
  if (style == ToolButtonStyle::Check) SetInt(Prop::Style, kStyleCheck);
  if (style == ToolButtonStyle::DropDown) SetInt(Prop::Style, kStyleDropDown);
}

void ToolButton::SetImageIndex(int index) {
  imageIndex_ = index;
  SetBytes(Prop::Image, bar_.Images() ? bar_.Images()->Image(index) : std::string_view());
}

void ToolButton::SetDropDownMenu(PopupMenu* menu) {
  dropDown_ = menu;
  SetInt(Prop::DropDownMenu, static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(
                                 menu ? menu->Handle() : nullptr)));
}

}  // namespace quillmer
