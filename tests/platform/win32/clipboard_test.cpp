#include "platform/win32/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmer {
namespace {

class Clipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    auto memory = std::make_unique<MemoryClipboard>();
    clip = memory.get();
    previous_ = SetClipboardBackend(std::move(memory));
  }
  void TearDown() override {
    SetGlobalAllocFailure({});
    SetClipboardBackend(std::move(previous_));
  }

  MemoryClipboard* clip = nullptr;

 private:
  std::unique_ptr<ClipboardBackend> previous_;
};

HGLOBAL Block(const std::string& bytes) {
  HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
  std::memcpy(GlobalLock(b), bytes.data(), bytes.size());
  GlobalUnlock(b);
  return b;
}

TEST_F(Clipboard, CallsNeedTheClipboardOpenOnce) {
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_FALSE(CloseClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_EQ(LastClipboardError(), "the clipboard is open already");
  EXPECT_TRUE(CloseClipboard());

  clip->failOpen = [](int) { return true; };
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_EQ(LastClipboardError(), "the clipboard is held by another program");
}

TEST_F(Clipboard, BlocksGoInAndOut) {
  clip->formats[CF_TEXT] = std::string("ab\0", 3);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  HGLOBAL got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(GlobalSize(got), 3u);
  EXPECT_EQ(std::memcmp(GlobalLock(got), "ab", 3), 0);
  GlobalUnlock(got);

  EXPECT_TRUE(EmptyClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  const std::string unit("x\0\0\0", 4);
  EXPECT_NE(SetClipboardData(CF_UNICODETEXT, Block(unit)), nullptr);
  // A refused block stays the caller's.
  clip->refuse = {CF_TEXT};
  HGLOBAL refused = Block("y");
  EXPECT_EQ(SetClipboardData(CF_TEXT, refused), nullptr);
  EXPECT_EQ(GlobalFree(refused), nullptr);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(clip->formats, (std::map<UINT, std::string>{{CF_UNICODETEXT, unit}}));
}

}  // namespace
}  // namespace quillmer
