// Script conversion in one pass over UTF-16 units: each unit through a map
// made from its code-page route, then the phrase table read as UTF-16. It
// gives what the code-page path gives (units to code-page bytes, the character
// table, the phrase table over the bytes, back to units) without the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/types.h"

namespace quillmer {

struct UnitTables;

class UnitConverter {
 public:
  // Where the converted units go, a block at a time.
  using Sink = void (*)(void* context, const char16_t* units, std::size_t n);

  // sizeHint: about how many units will be fed.
  UnitConverter(ConvDirection direction, std::size_t sizeHint, Sink sink, void* context);
  ~UnitConverter();
  UnitConverter(const UnitConverter&) = delete;
  UnitConverter& operator=(const UnitConverter&) = delete;

  // False when this path cannot be taken at all (no cached code pages, a
  // direction without a script).
  bool Ready() const { return tables_ != nullptr; }

  // Feed the text in order, then Finish. False from either means the text
  // holds something this path does not answer for exactly the code-page way
  // (an odd table entry, a unit without a route): what went to the sink is
  // then void, and the text must take the code-page path.
  bool Feed(const char16_t* units, std::size_t n);
  bool Finish();

 private:
  bool Map(const char16_t* units, std::size_t n);
  // Converts the mapped units, up to where a phrase might need units not yet
  // fed (unless last), and keeps the rest.
  bool Walk(bool last);
  void Flush();

  // Units written before they are read: no zero-filling on growth.
  struct Buffer {
    std::unique_ptr<char16_t[]> data;
    std::size_t size = 0, capacity = 0;
    // Room for n more units at the end, counted as written.
    char16_t* Extend(std::size_t n);
    void DropFront(std::size_t n);
  };

  UnitTables* tables_ = nullptr;
  Sink sink_;
  void* context_;
  Buffer mapped_;  // fed and mapped, not yet walked
  Buffer out_;
};

// Well-formed UTF-8 to UTF-8 in one pass over the bytes, with the unit path's
// tables: ASCII that begins no key is copied as it is, every other character
// read, mapped and written in turn. False (result untouched) when the text is
// not well-formed UTF-8 or holds what the unit path hands to the code pages.
// wide, when given, tells whether the text holds a character beyond ASCII.
bool ConvertUtf8Whole(ConvDirection direction, std::string_view text, bool writeSignature,
                      std::string& result, bool* wide = nullptr);

// Which texts take the unit path. Auto: those long enough to pay for making
// its tables, and every text once they are made; short texts alone (a
// string on the command line, a page's small text nodes) keep the code-page
// path, which starts faster. Off: none, the reference. Always: all, for tests.
enum class UnitPathUse { Auto, Off, Always };
void SetUnitPath(UnitPathUse use);

}  // namespace quillmer
