// quillmer browse --window --engine webkit on real pages served over HTTP
// (tests/support/serve.py, tests/data/web/): what a user of the window sees
// and what the server receives. Skipped, saying why, without python3, Xvfb,
// the window toolkit or the engine's extension.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"
#include "tests/support/http_server.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

using testing::HttpServer;
using testing::ReadAll;
using testing::RunQuillmer;
using testing::WriteAll;
namespace fs = std::filesystem;

const fs::path kWeb = fs::path(QUILLMER_SOURCE_DIR) / "tests" / "data" / "web";

bool Has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// A form's value as a browser sends it (application/x-www-form-urlencoded),
// from the bytes of the value in the form's charset.
std::string FormEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_')
      out += static_cast<char>(c);
    else if (c == ' ')
      out += '+';
    else
      out += {'%', kHex[c >> 4], kHex[c & 15]};
  }
  return out;
}

// The bytes a browser sends for text in code page cp: a character the code
// page cannot hold goes as a numeric character reference, and a line break
// as CR LF.
std::string AsSent(UINT cp, std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') {
      out += "\r\n";
      continue;
    }
    if (auto b = EncodeCodePageExactly(cp, text.substr(i, 1)))
      out += *b;
    else
      out += "&#" + std::to_string(static_cast<unsigned>(text[i])) + ";";
  }
  return out;
}

// The engine names a gb2312 page by the encoding it reads it with.
bool IsGb(std::string charset) {
  std::transform(charset.begin(), charset.end(), charset.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return charset == "gb2312" || charset == "gbk";
}

// The parts of a script's output between lines "@@".
std::vector<std::string> Parts(const std::string& out) {
  std::vector<std::string> parts(1);
  std::size_t at = 0;
  while (at < out.size()) {
    std::size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(at, end - at);
    if (line == "@@")
      parts.emplace_back();
    else
      parts.back() += line + "\n";
    at = end + 1;
  }
  return parts;
}

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// The server on its own, as the window's tests use it.
TEST(HttpServerFixture, ServesWithTheNamedCharsetRecordsRawBytesAndEndsWithItsInput) {
  HttpServer server;
  if (!server.Start(kWeb)) GTEST_SKIP() << server.Why();

  auto r = testing::HttpRequest(server.Port(), "GET", "/frames.gb2312.html");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_TRUE(Has(r->headers, "Content-type: text/html; charset=gb2312")) << r->headers;
  EXPECT_EQ(r->body, ReadAll(kWeb / "frames.gb2312.html"));
  r = testing::HttpRequest(server.Port(), "GET", "/form.big5.html");
  ASSERT_TRUE(r);
  EXPECT_TRUE(Has(r->headers, "text/html; charset=big5")) << r->headers;
  // Only the page's <meta> tells.
  r = testing::HttpRequest(server.Port(), "GET", "/frame2.html");
  ASSERT_TRUE(r);
  EXPECT_TRUE(Has(r->headers, "Content-type: text/html\r\n")) << r->headers;
  r = testing::HttpRequest(server.Port(), "GET", "/style.gb2312.css");
  ASSERT_TRUE(r);
  EXPECT_TRUE(Has(r->headers, "text/css; charset=gb2312")) << r->headers;
  // Nothing outside the folder.
  r = testing::HttpRequest(server.Port(), "GET", "/../pages/conv_frame2.html");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 404);

  const std::string raw = "q=%A4%A4&t=\xB5\xD8 <b>\r\n";
  r = testing::HttpRequest(server.Port(), "POST", "/submit", raw);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_TRUE(Has(r->body, "<pre id=\"raw\">q=%A4%A4&amp;t=%B5%D8%20&lt;b&gt;%0D%0A</pre>"))
      << r->body;
  r = testing::HttpRequest(server.Port(), "GET", "/echo?q=%A4%A4");
  ASSERT_TRUE(r);
  EXPECT_TRUE(Has(r->body, "<pre id=\"raw\">q=%A4%A4</pre>")) << r->body;

  auto log = server.Log();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].method, "GET");
  EXPECT_EQ(log[0].target, "/frames.gb2312.html");
  EXPECT_EQ(log[5].method, "POST");
  EXPECT_EQ(log[5].target, "/submit");
  EXPECT_EQ(log[5].body, raw);
  EXPECT_EQ(log[6].target, "/echo?q=%A4%A4");
  EXPECT_EQ(server.Url("/next.html"),
            "http://127.0.0.1:" + std::to_string(server.Port()) + "/next.html");

  const int port = server.Port();
  EXPECT_TRUE(server.Stop());  // ended by itself, not killed
  EXPECT_FALSE(testing::HttpRequest(port, "GET", "/next.html", "", 500));
}

class EngineWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(QUILLMER_TOOLKIT_LIB))
      why_ = "the window toolkit was not built";
    else if (!server_.Start(kWeb))
      why_ = server_.Why();
    else if (!xvfb_.Start())
      why_ = xvfb_.Why();
    else
      why_ = ProbeEngine();
  }
  static void TearDownTestSuite() {
    xvfb_.Stop();
    server_.Stop();
  }

  void SetUp() override {
    if (!why_.empty()) GTEST_SKIP() << why_;
    Prepare(dir, 1252);
    env = Env(dir, 1252);
  }

  // A home with the module registered (the helper, the band and the
  // context-menu entries), for a system with code page acp.
  static void Prepare(const testing::TempDir& at, int acp) {
    fs::create_directories(at / "home");
    fs::copy_file(QUILLMER_MODULE, at / "Quillmer.so", fs::copy_options::overwrite_existing);
    RunQuillmer({"register", (at / "Quillmer.so").string()}, "", Env(at, acp));
  }
  static std::vector<std::string> Env(const testing::TempDir& at, int acp) {
    return {"QUILLMER_REGISTRY=" + testing::ShellQuote((at / "registry").string()),
            "QUILLMER_HOME=" + testing::ShellQuote((at / "home").string()),
            "QUILLMER_ACP=" + std::to_string(acp), "DISPLAY=" + xvfb_.Display(),
            "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)};
  }
  static testing::RunResult Window(const std::vector<std::string>& env, const std::string& code,
                                   const std::string& url = "") {
    std::vector<std::string> args = {"browse", "--window", "--engine", "webkit", "-e", code};
    if (!url.empty()) args.push_back(url);
    return RunQuillmer(args, "", env);
  }
  testing::RunResult Window(const std::string& code, const std::string& url = "") {
    return Window(env, code, url);
  }

  // Empty when the engine's window opens on a served page; else why not,
  // when the reason is that the engine or its extension is not there. Any
  // other failure is left for the tests to show.
  static std::string ProbeEngine() {
    testing::TempDir probe;
    Prepare(probe, 1252);
    auto r = Window(Env(probe, 1252), "print(charset());", Url("plain.utf-8.html"));
    if (r.status == 0) return "";
    std::string err = r.err;
    std::transform(err.begin(), err.end(), err.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool missing = r.status == 2 || ((Has(err, "extension") || Has(err, "engine")) &&
                                           (Has(err, "not installed") || Has(err, "missing") ||
                                            Has(err, "not found") || Has(err, "unknown")));
    if (!missing) return "";
    return "the WebKit engine cannot be used here: " + r.err.substr(0, r.err.find('\n'));
  }

  static std::string Url(const std::string& page) { return server_.Url(page); }
  void Settings(const std::string& ini) { WriteAll(dir / "home" / "Quillmer.ini", ini); }
  void Language(int acp) {
    Prepare(dir, acp);
    env = Env(dir, acp);
  }
  std::string Navigate(const std::string& page) { return "navigate('" + Url(page) + "');\n"; }

  static inline testing::Xvfb xvfb_;
  static inline HttpServer server_;
  static inline std::string why_;
  testing::TempDir dir;
  std::vector<std::string> env;
};

// The frames page converted: its own text and (through the copy its script
// keeps of them) its frames' text. The copy is refreshed every 100 ms, so a
// script waits a little before it reads.
constexpr const char* kTradTop[] = {"漢字簡化", "兩岸交流", "書寫方便"};
constexpr const char* kTradFrames[] = {"頭髮與發展", "後來", "圖書館"};
constexpr const char* kSimTop[] = {"汉字简化", "两岸交流", "书写方便"};
constexpr const char* kSimFrames[] = {"头发与发展", "后来", "图书馆"};

template <std::size_t N>
void ExpectAll(const std::string& text, const char* const (&what)[N], const char* when) {
  for (const char* w : what) EXPECT_TRUE(Has(text, w)) << when << ": no " << w << " in\n" << text;
}
template <std::size_t N>
void ExpectNone(const std::string& text, const char* const (&what)[N], const char* when) {
  for (const char* w : what) EXPECT_FALSE(Has(text, w)) << when << ": " << w << " in\n" << text;
}

TEST_F(EngineWindow, AGb2312PageLoadsInTraditionalFramesIncludedAndTheButtonTurnsItBack) {
  Settings("[Text_Convert]\nAutoConvert=2\n");
  const std::string shot = (dir / "converted.png").string();
  auto r = Window(Navigate("frames.gb2312.html") +
                  "wait(500); print(charset()); print(title()); print('@@'); print(text());\n"
                  "screenshot('" +
                  shot +
                  "');\n"
                  "print('@@'); click('ToolButton2'); wait(500); print(text());\n"
                  "print('@@');" +
                  Navigate("frame2.html") +
                  "print(text());\n"
                  "print('@@');" +
                  Navigate("plain.utf-8.html") + "print(charset(), text());");
  ASSERT_EQ(r.status, 0) << r.err;
  auto parts = Parts(r.out);
  ASSERT_EQ(parts.size(), 5u) << r.out;
  const std::string head = parts[0];
  EXPECT_TRUE(IsGb(head.substr(0, head.find('\n')))) << head;
  EXPECT_TRUE(Has(head, "漢字的簡化與轉換")) << head;
  ExpectAll(parts[1], kTradTop, "after load");
  ExpectAll(parts[1], kTradFrames, "after load, frames");
  ExpectNone(parts[1], kSimTop, "after load");
  ExpectNone(parts[1], kSimFrames, "after load, frames");
  ExpectAll(parts[2], kSimTop, "ToolButton2");
  ExpectAll(parts[2], kSimFrames, "ToolButton2, frames");
  // A page with its charset only in <meta>, and a page in utf-8.
  EXPECT_TRUE(Has(parts[3], "後來他們在圖書館")) << parts[3];
  EXPECT_TRUE(Has(parts[4], "utf-8 ")) << parts[4];
  EXPECT_TRUE(Has(parts[4], "統一碼")) << parts[4];

  // What the window showed: the page drawn, not a blank view.
  auto png = testing::ReadPng(ReadAll(shot), 60);
  ASSERT_TRUE(png);
  EXPECT_GE(png->width, 400u);
  EXPECT_GE(png->height, 300u);
  EXPECT_GT(png->colours, 16u);
}

// The toolbar runs in the program, the helper in the engine's web process:
// a mode chosen on the toolbar still governs the pages that follow.
TEST_F(EngineWindow, AModeChosenOnTheToolbarGovernsThePagesThatFollow) {
  Settings("[Text_Convert]\nAutoConvert=0\n");
  auto r = Window(Navigate("frames.gb2312.html") + "print(title()); menu('AutoTrad');\n" +
                  Navigate("plain.utf-8.html") + "print(title()); menu('AutoNone');\n" +
                  Navigate("frames.gb2312.html") + "print(title());");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "汉字的简化与转换\n統一碼頁面\n汉字的简化与转换\n");
}

