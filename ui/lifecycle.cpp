#include "ui/lifecycle.h"

#include <memory>

#include "engine/tables.h"
#include "engine/userfix.h"
#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "ui/shared_settings.h"

namespace quillmer {
namespace {

bool& Loaded() {
  static bool loaded = false;
  return loaded;
}

BandFactoryHook& BandHook() {
  static BandFactoryHook hook;
  return hook;
}

std::int32_t ReadAgeValue(std::string_view key) {
  SettingsStore* store = Settings();
  return store ? store->ReadInteger(ini::Text_Convert, key, kDefaultAge) : kDefaultAge;
}

void WriteAgeValue(std::string_view key, std::int32_t age) {
  SettingsStore* store = Settings();
  if (!store) throw Error("the settings store is not open", E_UNEXPECTED);
  store->WriteInteger(ini::Text_Convert, key, age);
  store->Flush();
}

}  // namespace

void RunLoadSequence() {
  if (Loaded()) return;
  SharedSettingsData& s = SharedSettings();
  s = SharedSettingsData{};
  s.moduleDirectory = ModuleDirectory();
  ConvertingBrowsers().clear();
  auto store = std::make_unique<SettingsStore>(s.moduleDirectory + std::string(kSettingsFileName));

  const UINT acp = GetACP();
  s.bandCaption = store->ReadText(ini::Interface, ini::Caption, DefaultCaption(acp));
  s.uiCodePage = acp;
  LoadGeneralSettings(*store, s);
  s.HelperEnabled = ReadHelperEnabled();
  s.UserFix = store->ReadBool(ini::Text_Convert, ini::UserFix, kDefaultUserFix);
  Tables().userFix = s.UserFix;
  LoadHelperSettings(*store, s);

  SetSettings(std::move(store));
  InstallUserFixTables(UserFixHost{s.moduleDirectory, ReadAgeValue, WriteAgeValue});
  SetPageSettingsSource([] {
    const SharedSettingsData& c = SharedSettings();
    return PageSettings{c.AlterWBCharset, c.HelperEnabled, c.uiCodePage};
  });
  Loaded() = true;
  // Phrase tables built before the settings were known (a detection, say)
  // are built again with them; should that fail, the next conversion tries.
  if (Tables().allReady) {
    try {
      InitB5fix();
      InitGBfix();
    } catch (...) {
      Tables().allReady = false;
      throw;
    }
  }
  if (BandHook()) BandHook()(s.bandCaption);
}

void RunUnloadSequence() {
  if (!Loaded()) return;
  Loaded() = false;
  ResetPageState();
  SetPageSettingsSource({});
  RemoveUserFixTables();
  if (SettingsStore* store = Settings(); store && store->Modified()) {
    try {
      store->Flush();
    } catch (const Error& e) {
      MessageBox(FromUtf8(e.what()), u"Quillmer", MB_OK | MB_ICONERROR);
    }
  }
  SetSettings(nullptr);
  SharedSettings().bandCaption.clear();
  SharedSettings().autoZoomList.clear();
}

void SetBandFactoryHook(BandFactoryHook hook) { BandHook() = std::move(hook); }

}  // namespace quillmer
