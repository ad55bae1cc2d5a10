// The dialog that adds the current page's URL pattern to the auto-zoom list
// (or gives an entry with that pattern a new percentage), offers to switch
// auto-zoom on and zooms the toolbar's page.
#pragma once

#include <memory>
#include <string>

#include "ui/module_state.h"
#include "ui/toolbar_dialogs.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"

namespace quillmer {

class TBandForm;

class TAddAutoZoom : public Form {
 public:
  // A dialog over owner (null: none), updating module's list and settings.
  TAddAutoZoom(ModuleState& module, HWND owner);

  Label Label1;
  Edit Edit1;
  Label Label2;
  SpinEdit SpinEdit1;
  Button BitBtn1;
  Button BitBtn2;

  // The toolbar whose page is zoomed on confirmation; may stay null.
  TBandForm* toolbar = nullptr;

  void FormCreate();
  // Stores the entry; keeps the dialog open (ModalResult mrNone) when the
  // pattern is refused or the list could not be saved.
  void BitBtn1Click(Control& Sender);

 private:
  // The typed pattern in its stored form; empty (after saying why) when it
  // is refused.
  std::string CheckedPattern();
  // Writes the entry to the store and flushes; on failure the store's keys
  // are put back and the error raised.
  void StoreEntry(const std::string& pattern, int value, int& entry);

  ModuleState& module_;
};

// The toolbar's maker: a dialog owned by the toolbar's window.
std::unique_ptr<AutoZoomUrlDialog> MakeAutoZoomUrlDialog(TBandForm& owner);

}  // namespace quillmer
