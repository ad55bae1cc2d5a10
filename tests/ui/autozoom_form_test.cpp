// The auto-zoom URL dialog on the in-memory toolkit: entries added or
// updated by their stored pattern, patterns refused, the question about
// auto-zoom, a failed save that leaves everything as it was.
#include "ui/autozoom_form.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/base/text.h"
#include "platform/browser/page.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"
#include "tests/support/fake_toolkit.h"
#include "ui/band_form.h"
#include "ui/zoom.h"

namespace quillmer {
namespace {

class AutoZoomFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      if (answers.empty()) return (c.flags & 0x0F) == MB_YESNO ? IDNO : IDOK;
      const int a = answers.front();
      answers.pop_front();
      return a;
    });
    module.shared.page.uiCodePage = 1252;
    module.store = std::make_unique<SettingsStore>(IniPath(), "", 1252);
  }
  void TearDown() override { SetMessageBoxHandler(std::move(previous_)); }

  std::string IniPath() const { return (home / "Quillmer.ini").string(); }
  std::string Ini() const { return testing::ReadAll(IniPath()); }

  // Confirms pattern at percent; returns the dialog's modal result.
  int Confirm(std::u16string_view pattern, int percent, TBandForm* toolbar = nullptr) {
    TAddAutoZoom dialog(module, nullptr);
    dialog.toolbar = toolbar;
    dialog.Edit1.SetText(pattern);
    dialog.SpinEdit1.SetValue(percent);
    dialog.BitBtn1.Click();
    return dialog.ModalResult();
  }

  testing::FakeToolkit kit;
  ModuleState module;
  testing::TempDir home;
  std::vector<MessageBoxCall> boxes;
  std::deque<int> answers;

 private:
  MessageBoxHandler previous_;
};

TEST_F(AutoZoomFormTest, ConfirmingAPatternAgainUpdatesItsOneEntry) {
  EXPECT_EQ(Confirm(u"http://example.com/news/*", 120), mrOk);
  EXPECT_EQ(Confirm(u"http://example.com/news/*", 90), mrOk);
  ASSERT_EQ(module.shared.autoZoomList.size(), 1u);
  EXPECT_EQ(module.shared.autoZoomList[0].Zoom, 90);
  const std::string ini = Ini();
  EXPECT_NE(ini.find("AutoURLCount=1"), std::string::npos);
  EXPECT_NE(ini.find("AutoZoomValue1=90"), std::string::npos);
  EXPECT_EQ(ini.find("AutoZoomValue2"), std::string::npos);
}

TEST_F(AutoZoomFormTest, APatternIsStoredAsItIsReadBackAndMatchedWithoutCase) {
  EXPECT_EQ(Confirm(u"Example.COM/News/*", 150), mrOk);
  EXPECT_NE(Ini().find("AutoZoomURL1=http://example.com/news/*"), std::string::npos);
  // The same pattern in its stored form, and in another case, is that entry.
  EXPECT_EQ(Confirm(u"HTTP://example.com/news/*", 130), mrOk);
  ASSERT_EQ(module.shared.autoZoomList.size(), 1u);
  EXPECT_EQ(module.shared.autoZoomList[0].Zoom, 130);
  // What the next load reads is what was stored.
  SharedSettingsData again;
  LoadHelperSettings(SettingsStore(IniPath(), 1252), again);
  ASSERT_EQ(again.autoZoomList.size(), 1u);
  EXPECT_EQ(again.autoZoomList[0].Pattern, "http://example.com/news/*");
  EXPECT_EQ(again.autoZoomList[0].Zoom, 130);
}

