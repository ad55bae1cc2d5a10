// The browser's interfaces over a live page: a web view (webdom_host) loads
// a test page with only our test extension, which runs the product's page
// code on the engine's DOM and reports what it saw, a "key=value" line each.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/webdom/";

class LivePageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) {
      display_ = std::getenv("DISPLAY");
      return;
    }
    static testing::Xvfb xvfb;
    if (!xvfb.Start()) {
      why_ = xvfb.Why();
      return;
    }
    display_ = xvfb.Display();
  }
  void SetUp() override {
#ifndef QUILLMER_WEBDOM_HOST
    GTEST_SKIP() << "this build has no modules for the engine's web process (sanitizers)";
#endif
    if (display_.empty()) GTEST_SKIP() << "no display for a web view: " << why_;
  }

  // The reports for a page; "exit" holds the host's exit status.
  std::map<std::string, std::string> Run(const std::string& page) {
#ifndef QUILLMER_WEBDOM_HOST
    (void)page;
    return {};
#else
    std::string command = "DISPLAY=" + display_ + " '" + QUILLMER_WEBDOM_HOST + "' '" +
                          QUILLMER_WEBDOM_EXTENSION_DIR + "' 'file://" + kPages + page + "'";
    std::map<std::string, std::string> out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      auto eq = s.find('=');
      if (eq != std::string::npos) out[s.substr(0, eq)] = s.substr(eq + 1);
    }
    int status = ::pclose(pipe);
    out["exit"] = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return out;
#endif
  }

  static std::string display_;
  static std::string why_;
};

std::string LivePageTest::display_;
std::string LivePageTest::why_;

TEST_F(LivePageTest, FramesAreBrowsersAndTheTextWalkConvertsTheLivePage) {
  auto r = Run("frames.html");
  ASSERT_EQ(r["exit"], "0");
  // Inner frames complete first; the top one last, after DownloadComplete
  // while still interactive.
  const std::string& events = r["events"];
  EXPECT_LT(events.find("DC(frame_inner.html"), events.find("DC(frame_right.html")) << events;
  EXPECT_NE(events.find("DLC(3) DC(top,frames.html)"), std::string::npos) << events;
  EXPECT_EQ(events.find("NC2(top,frames.html)"), 0u) << events;
  EXPECT_EQ(r["title"], "简体框架");
  EXPECT_EQ(r["charset"], "gb2312");  // the engine's GBK as the old browser names it
  EXPECT_EQ(r["top.embeddings"], "2");
  // Frames and iframes are browsers leading to the top one; an <embed> is none.
  EXPECT_EQ(r["tree"], "frame_left.html[ok]{object } frame_right.html[ok]{frame_inner.html } ");
  EXPECT_EQ(r["same.browser"], "yes");

  EXPECT_EQ(r["text.frame_left.html"].rfind("這裡是簡體中文，發展經濟。", 0), 0u)
      << r["text.frame_left.html"];
  EXPECT_EQ(r["text.frame_right.html"].rfind("頭髮", 0), 0u) << r["text.frame_right.html"];
  EXPECT_EQ(r["text.frame_inner.html"], "中國");
  EXPECT_EQ(r["title.after"], "簡體框架");
  // The switch to the target script's charset is recorded on each document.
  EXPECT_EQ(r["charset.frame_left.html"], "big5");
  EXPECT_EQ(r["OrigCharset"], "gb2312");
}

TEST_F(LivePageTest, FormsCharsetZoomStyleSheetsAndAPageLeft) {
  auto r = Run("form.html");
  ASSERT_EQ(r["exit"], "0");
  EXPECT_EQ(r["charset"], "big5");
  EXPECT_EQ(r["form.advise"], "00000000");
  // What the user typed, not the markup's default.
  EXPECT_EQ(r["q.value"], "typed");
  EXPECT_EQ(r["put.bad"], "80070057");  // E_INVALIDARG
  EXPECT_EQ(r["charset.after"], "utf-8");
  EXPECT_EQ(r["accept-charset"], "utf-8");
  EXPECT_EQ(r["zoom"], "120%");
  EXPECT_EQ(r["zoom.after"], "150%");
  EXPECT_EQ(r["sheets"], "2");
  EXPECT_EQ(r["sheet0.href"], "form.css");
  EXPECT_EQ(r["sheet0.text"], "body { margin: 3px; }");
  EXPECT_EQ(r["sheet1.text"], "p { color: red; }");
  EXPECT_EQ(r["sheet0.after"], "body { margin: 5px; }");
  EXPECT_EQ(r["style.elements"], "2");
  EXPECT_EQ(r["submitted"], "yes");
  // The sink ran before the form was sent: its value went.
  EXPECT_EQ(r["url"], "result.html?q=changed&k=1");
  EXPECT_NE(r["events"].find("SUBMIT(submit) NC2(top,result.html"), std::string::npos)
      << r["events"];
  // A document held across the navigation fails cleanly.
  EXPECT_EQ(r["stale.title"], "80010108");  // RPC_E_DISCONNECTED
  // The page left, with the charset it was switched to.
  EXPECT_EQ(r["left"], "utf-8 form.html;");
}

TEST_F(LivePageTest, KeysReachTheDocumentsSinksAsVirtualKeyCodes) {
  auto r = Run("keys.html");
  ASSERT_EQ(r["exit"], "0");
  EXPECT_EQ(r["doc.advise"], "00000000");
  EXPECT_EQ(r["key0"], "65");
  EXPECT_EQ(r["key1"], "66");
  EXPECT_EQ(r["key2"], "67+shift");
  EXPECT_EQ(r["key3"], "113");  // F2
  // The sink cancelled b: it never reached the field.
  EXPECT_EQ(r["field"], "aC");
}

}  // namespace
}  // namespace quillmer
