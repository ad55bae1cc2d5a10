#include "platform/win32/window.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quillmer {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetWindows(); }
};

TEST_F(WindowTest, ThePumpDispatchesWaitingMessagesAndThosePostedMeanwhile) {
  std::vector<UINT> seen;
  HWND gone = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    seen.push_back(m + 1000);
    return 0;
  });
  HWND w = CreateMessageWindow([&](HWND self, UINT m, WPARAM, LPARAM) -> LRESULT {
    seen.push_back(m);
    if (m == WM_USER) PostMessage(self, WM_USER + 1, 0, 0);
    return 0;
  });
  PostMessage(w, WM_USER, 0, 0);
  PostMessage(gone, WM_USER, 0, 0);
  DestroyWindow(gone);
  EXPECT_FALSE(PostMessage(gone, WM_USER, 0, 0));
  EXPECT_EQ(2, ProcessMessages());
  EXPECT_EQ((std::vector<UINT>{WM_USER, WM_USER + 1}), seen);
  EXPECT_EQ(0, ProcessMessages());
}

TEST_F(WindowTest, MessagesGoToTheQueueOfTheWindowsThread) {
  int handled = 0;
  HWND mine = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    ++handled;
    return 0;
  });
  std::thread([&] {
    EXPECT_TRUE(PostMessage(mine, WM_USER, 0, 0));
    EXPECT_EQ(0, ProcessMessages());  // not this thread's
  }).join();
  EXPECT_EQ(1, ProcessMessages());
  EXPECT_EQ(1, handled);
}

TEST_F(WindowTest, TheFocusedWindowIsFoundThroughTheForegroundThreadsInput) {
  EXPECT_EQ(nullptr, FocusedWindow());  // no foreground window
  HWND focused = nullptr;
  std::thread([&] {
    HWND top = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    focused = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, top);
    SetForegroundWindow(top);
    SetFocus(focused);
  }).join();
  EXPECT_EQ(nullptr, GetFocus());  // this thread's own input has no focus
  EXPECT_EQ(focused, FocusedWindow());
  EXPECT_EQ(nullptr, GetFocus());  // detached again
  SetAttachThreadInputFails(true);
  EXPECT_EQ(nullptr, FocusedWindow());
  SetAttachThreadInputFails(false);

  // Within the foreground window's own thread there is nothing to attach to.
  HWND own = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  SetForegroundWindow(own);
  SetFocus(own);
  EXPECT_EQ(own, GetFocus());
  EXPECT_EQ(nullptr, FocusedWindow());
}

TEST_F(WindowTest, ThePlatformIsNtUnlessATestSaysOtherwise) {
  EXPECT_EQ(VER_PLATFORM_WIN32_NT, PlatformId());
  SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(VER_PLATFORM_WIN32_WINDOWS, PlatformId());
}

}  // namespace
}  // namespace quillmer
