// Random text for comparing two ways of converting: ASCII, CJK, Hangul,
// characters the code pages lack or treat oddly (boxes, ignorables, private
// use, U+001F, lone surrogates), supplementary characters, and pieces drawn
// from what the tables know.
#pragma once

#include <functional>
#include <iterator>
#include <random>
#include <string>

namespace quillmer::testing {

inline std::u16string RandomText(std::mt19937& rng, std::size_t count,
                                 const std::function<std::u16string(std::mt19937&)>& known) {
  static const char16_t kOdd[] = {0x25A1, 0x2027, 0xFF0E, 0x00AD, 0x200B, 0xFEFF, 0x00A0,
                                  0x20AC, 0xF8F5, 0xF8F8, 0xE000, 0x0080, 0x00FF, 0x3000,
                                  u'?',   0x001F, 0x201C, 0x2019, 0xD800, 0xDC00, u'\''};
  std::u16string t;
  for (std::size_t i = 0; i < count; ++i) {
    switch (rng() % 8) {
      case 0:
        t += static_cast<char16_t>(rng() % 0x80);
        break;
      case 1:
        t += static_cast<char16_t>(0x4E00 + rng() % 0x51A6);
        break;
      case 2:
        t += static_cast<char16_t>(0xAC00 + rng() % 0x2BA4);
        break;
      case 3:
        t += kOdd[rng() % std::size(kOdd)];
        break;
      case 4:
        t += rng() % 2 ? u"😀" : u"𠀀";
        break;
      default:
        t += known(rng);
    }
  }
  return t;
}

}  // namespace quillmer::testing
