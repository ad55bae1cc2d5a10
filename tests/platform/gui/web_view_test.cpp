// The toolkit's web view on a real X server with a test extension of our own
// in its web process (test-webext/): loads, history, page calls, the question
// before a navigation, the context menu's entries, keys and pictures.
// Skipped, saying why, without a display or Xvfb.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/keys.h"
#include "platform/win32/window.h"
#include "tests/cli/run_program.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

constexpr int kLoadMs = 15000;

class GtkWebViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
      static testing::Xvfb xvfb;
      if (!xvfb.Start(testing::Xvfb::kEndWithLastClient)) {
        why_ = xvfb.Why();
        return;
      }
      ::setenv("DISPLAY", xvfb.Display().c_str(), 1);
    }
    ::setenv("QUILLMER_TOOLKIT", QUILLMER_TOOLKIT_LIB, 1);
    // Read when the first web view makes its engine context; the web
    // processes inherit the log's name.
    ::setenv("QUILLMER_WEBEXT_DIR", QUILLMER_TEST_WEBEXT_DIR, 1);
    static testing::TempDir logs;
    log_ = (logs / "asked.txt").string();
    ::setenv("QUILLMER_TEST_WEBEXT_LOG", log_.c_str(), 1);
    toolkit_ = LoadToolkit(&why_);
  }
  static void TearDownTestSuite() {
    if (toolkit_) SetToolkit(nullptr);
  }
  void SetUp() override {
    if (!toolkit_) GTEST_SKIP() << "no display for windows: " << why_;
    std::remove(log_.c_str());
  }
  void TearDown() override {
    if (!toolkit_) return;
    for (HWND h : made_)
      if (toolkit_->Exists(h)) DestroyWindow(h);
    made_.clear();
    ProcessMessages();
  }

  // A shown window filled by a web view whose messages are recorded.
  HWND View(const std::string& name) {
    HWND w = CreateControl(ControlKind::Window, nullptr, name + "Window",
                           [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    made_.push_back(w);
    toolkit_->SetInt(w, Prop::Left, 40);
    toolkit_->SetInt(w, Prop::Top, 30);
    toolkit_->SetInt(w, Prop::Width, 360);
    toolkit_->SetInt(w, Prop::Height, 240);
    HWND view = CreateControl(ControlKind::WebView, w, name,
                              [this](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
                                if (m == QM_NAVIGATE) navigations_.push_back(wp);
                                if (m == QM_CLICK) clicks_.push_back(wp);
                                return 0;
                              });
    EXPECT_NE(nullptr, view);
    toolkit_->SetInt(view, Prop::Width, 360);
    toolkit_->SetInt(view, Prop::Height, 240);
    toolkit_->SetInt(w, Prop::Visible, 1);
    for (int i = 0; i < 50 && !toolkit_->GetInt(w, Prop::ScreenLeft); ++i) WaitMessage(20);
    WaitMessage(100);
    return view;
  }
  std::string Page(const std::string& name, const std::string& html) {
    const std::string path = (pages_ / name).string();
    testing::WriteAll(path, "<meta charset='utf-8'>" + html);
    return path;
  }
  std::string Text(HWND h, Prop p) {
    char buf[1024];
    toolkit_->GetText(h, p, buf, sizeof buf);
    return buf;
  }
  // Until the load that n notifications ago had not ended has ended.
  bool AwaitLoadEnd(std::size_t from) {
    for (int waited = 0; waited < kLoadMs; waited += 20) {
      for (std::size_t i = from; i < navigations_.size(); ++i)
        if (navigations_[i] == kLoadFinished || navigations_[i] == kLoadFailed) {
          WaitMessage(50);
          return true;
        }
      WaitMessage(20);
    }
    return false;
  }
  bool Load(HWND view, const std::string& url) {
    const std::size_t from = navigations_.size();
    toolkit_->SetText(view, Prop::Url, url.c_str());
    return AwaitLoadEnd(from);
  }
  // The title may come after the load's end.
  std::string Title(HWND view, const std::string& want) {
    for (int i = 0; i < 100 && Text(view, Prop::Caption) != want; ++i) WaitMessage(20);
    return Text(view, Prop::Caption);
  }
  std::vector<std::string> Asked() {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool AwaitAsked(const std::string& part) {
    for (int waited = 0; waited < kLoadMs; waited += 20) {
      for (const std::string& line : Asked())
        if (line.find(part) != std::string::npos) return true;
      WaitMessage(20);
    }
    return false;
  }

  struct Answer {
    int calls = 0;
    bool ok = false;
    std::string text;
  };
  static void Take(void* context, bool ok, const char* text, std::size_t size) {
    auto* answer = static_cast<Answer*>(context);
    ++answer->calls;
    answer->ok = ok;
    answer->text.assign(text, size);
  }

  static inline Toolkit* toolkit_ = nullptr;
  static inline std::string why_;
  static inline std::string log_;
  testing::TempDir pages_;
  std::vector<HWND> made_;
  std::vector<WPARAM> navigations_;
  std::vector<WPARAM> clicks_;
};

TEST_F(GtkWebViewTest, AFilePageLoadsWithItsTitleAndHistoryGoesBackAndForth) {
  HWND view = View("Browse");
  const std::string a = Page("a.html", "<title>頁甲</title><p>A</p>");
  const std::string b = Page("b.html", "<title>頁乙</title><p>B</p>");
  ASSERT_TRUE(Load(view, a));  // a path: shown as its file: URL
  EXPECT_EQ("file://" + a, Text(view, Prop::Url));
  EXPECT_EQ("頁甲", Title(view, "頁甲"));
  EXPECT_EQ(0, toolkit_->GetInt(view, Prop::Loading));
  // Started, committed, finished in that order, the title among them.
  std::vector<WPARAM> loads;
  for (WPARAM w : navigations_)
    if (w != kTitleChanged) loads.push_back(w);
  EXPECT_EQ((std::vector<WPARAM>{kLoadStarted, kLoadCommitted, kLoadFinished}), loads);
  EXPECT_NE(navigations_.end(), std::find(navigations_.begin(), navigations_.end(), kTitleChanged));
  EXPECT_EQ(0, toolkit_->GetInt(view, Prop::CanGoBack));

  ASSERT_TRUE(Load(view, "file://" + b));
  EXPECT_EQ("頁乙", Title(view, "頁乙"));
  EXPECT_EQ(1, toolkit_->GetInt(view, Prop::CanGoBack));
  EXPECT_EQ(0, toolkit_->GetInt(view, Prop::CanGoForward));

  std::size_t from = navigations_.size();
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::Navigate, kGoBack));
  ASSERT_TRUE(AwaitLoadEnd(from));
  EXPECT_EQ("file://" + a, Text(view, Prop::Url));
  EXPECT_EQ(1, toolkit_->GetInt(view, Prop::CanGoForward));
  from = navigations_.size();
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::Navigate, kGoForward));
  ASSERT_TRUE(AwaitLoadEnd(from));
  EXPECT_EQ("file://" + b, Text(view, Prop::Url));
  // Read-only values stay the engine's.
  EXPECT_FALSE(toolkit_->SetInt(view, Prop::CanGoForward, 1));
  EXPECT_EQ(0, toolkit_->GetInt(view, Prop::CanGoForward));
  from = navigations_.size();
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::Navigate, kReload));
  ASSERT_TRUE(AwaitLoadEnd(from));
  // Each of those navigations asked the extension first, the address through
  // Url (once a page was there to ask) as well as back, forward and reload.
  auto asked = Asked();
  EXPECT_GE(std::count(asked.begin(), asked.end(), "file://" + b), 3);
  EXPECT_GE(std::count(asked.begin(), asked.end(), "file://" + a), 1);
  // An address the extension refuses is not loaded, not even through Url.
  const std::string refused = Page("cancel.html", "<title>No</title>");
  from = navigations_.size();
  toolkit_->SetText(view, Prop::Url, refused.c_str());
  ASSERT_TRUE(AwaitAsked("cancel.html"));
  WaitMessage(300);
  EXPECT_EQ("file://" + b, Text(view, Prop::Url));
  EXPECT_EQ(0, std::count(navigations_.begin() + static_cast<long>(from), navigations_.end(),
                          kLoadStarted));

  // A page that is not there fails, once, without a finish after it.
  from = navigations_.size();
  ASSERT_TRUE(Load(view, (pages_ / "missing.html").string()));
  std::vector<WPARAM> failed(navigations_.begin() + static_cast<long>(from), navigations_.end());
  EXPECT_EQ(1, std::count(failed.begin(), failed.end(), kLoadFailed));
  EXPECT_EQ(0, std::count(failed.begin(), failed.end(), kLoadFinished));
}

