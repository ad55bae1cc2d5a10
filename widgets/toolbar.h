// A tool bar: one row of image buttons and separators, with a right-click
// menu; drop-down buttons open their own menu.
#pragma once

#include "widgets/control.h"
#include "widgets/image_list.h"
#include "widgets/menu.h"

namespace quillmer {

class ToolBar : public Control {
 public:
  ToolBar(Control& parent, std::string name);

  void SetImages(const ImageList* images) { images_ = images; }
  const ImageList* Images() const { return images_; }
  // The menu a right click opens.
  void SetPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }
  PopupMenu* GetPopupMenu() const { return popupMenu_; }

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  const ImageList* images_ = nullptr;
  PopupMenu* popupMenu_ = nullptr;
};

enum class ToolButtonStyle { Button, Check, DropDown, Separator };

class ToolButton : public Control {
 public:
  // Buttons are 26 × 24; separators 8 wide unless set.
  static constexpr int kButtonWidth = 26;
  static constexpr int kButtonHeight = 24;
  static constexpr int kSeparatorWidth = 8;

  ToolButton(ToolBar& bar, std::string name, ToolButtonStyle style = ToolButtonStyle::Button);

  void SetImageIndex(int index);
  int ImageIndex() const { return imageIndex_; }
  void SetDropDownMenu(PopupMenu* menu);
  PopupMenu* DropDownMenu() const { return dropDown_; }
  ToolButtonStyle Style() const { return style_; }

 private:
  ToolBar& bar_;
  ToolButtonStyle style_;
  int imageIndex_ = -1;
  PopupMenu* dropDown_ = nullptr;
};

}  // namespace quillmer
