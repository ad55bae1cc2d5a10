#include "engine/convert.h"

#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::CharLine;
using testing::Gbk;

class ConvertTest : public testing::SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
  }
  std::u16string Script(std::u16string s, ConvDirection d) {
    ConvertScript(s, d);
    return s;
  }
  std::string Stream(std::string bytes, TextEncoding from, TextEncoding to, ConvDirection d,
                     bool sig = false) {
    TextStream s(std::move(bytes));
    ConvertStream(s, from, to, d, sig);
    EXPECT_EQ(s.position, 0u);
    return s.data;
  }
};

TEST_F(ConvertTest, MapCharactersWalksCodePageCharacters) {
  // Single bytes stay, a lead byte takes the next byte whatever it is, and a
  // lone last lead byte is left alone.
  std::string in = "a" + Gbk(u"发") + "\x80" + "\x81\x20" + Gbk(u"书") + "\xB7";
  std::string out = in;
  MapCharacters(out, TableSide::ToTrad);
  EXPECT_EQ(out, "a" + Big5(u"發") + "\x80" + "\xA1\xBC" + "\xA1\xBC" + "\xB7");
  std::string back = Big5(u"幹髮") + "\xFF\xFF";
  MapCharacters(back, TableSide::ToSim);
  EXPECT_EQ(back, Gbk(u"干发") + "\xA1\xF5");
}

TEST_F(ConvertTest, ApplyFixTakesTheLongestKeyLeftToRight) {
  EnsureTables();
  EXPECT_EQ(ApplyFix(Big5(u"干了不"), TableSide::ToTrad), Big5(u"幹了不"));
  // An identity-like longer key protects the word from the shorter one.
  EXPECT_EQ(ApplyFix(Big5(u"拉麵巾拉麵"), TableSide::ToTrad), Big5(u"拉面巾拉麵"));
  // A key longer than what is left does not match; scanning resumes behind a
  // replacement, never inside it.
  EXPECT_EQ(ApplyFix(Big5(u"頭"), TableSide::ToTrad), Big5(u"頭"));
  EXPECT_EQ(ApplyFix(Big5(u"頭發頭發"), TableSide::ToTrad), Big5(u"頭髮頭髮"));
  // A lead byte at the very end is copied.
  EXPECT_EQ(ApplyFix(Big5(u"頭發") + "\xB7", TableSide::ToTrad), Big5(u"頭髮") + "\xB7");
  EXPECT_EQ(ApplyFix("", TableSide::ToTrad), "");
}

TEST_F(ConvertTest, ApplyFixFirstDuplicateWinsAndEmptyReplacementDeletes) {
  Install({CharLine(u"中", u"中")},
          {{Big5(u"復審"), Big5(u"複審")},
           {Big5(u"復審"), Big5(u"覆審")},
           {"0" + Big5(u"裡"), "0" + Big5(u"里")},
           {Big5(u"刪除"), ""}},
          {}, /*sortFix=*/false);
  EnsureTables();
  EXPECT_EQ(ApplyFix(Big5(u"復審"), TableSide::ToTrad), Big5(u"複審"));
  EXPECT_EQ(ApplyFix("10" + Big5(u"裡"), TableSide::ToTrad), "10" + Big5(u"里"));
  EXPECT_EQ(ApplyFix("a" + Big5(u"刪除") + "b", TableSide::ToTrad), "ab");
}

TEST_F(ConvertTest, ConvertScriptBothWays) {
  EXPECT_EQ(Script(u"中华头发干了", cdToTrad), u"中華頭髮幹了");
  EXPECT_EQ(Script(u"中華頭髮幹了", cdToSim), u"中华头发干了");
  EXPECT_EQ(Script(u"乾燥", cdToSim), u"干燥");
  // Characters without a counterpart, or that the source cannot hold, stay.
  EXPECT_EQ(Script(u"书国한국", cdToTrad), u"书國한국");
  EXPECT_EQ(Script(u"ABC é", cdToTrad), u"ABC é");
}

