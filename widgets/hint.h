// A hint window: a small borderless window with one line of text, placed on
// the screen by its owner.
#pragma once

#include "widgets/control.h"

namespace quillmer {

struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class HintWindow : public Control {
 public:
  explicit HintWindow(std::string name);

  // Shows text in the rectangle (screen coordinates).
  void ActivateHint(const ScreenRect& rect, std::u16string_view text);
  // Hides it.
  void ReleaseHandle() { Hide(); }
};

}  // namespace quillmer
