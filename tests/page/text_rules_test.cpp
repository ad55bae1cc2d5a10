#include "page/text_rules.h"

#include <gtest/gtest.h>

#include "engine/detect.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

// Text as the browser shows it when the page's bytes are in the other Chinese
// code page than declared: pageEncoding is the declared side.
std::u16string Garble(std::u16string_view real, TextEncoding pageEncoding) {
  std::u16string g = pageEncoding == teGBK ? DecodeCodePage(936, EncodeCodePage(950, real))
                                           : DecodeCodePage(950, EncodeCodePage(936, real));
  EXPECT_EQ(RepairCharset(g, pageEncoding), real);
  return g;
}

TEST(ClassifyScript, CountsHanAgainstKana) {
  EXPECT_EQ(ClassifyScript(u"漢字かな"), ScriptClass::Japanese);  // a tie is Japanese
  EXPECT_EQ(ClassifyScript(u"漢字字かな"), ScriptClass::Chinese);
  EXPECT_EQ(ClassifyScript(u"abc"), ScriptClass::NoHan);
  EXPECT_EQ(ClassifyScript(u""), ScriptClass::NoHan);
  EXPECT_EQ(ClassifyScript(u"ｱｲ"), ScriptClass::Japanese);           // half-width kana count
  EXPECT_EQ(ClassifyScript(u"\uF900\u9FFF"), ScriptClass::Chinese);  // compatibility ideographs too
  // Hangul and CJK punctuation are neither.
  EXPECT_EQ(ClassifyScript(u"한국어。"), ScriptClass::NoHan);
}

struct FontCase {
  std::u16string in;
  ConvDirection direction;
  bool changed;
  std::u16string out;
};

TEST(SubstituteFontNames, FirstOccurrenceOfEachName) {
  const FontCase cases[] = {
      {u"宋体", cdToTrad, true, u"細明體"},
      {u"宋体,宋体", cdToTrad, true, u"細明體,宋体"},
      // The Latin name is found in any case and replaced by the lower-case partner.
      {u"SimSun, serif", cdToTrad, true, u"mingliu, serif"},
      {u"Arial, SIMSUN, 宋体, 楷体_GB2312", cdToTrad, true, u"Arial, mingliu, 細明體, 標楷體"},
      {u"MingLiU", cdToSim, true, u"simsun"},
      {u"細明體;標楷體", cdToSim, true, u"宋体;楷体_GB2312"},
      {u"Arial", cdToTrad, false, u"Arial"},
      {u"", cdToTrad, false, u""},
      // Names of the target side are left alone.
      {u"細明體", cdToTrad, false, u"細明體"},
      {u"宋体", cdToSim, false, u"宋体"},
  };
  for (const auto& c : cases) {
    std::u16string s = c.in;
    EXPECT_EQ(SubstituteFontNames(s, c.direction, teGBK, false), c.changed);
    EXPECT_EQ(s, c.out);
  }
}

TEST(SubstituteFontNames, RepairsMismatchedTextFirst) {
  // 宋体 as GBK bytes on a page declared Big5: the repair reads them again.
  std::u16string garbled = Garble(u"宋体", teBig5);
  ASSERT_NE(garbled, u"宋体");
  std::u16string s = garbled;
  EXPECT_TRUE(SubstituteFontNames(s, cdToTrad, teBig5, true));
  EXPECT_EQ(s, u"細明體");
  // Repaired but holding no font name: reported unchanged.
  s = u"Arial\u00A0Black";
  EXPECT_FALSE(SubstituteFontNames(s, cdToTrad, teGBK, true));
}

TEST(SubstituteAllFontNames, EveryLowerCaseOccurrence) {
  std::u16string css = u"p { font-family: simsun } h1 { font: 9pt simsun } b { font: SimSun }";
  EXPECT_TRUE(SubstituteAllFontNames(css, cdToTrad, teGBK, false));
  EXPECT_EQ(css, u"p { font-family: mingliu } h1 { font: 9pt mingliu } b { font: SimSun }");

  css = u".k { font-family: 標楷體 } .m { font-family: 細明體, mingliu, 細明體 }";
  EXPECT_TRUE(SubstituteAllFontNames(css, cdToSim, teBig5, false));
  EXPECT_EQ(css, u".k { font-family: 楷体_GB2312 } .m { font-family: 宋体, simsun, 宋体 }");

  css = u"body { color: red }";
  EXPECT_FALSE(SubstituteAllFontNames(css, cdToTrad, teGBK, false));
  css.clear();
  EXPECT_FALSE(SubstituteAllFontNames(css, cdToTrad, teGBK, false));
  // A mixed-case name alone is no change.
  css = u"b { font: SimSun }";
  EXPECT_FALSE(SubstituteAllFontNames(css, cdToTrad, teGBK, false));
}

TEST(ReplaceAt, GrowsShrinksAndCutsAtTheEnd) {
  std::u16string s = u"abcdef";
  ReplaceAt(s, u"XYZ", 2, 1);
  EXPECT_EQ(s, u"aXYZcdef");
  ReplaceAt(s, u"-", 1, 4);
  EXPECT_EQ(s, u"-cdef");
  ReplaceAt(s, u"!", 4, 10);  // runs past the end: cut there
  EXPECT_EQ(s, u"-cd!");
  ReplaceAt(s, u"+", 9, 2);  // past the end: appended
  EXPECT_EQ(s, u"-cd!+");
  ReplaceAt(s, u"", 1, 0);
  EXPECT_EQ(s, u"-cd!+");
}

TEST(IsLocalFileLink, FileLinksAndRelativeLinksOnFilePages) {
  EXPECT_TRUE(IsLocalFileLink(u"http://example.com/", u"FILE:///c:/文件.htm"));
  EXPECT_FALSE(IsLocalFileLink(u"http://example.com/", u"/路径"));
  EXPECT_TRUE(IsLocalFileLink(u"File:///home/a.htm", u"路径/b.htm"));
  EXPECT_FALSE(IsLocalFileLink(u"file:///home/a.htm", u"http://example.com/路径"));
  EXPECT_FALSE(IsLocalFileLink(u"", u"https://例子.cn/"));
}

TEST(EncodeLinkUrl, EscapesTheBytesOfThePagesCodePage) {
  EXPECT_EQ(EncodeLinkUrl(u"/路径", teGBK, false), u"/%C2%B7%BE%B6");
  // The Big5 trail byte 0x7C is below 0x80 and stays a character.
  EXPECT_EQ(EncodeLinkUrl(u"/路徑", teBig5, false), u"/%B8%F4%AE|");
  EXPECT_EQ(EncodeLinkUrl(u"/plain?a=1", teGBK, true), u"/plain?a=1");
  // A mismatched page: repaired, then escaped in the page's real code page,
  // which gives the bytes the page really holds.
  EXPECT_EQ(EncodeLinkUrl(u"/" + Garble(u"路徑", teGBK), teGBK, true), u"/%B8%F4%AE|");
  EXPECT_EQ(EncodeLinkUrl(u"/" + Garble(u"路径", teBig5), teBig5, true), u"/%C2%B7%BE%B6");
  // A character the code page cannot hold would become "?": the link stays.
  EXPECT_EQ(EncodeLinkUrl(u"/路径/한국", teGBK, false), u"/路径/한국");
  EXPECT_EQ(EncodeLinkUrl(u"/路径", teBig5, false), u"/路径");  // 径 is not in Big5
}

}  // namespace
}  // namespace quillmer