TEST_F(ConvertTest, ConvertScriptKeepsPlaceholdersAndSupplementaryCharacters) {
  // U+001F in the input is text like any other.
  EXPECT_EQ(Script(u"\x1F"
                   u"国\x1F한",
                   cdToTrad),
            u"\x1F"
            u"國\x1F한");
  // Surrogate pairs (emoji, Extension B) come through and nothing shifts.
  EXPECT_EQ(Script(u"😀国𠀀发한头发", cdToTrad), u"😀國𠀀發한頭髮");
  EXPECT_EQ(Script(u"😀國𠀀髮", cdToSim), u"😀国𠀀发");
  // Lone surrogates too.
  std::u16string lone = u"国";
  lone.push_back(static_cast<char16_t>(0xD800));
  lone += u"国";
  lone.push_back(static_cast<char16_t>(0xDC00));
  EXPECT_EQ(Script(lone, cdToTrad), u"國" + lone.substr(1, 1) + u"國" + lone.substr(3, 1));
}

TEST_F(ConvertTest, StreamDirectBytePaths) {
  // A GBK code without a counterpart becomes Big5 □ on the byte path...
  EXPECT_EQ(Stream(Gbk(u"发书"), teGBK, teBig5, cdToTrad), Big5(u"發") + "\xA1\xBC");
  EXPECT_EQ(Stream(Big5(u"頭髮"), teBig5, teGBK, cdNone), Gbk(u"头发"));
  // ...and comes back unchanged through UTF-16.
  std::u16string text = u"发书";
  std::string le(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  std::u16string want = u"發书";
  EXPECT_EQ(Stream(le, teUnicode, teUnicode, cdToTrad),
            std::string(reinterpret_cast<const char*>(want.data()), want.size() * 2));
}

TEST_F(ConvertTest, StreamSignaturesAndUntouchedStreams) {
  const std::string bom = "\xFF\xFE";
  const std::string zhong = "\x2D\x4E";  // 中, little-endian
  EXPECT_EQ(Stream(bom + zhong, teUnicode, teUnicode, cdNone), bom + zhong);
  EXPECT_EQ(Stream(bom + zhong, teUnicode, teUnicode, cdToTrad), zhong);
  EXPECT_EQ(Stream(zhong, teUnicode, teUnicode, cdToTrad, true), bom + zhong);
  EXPECT_EQ(Stream(zhong, teUnicode, teUnicodeBE, cdNone, true), "\xFE\xFF\x4E\x2D");
  EXPECT_EQ(Stream(Gbk(u"中"), teGBK, teUTF8, cdNone, true), "\xEF\xBB\xBF" + ToUtf8(u"中"));
  EXPECT_EQ(Stream("", teUTF8, teGBK, cdToTrad), "");
  // An unknown source gives nothing, or just the signature.
  EXPECT_EQ(Stream("abc", teUnknown, teUTF8, cdToTrad), "");
  EXPECT_EQ(Stream("abc", teUnknown, teUTF8, cdToTrad, true), "\xEF\xBB\xBF");
  EXPECT_EQ(Stream("abc", teUTF8, teUnknown, cdToTrad), "abc");
}

// Without a change of script between the same encoding the bytes stay as
// they are, those no code page decodes included; converted or re-encoded,
// input cut off by its end gives one "?" in every encoding.
TEST_F(ConvertTest, StreamUndecodableAndCutOffBytes) {
  const std::string junk = "\x80\xFF\x81\x20\xA1";  // cut-off lead byte last
  EXPECT_EQ(Stream(Gbk(u"头发") + junk, teGBK, teGBK, cdNone), Gbk(u"头发") + junk);
  EXPECT_EQ(Stream(Big5(u"頭髮") + junk, teBig5, teBig5, cdNone), Big5(u"頭髮") + junk);
  EXPECT_EQ(Stream("a\xE4\xB8", teUTF8, teUTF8, cdNone), "a\xE4\xB8");

  const std::string q = ToUtf8(u"中?");
  EXPECT_EQ(Stream(ToUtf8(u"中") + "\xE4\xB8", teUTF8, teUTF8, cdToTrad), q);
  EXPECT_EQ(Stream(ToUtf8(u"中") + "\xC3", teUTF8, teUTF8, cdToSim), q);
  EXPECT_EQ(Stream(ToUtf8(u"中") + "\xE4\xB8", teUTF8, teGBK, cdNone), Gbk(u"中?"));
  EXPECT_EQ(Stream(Gbk(u"中") + "\xD6", teGBK, teUTF8, cdNone), q);
  EXPECT_EQ(Stream(Big5(u"中") + "\xA4", teBig5, teUTF8, cdNone), q);
  EXPECT_EQ(Stream("\x2D\x4E\x41", teUnicode, teUTF8, cdNone), q);
  EXPECT_EQ(Stream("\x4E\x2D\x41", teUnicodeBE, teUTF8, cdToSim), q);
}

TEST_F(ConvertTest, StreamTargets) {
  // U+2027 becomes the full-width full stop in GBK, even without conversion.
  EXPECT_EQ(Stream(ToUtf8(u"中\u2027国"), teUTF8, teGBK, cdNone), Gbk(u"中．国"));
  // Big5 output is always Traditional.
  EXPECT_EQ(Stream(ToUtf8(u"头发"), teUTF8, teBig5, cdToSim), Big5(u"頭髮"));
  EXPECT_EQ(Stream(ToUtf8(u"头发"), teUTF8, teUTF8, cdToTrad), ToUtf8(u"頭髮"));
  // UTF-16 big-endian keeps every unit in order, those after a U+0000 too.
  std::string be = "\x4E\x2D" + std::string("\0\0", 2) + "\x56\xFD";  // 中 NUL 国
  EXPECT_EQ(Stream(be, teUnicodeBE, teUnicodeBE, cdToTrad),
            "\x4E\x2D" + std::string("\0\0", 2) + "\x57\x0B");  // 國 = U+570B
}

TEST(Utf8Units, EncodeAndDecode) {
  EXPECT_EQ(EncodeUTF8Units(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(EncodeUTF8Units(u"\u4E2D"), "\xE4\xB8\xAD");
  // U+0000 is the zero byte, alone and inside runs of ASCII; the overlong
  // E0 80 80 that older files hold still reads as U+0000.
  EXPECT_EQ(EncodeUTF8Units(std::u16string(1, u'\0')), std::string(1, '\0'));
  std::u16string mixed = u"ab" + std::u16string(300, u'x') + u"中";
  mixed[1] = mixed[150] = u'\0';
  std::string want = "ab" + std::string(300, 'x') + "\xE4\xB8\xAD";
  want[1] = want[150] = '\0';
  EXPECT_EQ(EncodeUTF8Units(mixed), want);
  EXPECT_EQ(EncodeUTF8Units(u"😀"), "\xF0\x9F\x98\x80");
  std::u16string lone(1, static_cast<char16_t>(0xD83D));
  EXPECT_EQ(EncodeUTF8Units(lone), "\xED\xA0\xBD");

  auto dec = [](std::string s) {
    return DecodeUTF8Bytes(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  EXPECT_EQ(dec("a\xC3\xA9\xE4\xB8\xAD"), u"aé中");
  EXPECT_EQ(dec("\xF0\x9F\x98\x80!"), u"😀!");
  EXPECT_EQ(dec("\xE0\x80\x80"), std::u16string(1, u'\0'));
  // A sequence cut off by the end gives "?", as a lone GBK lead byte does;
  // continuation bytes are not checked.
  EXPECT_EQ(dec("ab\xE4\xB8"), u"ab?");
  EXPECT_EQ(dec("ab\xE4"), u"ab?");
  EXPECT_EQ(dec("a\xC3"), u"a?");
  EXPECT_EQ(dec("\xC3\x29"), std::u16string(1, static_cast<char16_t>(0xE9)));
}

TEST(SwapByteOrder, StopsAtTheFirstZeroUnit) {
  std::u16string t = {0x1234, 0x00FF, 0, 0x1234};
  SwapByteOrder(t);
  EXPECT_EQ(t, (std::u16string{0x3412, 0xFF00, 0, 0x1234}));
}

}  // namespace
}  // namespace quillmer
