// ApplyFix (and MapCharacters before it) on arbitrary bytes with either phrase
// table (the first byte chooses): no crash, and the stream and string forms
// agree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/convert.h"
#include "engine/tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  if (size < 1) return 0;
  const auto table = static_cast<TableSide>(data[0] & 1);
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  EnsureTables();

  TextStream stream(input);
  ApplyFix(stream, table);
  if (stream.position != 0 || stream.data != ApplyFix(input, table)) std::abort();

  std::string mapped = input;
  MapCharacters(mapped, static_cast<TableSide>(data[0] >> 1 & 1));
  if (mapped.size() != input.size()) std::abort();
  ApplyFix(mapped, table);
  return 0;
}
