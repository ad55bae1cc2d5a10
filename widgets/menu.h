// Pop-up menus and their items: plain, check and radio items, separators and
// submenus, with images from an image list.
#pragma once

#include <memory>
#include <vector>

#include "widgets/control.h"
#include "widgets/image_list.h"

namespace quillmer {

class MenuItem;

class PopupMenu : public Control {
 public:
  explicit PopupMenu(std::string name);

  void SetImages(const ImageList* images) { images_ = images; }
  const ImageList* Images() const { return images_; }
  // Opens the menu at a screen position; OnPopup runs first.
  void Popup(int screenX, int screenY);
  Handler OnPopup;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  const ImageList* images_ = nullptr;
};

enum class MenuItemStyle { Plain, Check, Radio, Separator };

class MenuItem : public Control {
 public:
  MenuItem(PopupMenu& menu, std::string name, MenuItemStyle style = MenuItemStyle::Plain);
  // An item of a submenu.
  MenuItem(MenuItem& submenu, std::string name, MenuItemStyle style = MenuItemStyle::Plain);

  void SetChecked(bool checked) { SetInt(Prop::Checked, checked); }
  bool Checked() const { return GetInt(Prop::Checked) != 0; }
  void SetImageIndex(int index);
  int ImageIndex() const { return imageIndex_; }
  MenuItemStyle Style() const { return style_; }

 private:
  void Init();

  PopupMenu& menu_;
  MenuItemStyle style_;
  int imageIndex_ = -1;
};

}  // namespace quillmer
