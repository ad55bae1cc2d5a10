// Edit masks: the form a masked edit's text must take.
//
// A mask is a row of positions, one character of text each:
//   0  a digit            9  a digit, or nothing
//   L  a letter           l  a letter, or nothing
//   A  a letter or digit  a  a letter or digit, or nothing
//   C  any character      c  any character, or nothing
//   \x the character x itself (so "\0" is a zero, "\\" a backslash)
// Any other character stands for itself. Letters and digits are those of
// every script (a Chinese character is a letter). "000%" takes "120%";
// "9990" takes "5" to "9999".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

class EditMask {
 public:
  explicit EditMask(std::u16string_view mask = {});

  bool Empty() const { return positions_.empty(); }
  // The text takes the whole mask (every position that is not optional).
  bool Fits(std::u16string_view text) const;
  // The text is a start the mask can still take: what a user may have typed
  // so far. An empty mask allows anything.
  bool Allows(std::u16string_view text) const;

 private:
  enum class Kind { Digit, Letter, Alnum, Any, Literal };
  struct Position {
    Kind kind;
    bool optional;
    char32_t literal;
  };
  bool Takes(const Position& p, char32_t c) const;
  // The positions the text can have reached (positions_.size() is the end);
  // empty when the text cannot be taken.
  std::vector<bool> Reach(std::u16string_view text) const;

  std::vector<Position> positions_;
};

}  // namespace quillmer