TEST_F(GtkWebViewTest, APageCallIsAnsweredByTheExtensionOrTimesOut) {
  HWND view = View("Calls");
  Answer none;
  const char* args[] = {"a", "中文"};
  // A window that is no web view is never asked.
  EXPECT_FALSE(toolkit_->PageCall(GetParent(view), "Echo", args, 2, Take, &none, 1000));
  EXPECT_EQ(0, none.calls);

  ASSERT_TRUE(Load(view, Page("p.html", "<title>P</title>")));
  Answer echo;
  ASSERT_TRUE(toolkit_->PageCall(view, "Echo", args, 2, Take, &echo, 5000));
  EXPECT_EQ(1, echo.calls);
  EXPECT_TRUE(echo.ok);
  EXPECT_EQ("a|中文", echo.text);
  Answer refused;
  ASSERT_TRUE(toolkit_->PageCall(view, "Unknown", nullptr, 0, Take, &refused, 5000));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ("refused", refused.text);

  // Too late: false, and no reply, not even when the answer comes after all.
  Answer late;
  const char* wait[] = {"600"};
  EXPECT_FALSE(toolkit_->PageCall(view, "Late", wait, 1, Take, &late, 100));
  WaitMessage(900);
  ProcessMessages();
  EXPECT_EQ(0, late.calls);
}

