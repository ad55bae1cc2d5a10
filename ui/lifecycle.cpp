#include "ui/lifecycle.h"

#include "engine/identities.h"
#include "engine/userfix.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "ui/options_form.h"

namespace quillmer {
namespace {

// The one global: the module's exports and constructor have nowhere else to
// keep what the load built.
std::unique_ptr<ModuleState>& Current() {
  static std::unique_ptr<ModuleState> state;
  return state;
}

}  // namespace

std::unique_ptr<ModuleState> LoadModuleState(const BandFactoryHook& registerBand) {
  auto state = std::make_unique<ModuleState>();
  SharedSettingsData& s = state->shared;
  s.moduleDirectory = ModuleDirectory();
  state->store =
      std::make_unique<SettingsStore>(s.moduleDirectory + std::string(kSettingsFileName));
  const SettingsStore& store = *state->store;

  const UINT acp = GetACP();
  s.bandCaption = store.ReadText(ini::Interface, ini::Caption, DefaultCaption(acp));
  s.page.uiCodePage = acp;
  LoadGeneralSettings(store, s);
  s.page.HelperEnabled = ReadHelperEnabled();
  s.UserFix = store.ReadBool(ini::Text_Convert, ini::UserFix, kDefaultUserFix);
  LoadHelperSettings(store, s);

  EngineTables& tables = *state->tables;
  tables.userFix = s.UserFix;
  // The store outlives the tables' use of it: both belong to the state.
  SettingsStore* settings = state->store.get();
  tables.user = UserFixHost{s.moduleDirectory,
                            [settings](std::string_view key) {
                              return settings->ReadInteger(ini::Text_Convert, key, kDefaultAge);
                            },
                            [settings](std::string_view key, std::int32_t age) {
                              settings->WriteInteger(ini::Text_Convert, key, age);
                              settings->Flush();
                            }};
  state->toolbar.makeDialog.options = MakeOptionsDialog;
  if (registerBand) registerBand(s.bandCaption);
  return state;
}

void UnloadModuleState(ModuleState& state) {
  state.page.Reset();
  if (state.store && state.store->Modified()) {
    try {
      state.store->Flush();
    } catch (const Error& e) {
      MessageBox(FromUtf8(e.what()), kProductCaption, MB_OK | MB_ICONERROR);
    }
  }
}

ModuleState* CurrentModule() { return Current().get(); }

void RunLoadSequence(const BandFactoryHook& registerBand) {
  if (Current()) return;
  auto state = LoadModuleState();
  SetCurrentTables(state->tables.get());
  Current() = std::move(state);
  // Registered once the state is the module's: should it fail, the caller
  // unloads as after any failed load.
  if (registerBand) registerBand(Current()->shared.bandCaption);
}

void RunUnloadSequence() {
  if (!Current()) return;
  std::unique_ptr<ModuleState> state = std::move(Current());
  UnloadModuleState(*state);
  SetCurrentTables(nullptr);
}

}  // namespace quillmer
