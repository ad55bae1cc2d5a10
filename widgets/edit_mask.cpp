#include "widgets/edit_mask.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace quillmer {

namespace {

// The code points of the text; a lone surrogate stands for itself.
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    UChar32 c;
    U16_NEXT(text.data(), i, text.size(), c);
    out.push_back(static_cast<char32_t>(c));
  }
  return out;
}

}  // namespace

EditMask::EditMask(std::u16string_view mask) {
  const std::u32string m = CodePoints(mask);
  for (std::size_t i = 0; i < m.size(); ++i) {
    switch (m[i]) {
      case U'0':
        positions_.push_back({Kind::Digit, false, 0});
        break;
      case U'9':
        positions_.push_back({Kind::Digit, true, 0});
        break;
      case U'L':
        positions_.push_back({Kind::Letter, false, 0});
        break;
      case U'l':
        positions_.push_back({Kind::Letter, true, 0});
        break;
      case U'A':
        positions_.push_back({Kind::Alnum, false, 0});
        break;
      case U'a':
        positions_.push_back({Kind::Alnum, true, 0});
        break;
      case U'C':
        positions_.push_back({Kind::Any, false, 0});
        break;
      case U'c':
        positions_.push_back({Kind::Any, true, 0});
        break;
      case U'\\':
        // A backslash at the end stands for itself.
        positions_.push_back({Kind::Literal, false, i + 1 < m.size() ? m[++i] : U'\\'});
        break;
      default:
        positions_.push_back({Kind::Literal, false, m[i]});
    }
  }
}

bool EditMask::Takes(const Position& p, char32_t c) const {
  const auto uc = static_cast<UChar32>(c);
  switch (p.kind) {
    case Kind::Digit:
      return u_isdigit(uc);
    case Kind::Letter:
      return u_isalpha(uc);
    case Kind::Alnum:
      return u_isdigit(uc) || u_isalpha(uc);
    case Kind::Any:
      return true;
    case Kind::Literal:
      return c == p.literal;
  }
  return false;
}

std::vector<bool> EditMask::Reach(std::u16string_view text) const {
  const std::size_t n = positions_.size();
  std::vector<bool> reached(n + 1, false);
  // Optional positions may be passed over without taking a character.
  auto close = [&] {
    for (std::size_t i = 0; i < n; ++i)
      if (reached[i] && positions_[i].optional) reached[i + 1] = true;
  };
  reached[0] = true;
  close();
  for (char32_t c : CodePoints(text)) {
    std::vector<bool> next(n + 1, false);
    bool any = false;
    for (std::size_t i = 0; i < n; ++i)
      if (reached[i] && Takes(positions_[i], c)) any = next[i + 1] = true;
    if (!any) return {};
    reached.swap(next);
    close();
  }
  return reached;
}

bool EditMask::Fits(std::u16string_view text) const {
  if (positions_.empty()) return true;
  const auto reached = Reach(text);
  return !reached.empty() && reached.back();
}

bool EditMask::Allows(std::u16string_view text) const {
  return positions_.empty() || !Reach(text).empty();
}

}  // namespace quillmer