TEST_F(GtkWebViewTest, APageCallWhoseWebProcessWentFailsWithTheEnginesReason) {
  HWND view = View("Gone");
  ASSERT_TRUE(Load(view, Page("g.html", "<title>G</title>")));
  ::testing::internal::CaptureStderr();
  Answer crashed;  // the extension ends its process instead of answering
  ASSERT_TRUE(toolkit_->PageCall(view, "Crash", nullptr, 0, Take, &crashed, 5000));
  EXPECT_EQ(1, crashed.calls);
  EXPECT_FALSE(crashed.ok);
  EXPECT_FALSE(crashed.text.empty());
  WaitMessage(200);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, said.find("web process ended")) << said;
  // The engine gives the page a new process, and the view goes on.
  Answer after;
  const char* args[] = {"again"};
  ASSERT_TRUE(toolkit_->PageCall(view, "Echo", args, 1, Take, &after, 5000));
  EXPECT_TRUE(after.ok);
  EXPECT_EQ("again", after.text);
}

TEST_F(GtkWebViewTest, ALinkClickIsAskedAboutFirstAndAnAnswerOfOneCancelsIt) {
  HWND view = View("Links");
  const std::string style = "style='display:block;width:100%;height:100vh'";
  Page("cancel-me.html", "<title>Cancelled</title>");
  Page("next.html", "<title>Next</title>");
  const std::string first =
      Page("first.html", "<title>First</title><body style='margin:0'><a href='cancel-me.html' " +
                             style + ">x</a>");
  ASSERT_TRUE(Load(view, first));
  ASSERT_EQ("First", Title(view, "First"));
  const std::size_t from = navigations_.size();
  ASSERT_TRUE(toolkit_->Click(view, 1));
  ASSERT_TRUE(AwaitAsked("cancel-me.html"));
  WaitMessage(500);
  EXPECT_EQ("file://" + first, Text(view, Prop::Url));
  EXPECT_EQ("First", Text(view, Prop::Caption));
  EXPECT_EQ(0, std::count(navigations_.begin() + static_cast<long>(from), navigations_.end(),
                          kLoadStarted));

  const std::string second =
      Page("second.html", "<title>Second</title><body style='margin:0'><a href='next.html' " +
                              style + ">x</a>");
  ASSERT_TRUE(Load(view, second));
  ASSERT_EQ("Second", Title(view, "Second"));
  const std::size_t before = navigations_.size();
  ASSERT_TRUE(toolkit_->Click(view, 1));
  ASSERT_TRUE(AwaitLoadEnd(before));
  EXPECT_TRUE(AwaitAsked("next.html"));
  EXPECT_EQ("Next", Title(view, "Next"));
}

