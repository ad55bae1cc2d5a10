// quillmer browse --window on a real X server: the toolbar band in its site
// above the page, driven by scripts and by a pointer from outside. Skipped,
// saying why, without Xvfb or the window toolkit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::WriteAll;
namespace fs = std::filesystem;

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

class BrowseWindow : public ::testing::Test {
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
    Language(1252);
    ASSERT_EQ(Run({"register", module}).status, 0);
  }

  void Language(int acp) {
    env = {"QUILLMER_REGISTRY=" + testing::ShellQuote((dir / "registry").string()),
           "QUILLMER_HOME=" + testing::ShellQuote((dir / "home").string()),
           "QUILLMER_ACP=" + std::to_string(acp), "DISPLAY=" + xvfb_.Display(),
           "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)};
  }
  testing::RunResult Run(const std::vector<std::string>& args) {
    return RunQuillmer(args, "", env);
  }
  testing::RunResult Window(const std::string& page, const std::string& code) {
    return Run({"browse", "--window", "--engine", "model", "-e", code, page});
  }
  void Settings(const std::string& ini) { WriteAll(dir / "home" / "Quillmer.ini", ini); }
  static bool Contains(const std::string& text, std::u16string_view what) {
    return text.find(EncodeCodePage(936, what)) != std::string::npos;
  }
  // The names of the controls a controls() listing shows, in its order.
  static std::vector<std::string> Names(const std::string& json) {
    std::vector<std::string> names;
    std::regex name("\"name\":\"([^\"]*)\"");
    for (std::sregex_iterator it(json.begin(), json.end(), name), end; it != end; ++it)
      names.push_back((*it)[1]);
    return names;
  }

  static inline testing::Xvfb xvfb_;
  static inline std::string why_;
  testing::TempDir dir;
  std::vector<std::string> env;
  std::string module;
};

TEST_F(BrowseWindow, TheToolbarConvertsZoomsAndSwitchesTheAutomaticMode) {
  fs::create_directories(dir / "out");
  const std::string out = (dir / "out" / "conv_frames.html").string();
  auto r =
      Window(kPages + "conv_frames.html", "click('ToolButton1'); print(title()); save('" + out +
                                              "');\n"
                                              "click('ToolButton2'); print(title());");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "中華框架\n中华框架\n");
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame1.html"), u"頭髮 中華"));
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame1_inner.html"), u"中國"));
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame2.html"), u"中華 頭髮"));

  r = Window(kPages + "conv_frame2.html",
             "click('ToolButton10'); click('ToolButton10'); print(zoom());\n"
             "click('ToolButton11'); print(zoom()); menu('ZoomReset'); print(zoom());\n"
             "menu('AutoTrad'); print(title());");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "120\n110\n100\n中華二\n");
  // Written at once, not at exit.
  EXPECT_NE(ReadAll(dir / "home" / "Quillmer.ini").find("AutoConvert=2"), std::string::npos);
}

TEST_F(BrowseWindow, TheButtonsAndTextsFollowTheSettingsAndTheLanguage) {
  const std::string list = "print(JSON.stringify(controls()));";
  Settings("[Interface]\nShowClipBtn=0\nShowZoomBtn=1\n");
  auto r = Window(kPages + "conv_frame2.html", list);
  ASSERT_EQ(r.status, 0) << r.err;
  auto names = Names(r.out);
  auto has = [&](const char* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
  EXPECT_TRUE(has("ToolButton1") && has("ToolButton2") && has("ToolButton10") && has("ToolButton7"))
      << r.out;
  EXPECT_FALSE(has("ToolButton4") || has("ToolButton5")) << r.out;
  Settings("[Interface]\nShowClipBtn=1\nShowZoomBtn=0\n");
  r = Window(kPages + "conv_frame2.html", list);
  names = Names(r.out);
  EXPECT_TRUE(has("ToolButton4") && has("ToolButton5")) << r.out;
  EXPECT_FALSE(has("ToolButton10") || has("ToolButton11")) << r.out;

  const std::pair<int, const char*> hints[] = {{936, "\"hint\":\"网页: 简转繁\""},
                                               {950, "\"hint\":\"網頁: 簡轉繁\""},
                                               {1252, "\"hint\":\"Webpage: Sim. to Trad.\""}};
  for (const auto& [acp, hint] : hints) {
    Language(acp);
    r = Window(kPages + "conv_frame2.html",
               "print(JSON.stringify(controls().filter(function (c) {\n"
               "  return c.name === 'ToolButton1'; })));");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(hint), std::string::npos) << acp << ": " << r.out;
  }
}

// The window stays while a pointer from another program (xdotool) clicks
// ToolButton1 where controls() says it is.
TEST_F(BrowseWindow, ARealClickFromOutsideConvertsThePage) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is missing";
  const std::string code =
      "var b = controls().filter(function (c) { return c.name === 'ToolButton1'; })[0];\n"
      "print(b.x + Math.floor(b.width / 2), b.y + Math.floor(b.height / 2));\n"
      "var before = title();\n"
      "for (var i = 0; i < 100 && title() === before; i++) wait(100);\n"
      "print(title());";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    for (const auto& e : env) {
      auto eq = e.find('=');
      std::string value = e.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'') value = value.substr(1, value.size() - 2);
      ::setenv(e.substr(0, eq).c_str(), value.c_str(), 1);
    }
    std::string page = kPages + "conv_frame2.html";
    ::execl(QUILLMER_BINARY, QUILLMER_BINARY, "browse", "--window", "--engine", "model", "-e",
            code.c_str(), page.c_str(), nullptr);
    _exit(127);
  }
  ::close(out[1]);
  std::string text;
  auto readLine = [&] {
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    return line;
  };
  const std::string where = readLine();
  std::istringstream in(where);
  int x = -1, y = -1;
  in >> x >> y;
  ASSERT_GE(x, 0) << where;
  const std::string click = "DISPLAY=" + xvfb_.Display() + " xdotool mousemove " +
                            std::to_string(x) + " " + std::to_string(y) + " click 1";
  EXPECT_EQ(std::system(click.c_str()), 0);
  text = readLine();
  ::close(out[0]);
  bool timedOut = false;
  int status =
      testing::Reap(pid, std::chrono::steady_clock::now() + std::chrono::seconds(30), timedOut);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "中華二");
}

TEST_F(BrowseWindow, AScreenshotShowsTheToolbarAndThePage) {
  const std::string shot = (dir / "window.png").string();
  auto r = Window(std::string(QUILLMER_SOURCE_DIR) + "/examples/page.html",
                  "screenshot('" + shot + "');");
  ASSERT_EQ(r.status, 0) << r.err;
  // Below the toolbar: the page's text, drawn once it has loaded, not a
  // blank view.
  auto png = testing::ReadPng(ReadAll(shot), 60);
  ASSERT_TRUE(png);
  EXPECT_GE(png->width, 400u);
  EXPECT_GE(png->height, 300u);
  EXPECT_GT(png->colours, 16u);
}

TEST_F(BrowseWindow, WithoutADisplayTheWindowIsRefusedClearly) {
  env.push_back("DISPLAY=");
  auto r = Window(kPages + "conv_frame2.html", "print(1)");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot open a window"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quillmer
