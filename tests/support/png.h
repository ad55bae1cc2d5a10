// Reading PNG files in tests: the size and how many colours the image has
// (8-bit RGB and RGBA, not interlaced: what screenshots and our images are).
#pragma once

#include <optional>
#include <string>

namespace quillmer::testing {

struct PngInfo {
  unsigned width = 0;
  unsigned height = 0;
  int colorType = 0;  // 2 RGB, 6 RGBA
  unsigned colours = 0;  // distinct pixel values (counted up to 4096)
};

// Nothing when bytes are no PNG this reader knows. Colours are counted from
// row firstRow down.
std::optional<PngInfo> ReadPng(const std::string& bytes, unsigned firstRow = 0);

}  // namespace quillmer::testing
