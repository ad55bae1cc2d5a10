// The settings file reader on arbitrary text. Input: byte 0 picks the code
// page, the rest is the file. Besides not crashing: what the store writes
// reads back as the same store, and a written value reads back as written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/base/error.h"
#include "ui/settings_store.h"
#include "ui/shared_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  if (size < 1) return 0;
  static const UINT kCodePages[] = {1252, 936, 950, 65001};
  const UINT cp = kCodePages[data[0] & 3];
  setenv("QUILLMER_ACP", std::to_string(cp).c_str(), 1);
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  SettingsStore store("/nonexistent/Quillmer.ini", text, cp);
  SharedSettingsData shared;
  LoadGeneralSettings(store, shared);
  LoadHelperSettings(store, shared);
  for (const auto& e : shared.autoZoomList)
    if (e.Pattern.size() > kMaxUrlPatternLength) std::abort();

  const std::string once = store.Text();
  SettingsStore again("/nonexistent/Quillmer.ini", once, cp);
  if (again.Text() != once) std::abort();

  // A key written into whatever the file holds reads back unchanged.
  std::string value(text.substr(0, text.find_first_of("\r\n")));
  try {
    store.WriteString("Zoom_Ex", "AutoZoomURL1", value);
  } catch (const Error&) {
    std::abort();  // a value without line breaks is always accepted
  }
  SettingsStore written("/nonexistent/Quillmer.ini", store.Text(), cp);
  if (written.ReadString("zoom_ex", "autozoomurl1", "") != value) std::abort();
  store.DeleteKey("Zoom_Ex", "AutoZoomURL1");
  return 0;
}
