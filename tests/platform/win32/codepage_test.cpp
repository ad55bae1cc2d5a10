#include "platform/win32/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillmer {
namespace {

TEST(CodePages, RoundTripsTheChineseCodePages) {
  EXPECT_EQ(EncodeCodePage(936, u"中文abc"),
            "\xD6\xD0\xCE\xC4"
            "abc");
  EXPECT_EQ(DecodeCodePage(936, "\xD6\xD0\xCE\xC4"), u"中文");
  EXPECT_EQ(EncodeCodePage(950, u"中文"), "\xA4\xA4\xA4\xE5");
  EXPECT_EQ(DecodeCodePage(950, "\xA4\xA4\xA4\xE5"), u"中文");
  EXPECT_EQ(DecodeCodePage(54936, EncodeCodePage(54936, u"😀中")), u"😀中");
  EXPECT_EQ(DecodeCodePage(65001, "\xE4\xB8\xAD"), u"中");
  EXPECT_EQ(EncodeCodePage(1252, u"é"), "\xE9");
}

TEST(CodePages, MissingCharactersAndBadBytesBecomeQuestionMarks) {
  EXPECT_EQ(EncodeCodePage(950, u"a한b"), "a?b");
  EXPECT_EQ(EncodeCodePage(936, u"한x"), "?x");
  // A lead byte followed by a byte that cannot trail it.
  std::u16string d = DecodeCodePage(950, "\x81\x20z");
  EXPECT_EQ(d.back(), u'z');
  EXPECT_EQ(d.front(), u'?');
}

TEST(CodePages, PlatformCallsReportLengthsAndFailures) {
  const char* gbk = "\xD6\xD0\xCE\xC4";
  EXPECT_EQ(MultiByteToWideChar(936, 0, gbk, 4, nullptr, 0), 2);
  char16_t buf[4] = {};
  EXPECT_EQ(MultiByteToWideChar(936, 0, gbk, 4, buf, 4), 2);
  EXPECT_EQ(std::u16string(buf, 2), u"中文");
  EXPECT_EQ(MultiByteToWideChar(936, 0, gbk, 4, buf, 1), 0);  // too small
  EXPECT_EQ(WideCharToMultiByte(950, 0, u"中", 1, nullptr, 0, nullptr, nullptr), 2);
  bool used = false;
  char out[8] = {};
  EXPECT_EQ(WideCharToMultiByte(950, 0, u"한", 1, out, 8, nullptr, &used), 1);
  EXPECT_TRUE(used);
  EXPECT_EQ(out[0], '?');
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, buf, 4), 0);
}

TEST(CodePages, InstalledAndMissing) {
  for (UINT cp : {936u, 950u, 54936u, 1252u, 65001u}) EXPECT_TRUE(IsValidCodePage(cp)) << cp;
  EXPECT_FALSE(IsValidCodePage(12345));
  SetCodePageInstalled(950, false);
  EXPECT_FALSE(IsValidCodePage(950));
  EXPECT_EQ(EncodeCodePage(950, u"中"), "");
  ResetCodePages();
  EXPECT_TRUE(IsValidCodePage(950));
}

TEST(CodePages, AnsiCodePageFollowsTheLocale) {
  const char* keep = std::getenv("QUILLMER_ACP");
  std::string saved = keep ? keep : "";
  setenv("QUILLMER_ACP", "950", 1);
  EXPECT_EQ(GetACP(), 950u);
  unsetenv("QUILLMER_ACP");
  setenv("LC_ALL", "zh_SG.UTF-8", 1);
  EXPECT_EQ(GetACP(), 936u);
  setenv("LC_ALL", "zh_HK.UTF-8", 1);
  EXPECT_EQ(GetACP(), 950u);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(GetACP(), 1252u);
  unsetenv("LC_ALL");
  if (keep) setenv("QUILLMER_ACP", saved.c_str(), 1);
}

}  // namespace
}  // namespace quillmer
