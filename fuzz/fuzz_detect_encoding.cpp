// DetectEncoding on arbitrary bytes: an answer from the six, the stream left
// at position 0 and unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/detect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  const std::string input(reinterpret_cast<const char*>(data), size);
  TextStream stream(input);
  stream.position = size / 2;
  TextEncoding e = DetectEncoding(stream);
  if (e > teUnknown || stream.position != 0 || stream.data != input) std::abort();
  TextStream again(input);
  if (DetectEncoding(again) != e) std::abort();
  return 0;
}
