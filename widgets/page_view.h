// A view that shows a page: a file (and what it links) as a browser engine
// renders it.
#pragma once

#include "platform/base/text.h"
#include "widgets/control.h"

namespace quillmer {

class PageView : public Control {
 public:
  PageView(Control& parent, std::string name)
      : Control(ControlKind::PageView, &parent, std::move(name)) {}

  // Shows the file; showing the same file again reloads it.
  void ShowFile(const std::string& path) { SetString(Prop::Url, FromUtf8(path)); }
  bool Loading() const { return GetInt(Prop::Loading) != 0; }
};

}  // namespace quillmer
