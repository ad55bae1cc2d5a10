#include "widgets/timer.h"

namespace quillmer {

Timer::Timer() {
  window_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_TIMER && enabled_ && OnTimer) OnTimer(*this);
    return 0;
  });
}

Timer::~Timer() {
  KillTimer(window_, 1);
  DestroyWindow(window_);
}

void Timer::SetInterval(unsigned ms) {
  interval_ = ms;
  if (enabled_) SetTimer(window_, 1, interval_);
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled)
    SetTimer(window_, 1, interval_);
  else
    KillTimer(window_, 1);
}

}  // namespace quillmer
