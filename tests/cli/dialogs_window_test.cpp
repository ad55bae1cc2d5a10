// quillmer emend and quillmer autozoom on a real X server, driven by
// scripts; without a display they say so. Skipped, saying why, without Xvfb
// or the window toolkit.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
namespace fs = std::filesystem;

TEST(DialogCommands, WithoutADisplayTheySayWhyAndFail) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "home");
  const std::vector<std::string> env = {
      "DISPLAY=", "QUILLMER_HOME=" + testing::ShellQuote((dir.path() / "home").string()),
      "QUILLMER_REGISTRY=" + testing::ShellQuote((dir.path() / "registry").string()),
      "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)};
  for (const auto& args : {std::vector<std::string>{"emend", "--to-trad", "-e", "close()"},
                           std::vector<std::string>{"autozoom", "http://a.example.com/", "-e",
                                                    "close()"}}) {
    auto r = RunQuillmer(args, "", env);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("cannot open a window"), std::string::npos) << r.err;
  }
  auto r = RunQuillmer({"emend", "-e", "close()"}, "", env);
  EXPECT_EQ(r.status, 2);
  r = RunQuillmer({"autozoom", "--zoom", "5", "http://a.example.com/"}, "", env);
  EXPECT_EQ(r.status, 2);
}

class DialogWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(QUILLMER_TOOLKIT_LIB))
      why_ = "the window toolkit was not built";
    else if (!xvfb_.Start())
      why_ = xvfb_.Why();
  }
  static void TearDownTestSuite() { xvfb_.Stop(); }

  void SetUp() override {
    if (!xvfb_.Running()) GTEST_SKIP() << why_;
    fs::create_directories(dir.path() / "home");
    env = {"QUILLMER_REGISTRY=" + testing::ShellQuote((dir.path() / "registry").string()),
           "QUILLMER_HOME=" + testing::ShellQuote((dir.path() / "home").string()),
           "QUILLMER_ACP=1252", "DISPLAY=" + xvfb_.Display(),
           "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)};
  }
  testing::RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunQuillmer(args, input, env);
  }
  std::string Home(const char* name) const { return ReadAll(dir.path() / "home" / name); }

  static inline testing::Xvfb xvfb_;
  static inline std::string why_;
  testing::TempDir dir;
  std::vector<std::string> env;
};

TEST_F(DialogWindows, AnAddedPairIsSavedByTheCloseButtonAndAppliedByConvert) {
  const std::string add =
      "set('edtGB', '中華'); set('edtB5', '華夏'); click('btnIns');\n"
      "print(controls().filter(function (c) { return c.name === 'Label4'; })[0].caption);\n";
  // The window's close box changes nothing on disk.
  auto r = Run({"emend", "--to-trad", "-e", add + "close();"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Total: 1 records\n");
  EXPECT_FALSE(fs::exists(dir.path() / "home" / "user_b5fix.dat"));

  r = Run({"emend", "--to-trad", "-e", add + "click('btnClose');"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(Home("user_b5fix.dat").find(EncodeCodePage(kCodePageBig5, u"中華,華夏")),
            std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "home" / "b5fix.ndx"));  // the merged index, rebuilt
  r = Run({"convert", "--to-trad"}, "中华人民");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "華夏人民");

  // What the table's code page cannot hold is refused with a message.
  r = Run({"emend", "--to-trad", "-e",
           "answer('OK'); set('edtGB', '软件'); set('edtB5', '軟體'); click('btnIns'); click('btnClose');"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Home("user_b5fix.dat").find(EncodeCodePage(kCodePageBig5, u"軟體")), std::string::npos);
}

TEST_F(DialogWindows, ConfirmingAPageTwiceLeavesOneEntryWithTheSecondZoom) {
  auto r = Run({"autozoom", "http://example.com/news/a.html", "-e",
                "set('SpinEdit1', 120); answer('Yes'); click('BitBtn1');"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"autozoom", "http://example.com/news/a.html", "-e",
           "set('SpinEdit1', 90); click('BitBtn1');"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ini = Home("Quillmer.ini");
  EXPECT_NE(ini.find("AutoZoom=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("AutoURLCount=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("AutoZoomURL1=http://example.com/news/*"), std::string::npos) << ini;
  EXPECT_NE(ini.find("AutoZoomValue1=90"), std::string::npos) << ini;

  // Cancel stores nothing.
  r = Run({"autozoom", "http://other.example.com/", "-e", "click('BitBtn2');"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Home("Quillmer.ini"), ini);
}

TEST_F(DialogWindows, ScreenshotsShowTheDialogs) {
  const std::string png = (dir.path() / "emend.png").string();
  auto r = Run({"emend", "--to-simp", "-e", "screenshot('" + png + "');"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto info = testing::ReadPng(ReadAll(png));
  ASSERT_TRUE(info);
  EXPECT_GE(info->width, 500u);
  EXPECT_GT(info->colours, 8u);
  const std::string png2 = (dir.path() / "autozoom.png").string();
  r = Run({"autozoom", "http://example.com/", "-e", "screenshot('" + png2 + "');"});
  ASSERT_EQ(r.status, 0) << r.err;
  info = testing::ReadPng(ReadAll(png2));
  ASSERT_TRUE(info);
  EXPECT_GE(info->width, 380u);
}

}  // namespace
}  // namespace quillmer
