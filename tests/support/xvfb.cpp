#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace quillmer::testing {

using Clock = std::chrono::steady_clock;

int Reap(pid_t pid, Clock::time_point deadline, bool& timedOut) {
  int raw = 0;
  for (;;) {
    pid_t r = ::waitpid(pid, &raw, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      timedOut = true;
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool Xvfb::Start(bool endWithLastClient) {
  if (running_) return true;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    why_ = "cannot make a pipe";
    return false;
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], 3);  // dup2 drops close-on-exec
    int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp", endWithLastClient ? "-terminate" : "-noreset", nullptr);
    _exit(127);
  }
  ::close(fds[1]);
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[32];
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    bool timedOut = false;
    int status = Reap(pid, Clock::now(), timedOut);
    why_ = status == 127 ? "Xvfb is not installed" : "Xvfb did not start";
    return false;
  }
  // One that ends by itself is not this object's to stop.
  pid_ = endWithLastClient ? 0 : pid;
  running_ = true;
  display_ = ":" + number.substr(0, number.find('\n'));
  why_.clear();
  return true;
}

void Xvfb::Stop() {
  if (pid_ <= 0) return;
  running_ = false;
  ::kill(pid_, SIGTERM);
  bool timedOut = false;
  Reap(pid_, Clock::now() + std::chrono::seconds(5), timedOut);
  pid_ = 0;
  why_ = "Xvfb was stopped";
}

DisplayScope::DisplayScope(const std::string& display) {
  if (const char* keep = std::getenv("DISPLAY")) saved_ = keep;
  ::setenv("DISPLAY", display.c_str(), 1);
}

DisplayScope::~DisplayScope() {
  if (saved_)
    ::setenv("DISPLAY", saved_->c_str(), 1);
  else
    ::unsetenv("DISPLAY");
}

}  // namespace quillmer::testing
