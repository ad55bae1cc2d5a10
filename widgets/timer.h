// A timer: OnTimer every Interval milliseconds while enabled, run by the
// thread's message loop. Needs no window toolkit.
#pragma once

#include <functional>

#include "platform/win32/window.h"

namespace quillmer {

class Timer {
 public:
  Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer();

  void SetInterval(unsigned ms);
  unsigned Interval() const { return interval_; }
  // Enabling starts a whole interval afresh; disabling stops it.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  std::function<void(Timer&)> OnTimer;

 private:
  HWND window_ = nullptr;
  unsigned interval_ = 1000;
  bool enabled_ = false;
};

}  // namespace quillmer
