// ConvertScript's unit-at-a-time path against its string-at-a-time path (as
// UTF-16 text and as a UTF-8 stream), the one-pass unit path against the
// code-page path, and the code-page lookup arrays against ICU, on arbitrary
// text and bytes. Any difference aborts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/convert.h"
#include "engine/tables.h"
#include "engine/unit_path.h"
#include "platform/win32/codepage.h"

namespace {

using namespace quillmer;

std::u16string Script(std::u16string text, ConvDirection d, bool fast) {
  SetConvertScriptFastPath(fast);
  ConvertScript(text, d);
  return text;
}

std::u16string ScriptBy(std::u16string text, ConvDirection d, UnitPathUse use) {
  SetUnitPath(use);
  ConvertScript(text, d);
  SetUnitPath(UnitPathUse::Auto);
  return text;
}

std::string Utf8By(const std::string& bytes, ConvDirection d, UnitPathUse use, bool signature) {
  SetUnitPath(use);
  TextStream s(bytes);
  ConvertStream(s, teUTF8, teUTF8, d, signature);
  SetUnitPath(UnitPathUse::Auto);
  return s.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  EnsureTables();

  for (ConvDirection d : {cdToTrad, cdToSim}) {
    if (Script(text, d, true) != Script(text, d, false)) std::abort();
    // UTF-8 to UTF-8 never goes whole through UTF-16 on the fast path.
    TextStream fast(bytes), general(bytes);
    SetConvertScriptFastPath(true);
    ConvertStream(fast, teUTF8, teUTF8, d, size & 1);
    SetConvertScriptFastPath(false);
    ConvertStream(general, teUTF8, teUTF8, d, size & 1);
    if (fast.data != general.data) std::abort();
    if (ScriptBy(text, d, UnitPathUse::Always) != ScriptBy(text, d, UnitPathUse::Off)) std::abort();
    if (Utf8By(bytes, d, UnitPathUse::Always, size & 2) != Utf8By(bytes, d, UnitPathUse::Off, size & 2))
      std::abort();
  }
  SetConvertScriptFastPath(true);

  for (UINT cp : {936u, 950u}) {
    SetCodePageCache(true);
    std::u16string cachedText = DecodeCodePage(cp, bytes);
    std::string cachedBytes = EncodeCodePage(cp, text);
    SetCodePageCache(false);
    if (cachedText != DecodeCodePage(cp, bytes) || cachedBytes != EncodeCodePage(cp, text))
      std::abort();
  }
  SetCodePageCache(true);
  return 0;
}
