// The options dialog: every setting on six tabs, the exclusive auto-zoom list
// in a grid, the helper's registration and the context-menu entries. There is
// no cancel: however it closes, it stores everything (the shared copies, the
// settings file, the registry, the opening toolbar's buttons).
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "ui/module_state.h"
#include "ui/toolbar_dialogs.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"
#include "widgets/grid.h"

namespace quillmer {

class TBandForm;

// Why a URL cell of the auto-zoom list cannot be stored; nullopt when it can
// (an empty cell can: its row is dropped). pattern is ANSI code-page text.
std::optional<std::u16string> AutoZoomPatternProblem(const std::string& pattern, UINT uiCodePage);

class TForm1 : public Form {
 public:
  // toolbar: the toolbar that opens the dialog, or null (the command line).
  TForm1(ModuleState& module, TBandForm* toolbar);
  ~TForm1() override;

  PageControl Conversion;
  TabSheet TabSheet1, TabSheet2, TabSheet4, TabSheet6, TabSheet5, TabSheet3;
  // About
  Label Label1, Label2, Label3, Label4, Label5;
  UrlLabel URLLabel1, URLLabel2;
  // Interface
  GroupBox GroupBox1;
  CheckBox CheckBox1, CheckBox2, CheckBox3, CheckBox4;
  CheckBox cb_showclipbtn, cb_ShowZoomBtn;
  Label Label15;
  Edit edtCaption;
  Label Label16;
  Button Button2;
  Button BitBtn1;
  // Conversion
  CheckBox cb_EnableHelper, cb_ConvertOnSubmit, cb_AlterWBCharset;
  GroupBox GroupBox2;
  Button BitBtn2, BitBtn3;
  CheckBox cb2;
  // Zoom
  GroupBox GroupBox3;
  Label Label6;
  SpinEdit SpinEdit1;
  Label Label12;
  GroupBox GroupBox4;
  Label Label17;
  SpinEdit SpinEdit2;
  Label Label18;
  CheckBox cb_autozoom;
  Label Label26;
  Button SpeedButton1, SpeedButton2, SpeedButton3;
  StringGrid StringGrid1;
  SpinEdit SpinEdit3;
  // Hotkeys
  Label Label19, Label20, Label21, Label22, Label23, Label24, Label25;
  HotKeyEdit HotKey1, HotKey2, HotKey3, HotKey4, HotKey5, HotKey6, HotKey7;
  // Help
  ColorButton Image1, Image2, Image3, Image4, Image5, Image6, Image7;
  Label Label7, Label8, Label9, Label10, Label11, Label13, Label14;

  Button Button1;

  bool EmendationChanged = false;
  EmendationMode editorMode = EmendationMode::B5fix;

  // Event handlers.
  void FormCreate();
  void FormClose();
  void cb_EnableHelperClick();
  void cb2Click();
  void Button2Click();
  void BitBtn1Click();
  void BitBtn2Click(Control& Sender);
  void SpeedButton1Click(Control& Sender);
  bool StringGrid1GetEditText(int row, int col);
  void SpinEdit3Exit();
  // A key the dialog sees before the focused control's default; true when
  // taken.
  bool CMDialogKey(unsigned virtualKey, unsigned modifiers);

  // The invalid URL cell that keeps the dialog from closing, reported in a
  // message box and selected; false when every row can be stored.
  bool RefuseInvalidPattern();
  // Closes the dialog even while a pattern is invalid (its row is not
  // stored): for a script that ended with the dialog open.
  void ForceClose();

  TBandForm* Toolbar() const { return toolbar_; }

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void BuildControls();
  void AssignTexts();
  void EnableHelperControls(bool on);
  void StoreAutoZoomList(SettingsStore* store);
  void UpdateToolbar();
  HotKeyEdit& HotKey(int n);
  void Guarded(const std::function<void()>& handler);

  ModuleState& module_;
  TBandForm* toolbar_;
  std::array<bool, 4> menuStates_{};
  bool closed_ = false;
  bool forcing_ = false;
};

// Makes options dialogs for the toolbar (an OptionsDialog over TForm1).
std::unique_ptr<OptionsDialog> MakeOptionsDialog(TBandForm& owner);

}  // namespace quillmer
