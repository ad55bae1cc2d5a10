#include "ui/lifecycle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/convert.h"
#include "engine/tables.h"
#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"
#include "tests/cli/run_program.h"
#include "ui/shared_settings.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

class LoadSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_HOME", home_.path().c_str(), 1);
    ::setenv("QUILLMER_REGISTRY", (registry_ / "registry").c_str(), 1);
    ::setenv("QUILLMER_ACP", "1252", 1);
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
  }
  void TearDown() override {
    RunUnloadSequence();
    SetRegistryFaultHook({});
    SetMessageBoxHandler(std::move(previous_));
    Tables().userFix = true;
    ResetTables();
    for (const char* v : {"QUILLMER_HOME", "QUILLMER_REGISTRY", "QUILLMER_ACP"}) ::unsetenv(v);
  }
  void WriteIni(const std::string& text) { WriteAll(home_ / "Quillmer.ini", text); }
  void CreateHelperKey() {
    RegKey k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_LOCAL_MACHINE,
                             std::string(kBrowserHelperObjectsKey) + std::string(kHelperClsid),
                             KEY_ALL_ACCESS, k.put()));
  }

  TempDir home_, registry_;
  std::vector<MessageBoxCall> boxes;
  MessageBoxHandler previous_;
};

TEST_F(LoadSequenceTest, WithoutASettingsFileEverySettingHasItsDefault) {
  std::u16string factoryCaption = u"unset";
  RunLoadSequence([&](std::u16string_view c) { factoryCaption = c; });
  const SharedSettingsData& s = CurrentModule()->shared;
  EXPECT_EQ(home_.path().string() + "/", s.moduleDirectory);
  EXPECT_EQ(u"Quillmer", s.bandCaption);
  EXPECT_EQ(u"Quillmer", factoryCaption);
  EXPECT_EQ(1252u, s.page.uiCodePage);
  EXPECT_TRUE(s.ShowClipBtn);
  EXPECT_TRUE(s.ShowZoomBtn);
  EXPECT_TRUE(s.ConvertOnSubmit);
  EXPECT_FALSE(s.page.AlterWBCharset);
  EXPECT_TRUE(s.UserFix);
  EXPECT_EQ(0, s.AutoConvert);
  EXPECT_FALSE(s.AutoZoom);
  EXPECT_EQ(10, s.ZoomIncrement);
  EXPECT_EQ(100, s.defaultZoom);
  EXPECT_TRUE(s.autoZoomList.empty());
  for (auto key : s.HotKeyTable) EXPECT_EQ(0, key);
  EXPECT_FALSE(s.page.HelperEnabled);
  ASSERT_NE(nullptr, CurrentModule()->store);

  RunUnloadSequence();
  EXPECT_EQ(nullptr, CurrentModule());
  EXPECT_FALSE(std::filesystem::exists(home_ / "Quillmer.ini")) << "nothing was written";
  EXPECT_FALSE(std::filesystem::exists(registry_ / "registry")) << "loading writes no registry";
}

TEST_F(LoadSequenceTest, TheCaptionDefaultFollowsTheAnsiCodePage) {
  ::setenv("QUILLMER_ACP", "936", 1);
  RunLoadSequence();
  EXPECT_EQ(u"繁简转换", CurrentModule()->shared.bandCaption);
  RunUnloadSequence();
  ::setenv("QUILLMER_ACP", "54936", 1);
  RunLoadSequence();
  EXPECT_EQ(u"繁简转换", CurrentModule()->shared.bandCaption);
  RunUnloadSequence();
  ::setenv("QUILLMER_ACP", "950", 1);
  RunLoadSequence();
  EXPECT_EQ(u"繁簡轉換", CurrentModule()->shared.bandCaption);
  EXPECT_EQ(950u, CurrentModule()->PageConversion().settings.uiCodePage);
  RunUnloadSequence();
  // Present but empty: the stored value wins.
  WriteIni("[Interface]\nCaption=\n");
  RunLoadSequence();
  EXPECT_EQ(u"", CurrentModule()->shared.bandCaption);
}

