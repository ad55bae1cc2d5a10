// ConvertStream on arbitrary bytes, over every source, target and direction
// (the first two bytes choose them): no crash, no undefined behaviour, and
// the stream's promises hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  if (size < 2) return 0;
  const auto source = static_cast<TextEncoding>(data[0] % 6);
  const auto target = static_cast<TextEncoding>(data[0] / 6 % 6);
  const auto direction = static_cast<ConvDirection>(data[1] % 3);
  const bool signature = data[1] & 0x80;
  const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);

  TextStream stream(input);
  stream.position = input.size();
  ConvertStream(stream, source, target, direction, signature);
  if (stream.position != 0) std::abort();
  if (input.empty() && !stream.data.empty()) std::abort();
  if (source <= teUTF8 && source == target && direction == cdNone && stream.data != input)
    std::abort();
  return 0;
}
