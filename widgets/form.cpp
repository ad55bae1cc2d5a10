#include "widgets/form.h"

namespace quillmer {

Form::Form(ControlKind kind, HWND parent, std::string name)
    : Control(kind, parent, std::move(name)) {}

void Form::SetVisible(bool visible) {
  const bool was = Visible();
  Control::SetVisible(visible);
  if (visible && !was && OnShow) OnShow(*this);
}

int Form::ShowModal() {
  modalResult_ = mrNone;
  modal_ = true;
  SetInt(Prop::Modal, 1);
  while (modalResult_ == mrNone && IsWindow(Handle())) WaitMessage(50);
  modal_ = false;
  if (IsWindow(Handle())) {
    if (OnClose) OnClose(*this);
    SetInt(Prop::Modal, 0);
    Hide();
  }
  return modalResult_;
}

void Form::Close() {
  if (OnCloseQuery && !OnCloseQuery(*this)) return;
  if (modal_) {
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
  } else {
    if (OnClose) OnClose(*this);
    Hide();
  }
}

LRESULT Form::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_CLOSEQUERY) {
    // The form decides; the toolkit keeps the window either way.
    Close();
    return 1;
  }
  return Control::Message(message, wParam, lParam);
}

}  // namespace quillmer