TEST_F(EngineWindow, AutoZoomGivesEachPageTheZoomOfItsAddress) {
  Settings("[Zoom]\nAutoZoom=1\nAutoZoomToValue=90\n"
           "[Zoom_Ex]\nAutoURLCount=1\nAutoZoomValue1=130\nAutoZoomURL1=http://127.0.0.1:*/frames*\n");
  auto r = Window(Navigate("frames.gb2312.html") + "print(zoom());\n" + Navigate("next.html") +
                  "print(zoom());");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "130\n90\n");
}

TEST_F(EngineWindow, HotkeysZoomThePageByTheIncrement) {
  Settings(
      "[Zoom]\nZoomIncrement=25\n"
      "[HotKeys]\nKey5=49242\nKey6=49240\n");  // Ctrl+Alt+Z in, Ctrl+Alt+X out
  auto r = Window(Navigate("frames.gb2312.html") +
                  "print(zoom()); key('Ctrl+Alt+Z'); print(zoom()); key('Ctrl+Alt+Z');\n"
                  "print(zoom()); key('Ctrl+Alt+X'); print(zoom()); key('Ctrl+Z'); print(zoom());");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "100\n125\n150\n125\n125\n");
}

TEST_F(EngineWindow, AFormTypedInSimplifiedOnABig5PageArrivesInTraditionalBig5) {
  Language(936);
  const std::string code = Navigate("form.big5.html") +
                           "setValue('q', '汉字转换'); setValue('t', '头发\\n很长');\n"
                           "submit('query'); print(url()); print('@@'); print(text());";
  auto sent = [&](const std::string& q, const std::string& t) {
    return "q=" + FormEncode(q) + "&t=" + FormEncode(t) + "&n=1";
  };
  auto lastPost = [&] {
    HttpServer::Request last;
    for (const auto& req : server_.Log())
      if (req.method == "POST") last = req;
    return last;
  };

  auto r = Window(code);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string expected = sent(AsSent(950, u"漢字轉換"), AsSent(950, u"頭髮\n很長"));
  auto post = lastPost();
  EXPECT_EQ(post.target, "/submit");
  EXPECT_EQ(post.body, expected);
  // The server's answer, shown in the window, says the same.
  auto parts = Parts(r.out);
  ASSERT_EQ(parts.size(), 2u) << r.out;
  EXPECT_EQ(parts[0], Url("submit") + "\n");
  EXPECT_TRUE(Has(parts[1], expected)) << parts[1];

  // Not converted: the Simplified text as the browser sends it in Big5.
  Settings("[Text_Convert]\nConvertOnSubmit=0\n");
  r = Window(code);
  ASSERT_EQ(r.status, 0) << r.err;
  // The engine's Big5 is the web's, which also holds the Hong Kong
  // additions: 汉 among them (FA E4); the rest goes as references.
  expected = sent("\xFA\xE4" + AsSent(950, u"字转换"), AsSent(950, u"头发\n很长"));
  EXPECT_TRUE(Has(expected, "%26%23")) << "the text should not all fit in Big5";
  EXPECT_EQ(lastPost().body, expected);
}

