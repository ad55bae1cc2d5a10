#include "ui/module_state.h"

#include "ui/emend_form.h"

#include "engine/identities.h"
#include "platform/base/text.h"
#include "platform/win32/dialogs.h"

namespace quillmer {

ModuleState::ModuleState() : tables(std::make_unique<EngineTables>()) {
  tables->report = ShowEngineMessage;
  toolbar.makeDialog = ProductToolbarDialogs();
  toolbar.makeEmendationEditor = OpenEmendationEditor;
}

void ModuleState::SetAutoConvert(std::uint8_t mode) {
  shared.AutoConvert = mode;
  if (store) {
    store->WriteInteger(ini::Text_Convert, ini::AutoConvert, mode);
    store->Flush();
  }
}

void ModuleState::RefreshSettings() {
  if (!store || !store->Refresh()) return;
  LoadGeneralSettings(*store, shared);
  LoadHelperSettings(*store, shared);
}

void ModuleState::SetAutoZoom(bool on) {
  shared.AutoZoom = on;
  if (store) {
    store->WriteBool(ini::Zoom, ini::AutoZoom, on);
    store->Flush();
  }
}

void ShowEngineMessage(const std::string& text, unsigned icon) {
  MessageBox(FromUtf8(text), kProductCaption, MB_OK | icon);
}

}  // namespace quillmer
