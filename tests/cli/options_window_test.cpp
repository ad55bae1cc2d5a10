// quillmer options on a real X server: scripts tick, type and press keys in
// the dialog, and closing it stores what they changed. Skipped, saying why,
// without Xvfb or the window toolkit.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/run_program.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::WriteAll;
namespace fs = std::filesystem;

constexpr const char* kHelperKey =
    "Browser Helper Objects\\{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}]";

class OptionsWindow : public ::testing::Test {
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
    fs::create_directories(dir / "home");
    module = (dir / "Quillmer.so").string();
    fs::copy_file(QUILLMER_MODULE, module);
    env = {"QUILLMER_REGISTRY=" + testing::ShellQuote((dir / "registry").string()),
           "QUILLMER_HOME=" + testing::ShellQuote((dir / "home").string()),
           "QUILLMER_ACP=1252", "DISPLAY=" + xvfb_.Display(),
           "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)};
    ASSERT_EQ(Run({"register", module}).status, 0);
  }
  testing::RunResult Run(const std::vector<std::string>& args) {
    return RunQuillmer(args, "", env);
  }
  testing::RunResult Options(const std::string& code) { return Run({"options", "-e", code}); }
  std::string Ini() const { return ReadAll(dir / "home" / "Quillmer.ini"); }
  bool Has(const std::string& line) const { return Ini().find(line + "\n") != std::string::npos; }
  std::string Registry() { return Run({"registry"}).out; }

  static inline testing::Xvfb xvfb_;
  static inline std::string why_;
  testing::TempDir dir;
  std::vector<std::string> env;
  std::string module;
};

TEST_F(OptionsWindow, UntickingTheHelperRemovesItsKeyAndEndsAutomaticConversion) {
  WriteAll(dir / "home" / "Quillmer.ini", "[Text_Convert]\nAutoConvert=2\n");
  ASSERT_NE(Registry().find(kHelperKey), std::string::npos);
  auto r = Options("set('Conversion', 2); set('cb_EnableHelper', false); close();");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Registry().find(kHelperKey), std::string::npos);
  EXPECT_TRUE(Has("AutoConvert=0")) << Ini();
}

TEST_F(OptionsWindow, AHotKeyIsStoredAndEscapeStillSaves) {
  auto r = Options(
      "set('Conversion', 4); set('HotKey1', 'Ctrl+Alt+T'); set('SpinEdit1', 20);"
      "click('HotKey2'); key('Escape');"
      "try { controls(); print('open'); } catch (e) { print('closed'); }");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "closed\n");
  EXPECT_TRUE(Has("Key1=49236")) << Ini();
  EXPECT_TRUE(Has("ZoomIncrement=20")) << Ini();
}

TEST_F(OptionsWindow, ShrinkingTheListFromFiveToThreeRemovesKeysFourAndFive) {
  std::string ini = "[Zoom_Ex]\nAutoURLCount=5\n";
  for (int i = 1; i <= 5; ++i)
    ini += "AutoZoomValue" + std::to_string(i) + "=1" + std::to_string(i) + "0\nAutoZoomURL" +
           std::to_string(i) + "=http://e" + std::to_string(i) + ".com/*\n";
  WriteAll(dir / "home" / "Quillmer.ini", ini);
  // A cell set to what it holds selects its row.
  auto r = Options(
      "set('Conversion', 3);"
      "set('StringGrid1', [5, 1, 'http://e5.com/*']); click('SpeedButton2');"
      "set('StringGrid1', [4, 1, 'http://e4.com/*']); click('SpeedButton2');"
      "click('Button1');");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has("AutoURLCount=3")) << Ini();
  EXPECT_TRUE(Has("AutoZoomURL3=http://e3.com/*")) << Ini();
  EXPECT_EQ(Ini().find("AutoZoomURL4"), std::string::npos) << Ini();
  EXPECT_EQ(Ini().find("AutoZoomValue5"), std::string::npos) << Ini();
}

TEST_F(OptionsWindow, WithoutADisplayItSaysSo) {
  env[3] = "DISPLAY=:987";
  auto r = Options("close()");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot open a window"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quillmer
