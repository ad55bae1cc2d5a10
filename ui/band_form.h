// The toolbar form: the row of buttons with two pop-up menus that fills the
// toolbar band of one browser window. Its commands convert the window's page
// and the clipboard, zoom the page, switch the automatic modes (kept in step
// on every toolbar of the process) and open the options dialogs.
#pragma once

#include <optional>

#include "page/page_state.h"
#include "platform/browser/webbrowser.h"
#include "ui/module_state.h"
#include "widgets/form.h"
#include "widgets/hint.h"
#include "widgets/menu.h"
#include "widgets/timer.h"
#include "widgets/toolbar.h"

namespace quillmer {

// Sent to every toolbar when the automatic modes changed; no parameters.
constexpr UINT WM_AUTOSTATECHANGED = WM_USER + 123;

// The system colour "button face" as colours are stored.
constexpr std::int32_t kColorBtnFace = static_cast<std::int32_t>(0x8000000F);

class TBandForm : public Form {
 public:
  // A child of parent (the band site's window), with no owner. Raises when
  // the window cannot be made.
  TBandForm(ModuleState& module, HWND parent);
  ~TBandForm() override;

  ImageList ImageList1;
  ToolBar ToolBar1;
  ToolButton ToolButton1, ToolButton2, ToolButton3, ToolButton4, ToolButton5, ToolButton9,
      ToolButton8, ToolButton12, ToolButton10, ToolButton11, ToolButton6, ToolButton7;

  PopupMenu PopupMenu1;
  MenuItem AutoNone, AutoTrad, AutoSim, N1, AutoZoom1, AddZoomList1, ZoomReset;

  PopupMenu PopupMenu2;
  MenuItem webTrad2, webSim2, N2, ClipTrad2, ClipSim2, N3, ZoomIn2, ZoomOut2, ResizetoNormal2, N4,
      AutoCon2, AutoNone2, AutoTrad2, AutoSim2, AutoZoom2, AddZoomList2, N5, Options2;

  Timer Timer1;
  // Made by FormCreate; shows the new zoom percentage above the button.
  std::optional<HintWindow> ZoomHint;

  // The window's browser, set by the band; may be null.
  ComPtr<IWebBrowser2> Browser;

  // Event handlers.
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void ToolButton1Click(Control& Sender);
  void ToolButton4Click(Control& Sender);
  void ToolButton7Click(Control& Sender);
  void ToolButton10Click(Control& Sender);
  void MenuClick(Control& Sender);
  void PopupMenu1Popup(Control& Sender);
  void PopupMenu2Popup(Control& Sender);
  void Timer1Timer(Timer& Sender);

  // The commands, with the same effect as the buttons.
  void ActionWeb2TradExecute() { ToolButton1Click(ToolButton1); }
  void ActionWeb2SimExecute() { ToolButton1Click(ToolButton2); }
  void ActionClip2TradExecute() { ToolButton4Click(ToolButton4); }
  void ActionClip2SimExecute() { ToolButton4Click(ToolButton5); }
  void ActionZoomInExecute() { ToolButton10Click(ToolButton10); }
  void ActionZoomOutExecute() { ToolButton10Click(ToolButton11); }
  void ActionZoomResetExecute();

  void UpdateAutoButtonImage();
  void BroadcastAutoState();
  void ApplyBackgroundColor();
  void AddUrlToAutoZoom();

  ModuleState& Module() const { return module_; }

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The page command on Browser, in the direction given.
  void ConvertPage(ConvDirection direction);
  void LoadImages();
  void BuildControls();
  void AssignTexts();
  void SetZoomItemCaptions();
  // Runs a handler; an error it raises is shown to the user, as the
  // framework shows what an event handler lets through.
  void Guarded(const std::function<void()>& handler);
  void Forget();

  ModuleState& module_;
};

}  // namespace quillmer
