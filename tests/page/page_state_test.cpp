#include "page/page_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "page/page_convert.h"
#include "page/support_message.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

// Only the addresses matter: the list holds uncounted references.
IWebBrowser2* FakeBrowser(int n) { return reinterpret_cast<IWebBrowser2*>(0x1000 * n); }

TEST(ConvertingBrowsers, EntriesAreRemovedOnceOnEveryWayOut) {
  PageState state;
  {
    ConvertingBrowserEntry outer(state, FakeBrowser(1));
    try {
      ConvertingBrowserEntry inner(state, FakeBrowser(1));
      EXPECT_EQ(state.ConvertingBrowsers.size(), 2u);
      throw std::runtime_error("conversion failed");
    } catch (const std::runtime_error&) {
    }
    // The failed nested entry is gone, the outer one stays.
    EXPECT_EQ(state.ConvertingBrowsers.size(), 1u);
    EXPECT_TRUE(state.IsConvertingBrowser(FakeBrowser(1)));
    EXPECT_FALSE(state.IsConvertingBrowser(FakeBrowser(2)));
  }
  EXPECT_TRUE(state.ConvertingBrowsers.empty());
  state.RemoveConvertingBrowser(FakeBrowser(3));  // not there: nothing happens
  EXPECT_FALSE(state.IsConvertingBrowser(nullptr));
}

TEST(ConversionBusy, ASecondScopeDoesNotRunAndDoesNotClearTheFirst) {
  PageState state;
  {
    ConversionBusyScope first(state);
    EXPECT_TRUE(first.acquired());
    {
      ConversionBusyScope second(state);
      EXPECT_FALSE(second.acquired());
    }
    EXPECT_TRUE(state.ConversionBusy);
  }
  EXPECT_FALSE(state.ConversionBusy);
  try {
    ConversionBusyScope scope(state);
    throw std::runtime_error("conversion failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(state.ConversionBusy);
}

class SupportMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    previousBoxes_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
  }
  void TearDown() override { SetMessageBoxHandler(std::move(previousBoxes_)); }
  void UseUiCodePage(UINT cp) { settings.uiCodePage = cp; }
  PageContext Context() { return PageContext{settings, state, {}}; }
  std::vector<MessageBoxCall> boxes;
  PageSettings settings;
  PageState state;

 private:
  MessageBoxHandler previousBoxes_;
};

TEST_F(SupportMessage, SystemModalWithoutOwnerInTheUiLanguage) {
  UseUiCodePage(1252);
  ShowSupportMissing(0, 950, settings.uiCodePage);
  UseUiCodePage(936);
  ShowSupportMissing(0x42, 936, settings.uiCodePage);
  UseUiCodePage(950);
  ShowSupportMissing(0, 54936, settings.uiCodePage);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, u"Traditional Chinese Support is not installed!");
  EXPECT_EQ(boxes[0].caption, u"Quillmer");
  EXPECT_EQ(boxes[0].flags, 0x1000u);
  EXPECT_EQ(boxes[1].text, u"系统尚未安装简体中文支援！");
  EXPECT_EQ(boxes[1].flags, MB_OK);
  EXPECT_EQ(boxes[2].text, u"系統尚未安裝簡體中文支援！");
}

TEST_F(SupportMessage, ThePageCommandChecksBothCodePagesAndTheBusyFlag) {
  UseUiCodePage(1252);
  SetCodePageInstalled(936, false);
  EXPECT_EQ(ConvertPageForUser(Context(), FakeBrowser(1), cdToTrad, 0x42),
            UserConversion::SupportMissing);
  SetCodePageInstalled(950, false);
  EXPECT_EQ(ConvertPageForUser(Context(), FakeBrowser(1), cdToSim), UserConversion::SupportMissing);
  ResetCodePages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, u"Simplified Chinese Support is not installed!");
  EXPECT_EQ(boxes[0].flags, MB_OK);
  EXPECT_EQ(boxes[1].text, u"Traditional Chinese Support is not installed!");
  EXPECT_TRUE(state.ConvertingBrowsers.empty());
  EXPECT_FALSE(state.ConversionBusy);

  // A second conversion while one runs does nothing and leaves the flag set.
  state.ConversionBusy = true;
  EXPECT_EQ(ConvertPageForUser(Context(), nullptr, cdToTrad), UserConversion::Busy);
  EXPECT_TRUE(state.ConversionBusy);
  EXPECT_TRUE(state.ConvertingBrowsers.empty());
  state.ConversionBusy = false;
  EXPECT_EQ(ConvertPageForUser(Context(), nullptr, cdToTrad), UserConversion::Converted);
  EXPECT_FALSE(state.ConversionBusy);
}

TEST(SupportMissingText, AllSixTexts) {
  EXPECT_EQ(SupportMissingText(936, 54936), u"系统尚未安装简体中文支援！");
  EXPECT_EQ(SupportMissingText(950, 936), u"系统尚未安装繁体中文支援！");
  EXPECT_EQ(SupportMissingText(936, 950), u"系統尚未安裝簡體中文支援！");
  EXPECT_EQ(SupportMissingText(950, 950), u"系統尚未安裝繁體中文支援！");
  EXPECT_EQ(SupportMissingText(936, 437), u"Simplified Chinese Support is not installed!");
  EXPECT_EQ(SupportMissingText(950, 1252), u"Traditional Chinese Support is not installed!");
}

TEST(PageSettings, AZeroUiCodePageIsTheSystems) {
  EXPECT_EQ(UiCodePage(PageSettings{}), GetACP());
  EXPECT_EQ(UiCodePage(PageSettings{true, true, 950}), 950u);
}

}  // namespace
}  // namespace quillmer
