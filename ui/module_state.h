// What the module holds while it is loaded, in one place: the settings store,
// the shared settings, the conversion tables, the page state and the helper's
// form connector. The load sequence builds one and the unload frees it; tests
// build their own.
#pragma once

#include <memory>
#include <vector>

#include "engine/tables.h"
#include "page/page_state.h"
#include "ui/settings_store.h"
#include "ui/emendation_editor.h"
#include "ui/shared_settings.h"
#include "ui/toolbar_dialogs.h"

namespace quillmer {

// What the toolbars of the process share.
struct ToolbarState {
  // The window handles of all live toolbar forms, in the order made: each is
  // told when the automatic modes change.
  std::vector<HWND> ToolbarWindows;
  // There is no visual-style library here: stays false, and the default
  // background erase runs.
  bool ThemeActive = false;
  // The dialog open in the process, null when none; one of each at a time.
  OptionsDialog* openOptionsDialog = nullptr;
  AutoZoomUrlDialog* openAutoZoomUrlDialog = nullptr;
  // The product's own dialogs; tests put in their own.
  ToolbarDialogMakers makeDialog;
  // How the options dialog opens the emendation editor.
  EmendationEditorMaker makeEmendationEditor;
};

class ModuleState {
 public:
  // Tables with the built-in entries only, no store, default settings.
  ModuleState();
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;

  // Null in a state built without a settings file.
  std::unique_ptr<SettingsStore> store;
  SharedSettingsData shared;
  // The engine's tables, with the user's emendation files when the load
  // found them; made current while this state is the module's.
  std::unique_ptr<EngineTables> tables;
  PageState page;
  // The helper object's ConnectFormEvents; empty until the helper sets it.
  FormEventsConnector connectFormEvents;
  ToolbarState toolbar;

  // What page conversion is handed.
  PageContext PageConversion() { return PageContext{shared.page, page, connectFormEvents}; }

  // Reads the settings again when another process wrote Quillmer.ini since
  // (the program's toolbar and options dialog, when the helper runs in the
  // engine's web process); nothing when this one has changes pending.
  void RefreshSettings();

  // The helper's setters: store the copy, write the key, flush the file.
  void SetAutoConvert(std::uint8_t mode);
  void SetAutoZoom(bool on);
};

// Shows what the engine reports in a message box, as the module does.
void ShowEngineMessage(const std::string& text, unsigned icon);

}  // namespace quillmer
