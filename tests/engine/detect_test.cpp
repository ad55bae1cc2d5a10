#include "engine/detect.h"

#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::Gbk;

class DetectTest : public testing::SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
    // Test tables: 你 的 是 as Big5 and as GBK codes.
    SetResourceOverride("testtbl1", RT_RCDATA, Big5(u"你的是"));
    SetResourceOverride("testtbl2", RT_RCDATA, Gbk(u"你的是"));
  }
  TextEncoding Detect(std::string bytes) {
    TextStream s(std::move(bytes));
    s.position = 5;
    TextEncoding e = DetectEncoding(s);
    EXPECT_EQ(s.position, 0u);
    return e;
  }
};

TEST_F(DetectTest, Signatures) {
  auto sig = [](std::string b) {
    TextStream s(std::move(b));
    return DetectSignature(s);
  };
  EXPECT_EQ(sig("\xFF"), teUnknown);
  EXPECT_EQ(sig("\xFF\xFE"), teUnicode);
  EXPECT_EQ(sig("\xFE\xFFxx"), teUnicodeBE);
  EXPECT_EQ(sig("\xEF\xBB\xBF"), teUTF8);
  EXPECT_EQ(sig("\xEF\xBB"), teUnknown);
  EXPECT_EQ(sig("\xEF\xBB\x41"), teUnknown);
  EXPECT_EQ(Detect("\xEF\xBB\xBF\xFF\xFF"), teUTF8);
  EXPECT_EQ(Detect("\xB7"), teUnknown);
  // EF BB 41 falls through to the other tests.
  EXPECT_EQ(Detect("\xEF\xBB\x41" + Big5(u"你的是")), teBig5);
}

TEST_F(DetectTest, Utf8Plausibility) {
  auto utf8 = [](std::string b) {
    TextStream s(std::move(b));
    return LooksLikeUTF8(s);
  };
  EXPECT_FALSE(utf8(""));
  EXPECT_FALSE(utf8("plain ascii"));
  EXPECT_TRUE(utf8(ToUtf8(u"中文 café")));
  EXPECT_TRUE(utf8(ToUtf8(u"表情 😀")));  // four-byte sequences are UTF-8 too
  EXPECT_FALSE(utf8(Gbk(u"中文简体字")));
  EXPECT_FALSE(utf8(ToUtf8(u"中文") + "\x80"));
  // A sequence cut off by the end of the data ends the scan.
  EXPECT_TRUE(utf8(ToUtf8(u"中文") + "\xE4\xB8"));
  // Past 3000 bytes the verdict is in: later junk is not seen.
  EXPECT_TRUE(utf8(std::string(2999, 'a') + ToUtf8(u"中") + "\xFF\xFF"));
  EXPECT_EQ(Detect(ToUtf8(u"中文和一个é")), teUTF8);
}

// The sample decides only for text that is not UTF-8 throughout: a long
// ASCII head (a comment, a licence) must not hide the UTF-8 after it.
TEST_F(DetectTest, WholeUtf8WinsWhateverItsHead) {
  const std::string head = "<!-- " + std::string(3100, 'x') + " -->\n";
  std::string body;
  for (int i = 0; i < 20; ++i) body += ToUtf8(u"这是你的头发，你的是");
  EXPECT_EQ(Detect(head + body), teUTF8);
  EXPECT_EQ(Detect(head + ToUtf8(u"é")), teUTF8);
  EXPECT_EQ(Detect(head + ToUtf8(u"表情 😀")), teUTF8);
  // Not UTF-8 throughout: the sample (all ASCII here) and the vote decide.
  EXPECT_EQ(Detect(head + Big5(u"你的是不") + ToUtf8(u"中")), teBig5);
  EXPECT_EQ(Detect(head + ToUtf8(u"中文") + "\xE4\xB8"), teUnknown);      // cut off
  EXPECT_EQ(Detect(head + ToUtf8(u"中文") + "\xE0\x80\x80"), teUnknown);  // overlong
  EXPECT_EQ(Detect(head + ToUtf8(u"中文") + "\xED\xA0\x80"), teUnknown);  // surrogate
  EXPECT_EQ(Detect(head + Gbk(u"你的是不")), teGBK);
  // Pure ASCII stays undecided, as before.
  EXPECT_EQ(Detect(head), teUnknown);
}

