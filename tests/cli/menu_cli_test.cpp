// register, menu, str and unregister, end to end with the built module.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::WriteAll;

namespace fs = std::filesystem;

class ServerCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "home");
    env = {"QUILLMER_REGISTRY=" + testing::ShellQuote((dir / "registry").string()),
           "QUILLMER_HOME=" + testing::ShellQuote((dir / "home").string()), "QUILLMER_ACP=1252",
           "DISPLAY="};
    module = (dir / "Quillmer.so").string();
    fs::copy_file(QUILLMER_MODULE, module);
  }
  testing::RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunQuillmer(args, input, env);
  }
  std::string Registry() { return Run({"registry"}).out; }

  testing::TempDir dir;
  std::vector<std::string> env;
  std::string module;
};

constexpr const char* kPage =
    "<html><head><meta charset=\"utf-8\"><title>中华</title></head>"
    "<body><p>简体中文的网页</p></body></html>";

TEST_F(ServerCliTest, RegisterThenConvertAPageAndAStringThenUnregister) {
  auto r = Run({"register", module});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string registered = Registry();
  ASSERT_EQ(0, Run({"register", module}).status);
  EXPECT_EQ(registered, Registry());

  WriteAll(dir / "page.html", kPage);
  r = Run({"menu", "Display:  Traditional Chinese", (dir / "page.html").string(), "-o",
           (dir / "out.html").string()});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string out = ReadAll(dir / "out.html");
  EXPECT_NE(std::string::npos, out.find("<title>中華</title>")) << out;
  EXPECT_NE(std::string::npos, out.find("簡體中文的網頁")) << out;

  r = Run({"menu", "display:  simplified chinese", (dir / "out.html").string()});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("简体中文的网页")) << r.out;

  r = Run({"str", "--to-trad", "中华"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("中華\n", r.out);
  r = Run({"str", "--to-simp"}, "中華人民共和國\n");
  EXPECT_EQ("中华人民共和国\n", r.out);

  ASSERT_EQ(0, Run({"unregister", module}).status);
  const std::string after = Registry();
  for (const char* ours : {"{5E2B9C41", "{5E2B9C42", "{8B6F0D23", "{5E2B9C40", "{8B6F0D21",
                           "Quillmer.", "Display:", "Clipboard:", "Quillmer\""})
    EXPECT_EQ(std::string::npos, after.find(ours)) << ours << " in\n" << after;
}

TEST_F(ServerCliTest, WhatIsMissingIsSaidAndTheStatusIsOne) {
  WriteAll(dir / "page.html", kPage);
  auto r = Run({"str", "--to-trad", "中华"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("\"Quillmer.ConFace\"")) << r.err;

  r = Run({"menu", "Display:  Traditional Chinese", (dir / "page.html").string()});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("no context-menu entry")) << r.err;

  r = Run({"register", (dir / "none.so").string()});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("no module at")) << r.err;

  // The clipboard cannot be opened without a display: the script fails.
  ASSERT_EQ(0, Run({"register", module}).status);
  r = Run({"menu", "Clipboard: Simp > Trad Chinese", (dir / "page.html").string()});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("script error")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("Quillmer.ConFace")) << r.err;

  r = Run({"str", "--to-trad"}, "\xff\xfe");
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("UTF-8")) << r.err;

  fs::remove(module);
  r = Run({"str", "--to-trad", "中华"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("cannot create")) << r.err;
  r = Run({"menu", "Display:  Traditional Chinese", (dir / "page.html").string()});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Quillmer.so")) << r.err;
}

TEST_F(ServerCliTest, BadUsageIsStatusTwo) {
  EXPECT_EQ(2, Run({"str", "中华"}).status);
  EXPECT_EQ(2, Run({"str", "--to-trad", "--to-simp", "x"}).status);
  EXPECT_EQ(2, Run({"menu", "Display:  Traditional Chinese"}).status);
  EXPECT_EQ(2, Run({"register", "a.so", "b.so"}).status);
  EXPECT_EQ(2, Run({"unregister", "--bogus"}).status);
}

}  // namespace
}  // namespace quillmer
