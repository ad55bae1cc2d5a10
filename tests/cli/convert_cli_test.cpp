#include <gtest/gtest.h>

#include <random>

#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::TempDir;
using testing::WriteAll;

std::string Utf16(std::u16string_view s, bool bigEndian) {
  std::string out;
  for (char16_t u : s) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

// Every encoding with and without signature: detected, converted, and back.
TEST(ConvertCommand, RoundTripsEveryEncoding) {
  const std::u16string simp = u"中华人民共和国，头发。";
  const std::u16string trad = u"中華人民共和國，頭髮。";
  struct Case {
    const char* name;
    std::string simpBytes, tradBytes, bom;
  };
  const Case cases[] = {
      {"utf-8", ToUtf8(simp), ToUtf8(trad), "\xEF\xBB\xBF"},
      {"utf-16le", Utf16(simp, false), Utf16(trad, false), "\xFF\xFE"},
      {"utf-16be", Utf16(simp, true), Utf16(trad, true), "\xFE\xFF"},
      {"gbk", EncodeCodePage(936, simp), EncodeCodePage(936, trad), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool bom : {false, true}) {
      if (bom && c.bom.empty()) continue;
      std::string in = (bom ? c.bom : "") + c.simpBytes;
      std::vector<std::string> from = {"--from", c.name};
      // UTF-16 without a signature cannot be detected; the rest can.
      bool detectable = bom || std::string(c.name) == "utf-8" || std::string(c.name) == "gbk";
      auto args = [&](std::vector<std::string> a) {
        if (!detectable) a.insert(a.end(), from.begin(), from.end());
        if (bom) a.push_back("--bom");
        return a;
      };
      auto trad1 = RunQuillmer(args({"convert", "--to-trad"}), in);
      ASSERT_EQ(trad1.status, 0) << trad1.err;
      EXPECT_EQ(trad1.out, (bom ? c.bom : "") + c.tradBytes);
      auto back = RunQuillmer(args({"convert", "--to-simp"}), trad1.out);
      ASSERT_EQ(back.status, 0) << back.err;
      EXPECT_EQ(back.out, in);
      if (detectable) {
        TempDir d;
        WriteAll(d / "f", in);
        auto det = RunQuillmer({"detect", (d / "f").string()});
        EXPECT_EQ(det.out, (d / "f").string() + ": " + c.name + "\n");
      }
    }
  }
}

TEST(ConvertCommand, Big5InAndOut) {
  const std::string big5 = EncodeCodePage(950, u"中華人民共和國的頭髮，你們是我的朋友。");
  TempDir d;
  WriteAll(d / "b5.txt", big5);
  auto det = RunQuillmer({"detect", (d / "b5.txt").string()});
  EXPECT_EQ(det.out, (d / "b5.txt").string() + ": big5\n");
  // Simplified is written as GBK unless --to says otherwise.
  auto simp = RunQuillmer({"convert", "--to-simp", (d / "b5.txt").string()});
  ASSERT_EQ(simp.status, 0) << simp.err;
  EXPECT_EQ(simp.out, EncodeCodePage(936, u"中华人民共和国的头发，你们是我的朋友。"));
  auto toUtf8 = RunQuillmer({"convert", "--to-simp", "--to", "utf-8", (d / "b5.txt").string()});
  EXPECT_EQ(toUtf8.out, ToUtf8(u"中华人民共和国的头发，你们是我的朋友。"));
  auto back = RunQuillmer({"convert", "--to-trad", "--from", "gbk", "--to", "big5"}, simp.out);
  EXPECT_EQ(back.out, big5);
  auto refused = RunQuillmer({"convert", "--to-simp", "--to", "big5", (d / "b5.txt").string()});
  EXPECT_EQ(refused.status, 2);
}

TEST(ConvertCommand, WritesOutputFilesAtomically) {
  TempDir d;
  WriteAll(d / "a.txt", ToUtf8(u"头发"));
  // OUT may be FILE itself.
  auto r =
      RunQuillmer({"convert", "--to-trad", "-o", (d / "a.txt").string(), (d / "a.txt").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadAll(d / "a.txt"), ToUtf8(u"頭髮"));
  // A missing input is an error; nothing is written and no temporary is left.
  auto missing = RunQuillmer(
      {"convert", "--to-trad", "-o", (d / "out.txt").string(), (d / "nope.txt").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nope.txt"), std::string::npos);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
  EXPECT_FALSE(std::filesystem::exists(d / "out.txt"));
  auto dirOut = RunQuillmer({"convert", "--to-trad", "-o", (d / "no-dir" / "x").string()}, "a");
  EXPECT_EQ(dirOut.status, 1);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(d.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// The reported cases end to end: UTF-8 behind a long ASCII head converted in
// place, the euro sign, and --none between the same legacy encoding.
TEST(ConvertCommand, KeepsWhatItCannotConvert) {
  TempDir d;
  std::string body;
  for (int i = 0; i < 20; ++i) body += ToUtf8(u"这是你的头发");
  WriteAll(d / "f.txt", "<!-- " + std::string(3100, 'x') + body);
  auto det = RunQuillmer({"detect", (d / "f.txt").string()});
  EXPECT_EQ(det.out, (d / "f.txt").string() + ": utf-8\n");
  auto r =
      RunQuillmer({"convert", "--to-simp", "-o", (d / "f.txt").string(), (d / "f.txt").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(d / "f.txt"), "<!-- " + std::string(3100, 'x') + body);

  auto euro = RunQuillmer({"convert", "--to-trad"}, ToUtf8(u"价格 €5"));
  EXPECT_EQ(euro.out, ToUtf8(u"價格 €5"));
  const std::string junk = EncodeCodePage(936, u"头发") + "\x80\xFF\x81";
  auto none = RunQuillmer({"convert", "--none", "--from", "gbk"}, junk);
  EXPECT_EQ(none.out, junk);
}

TEST(ConvertCommand, UsageAndDetectionErrors) {
  EXPECT_EQ(RunQuillmer({"convert"}).status, 2);
  EXPECT_EQ(RunQuillmer({"convert", "--to-trad", "--to-simp"}).status, 2);
  EXPECT_EQ(RunQuillmer({"convert", "--to-trad", "--from", "latin9"}).status, 2);
  EXPECT_EQ(RunQuillmer({"convert", "--to-trad", "--frob"}).status, 2);
  EXPECT_EQ(RunQuillmer({"frobnicate"}).status, 2);
  EXPECT_EQ(RunQuillmer({"detect"}).status, 2);
  auto help = RunQuillmer({"convert", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--to-trad"), std::string::npos);
  EXPECT_EQ(RunQuillmer({"--version"}).status, 0);
  // Bytes it cannot place: the message names the way out.
  auto unsure = RunQuillmer({"convert", "--to-trad"}, "\xB0\xA1\xB0\xA1");
  EXPECT_EQ(unsure.status, 1);
  EXPECT_NE(unsure.err.find("--from"), std::string::npos);
  // Empty input gives empty output; ASCII passes as it is.
  auto empty = RunQuillmer({"convert", "--to-trad"}, "");
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(RunQuillmer({"convert", "--to-simp"}, "plain text\n").out, "plain text\n");
}

TEST(ConvertCommand, SurvivesArbitraryBytes) {
  std::mt19937 rng(11);
  const char* encodings[] = {"utf-8", "utf-16le", "utf-16be", "gbk", "big5"};
  for (int round = 0; round < 10; ++round) {
    std::string junk(1 + rng() % 300, '\0');
    for (char& c : junk) c = static_cast<char>(rng());
    for (const char* from : encodings) {
      for (const char* dir : {"--to-trad", "--to-simp", "--none"}) {
        auto r = RunQuillmer({"convert", dir, "--from", from, "--to", "utf-8"}, junk);
        ASSERT_EQ(r.status, 0) << from << " " << dir << ": " << r.err;
      }
    }
  }
}

}  // namespace
}  // namespace quillmer
