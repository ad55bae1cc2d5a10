// The settings file's sections, keys and defaults, and the SharedSettings:
// the copies of the settings that running code reads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/identities.h"
#include "page/page_state.h"
#include "page/url_pattern.h"
#include "platform/win32/keys.h"
#include "ui/settings_store.h"

namespace quillmer {

constexpr std::string_view kSettingsFileName = "Quillmer.ini";

// Sections and keys of Quillmer.ini.
namespace ini {
constexpr std::string_view Interface = "Interface";
constexpr std::string_view Caption = "Caption";
constexpr std::string_view ShowClipBtn = "ShowClipBtn";
constexpr std::string_view ShowZoomBtn = "ShowZoomBtn";
constexpr std::string_view BKColor = "BKColor";

constexpr std::string_view Text_Convert = "Text_Convert";
constexpr std::string_view ConvertOnSubmit = "ConvertOnSubmit";
constexpr std::string_view AlterWBCharset = "AlterWBCharset";
constexpr std::string_view AutoConvert = "AutoConvert";
constexpr std::string_view UserFix = "UserFix";
constexpr std::string_view AgeUserB5fix = "AgeUserB5fix";
constexpr std::string_view AgeUserGBfix = "AgeUserGBfix";

constexpr std::string_view Zoom = "Zoom";
constexpr std::string_view ZoomIncrement = "ZoomIncrement";
constexpr std::string_view AutoZoom = "AutoZoom";
constexpr std::string_view AutoZoomToValue = "AutoZoomToValue";
constexpr std::string_view AutoZoomNormal = "AutoZoomNormal";

constexpr std::string_view Zoom_Ex = "Zoom_Ex";
constexpr std::string_view AutoURLCount = "AutoURLCount";
constexpr std::string_view AutoZoomValue = "AutoZoomValue";  // + entry number from 1
constexpr std::string_view AutoZoomURL = "AutoZoomURL";      // + entry number from 1

constexpr std::string_view HotKeys = "HotKeys";
constexpr std::string_view Key = "Key";  // + slot number 1 to 7
}  // namespace ini

// Defaults of the keys that have one.
constexpr bool kDefaultShowClipBtn = true;
constexpr bool kDefaultShowZoomBtn = true;
constexpr std::int32_t kDefaultBKColor = static_cast<std::int32_t>(0x8000000F);  // button face
constexpr bool kDefaultConvertOnSubmit = true;
constexpr bool kDefaultAlterWBCharset = false;
constexpr std::int32_t kDefaultAutoConvert = 0;
constexpr bool kDefaultUserFix = true;
constexpr std::int32_t kDefaultAge = 0;
constexpr std::int32_t kDefaultZoomIncrement = 10;
constexpr bool kDefaultAutoZoom = false;
constexpr std::int32_t kDefaultZoom = 100;  // AutoZoomToValue and each AutoZoomValue<n>
constexpr std::int32_t kDefaultAutoURLCount = 0;
constexpr int kHotKeySlots = 7;
constexpr std::int32_t kMaxAutoZoomEntries = 10000;  // more in AutoURLCount are not read

// Hotkey values (kHotKeyShift, kHotKeyCtrl, kHotKeyAlt, their names):
// platform/win32/keys.h.

// The band caption's default in the UI language of the ANSI code page.
std::u16string DefaultCaption(UINT ansiCodePage);

struct SharedSettingsData {
  std::string moduleDirectory;  // ModuleDirectory as the load found it
  std::u16string bandCaption;
  // AlterWBCharset, HelperEnabled and the UI code page: what page conversion
  // reads.
  PageSettings page;
  bool ConvertOnSubmit = kDefaultConvertOnSubmit;
  bool ShowClipBtn = kDefaultShowClipBtn;
  bool ShowZoomBtn = kDefaultShowZoomBtn;
  bool UserFix = kDefaultUserFix;
  bool AutoZoom = kDefaultAutoZoom;
  std::uint8_t AutoConvert = 0;  // 0 off, 1 to Simplified, 2 to Traditional
  std::int32_t ZoomIncrement = kDefaultZoomIncrement;
  std::int32_t defaultZoom = kDefaultZoom;
  AutoZoomList autoZoomList;
  std::array<std::uint16_t, kHotKeySlots> HotKeyTable{};  // slot 1 first
};

// The steps of the load sequence that read the settings, each on its own so
// that the options dialog can run them again.
void LoadGeneralSettings(const SettingsStore& store, SharedSettingsData& s);
void LoadHelperSettings(const SettingsStore& store, SharedSettingsData& s);

// Whether the helper's key under "Browser Helper Objects" exists; false when
// the parent key cannot be opened.
bool ReadHelperEnabled();

// The key under which the browser helper object (kHelperClsid) is listed.
constexpr std::string_view kBrowserHelperObjectsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper Objects\\";

}  // namespace quillmer
