// The X11 clipboard on a real X server: Xvfb on a free display, xclip as the
// other program, and the built quillmer. Skipped, saying why, when Xvfb cannot
// be started. Every wait has a deadline and everything started is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/clipboard.h"
#include "platform/win32/clipboard.h"
#include "platform/win32/dialogs.h"
#include "tests/support/xvfb.h"

// Last: its macros (None, Status ...) must not meet the test framework's names.
// clang-format off
#include <X11/Xlib.h>
// clang-format on

namespace quillmer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::Reap;

struct Ran {
  bool timedOut = false;
  int status = -1;  // exit status, -1 when killed by a signal
  std::string out, err;
};


// Runs argv with DISPLAY set (or unset when display is nullopt), feeding
// input. capture false sends the output to /dev/null and waits only for the
// program itself, as for "xclip -i", whose server keeps running.
Ran RunProgram(const std::vector<std::string>& argv, std::optional<std::string> display,
               const std::string& input = "", bool capture = true, seconds timeout = seconds(10)) {
  Ran ran;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return ran;
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(in[0], 0);
    ::dup2(capture ? out[1] : null, 1);
    ::dup2(capture ? err[1] : null, 2);
    if (display)
      ::setenv("DISPLAY", display->c_str(), 1);
    else
      ::unsetenv("DISPLAY");
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  const auto deadline = Clock::now() + timeout;
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) ::close(inFd), inFd = -1;
  int outFd = capture ? out[0] : (::close(out[0]), -1);
  int errFd = capture ? err[0] : (::close(err[0]), -1);
  while ((inFd >= 0 || outFd >= 0 || errFd >= 0) && Clock::now() < deadline) {
    pollfd fds[3] = {{inFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int left =
        static_cast<int>(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count());
    if (::poll(fds, 3, std::max(left, 1)) < 0 && errno != EINTR) break;
    if (inFd >= 0 && fds[0].revents) {
      ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) ::close(inFd), inFd = -1;
    }
    for (auto [i, fd, dest] : {std::tuple{1, &outFd, &ran.out}, std::tuple{2, &errFd, &ran.err}}) {
      if (*fd < 0 || !fds[i].revents) continue;
      char buf[65536];
      ssize_t n = ::read(*fd, buf, sizeof buf);
      if (n > 0)
        dest->append(buf, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        ::close(*fd), *fd = -1;
    }
  }
  for (int fd : {inFd, outFd, errFd})
    if (fd >= 0) ::close(fd);
  ran.timedOut = Clock::now() >= deadline;
  ran.status = Reap(pid, deadline, ran.timedOut);
  return ran;
}

// An Xvfb on a display it picks itself (-displayfd), for this test suite.
class XvfbClipboard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!xvfb_.Start()) {
      why_ = xvfb_.Why();
      return;
    }
    pid_ = 1;
    display_ = xvfb_.Display();
    if (RunProgram({"xclip", "-version"}, display_).status == 127) {
      TearDownTestSuite();
      why_ = "xclip is not installed";
    }
  }

  static void TearDownTestSuite() {
    // Our clipboard servers end with the display.
    xvfb_.Stop();
    pid_ = 0;
  }

  void SetUp() override {
    if (pid_ <= 0) GTEST_SKIP() << why_;
    const char* keep = std::getenv("DISPLAY");
    savedDisplay_ = keep ? std::optional<std::string>(keep) : std::nullopt;
    ::setenv("DISPLAY", display_.c_str(), 1);
  }
  void TearDown() override {
    if (savedDisplay_)
      ::setenv("DISPLAY", savedDisplay_->c_str(), 1);
    else
      ::unsetenv("DISPLAY");
  }

  static bool XclipPut(const std::string& bytes, const std::string& target = "UTF8_STRING") {
    Ran r = RunProgram({"xclip", "-selection", "clipboard", "-t", target, "-i"}, display_, bytes,
                       false);
    if (r.timedOut || r.status != 0) return false;
    // xclip's first process ends before the one it leaves behind owns the
    // clipboard: wait until the clipboard offers the text (a busy machine
    // takes its time).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
      Ran t = RunProgram({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"}, display_);
      if (!t.timedOut && t.status == 0 && t.out.find(target) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }
  static std::string XclipGet(const std::string& target = "UTF8_STRING") {
    Ran r = RunProgram({"xclip", "-selection", "clipboard", "-t", target, "-o"}, display_);
    EXPECT_FALSE(r.timedOut);
    return r.out;
  }
  static Ran Quillmer(const std::vector<std::string>& args) {
    std::vector<std::string> argv{QUILLMER_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, display_);
  }

  static inline testing::Xvfb xvfb_;
  static inline pid_t pid_ = 0;  // 1 while the display serves the suite
  static inline std::string display_, why_;

 private:
  std::optional<std::string> savedDisplay_;
};

TEST_F(XvfbClipboard, ClipConvertsTheTextOnTheClipboard) {
  ASSERT_TRUE(XclipPut(ToUtf8(u"中华人民共和国")));
  Ran r = Quillmer({"clip", "--to-trad"});
  ASSERT_FALSE(r.timedOut) << "quillmer clip did not end (or its server kept its output open)";
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(XclipGet(), ToUtf8(u"中華人民共和國"));
  EXPECT_EQ(XclipGet("text/plain;charset=utf-8"), ToUtf8(u"中華人民共和國"));
  // STRING is Latin-1: what it lacks comes as "?".
  EXPECT_EQ(XclipGet("STRING"), "???????");

  // And back, reading the text from the server the first run left.
  r = Quillmer({"clip", "--to-simp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(XclipGet(), ToUtf8(u"中华人民共和国"));
}

TEST_F(XvfbClipboard, ClipboardWithoutTextIsLeftAlone) {
  const std::string png("\x89PNG\r\n\x1a\n", 8);
  ASSERT_TRUE(XclipPut(png, "image/png"));
  Ran r = Quillmer({"clip", "--to-trad"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("holds no text"), std::string::npos) << r.err;
  EXPECT_EQ(XclipGet("image/png"), png);
}

TEST_F(XvfbClipboard, LongTextCrossesInChunks) {
  // Longer than one X request, so both directions go in chunks.
  std::u16string text;
  for (int i = 0; i < 60000; ++i) text += u"中华a";
  ASSERT_TRUE(XclipPut(ToUtf8(text)));
  auto previous = SetClipboardBackend(MakeX11Clipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  HGLOBAL block = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), text.size() * 2 + 2);
  EXPECT_TRUE(CloseClipboard());

  std::u16string back = text + u"!";
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(EmptyClipboard());
  std::string bytes;
  for (char16_t u : back) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  bytes.append(2, '\0');
  HGLOBAL mine = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(mine), bytes.data(), bytes.size());
  GlobalUnlock(mine);
  ASSERT_NE(SetClipboardData(CF_UNICODETEXT, mine), nullptr);
  ASSERT_TRUE(CloseClipboard()) << LastClipboardError();
  SetClipboardBackend(std::move(previous));
  EXPECT_EQ(XclipGet(), ToUtf8(back));
}

TEST_F(XvfbClipboard, AnOwnerThatDoesNotAnswerIsNotWaitedForLong) {
  Display* d = XOpenDisplay(display_.c_str());
  ASSERT_NE(d, nullptr);
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), w, CurrentTime);
  XSync(d, False);
  auto previous = SetClipboardBackend(MakeX11Clipboard());
  const auto start = Clock::now();
  EXPECT_FALSE(ConvertClipboard(cdToTrad));  // nobody answers: no text
  EXPECT_LT(Clock::now() - start, seconds(5));
  SetClipboardBackend(std::move(previous));
  XCloseDisplay(d);
}

// These need no X server.
TEST(ClipCommand, SaysWhyNoClipboardCanBeReached) {
  Ran r = RunProgram({QUILLMER_BINARY, "clip", "--to-trad"}, std::nullopt);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quillmer: cannot open the clipboard: DISPLAY is not set (no X display)\n");
  // A display where no server listens.
  r = RunProgram({QUILLMER_BINARY, "clip", "--to-simp"}, ":65000");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quillmer: cannot open the clipboard: cannot connect to X display ':65000'\n");
}

TEST(ClipCommand, Usage) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--to-trad", "--to-simp"}, {"--none"}, {"file"}};
  for (auto args : bad) {
    args.insert(args.begin(), {QUILLMER_BINARY, "clip"});
    Ran r = RunProgram(args, std::nullopt);
    EXPECT_EQ(r.status, 2) << args.size();
    EXPECT_NE(r.err.find("Try 'quillmer clip --help'"), std::string::npos);
  }
}

}  // namespace
}  // namespace quillmer
