#include "page/charset_rules.h"

#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::Gbk;

class CharsetRules : public testing::SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
    SetResourceOverride("testtbl1", RT_RCDATA, Big5(u"頭國"));
    SetResourceOverride("testtbl2", RT_RCDATA, Gbk(u"头国"));
  }
};

TEST_F(CharsetRules, DeclarationFitsTheText) {
  // Text that really is in the declared code page fits.
  EXPECT_TRUE(CharsetMatchesText(u"頭國 abc", cdToTrad, "big5"));
  EXPECT_TRUE(CharsetMatchesText(u"頭國", cdToSim, "big5"));
  EXPECT_TRUE(CharsetMatchesText(u"头国", cdToTrad, "gb2312"));
  // GBK bytes shown as Big5, and Big5 bytes shown as GBK, do not.
  std::u16string gbAsBig5 = DecodeCodePage(950, Gbk(u"头国"));
  std::u16string big5AsGb = DecodeCodePage(936, Big5(u"頭國"));
  EXPECT_FALSE(CharsetMatchesText(gbAsBig5, cdToTrad, "big5"));
  EXPECT_FALSE(CharsetMatchesText(big5AsGb, cdToSim, "gb2312"));
  EXPECT_FALSE(CharsetMatchesText(big5AsGb, cdToSim, "gb18030"));
  EXPECT_FALSE(CharsetMatchesText(big5AsGb, cdToSim, "hz-gb-2312"));
  // Charsets without a text check, and an empty text, always fit.
  for (const char* cs : {"utf-8", "unicode", "unicodefffe", "iso-8859-1", ""})
    EXPECT_TRUE(CharsetMatchesText(gbAsBig5, cdToTrad, cs)) << cs;
  EXPECT_TRUE(CharsetMatchesText(u"", cdToTrad, "big5"));
  // Nothing the detector can tell either way: fits.
  EXPECT_TRUE(CharsetMatchesText(u"plain ascii", cdToTrad, "big5"));
}

struct Row {
  const char* charset;
  bool automatic;
  TextEncoding toTrad, toSim;
  bool targetTrad, targetSim;
  const char16_t* corrected;   // null: none
  const char* origMismatched;  // null: none
};

TEST(CharsetTable, EveryKnownNameAndAnOtherOne) {
  const Row rows[] = {
      {"big5", true, teBig5, teBig5, true, false, u"gb2312", "gb2312"},
      {"gb2312", true, teGBK, teGBK, false, true, u"big5", "big5"},
      {"gb18030", true, teGBK, teGBK, false, true, u"big5", "big5"},
      {"hz-gb-2312", true, teGBK, teGBK, false, true, nullptr, nullptr},
      {"utf-8", true, teGBK, teBig5, false, false, nullptr, nullptr},
      {"unicode", true, teGBK, teBig5, false, false, nullptr, nullptr},
      {"unicodefffe", true, teGBK, teBig5, false, false, nullptr, nullptr},
      {"iso-8859-1", false, teGBK, teBig5, false, false, nullptr, nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.charset);
    EXPECT_EQ(IsChineseCharset(r.charset), r.automatic);
    EXPECT_EQ(PageEncodingFor(r.charset, cdToTrad), r.toTrad);
    EXPECT_EQ(PageEncodingFor(r.charset, cdToSim), r.toSim);
    EXPECT_EQ(IsTargetCharset(cdToTrad, r.charset), r.targetTrad);
    EXPECT_EQ(IsTargetCharset(cdToSim, r.charset), r.targetSim);
    EXPECT_EQ(CorrectedCharset(r.charset),
              r.corrected ? std::optional<std::u16string>(r.corrected) : std::nullopt);
    EXPECT_EQ(OrigCharsetToRecord(r.charset, false), std::string(r.charset));
    EXPECT_EQ(OrigCharsetToRecord(r.charset, true),
              r.origMismatched ? std::optional<std::string>(r.origMismatched) : std::nullopt);
  }
  EXPECT_EQ(TargetCharset(cdToTrad), u"big5");
  EXPECT_EQ(TargetCharset(cdToSim), u"gb2312");
}

TEST(CharsetTable, NamesAreLoweredAsciiOnly) {
  EXPECT_EQ(LowerCharsetName(u"BIG5"), "big5");
  EXPECT_EQ(LowerCharsetName(u"GB2312"), "gb2312");
  EXPECT_EQ(LowerCharsetName(u"Unicode\u0130"), "unicode?");  // never a known name
}

}  // namespace
}  // namespace quillmer
