// The index file reader on arbitrary bytes: it never reads out of bounds, and
// a file it accepts describes a table that it also accepts once written again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/tables.h"
#include "engine/userfix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FixTable table;
  if (!ReadFixIndexFile(bytes, table)) {
    if (table.Count() != 0) std::abort();  // a refused file leaves no half table
    return 0;
  }
  FixTable again;
  const std::string rewritten = WriteFixIndexFile(table, 0x76);
  if (!ReadFixIndexFile(rewritten, again) || again.Count() != table.Count()) std::abort();
  if (WriteFixIndexFile(again, 0x76) != rewritten) std::abort();

  table.Prepare();
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    auto b = static_cast<unsigned char>(bytes[at]);
    int slot = b >= 0x81 && at + 1 < bytes.size()
                   ? FixSlotOfCode(static_cast<unsigned>(b) << 8 |
                                   static_cast<unsigned char>(bytes[at + 1]))
                   : FixSlotOfByte(b);
    table.Match(slot, data + at, size - at);
  }
  return 0;
}