TEST_F(EngineWindow, APageSwitchedToBig5IsLeftWithItsOwnCharset) {
  const std::string code = Navigate("frames.gb2312.html") +
                           "print(charset()); print(property('OrigCharset'));\n" +
                           Navigate("next.html") +
                           "var h = history(), last = h[h.length - 1];\n"
                           "print(last.url); print(last.charset);";
  Settings("[Text_Convert]\nAutoConvert=2\nAlterWBCharset=1\n");
  auto r = Window(code);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string charset, orig, url, left;
  std::getline(lines, charset);
  std::getline(lines, orig);
  std::getline(lines, url);
  std::getline(lines, left);
  EXPECT_EQ(charset, "big5") << r.out;
  EXPECT_TRUE(IsGb(orig)) << r.out;
  EXPECT_EQ(url, Url("frames.gb2312.html")) << r.out;
  EXPECT_TRUE(IsGb(left)) << r.out;

  // Without the switch the page keeps its charset throughout.
  Settings("[Text_Convert]\nAutoConvert=2\nAlterWBCharset=0\n");
  r = Window(code);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream again(r.out);
  std::getline(again, charset);
  std::getline(again, orig);
  std::getline(again, url);
  std::getline(again, left);
  EXPECT_TRUE(IsGb(charset)) << r.out;
  EXPECT_TRUE(IsGb(left)) << r.out;
}

TEST_F(EngineWindow, TheContextMenuEntryConvertsTheLivePage) {
  Settings("[Text_Convert]\nAutoConvert=0\n");
  auto r = Window(Navigate("frames.gb2312.html") +
                  "wait(500); print(text()); print('@@');\n"
                  "contextMenu('Display:  Traditional Chinese'); wait(500); print(text());");
  ASSERT_EQ(r.status, 0) << r.err;
  auto parts = Parts(r.out);
  ASSERT_EQ(parts.size(), 2u) << r.out;
  ExpectAll(parts[0], kSimTop, "as loaded");
  ExpectAll(parts[0], kSimFrames, "as loaded, frames");
  ExpectAll(parts[1], kTradTop, "from the menu");
  ExpectAll(parts[1], kTradFrames, "from the menu, frames");
}

TEST_F(EngineWindow, APageThatDoesNotLoadIsAClearError) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/none.html";
  auto r = Window("navigate('" + dead + "'); print('never');");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Has(r.out, "never"));
  EXPECT_TRUE(Has(r.err, dead)) << r.err;
  r = Window("print('never');", dead);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, dead)) << r.err;
}

TEST(EngineWindowWithoutDisplay, TheWindowIsRefusedClearly) {
  testing::TempDir dir;
  fs::create_directories(dir / "home");
  auto r = RunQuillmer(
      {"browse", "--window", "--engine", "webkit", "-e", "print(1)", (kWeb / "next.html").string()},
      "",
      {"QUILLMER_HOME=" + testing::ShellQuote((dir / "home").string()),
       "QUILLMER_REGISTRY=" + testing::ShellQuote((dir / "registry").string()), "QUILLMER_ACP=1252",
       "DISPLAY=", "QUILLMER_TOOLKIT=" + testing::ShellQuote(QUILLMER_TOOLKIT_LIB)});
  if (r.status == 2 && Has(r.err, "--engine"))
    GTEST_SKIP() << "this quillmer has no engine to choose: " << r.err.substr(0, r.err.find('\n'));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "cannot open a window")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

}  // namespace
}  // namespace quillmer
