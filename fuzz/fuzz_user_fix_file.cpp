// The user emendation file reader and the merge on arbitrary files. Besides
// not crashing: the merged table is in table order with an index that fits
// it, and its index file reads back as the same table.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/tables.h"
#include "engine/userfix.h"

namespace {

const quillmer::FixTable& Builtin() {
  static quillmer::FixTable table = [] {
    quillmer::FixTable t;
    t.Add("\xC0\x59\xB5\x6F", "\xC0\x59\xBE\x76");  // 頭發 -> 頭髮
    t.Add("\xA4\x7A\xA4\x46", "\xB7\x46\xA4\x46");  // 干了 -> 幹了
    t.Add("0\xB8\xCC", "0\xA8\xBD");                // 0裡 -> 0里
    return t;
  }();
  return table;
}

bool SameTable(const quillmer::FixTable& a, const quillmer::FixTable& b) {
  if (a.Count() != b.Count()) return false;
  for (std::size_t i = 0; i < a.Count(); ++i)
    if (a.Key(i) != b.Key(i) || a.Replacement(i) != b.Replacement(i)) return false;
  return std::memcmp(a.Index().data(), b.Index().data(), sizeof(quillmer::FixIndex)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  std::string_view file(reinterpret_cast<const char*>(data), size);
  auto lines = UserFixLines(file);
  for (const auto& line : lines) {
    FirstField(line);
    if (auto e = ParseFixLine(line)) {
      auto back = ParseFixLine(JoinFixLine(e->first, e->second));
      if (!back || *back != *e) std::abort();
    }
  }

  FixTable merged;
  if (!MergeFixTable(merged, Builtin(), lines)) return 0;
  FixTable read;
  if (!ReadFixIndexFile(WriteFixIndexFile(merged, 0x01), read)) std::abort();
  if (!SameTable(merged, read)) std::abort();

  merged.Prepare();
  for (std::size_t i = 0; i < merged.Count(); ++i) {
    std::string_view key = merged.Key(i);
    auto b0 = static_cast<unsigned char>(key[0]);
    int slot =
        b0 >= 0x81 && key.size() > 1
            ? FixSlotOfCode(static_cast<unsigned>(b0) << 8 | static_cast<unsigned char>(key[1]))
            : FixSlotOfByte(b0);
    // The earliest key that matches its own text is at or before it.
    std::int32_t m =
        merged.Match(slot, reinterpret_cast<const unsigned char*>(key.data()), key.size());
    if (slot >= 0 && slot < kFixSlots && (m < 0 || static_cast<std::size_t>(m) > i)) std::abort();
  }
  return 0;
}
