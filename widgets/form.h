// Forms: the windows the product's forms derive from. A form is a child of
// a window of anyone's (the toolbar in the band site's window), a top-level
// window, or a dialog over its owner that can be shown modally.
#pragma once

#include "widgets/control.h"

namespace quillmer {

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class Form : public Control {
 public:
  // kind: ControlKind::Form (a child of parent), Window (top-level; parent
  // null) or Dialog (over the owner parent, which may be null).
  Form(ControlKind kind, HWND parent, std::string name);

  // Showing a hidden form runs OnShow once it is visible.
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  std::function<void(Form&)> OnShow;

  // Runs the dialog modally until ModalResult is set or the form closes;
  // returns the result (mrCancel when closed by the user).
  int ShowModal();
  void SetModalResult(int result) { modalResult_ = result; }
  int ModalResult() const { return modalResult_; }
  // Closes as the user would: OnCloseQuery may refuse.
  void Close();

  // Asked before the user closes the window; false keeps it open.
  std::function<bool(Form&)> OnCloseQuery;
  // The form closes, however it does: a modal run ends (its result set) or
  // Close hides it.
  std::function<void(Form&)> OnClose;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int modalResult_ = mrNone;
  bool modal_ = false;
};

}  // namespace quillmer
