// An Xvfb on a display it picks itself (-displayfd), for the tests that need
// a real X server. Started once per test suite; when it cannot start, Why()
// says so and the tests skip.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace quillmer::testing {

class Xvfb {
 public:
  // Ends by itself once its last client has gone, rather than by Stop():
  // for a display this process opens windows on (GDK ends a process whose
  // display goes away).
  static constexpr bool kEndWithLastClient = true;

  // False, with Why(), when Xvfb is missing or does not start in time.
  bool Start(bool endWithLastClient = false);
  void Stop();
  bool Running() const { return running_; }
  const std::string& Display() const { return display_; }
  const std::string& Why() const { return why_; }

 private:
  pid_t pid_ = 0;
  bool running_ = false;
  std::string display_;
  std::string why_ = "Xvfb was not started";
};

// Points DISPLAY at a display for a scope, and back.
class DisplayScope {
 public:
  explicit DisplayScope(const std::string& display);
  ~DisplayScope();

 private:
  std::optional<std::string> saved_;
};

// Waits for pid until the deadline, then kills it; the exit status, -1 when
// it ended by a signal.
int Reap(pid_t pid, std::chrono::steady_clock::time_point deadline, bool& timedOut);

}  // namespace quillmer::testing
