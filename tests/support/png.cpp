#include "tests/support/png.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace quillmer::testing {
namespace {

std::uint32_t Be32(const std::string& s, std::size_t at) {
  return (std::uint32_t(std::uint8_t(s[at])) << 24) | (std::uint32_t(std::uint8_t(s[at + 1])) << 16) |
         (std::uint32_t(std::uint8_t(s[at + 2])) << 8) | std::uint8_t(s[at + 3]);
}

int Paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

std::optional<PngInfo> ReadPng(const std::string& bytes, unsigned firstRow, std::uint32_t rgb) {
  if (bytes.size() < 33 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return std::nullopt;
  PngInfo info;
  std::string idat;
  int bitDepth = 0, interlace = 0;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::uint32_t length = Be32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (at + 12 + length > bytes.size()) return std::nullopt;
    if (type == "IHDR" && length >= 13) {
      info.width = Be32(bytes, at + 8);
      info.height = Be32(bytes, at + 12);
      bitDepth = std::uint8_t(bytes[at + 16]);
      info.colorType = std::uint8_t(bytes[at + 17]);
      interlace = std::uint8_t(bytes[at + 20]);
    } else if (type == "IDAT") {
      idat.append(bytes, at + 8, length);
    }
    at += 12 + length;
  }
  if (info.width == 0 || info.height == 0) return std::nullopt;
  if (bitDepth != 8 || interlace != 0 || (info.colorType != 2 && info.colorType != 6))
    return info;  // the size only
  const std::size_t pixel = info.colorType == 6 ? 4 : 3;
  const std::size_t stride = info.width * pixel;
  std::vector<unsigned char> raw((stride + 1) * info.height);
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
          Z_OK ||
      rawSize != raw.size())
    return std::nullopt;
  std::vector<unsigned char> prev(stride, 0), line(stride);
  std::set<std::uint32_t> seen;
  for (unsigned y = 0; y < info.height; ++y) {
    const unsigned char* in = &raw[y * (stride + 1)];
    const int filter = in[0];
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= pixel ? line[x - pixel] : 0, b = prev[x],
                c = x >= pixel ? prev[x - pixel] : 0;
      int v = in[x + 1];
      switch (filter) {
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += Paeth(a, b, c); break;
        default: break;
      }
      line[x] = static_cast<unsigned char>(v);
    }
    for (std::size_t x = 0; y >= firstRow && x + pixel <= stride; x += pixel) {
      const std::uint32_t value =
          (std::uint32_t(line[x]) << 16) | (std::uint32_t(line[x + 1]) << 8) | line[x + 2];
      if (seen.size() < 4096) seen.insert(value);
      info.matching += value == rgb;
    }
    prev.swap(line);
  }
  info.colours = static_cast<unsigned>(seen.size());
  return info;
}

}  // namespace quillmer::testing
