#include "ui/shared_settings.h"

#include <algorithm>

#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace quillmer {
namespace {

bool IsDoubleByteCodePage(UINT cp) {
  return cp == kCodePageShiftJis || cp == kCodePageGbk || cp == kCodePageKorean ||
         cp == kCodePageBig5;
}

// At most max bytes of ANSI text, without splitting a double-byte character.
std::string CutToLength(std::string_view text, std::size_t max, UINT cp) {
  const bool dbcs = IsDoubleByteCodePage(cp);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t width = dbcs && static_cast<unsigned char>(text[at]) >= 0x81 ? 2 : 1;
    if (at + width > text.size()) width = 1;
    if (at + width > max) break;
    at += width;
  }
  return std::string(text.substr(0, at));
}

std::string Numbered(std::string_view key, int n) { return std::string(key) + std::to_string(n); }

}  // namespace

std::u16string DefaultCaption(UINT ansiCodePage) {
  switch (ansiCodePage) {
    case kCodePageGbk:
    case kCodePageGb18030:
      return u"繁简转换";
    case kCodePageBig5:
      return u"繁簡轉換";
    default:
      return std::u16string(kProductCaption);
  }
}

void LoadGeneralSettings(const SettingsStore& store, SharedSettingsData& s) {
  s.ConvertOnSubmit =
      store.ReadBool(ini::Text_Convert, ini::ConvertOnSubmit, kDefaultConvertOnSubmit);
  s.page.AlterWBCharset =
      store.ReadBool(ini::Text_Convert, ini::AlterWBCharset, kDefaultAlterWBCharset);
  s.ShowClipBtn = store.ReadBool(ini::Interface, ini::ShowClipBtn, kDefaultShowClipBtn);
  s.ShowZoomBtn = store.ReadBool(ini::Interface, ini::ShowZoomBtn, kDefaultShowZoomBtn);
  s.ZoomIncrement = store.ReadInteger(ini::Zoom, ini::ZoomIncrement, kDefaultZoomIncrement);
  for (int n = 1; n <= kHotKeySlots; ++n) {
    std::string key = Numbered(ini::Key, n);
    if (store.ValueExists(ini::HotKeys, key))
      s.HotKeyTable[static_cast<std::size_t>(n - 1)] =
          static_cast<std::uint16_t>(store.ReadInteger(ini::HotKeys, key, 0));
  }
}

void LoadHelperSettings(const SettingsStore& store, SharedSettingsData& s) {
  std::int32_t mode = store.ReadInteger(ini::Text_Convert, ini::AutoConvert, kDefaultAutoConvert);
  // A mode the program does not know converts nothing.
  s.AutoConvert = mode >= 0 && mode <= 2 ? static_cast<std::uint8_t>(mode) : 0;
  s.AutoZoom = store.ReadBool(ini::Zoom, ini::AutoZoom, kDefaultAutoZoom);
  s.defaultZoom = store.ReadInteger(ini::Zoom, ini::AutoZoomToValue, kDefaultZoom);
  std::int32_t count = store.ReadInteger(ini::Zoom_Ex, ini::AutoURLCount, kDefaultAutoURLCount);
  if (count <= 0) return;
  // A hand-edited count in the millions would take all memory; no list of
  // real patterns comes near this.
  count = std::min(count, kMaxAutoZoomEntries);
  const UINT cp = store.CodePage();
  AutoZoomList list(static_cast<std::size_t>(count));
  for (std::int32_t k = 1; k <= count; ++k) {
    AutoZoomEntry& e = list[static_cast<std::size_t>(k - 1)];
    e.Zoom = static_cast<std::int16_t>(
        store.ReadInteger(ini::Zoom_Ex, Numbered(ini::AutoZoomValue, k), kDefaultZoom));
    std::string pattern = store.ReadString(ini::Zoom_Ex, Numbered(ini::AutoZoomURL, k), "");
    pattern = CutToLength(pattern, kMaxUrlPatternLength, cp);
    e.Pattern = CutToLength(NormalizeUrlPattern(pattern), kMaxUrlPatternLength, cp);
  }
  s.autoZoomList = std::move(list);
}

bool ReadHelperEnabled() {
  // Opened without creating it: the answer is the same, and loading never
  // writes the registry.
  RegKey bho;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kBrowserHelperObjectsKey, 0, KEY_READ, bho.put()) !=
      ERROR_SUCCESS)
    return false;
  RegKey helper;
  return RegOpenKeyEx(bho.get(), kHelperClsid, 0, KEY_READ, helper.put()) == ERROR_SUCCESS;
}

}  // namespace quillmer