TEST_F(LoadSequenceTest, ReadsEveryKeyOfTheFile) {
  const std::string sixty = "www.example.com/" + std::string(44, 'a');
  WriteIni(
      "[Interface]\nCaption=Bar\nShowClipBtn=0\nShowZoomBtn=0\nBKColor=-2147483633\n"
      "[Text_Convert]\nConvertOnSubmit=0\nAlterWBCharset=1\nAutoConvert=2\nUserFix=0\n"
      "[Zoom]\nZoomIncrement=25\nAutoZoom=1\nAutoZoomToValue=120\n"
      "[Zoom_Ex]\nAutoURLCount=3\nAutoZoomValue1=150\nAutoZoomURL1=www.example.com\n"
      "AutoZoomValue3=70000\nAutoZoomURL3=" +
      sixty + "\n[HotKeys]\nKey3=16451\nKey7=-1\n");
  RunLoadSequence();
  const SharedSettingsData& s = CurrentModule()->shared;
  EXPECT_EQ(u"Bar", s.bandCaption);
  EXPECT_FALSE(s.ShowClipBtn);
  EXPECT_FALSE(s.ShowZoomBtn);
  EXPECT_FALSE(s.ConvertOnSubmit);
  EXPECT_TRUE(s.page.AlterWBCharset);
  EXPECT_TRUE(CurrentModule()->PageConversion().settings.AlterWBCharset);
  EXPECT_EQ(2, s.AutoConvert);
  EXPECT_FALSE(s.UserFix);
  EXPECT_FALSE(Tables().userFix) << "the engine's switch follows UserFix";
  EXPECT_EQ(25, s.ZoomIncrement);
  EXPECT_TRUE(s.AutoZoom);
  EXPECT_EQ(120, s.defaultZoom);
  ASSERT_EQ(3u, s.autoZoomList.size());
  EXPECT_EQ(150, s.autoZoomList[0].Zoom);
  EXPECT_EQ(NormalizeUrlPattern("www.example.com"), s.autoZoomList[0].Pattern);
  EXPECT_EQ(100, s.autoZoomList[1].Zoom) << "a missing entry takes the defaults";
  EXPECT_EQ(NormalizeUrlPattern(""), s.autoZoomList[1].Pattern);
  EXPECT_EQ(static_cast<std::int16_t>(70000), s.autoZoomList[2].Zoom) << "kept in 16 bits";
  EXPECT_EQ(NormalizeUrlPattern(sixty.substr(0, 48)).substr(0, 48), s.autoZoomList[2].Pattern);
  EXPECT_EQ(0x4043, s.HotKeyTable[2]) << "Ctrl+C for clipboard to Traditional";
  EXPECT_EQ(0xFFFF, s.HotKeyTable[6]) << "cut to 16 bits";
  EXPECT_EQ(0, s.HotKeyTable[0]);
  EXPECT_EQ(static_cast<std::int32_t>(0x8000000F),
            CurrentModule()->store->ReadInteger(ini::Interface, ini::BKColor, 0));
}

TEST_F(LoadSequenceTest, OddCountsAndModesAreHarmless) {
  WriteIni("[Text_Convert]\nAutoConvert=9\n[Zoom_Ex]\nAutoURLCount=2000000000\n");
  RunLoadSequence();
  EXPECT_EQ(0, CurrentModule()->shared.AutoConvert);
  EXPECT_EQ(static_cast<std::size_t>(kMaxAutoZoomEntries),
            CurrentModule()->shared.autoZoomList.size());
  RunUnloadSequence();
  WriteIni("[Zoom_Ex]\nAutoURLCount=-3\n");
  RunLoadSequence();
  EXPECT_TRUE(CurrentModule()->shared.autoZoomList.empty());
}

TEST_F(LoadSequenceTest, PatternsAreCutWithoutSplittingACharacter) {
  ::setenv("QUILLMER_ACP", "936", 1);
  const std::string pattern = "http://a.com/" + std::string(34, 'a') + EncodeCodePage(936, u"中文");
  WriteIni("[Zoom_Ex]\nAutoURLCount=1\nAutoZoomURL1=" + pattern + "\n");
  RunLoadSequence();
  ASSERT_EQ(1u, CurrentModule()->shared.autoZoomList.size());
  EXPECT_EQ(pattern.substr(0, 47), CurrentModule()->shared.autoZoomList[0].Pattern)
      << "48 bytes would end in half a character";
}

