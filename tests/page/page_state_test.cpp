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
  ResetPageState();
  {
    ConvertingBrowserEntry outer(FakeBrowser(1));
    try {
      ConvertingBrowserEntry inner(FakeBrowser(1));
      EXPECT_EQ(ConvertingBrowsers().size(), 2u);
      throw std::runtime_error("conversion failed");
    } catch (const std::runtime_error&) {
    }
    // The failed nested entry is gone, the outer one stays.
    EXPECT_EQ(ConvertingBrowsers().size(), 1u);
    EXPECT_TRUE(IsConvertingBrowser(FakeBrowser(1)));
    EXPECT_FALSE(IsConvertingBrowser(FakeBrowser(2)));
  }
  EXPECT_TRUE(ConvertingBrowsers().empty());
  RemoveConvertingBrowser(FakeBrowser(3));  // not there: nothing happens
  EXPECT_FALSE(IsConvertingBrowser(nullptr));
}

TEST(ConversionBusy, ASecondScopeDoesNotRunAndDoesNotClearTheFirst) {
  ResetPageState();
  {
    ConversionBusyScope first;
    EXPECT_TRUE(first.acquired());
    {
      ConversionBusyScope second;
      EXPECT_FALSE(second.acquired());
    }
    EXPECT_TRUE(ConversionBusy());
  }
  EXPECT_FALSE(ConversionBusy());
  try {
    ConversionBusyScope scope;
    throw std::runtime_error("conversion failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(ConversionBusy());
}

class SupportMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    previousBoxes_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler(std::move(previousBoxes_));
    SetPageSettingsSource(nullptr);
  }
  void UseUiCodePage(UINT cp) {
    SetPageSettingsSource([cp] { return PageSettings{false, false, cp}; });
  }
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previousBoxes_;
};

TEST_F(SupportMessage, SystemModalWithoutOwnerInTheUiLanguage) {
  UseUiCodePage(1252);
  ShowSupportMissing(0, 950);
  UseUiCodePage(936);
  ShowSupportMissing(0x42, 936);
  UseUiCodePage(950);
  ShowSupportMissing(0, 54936);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, u"Traditional Chinese Support is not installed!");
  EXPECT_EQ(boxes[0].caption, u"Quillmer");
  EXPECT_EQ(boxes[0].flags, 0x1000u);
  EXPECT_EQ(boxes[1].text, u"系统尚未安装简体中文支援！");
  EXPECT_EQ(boxes[1].flags, MB_OK);
  EXPECT_EQ(boxes[2].text, u"系統尚未安裝簡體中文支援！");
}

TEST_F(SupportMessage, ThePageCommandChecksBothCodePagesAndTheBusyFlag) {
  ResetPageState();
  UseUiCodePage(1252);
  SetCodePageInstalled(936, false);
  EXPECT_EQ(ConvertPageForUser(FakeBrowser(1), cdToTrad, 0x42), UserConversion::SupportMissing);
  SetCodePageInstalled(950, false);
  EXPECT_EQ(ConvertPageForUser(FakeBrowser(1), cdToSim), UserConversion::SupportMissing);
  ResetCodePages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, u"Simplified Chinese Support is not installed!");
  EXPECT_EQ(boxes[0].flags, MB_OK);
  EXPECT_EQ(boxes[1].text, u"Traditional Chinese Support is not installed!");
  EXPECT_TRUE(ConvertingBrowsers().empty());
  EXPECT_FALSE(ConversionBusy());

  // A second conversion while one runs does nothing and leaves the flag set.
  ConversionBusy() = true;
  EXPECT_EQ(ConvertPageForUser(nullptr, cdToTrad), UserConversion::Busy);
  EXPECT_TRUE(ConversionBusy());
  EXPECT_TRUE(ConvertingBrowsers().empty());
  ConversionBusy() = false;
  EXPECT_EQ(ConvertPageForUser(nullptr, cdToTrad), UserConversion::Converted);
  EXPECT_FALSE(ConversionBusy());
}

TEST(SupportMissingText, AllSixTexts) {
  EXPECT_EQ(SupportMissingText(936, 54936), u"系统尚未安装简体中文支援！");
  EXPECT_EQ(SupportMissingText(950, 936), u"系统尚未安装繁体中文支援！");
  EXPECT_EQ(SupportMissingText(936, 950), u"系統尚未安裝簡體中文支援！");
  EXPECT_EQ(SupportMissingText(950, 950), u"系統尚未安裝繁體中文支援！");
  EXPECT_EQ(SupportMissingText(936, 437), u"Simplified Chinese Support is not installed!");
  EXPECT_EQ(SupportMissingText(950, 1252), u"Traditional Chinese Support is not installed!");
}

TEST(PageSettings, DefaultsUntilASourceIsInstalled) {
  auto previous = SetPageSettingsSource(nullptr);
  PageSettings s = CurrentPageSettings();
  EXPECT_FALSE(s.AlterWBCharset);
  EXPECT_FALSE(s.HelperEnabled);
  EXPECT_EQ(s.uiCodePage, GetACP());
  SetPageSettingsSource([] { return PageSettings{true, true, 950}; });
  EXPECT_TRUE(CurrentPageSettings().AlterWBCharset);
  EXPECT_EQ(CurrentPageSettings().uiCodePage, 950u);
  SetPageSettingsSource(std::move(previous));
}

}  // namespace
}  // namespace quillmer
