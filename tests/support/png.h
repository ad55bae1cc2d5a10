// Reading PNG files in tests: the size and how many colours the image has
// (8-bit RGB and RGBA, not interlaced: what screenshots and our images are).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillmer::testing {

struct PngInfo {
  unsigned width = 0;
  unsigned height = 0;
  int colorType = 0;  // 2 RGB, 6 RGBA
  unsigned colours = 0;  // distinct pixel values (counted up to 4096)
  unsigned matching = 0; // pixels of the colour asked for
};

// Nothing when bytes are no PNG this reader knows. Colours are counted from
// row firstRow down; rgb: a colour 0xRRGGBB whose pixels to count in matching.
std::optional<PngInfo> ReadPng(const std::string& bytes, unsigned firstRow = 0,
                               std::uint32_t rgb = 0xFFFFFFFF);

}  // namespace quillmer::testing
