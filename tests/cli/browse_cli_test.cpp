// quillmer browse, from outside: pages, scripts, their errors, and the add-on
// loaded only when registered.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::WriteAll;

namespace fs = std::filesystem;

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

class BrowseCli : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "home");
    env = {"QUILLMER_REGISTRY=" + testing::ShellQuote((dir / "registry").string()),
           "QUILLMER_HOME=" + testing::ShellQuote((dir / "home").string()), "QUILLMER_ACP=1252",
           "DISPLAY="};
    module = (dir / "Quillmer.so").string();
    fs::copy_file(QUILLMER_MODULE, module);
  }
  testing::RunResult Run(const std::vector<std::string>& args) {
    return RunQuillmer(args, "", env);
  }
  testing::RunResult Script(const std::string& code) { return Run({"browse", "-e", code}); }

  testing::TempDir dir;
  std::vector<std::string> env;
  std::string module;
};

TEST_F(BrowseCli, APageAloneIsWrittenAsLoaded) {
  auto r = Run({"browse", kPages + "browser_right.html"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("<title>Right</title>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("zoom: 120%"), std::string::npos);

  r = Run({"browse", kPages + "no_such_page.html"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no_such_page.html"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"browse"}).status, 2);
  EXPECT_EQ(Run({"browse", "-e", "1", "--script", "x.js"}).status, 2);
}

TEST_F(BrowseCli, AScriptReadsThePageTypesSubmitsAndFollowsLinks) {
  auto r = Script("navigate('" + kPages +
                  "browse_form.html');\n"
                  "print(title(), charset(), zoom());\n"
                  "setValue('q', '台湾');\n"
                  "setValue('pw', 'secret');\n"
                  "var sent = submit('search');\n"
                  "print(sent.charset, sent.fields[0][1], sent.fields[2][1], sent.fields.length);\n"
                  "print(submit(1));\n"
                  "navigate('" +
                  kPages +
                  "browse_links.html');\n"
                  "follow('右边');\n"
                  "print(title(), history().length, history()[1].url.split('/').pop());\n"
                  "print(text().indexOf('x') >= 0, property('OrigCharset'), addons());\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "表单 gb2312 100\n"
            "gb2312 台湾 secret 8\n"
            "{\"charset\":\"gb2312\",\"fields\":[[\"x\",\"1\"]]}\n"
            "Right 2 browse_links.html\n"
            "true undefined []\n");
}

TEST_F(BrowseCli, SavesThePageWithItsFrames) {
  fs::create_directories(dir / "out");
  auto r = Script("navigate('" + kPages + "conv_frames.html'); save('" +
                  (dir / "out" / "page.html").string() + "'); wait(5);");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "out" / "page.html"));
  EXPECT_TRUE(fs::exists(dir / "out" / "conv_frame1_inner.html"));
}

TEST_F(BrowseCli, AScriptErrorIsReportedWithItsLine) {
  WriteAll(dir / "s.js", "print('one');\n\nkey('Ctrl+Bogus');\nprint('never');\n");
  auto r = Run({"browse", "--script", (dir / "s.js").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "one\n");
  EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Ctrl+Bogus"), std::string::npos) << r.err;

  r = Script("var x = 1;\nundefinedFunction();");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  r = Script("navigate('" + kPages + "browse_form.html');\nsetValue('nothing', 'x');");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
}

TEST_F(BrowseCli, TheHelperIsLoadedOnlyWhenRegistered) {
  const std::string code = "print(addons()); navigate('" + kPages +
                           "conv_frame2.html'); key('Ctrl+Alt+T'); print(title().length);";
  auto r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[]\n3\n");
  ASSERT_EQ(Run({"register", module}).status, 0);
  r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[\"{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}\"]\n3\n");
  ASSERT_EQ(Run({"unregister", module}).status, 0);
  r = Script("print(addons())");
  EXPECT_EQ(r.out, "[]\n");
}

TEST_F(BrowseCli, TheHelperZoomsPagesByTheirUrlAndRunsHotkeys) {
  WriteAll(dir / "home" / "Quillmer.ini",
           "[Zoom]\nAutoZoom=1\nZoomIncrement=10\n"
           // Patterns are cut at 48 characters: keep this one independent of the checkout's path.
           "[Zoom_Ex]\nAutoURLCount=2\nAutoZoomValue1=130\nAutoZoomURL1=file://*/pages/browser_r*\n"
           "AutoZoomValue2=50\nAutoZoomURL2=[unclosed\n"
           "[HotKeys]\nKey5=49242\n");  // Ctrl+Alt+Z
  const std::string code = "navigate('" + kPages +
                           "browser_right.html'); print(zoom());\n"
                           "key('Ctrl+Alt+Z'); key('Ctrl+Z'); print(zoom());\n"
                           "navigate('" +
                           kPages + "browse_form.html'); print(zoom());";
  auto r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "100\n100\n100\n");  // no helper: the page's own zoom
  ASSERT_EQ(Run({"register", module}).status, 0);
  r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "130\n140\n100\n");
}

TEST_F(BrowseCli, TheHelperSendsFormsInThePagesScript) {
  WriteAll(dir / "big5.html",
           "<html><head><meta charset=\"big5\"></head><body>"
           "<form name=\"f\"><input name=\"q\"><input name=\"n\" value=\"1\"></form>"
           "</body></html>");
  for (auto& e : env)
    if (e.rfind("QUILLMER_ACP=", 0) == 0) e = "QUILLMER_ACP=936";
  ASSERT_EQ(Run({"register", module}).status, 0);
  const std::string code = "navigate('" + (dir / "big5.html").string() +
                           "'); setValue('q', '简体中文');\n"
                           "var sent = submit('f'); print(sent.charset, sent.fields[0][1]);";
  auto r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "big5 簡體中文\n");
  WriteAll(dir / "home" / "Quillmer.ini", "[Text_Convert]\nConvertOnSubmit=0\n");
  r = Script(code);
  ASSERT_EQ(r.status, 0) << r.err;
  // As typed: what Big5 cannot hold goes as a character reference.
  EXPECT_EQ(r.out, "big5 &#31616;体中文\n");
}

// The helper at work: pages converted while they load, frames included, as
// the settings and the registration say.
class BrowseHelperCli : public BrowseCli {
 protected:
  void Settings(const std::string& ini) { WriteAll(dir / "home" / "Quillmer.ini", ini); }
  bool Contains(const std::string& text, std::u16string_view what, UINT cp = 936) {
    return text.find(EncodeCodePage(cp, what)) != std::string::npos;
  }
};

TEST_F(BrowseHelperCli, ConvertsThePageAndItsFramesWhenRegisteredAndSwitchedOn) {
  const std::string page = kPages + "conv_frame2.html";
  Settings("[Text_Convert]\nAutoConvert=2\n");
  // Not registered: no helper, nothing converted.
  auto r = Run({"browse", page});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, u"中华 头发")) << r.out;

  ASSERT_EQ(Run({"register", module}).status, 0);
  r = Run({"browse", page});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, u"<title>中華二</title>")) << r.out;
  EXPECT_TRUE(Contains(r.out, u"中華 頭髮")) << r.out;

  fs::create_directories(dir / "out");
  r = Script("navigate('" + kPages + "conv_frames.html'); print(title()); save('" +
             (dir / "out" / "page.html").string() + "');");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "中華框架\n");
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame1.html"), u"頭髮 中華"));
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame1_inner.html"), u"中國"));
  EXPECT_TRUE(Contains(ReadAll(dir / "out" / "conv_frame2.html"), u"中華 頭髮"));

  // Switched off: as it was.
  Settings("[Text_Convert]\nAutoConvert=0\n");
  r = Run({"browse", page});
  EXPECT_TRUE(Contains(r.out, u"中华 头发")) << r.out;

  // Under the name of the system's file manager the helper stays inert.
  Settings("[Text_Convert]\nAutoConvert=2\n");
  fs::create_symlink(QUILLMER_BINARY, dir / "explorer.exe");
  r = testing::RunProgram((dir / "explorer.exe").string(), {"browse", page}, "", env);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, u"中华 头发")) << r.out;
}

TEST_F(BrowseHelperCli, APageSwitchedToBig5LeavesWithItsOwnCharset) {
  ASSERT_EQ(Run({"register", module}).status, 0);
  Settings("[Text_Convert]\nAutoConvert=2\nAlterWBCharset=1\n");
  auto r = Script("navigate('" + kPages + "conv_frame2.html');\n" +
                  "print(charset(), property('OrigCharset'), text().trim());\n" + "navigate('" +
                  kPages + "conv_frame1_inner.html');\n" +
                  "print(history()[0].charset, property('OrigCharset'));\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "big5 gb2312 中華 頭髮\ngb2312 gb2312\n");

  // Without the switch the page keeps its charset and is left as it is.
  Settings("[Text_Convert]\nAutoConvert=2\n");
  r = Script("navigate('" + kPages + "conv_frame2.html'); print(charset());" + "navigate('" +
             kPages + "conv_frame1_inner.html'); print(history()[0].charset);");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "gb2312\ngb2312\n");
}

}  // namespace
}  // namespace quillmer
