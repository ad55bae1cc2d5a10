#include "widgets/menu.h"

namespace quillmer {

PopupMenu::PopupMenu(std::string name) : Control(ControlKind::Menu, HWND{}, std::move(name)) {}

void PopupMenu::Popup(int screenX, int screenY) { Kit().PopupMenu(Handle(), screenX, screenY); }

LRESULT PopupMenu::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_POPUP) {
    if (OnPopup) OnPopup(*this);
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

namespace {

ControlKind ItemKind(MenuItemStyle style) {
  return style == MenuItemStyle::Separator ? ControlKind::MenuSeparator : ControlKind::MenuItem;
}

}  // namespace

MenuItem::MenuItem(PopupMenu& menu, std::string name, MenuItemStyle style)
    : Control(ItemKind(style), &menu, std::move(name)), menu_(menu), style_(style) {
  Init();
}

MenuItem::MenuItem(MenuItem& submenu, std::string name, MenuItemStyle style)
    : Control(ItemKind(style), &submenu, std::move(name)), menu_(submenu.menu_), style_(style) {
  Init();
}

void MenuItem::Init() {
  if (style_ == MenuItemStyle::Check) SetInt(Prop::Style, kStyleCheck);
  if (style_ == MenuItemStyle::Radio) SetInt(Prop::Style, kStyleRadio);
}

void MenuItem::SetImageIndex(int index) {
  imageIndex_ = index;
  SetBytes(Prop::Image, menu_.Images() ? menu_.Images()->Image(index) : std::string_view());
}

}  // namespace quillmer