TEST_F(AutoZoomFormTest, EmptyInvalidAndOverlongPatternsAreRefusedAndTheDialogStays) {
  const std::u16string max = u"http://a.example.com/" + std::u16string(26, u'x') + u"*";
  ASSERT_EQ(max.size(), 48u);
  const std::u16string overlong = u"http://a.example.com/xx" + std::u16string(26, u'x') + u"*";
  for (std::u16string_view bad : {std::u16string_view(u""), std::u16string_view(u"   "),
                                  std::u16string_view(u"http://a.example.com/[x*"),
                                  std::u16string_view(overlong)}) {
    boxes.clear();
    EXPECT_EQ(Confirm(bad, 120), mrNone) << ToUtf8(bad);
    ASSERT_EQ(boxes.size(), 1u) << ToUtf8(bad);
    EXPECT_EQ(boxes[0].flags & 0xF0, MB_ICONERROR);
  }
  EXPECT_TRUE(module.shared.autoZoomList.empty());
  EXPECT_FALSE(module.store->ValueExists(ini::Zoom_Ex, ini::AutoURLCount));
  // Exactly 48 characters are kept whole, with their final "*".
  EXPECT_EQ(Confirm(max, 120), mrOk);
  ASSERT_EQ(module.shared.autoZoomList.size(), 1u);
  EXPECT_EQ(module.shared.autoZoomList[0].Pattern, ToUtf8(max));
}

TEST_F(AutoZoomFormTest, TheAnswerToTheQuestionDecidesAboutAutoZoomButNotTheEntry) {
  answers = {IDNO};
  EXPECT_EQ(Confirm(u"http://a.example.com/*", 120), mrOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Auto-Zoom is not activated at the meantime.\r\nActivate it now?");
  EXPECT_EQ(boxes[0].flags, MB_YESNO | MB_ICONINFORMATION);
  EXPECT_FALSE(module.shared.AutoZoom);
  EXPECT_EQ(module.shared.autoZoomList.size(), 1u);

  // With a toolbar: Yes switches auto-zoom on for every toolbar, and the
  // toolbar's page takes the zoom.
  Form site(ControlKind::Window, nullptr, "Site");
  TBandForm toolbar(module, site.Handle());
  toolbar.Browser = NewBrowserWindow();
  toolbar.Browser->Navigate2(
      VariantString(FromUtf8(std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/conv_frames.html")),
      {}, {}, {}, {});
  answers = {IDYES};
  boxes.clear();
  EXPECT_EQ(Confirm(u"http://b.example.com/*", 140, &toolbar), mrOk);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(module.shared.AutoZoom);
  EXPECT_NE(Ini().find("AutoZoom=1"), std::string::npos);
  ComPtr<IDispatch> d;
  toolbar.Browser->get_Document(d.put());
  EXPECT_EQ(BodyZoomPercent(d.query<IHTMLDocument2>().get()), 140);

  // Once on, it is not asked again.
  boxes.clear();
  EXPECT_EQ(Confirm(u"http://c.example.com/*", 80), mrOk);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(AutoZoomFormTest, AFailedSaveIsReportedAndChangesNothing) {
  module.store = std::make_unique<SettingsStore>((home / "missing" / "Quillmer.ini").string(), "",
                                                 1252);
  EXPECT_EQ(Confirm(u"http://a.example.com/*", 120), mrNone);
  ASSERT_EQ(boxes.size(), 1u);  // the failure, not the question
  EXPECT_EQ(boxes[0].text.rfind(u"The auto-zoom list could not be saved: ", 0), 0u);
  EXPECT_TRUE(module.shared.autoZoomList.empty());
  EXPECT_FALSE(module.store->ValueExists(ini::Zoom_Ex, ini::AutoURLCount));
  EXPECT_FALSE(module.store->ValueExists(ini::Zoom_Ex, "AutoZoomURL1"));
}

TEST_F(AutoZoomFormTest, TheTextsFollowTheInterfaceLanguage) {
  struct Case {
    UINT cp;
    std::u16string caption, ok;
    std::int64_t charset;
  } cases[] = {{936, u" 将下列网址加到自动缩放的清单", u"确定", 134},
               {950, u" 將下列網址加到自動縮放的清單", u"確定", 136},
               {1252, u" Auto-zoom this URL", u"OK", 0}};
  for (const Case& c : cases) {
    module.shared.page.uiCodePage = c.cp;
    TAddAutoZoom dialog(module, nullptr);
    EXPECT_EQ(dialog.Caption(), c.caption);
    EXPECT_EQ(dialog.BitBtn1.Caption(), c.ok);
    EXPECT_EQ(kit.GetInt(dialog.Label1.Handle(), Prop::FontCharset, 0), c.charset);
    EXPECT_EQ(dialog.SpinEdit1.MinValue(), 10);
    EXPECT_EQ(dialog.SpinEdit1.MaxValue(), 400);
  }
}

}  // namespace
}  // namespace quillmer