TEST_F(LoadSequenceTest, HelperEnabledIsThePresenceOfTheHelpersKey) {
  RunLoadSequence();
  EXPECT_FALSE(CurrentModule()->shared.page.HelperEnabled);
  RunUnloadSequence();

  CreateHelperKey();
  RunLoadSequence();
  EXPECT_TRUE(CurrentModule()->shared.page.HelperEnabled);
  EXPECT_TRUE(CurrentModule()->PageConversion().settings.HelperEnabled);
  RunUnloadSequence();

  SetRegistryFaultHook([](RegOp op, std::string_view path) {
    return op == RegOp::Open && path.find("Browser Helper Objects") != std::string_view::npos
               ? ERROR_ACCESS_DENIED
               : ERROR_SUCCESS;
  });
  RunLoadSequence();
  EXPECT_FALSE(CurrentModule()->shared.page.HelperEnabled) << "a key that cannot be opened";
}

TEST_F(LoadSequenceTest, LoadsOnceAndTheSettersWriteAtOnce) {
  WriteIni("; mine\n[Zoom]\nZoomIncrement=5\n");
  RunLoadSequence();
  WriteIni("[Zoom]\nZoomIncrement=50\n");
  RunLoadSequence();
  EXPECT_EQ(5, CurrentModule()->shared.ZoomIncrement) << "a second load does nothing";

  CurrentModule()->SetAutoConvert(1);
  EXPECT_EQ(1, CurrentModule()->shared.AutoConvert);
  EXPECT_EQ("; mine\n[Zoom]\nZoomIncrement=5\n[Text_Convert]\nAutoConvert=1\n",
            ReadAll(home_ / "Quillmer.ini"));
  CurrentModule()->SetAutoZoom(true);
  EXPECT_NE(std::string::npos,
            ReadAll(home_ / "Quillmer.ini").find("[Zoom]\nZoomIncrement=5\nAutoZoom=1\n"));
}

TEST_F(LoadSequenceTest, UnloadFlushesChangesAndReportsAFailedFlush) {
  RunLoadSequence();
  CurrentModule()->store->WriteBool(ini::Interface, ini::ShowClipBtn, false);
  RunUnloadSequence();
  EXPECT_EQ("[Interface]\nShowClipBtn=0\n", ReadAll(home_ / "Quillmer.ini"));

  ::setenv("QUILLMER_HOME", "/proc/self/no-such-dir", 1);
  RunLoadSequence();
  CurrentModule()->store->WriteBool(ini::Interface, ini::ShowClipBtn, true);
  RunUnloadSequence();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_NE(std::u16string::npos, boxes[0].text.find(u"Quillmer.ini"));
}

TEST_F(LoadSequenceTest, TablesBuiltBeforeTheLoadAreBuiltAgainWithTheUsersEntries) {
  WriteAll(home_ / "user_b5fix.dat", "h\r\nh\r\n" + EncodeCodePage(950, u"中國") + "," +
                                         EncodeCodePage(950, u"華夏") + "\r\n");
  EnsureTables();
  RunLoadSequence();
  std::u16string text = u"中国";
  ConvertScript(text, cdToTrad);
  EXPECT_EQ(u"華夏", text);
  EXPECT_TRUE(std::filesystem::exists(home_ / "b5fix.ndx"));
}

TEST_F(LoadSequenceTest, TheLoadedStateOwnsTheTablesAndAStateOfOnesOwnTouchesNoGlobal) {
  WriteIni("[Text_Convert]\nUserFix=0\n");
  std::unique_ptr<ModuleState> own = LoadModuleState();
  EXPECT_EQ(nullptr, CurrentModule());
  EXPECT_FALSE(own->tables->userFix);
  EXPECT_NE(own->tables.get(), &Tables()) << "not current until the module loads it";

  RunLoadSequence();
  EXPECT_EQ(CurrentModule()->tables.get(), &Tables());
  EXPECT_NE(own->tables.get(), &Tables());
  CurrentModule()->page.ConvertingBrowsers.push_back(nullptr);
  RunUnloadSequence();
  EXPECT_NE(own->tables.get(), &Tables());
  EXPECT_TRUE(own->page.ConvertingBrowsers.empty());
}

TEST_F(LoadSequenceTest, AnUnreadableSettingsFileStopsTheLoad) {
  std::filesystem::create_directory(home_ / "Quillmer.ini");
  EXPECT_THROW(RunLoadSequence(), Error);
  EXPECT_EQ(nullptr, CurrentModule());
}

}  // namespace
}  // namespace quillmer
