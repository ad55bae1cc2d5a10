// Images of equal size, as PNG bytes, that tool buttons and menu items show
// by index.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

class ImageList {
 public:
  int Add(std::string png) {
    images_.push_back(std::move(png));
    return Count() - 1;
  }
  int Count() const { return static_cast<int>(images_.size()); }
  // Empty for an index out of range.
  std::string_view Image(int index) const {
    return index >= 0 && index < Count() ? std::string_view(images_[index]) : std::string_view();
  }

 private:
  std::vector<std::string> images_;
};

}  // namespace quillmer
