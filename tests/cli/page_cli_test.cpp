// quillmer page as a user meets it: a page with nested frames converted and
// saved beside, the character-set switch, the settings file's say, and pages
// that are missing, broken or junk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::TempDir;
using testing::WriteAll;

namespace fs = std::filesystem;

std::string Gbk(std::u16string_view s) { return EncodeCodePage(936, s); }
std::u16string FromGbk(const std::string& b) { return DecodeCodePage(936, b); }
std::u16string FromBig5(const std::string& b) { return DecodeCodePage(950, b); }

bool Has(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

class PageCommand : public ::testing::Test {
 protected:
  testing::RunResult Page(std::vector<std::string> args) {
    args.insert(args.begin(), "page");
    return RunQuillmer(args, "",
                       {"QUILLMER_HOME=" + (work / "home").string(),
                        "QUILLMER_REGISTRY=" + (work / "registry").string()});
  }
  void SetUp() override { fs::create_directories(work / "home"); }
  std::string SimplePage() {
    std::string path = (work / "simple.html").string();
    WriteAll(path, Gbk(u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       u"charset=gb2312\"><title>头发</title></head><body><p>中华 头发</p>"
                       u"<a href=\"http://example.com/路径\">链接</a></body></html>"));
    return path;
  }
  TempDir work;
};

TEST_F(PageCommand, ConvertsAPageWithNestedFramesAndSavesThemBeside) {
  for (const char* name :
       {"conv_frames.html", "conv_frame1.html", "conv_frame1_inner.html", "conv_frame2.html"})
    fs::copy_file(std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/" + name, work / name);
  fs::create_directories(work / "out");
  auto r = Page({"--to-trad", "-o", (work / "out" / "top.html").string(),
                 (work / "conv_frames.html").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  // The frameset keeps its charset; its title is converted.
  EXPECT_TRUE(Has(FromGbk(ReadAll(work / "out" / "top.html")), u"<title>中華框架</title>"));
  EXPECT_TRUE(Has(FromGbk(ReadAll(work / "out" / "conv_frame1.html")), u"頭髮 中華"));
  EXPECT_TRUE(Has(FromGbk(ReadAll(work / "out" / "conv_frame1_inner.html")), u"中國"));
  EXPECT_TRUE(Has(FromGbk(ReadAll(work / "out" / "conv_frame2.html")), u"中華 頭髮"));
  // The originals are untouched.
  EXPECT_TRUE(Has(FromGbk(ReadAll(work / "conv_frame2.html")), u"中华 头发"));
}

TEST_F(PageCommand, NeverWritesOverAReadOnlyFile) {
  std::string page = SimplePage();
  const fs::path out = work / "out.html";
  WriteAll(out, "kept");
  fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto r = Page({"--to-trad", "-o", out.string(), page});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(std::string::npos, r.err.find("read-only")) << r.err;
  EXPECT_EQ("kept", ReadAll(out));
}

TEST_F(PageCommand, AlterCharsetSavesASimplifiedGb2312PageAsBig5) {
  std::string page = SimplePage();
  auto r = Page({"--to-trad", "--alter-charset", page});
  ASSERT_EQ(r.status, 0) << r.err;
  std::u16string out = FromBig5(r.out);
  EXPECT_TRUE(Has(out, u"charset=big5")) << ToUtf8(out);
  EXPECT_TRUE(Has(out, u"<p>中華 頭髮</p>"));
  EXPECT_TRUE(Has(out, u"<title>頭髮</title>"));
  // The link keeps its target: escaped in the page's own code page.
  EXPECT_TRUE(Has(out, u"http://example.com/%C2%B7%BE%B6"));
  EXPECT_FALSE(Has(out, u"gb2312"));
}

TEST_F(PageCommand, TheSettingsFileDecidesUnlessAFlagSaysOtherwise) {
  std::string page = SimplePage();
  auto plain = Page({"--to-trad", page});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(Has(FromGbk(plain.out), u"charset=gb2312"));
  EXPECT_TRUE(Has(FromGbk(plain.out), u"中華 頭髮"));

  WriteAll(work / "home" / "Quillmer.ini", "[Text_Convert]\r\nAlterWBCharset=1\r\n");
  auto altered = Page({"--to-trad", page});
  ASSERT_EQ(altered.status, 0) << altered.err;
  EXPECT_TRUE(Has(FromBig5(altered.out), u"charset=big5"));
  auto kept = Page({"--to-trad", "--keep-charset", page});
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_TRUE(Has(FromGbk(kept.out), u"charset=gb2312"));
}

TEST_F(PageCommand, ClearErrorsForMissingPagesAndBadUsage) {
  auto missing = Page({"--to-trad", (work / "nope.html").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nope.html"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(Page({SimplePage()}).status, 2);
  EXPECT_EQ(Page({"--to-trad", "--to-simp", SimplePage()}).status, 2);
  EXPECT_EQ(Page({"--to-trad", "--alter-charset", "--keep-charset", SimplePage()}).status, 2);
  EXPECT_EQ(Page({"--to-trad"}).status, 2);
  auto noDir = Page({"--to-trad", "-o", (work / "no" / "dir.html").string(), SimplePage()});
  EXPECT_EQ(noDir.status, 1);
  EXPECT_FALSE(noDir.err.empty());
}

TEST_F(PageCommand, JunkBrokenMarkupAndAMissingFrameConvertWithoutACrash) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919 + i / 3) & 0xFF);
  WriteAll(work / "junk.html", junk);
  auto j = Page({"--to-simp", (work / "junk.html").string()});
  EXPECT_EQ(j.status, 0) << j.err;
  EXPECT_FALSE(j.out.empty());

  WriteAll(work / "broken.html",
           Gbk(u"<html><meta charset=gbk><body><p>头发<div><frameset><iframe src=\"missing.html\">"
               u"</iframe><b><i>中华</b></i><table><td>国"));
  auto b = Page({"--to-trad", "--alter-charset", (work / "broken.html").string()});
  ASSERT_EQ(b.status, 0) << b.err;
  std::u16string out = FromBig5(b.out);
  EXPECT_TRUE(Has(out, u"頭髮")) << ToUtf8(out);
  EXPECT_TRUE(Has(out, u"中華"));
  EXPECT_TRUE(Has(out, u"國"));
}

}  // namespace
}  // namespace quillmer