TEST_F(DetectTest, VotesBetweenBig5AndGbk) {
  EXPECT_EQ(Detect(Big5(u"你的是不")), teBig5);
  EXPECT_EQ(Detect(Gbk(u"你的是不")), teGBK);
  EXPECT_EQ(Detect("plain ascii"), teUnknown);
  // Codes in no test table: 50 are too few to tell.
  const std::string gb2312 = "\xB0\xA1";  // a GB2312 code in neither table
  const std::string outside = "\x81\x40";
  std::string s;
  for (int i = 0; i < 50; ++i) s += gb2312;
  EXPECT_EQ(Detect(s), teUnknown);
  // 51 of which 3 lie outside GB2312 (5.9 %): Big5; with 2 (3.9 %): GBK.
  std::string three, two;
  for (int i = 0; i < 48; ++i) three += gb2312;
  for (int i = 0; i < 3; ++i) three += outside;
  for (int i = 0; i < 49; ++i) two += gb2312;
  for (int i = 0; i < 2; ++i) two += outside;
  EXPECT_EQ(Detect(three), teBig5);
  EXPECT_EQ(Detect(two), teGBK);
}

TEST_F(DetectTest, CountsAtMost5121DoubleByteCharacters) {
  std::string s;
  for (int i = 0; i < 5121; ++i) s += "\xB0\xA1";
  s += Big5(u"你的是");  // beyond the limit: not counted
  EXPECT_EQ(Detect(s), teGBK);
}

TEST_F(DetectTest, WideTextConversion) {
  std::u16string result = u"untouched";
  ConvertWideText(u"", cdToTrad, teUnknown, result, false);
  EXPECT_EQ(result, u"untouched");
  ConvertWideText(u"\uFEFF头发", cdToTrad, teUnknown, result, false);
  EXPECT_EQ(result, u"頭髮");
  ConvertWideText(u"\uFEFF头发", cdNone, teUnknown, result, false);
  EXPECT_EQ(result, u"\uFEFF头发");
  ConvertWideText(u"頭髮\u00A0", cdToSim, teUnknown, result, true);
  EXPECT_EQ(result, u"头发 ");
}

TEST(Bridges, RepairAndSmallServices) {
  EXPECT_EQ(RepairCharset(u"a\u00A0中", teUnknown), u"a 中");
  EXPECT_EQ(RepairCharset(u"", teGBK), u"");
  // Mode 3 takes the text back to code page 936 bytes and reads them as 950;
  // mode 4 the other way round.
  std::u16string big5ReadAsGbk = AnsiToWide(WideToAnsi(u"中文", 950), 936);
  EXPECT_EQ(RepairCharset(big5ReadAsGbk, teGBK), u"中文");
  std::u16string gbkReadAsBig5 = AnsiToWide(WideToAnsi(u"中文", 936), 950);
  EXPECT_EQ(RepairCharset(gbkReadAsBig5, teBig5), u"中文");

  EXPECT_TRUE(IsAsciiText(u""));
  EXPECT_TRUE(IsAsciiText(u"abc\u0080"));
  EXPECT_FALSE(IsAsciiText(u"abc\u0081"));
  EXPECT_EQ(EscapeHighBytes("\xD6\xD0"), "%D6%D0");
  EXPECT_EQ(EscapeHighBytes("a b\x7F\x80"), "a b\x7F%80");
  EXPECT_EQ(WideToAnsi(u"", 936), "");
  EXPECT_EQ(AnsiToWide("", 950), u"");
}

}  // namespace
}  // namespace quillmer