TEST_F(GtkWebViewTest, OurEntriesInThePagesContextMenuAreChosenByIndex) {
  HWND view = View("Menu");
  toolkit_->SetText(view, Prop::Items, "繁轉簡", 0);
  toolkit_->SetText(view, Prop::Items, "簡轉繁", 1);
  toolkit_->SetText(view, Prop::Items, "Zoom", 2);
  toolkit_->SetInt(view, Prop::ItemCount, 2);  // fewer: the rest go
  EXPECT_EQ(2, toolkit_->GetInt(view, Prop::ItemCount));
  ASSERT_TRUE(Load(view, Page("m.html", "<title>M</title><body><p>中文</p>")));
  EXPECT_FALSE(toolkit_->SetInt(view, Prop::ItemIndex, 0));  // no menu open

  ASSERT_TRUE(toolkit_->Click(view, 3));
  testing::TempDir dir;
  const std::string shot = (dir / "menu.png").string();
  ASSERT_TRUE(toolkit_->Screenshot(GetParent(view), shot.c_str()));
  EXPECT_FALSE(toolkit_->SetInt(view, Prop::ItemIndex, 2));  // no such entry
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::ItemIndex, 1));
  for (int i = 0; i < 50 && clicks_.empty(); ++i) WaitMessage(20);
  EXPECT_EQ(std::vector<WPARAM>{1}, clicks_);
  // The menu closed with the choice.
  EXPECT_FALSE(toolkit_->SetInt(view, Prop::ItemIndex, 0));

  ASSERT_TRUE(toolkit_->Click(view, 3));
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::ItemIndex, 0));
  for (int i = 0; i < 50 && clicks_.size() < 2; ++i) WaitMessage(20);
  EXPECT_EQ((std::vector<WPARAM>{1, 0}), clicks_);
}

TEST_F(GtkWebViewTest, AFocusedViewGivesThePageTheKeysAndIsInTheScreenshot) {
  HWND view = View("Keys");
  ASSERT_TRUE(Load(view, Page("k.html",
                              "<title>none</title><body style='background:#ff0000'>"
                              "<script>document.addEventListener('keydown', e => {"
                              " document.title = 'key ' + e.key; });</script>")));
  ASSERT_EQ("none", Title(view, "none"));
  ASSERT_TRUE(toolkit_->SetInt(view, Prop::Focused, 1));
  WaitMessage(100);
  EXPECT_EQ(1, toolkit_->GetInt(view, Prop::Focused));
  ASSERT_TRUE(toolkit_->PressKey('K', false, false, false));
  for (int i = 0; i < 100 && Text(view, Prop::Caption) == "none"; ++i) WaitMessage(20);
  EXPECT_EQ("key k", Text(view, Prop::Caption));

  testing::TempDir dir;
  const std::string path = (dir / "page.png").string();
  ASSERT_TRUE(toolkit_->Screenshot(GetParent(view), path.c_str()));
  auto picture = testing::ReadPng(testing::ReadAll(path), 0, 0xFF0000);
  ASSERT_TRUE(picture);
  EXPECT_GT(picture->matching, picture->width * picture->height / 2);
}

}  // namespace
}  // namespace quillmer
