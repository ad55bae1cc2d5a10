// The lookup arrays of 936 and 950 must give exactly what ICU gives: every
// case here is converted once through the arrays and once straight by ICU.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

class CodePageCache : public ::testing::TestWithParam<UINT> {
 protected:
  void TearDown() override {
    SetCodePageCache(true);
    ResetCodePages();
  }

  std::u16string Decode(std::string_view bytes, bool cached) {
    SetCodePageCache(cached);
    return DecodeCodePage(GetParam(), bytes);
  }
  std::string Encode(std::u16string_view text, bool cached) {
    SetCodePageCache(cached);
    return EncodeCodePage(GetParam(), text);
  }
};

TEST_P(CodePageCache, EveryByteAndPairDecodesAsICUDecodesIt) {
  std::string all;  // every pair in a row: each starts where the last one left ICU
  for (unsigned a = 0; a < 256; ++a) {
    std::string one(1, static_cast<char>(a));
    ASSERT_EQ(Decode(one, true), Decode(one, false)) << a;
    for (unsigned b = 0; b < 256; ++b) {
      std::string pair{static_cast<char>(a), static_cast<char>(b)};
      all += pair;
      for (const std::string& s : {pair, pair + "A", "A" + pair + "\x81\x40"})
        ASSERT_EQ(Decode(s, true), Decode(s, false)) << std::hex << a << ' ' << b;
    }
  }
  EXPECT_EQ(Decode(all, true), Decode(all, false));
}

TEST_P(CodePageCache, EveryUnitEncodesAsICUEncodesIt) {
  std::u16string all;
  for (unsigned u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    std::u16string one(1, static_cast<char16_t>(u));
    all += one;
    ASSERT_EQ(Encode(one, true), Encode(one, false)) << std::hex << u;
    unsigned char bytes[2];
    SetCodePageCache(true);
    int n = EncodeUnitCached(GetParam(), one[0], bytes);
    ASSERT_GT(n, 0) << std::hex << u;  // one or two bytes, "?" included
    ASSERT_EQ(std::string(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(n)),
              Encode(one, false));
  }
  EXPECT_EQ(Encode(all, true), Encode(all, false));
}

TEST_P(CodePageCache, SurrogatesEncodeAsICUEncodesThem) {
  for (std::u16string s : {u"a😀b", u"\xD83D", u"\xD83Dx", u"\xDE00x", u"\xDE00\xD83D",
                           u"x\xD83D\xD83D\xDE00", u"𠀀中\xDC00\xD800"})
    EXPECT_EQ(Encode(s, true), Encode(s, false));
}

TEST_P(CodePageCache, IgnorableCharactersBecomeQuestionMarksNotNothing) {
  // Soft hyphen, zero-width space, zero-width joiner, variation selector 16.
  for (bool cached : {true, false})
    EXPECT_EQ(Encode(u"a\u00AD\u200B\u200D\uFE0Fb", cached), "a????b") << cached;
}

TEST_P(CodePageCache, RandomTextMatchesICU) {
  std::mt19937 rng(GetParam());
  for (int round = 0; round < 3000; ++round) {
    // Every tenth text is long and mostly ASCII, to hold runs of it.
    const bool isLong = round % 10 == 0;
    std::string bytes(rng() % (isLong ? 2000 : 40), '\0');
    for (char& c : bytes) {
      bool high = isLong ? rng() % 20 == 0 : rng() % 3 != 0;
      c = static_cast<char>(high ? 0x80 + rng() % 128 : rng() % 128);
    }
    ASSERT_EQ(Decode(bytes, true), Decode(bytes, false));
    std::u16string text(rng() % (isLong ? 2000 : 40), u'\0');
    for (char16_t& u : text) {
      unsigned r = isLong && rng() % 10 ? 1 : rng() % 8;
      u = static_cast<char16_t>(r == 0  ? 0xD800 + rng() % 0x800
                                : r < 3 ? rng() % 0x80
                                        : 0x3000 + rng() % 0x7000);
    }
    ASSERT_EQ(Encode(text, true), Encode(text, false));
  }
}

TEST_P(CodePageCache, WholeCharactersAreToldFromPartsAndErrors) {
  unsigned char bytes[2];
  char16_t unit = 0;
  ASSERT_EQ(EncodeUnitCached(GetParam(), u'中', bytes), 2);
  EXPECT_TRUE(DecodeCharCached(GetParam(), bytes, 2, &unit));
  EXPECT_EQ(unit, u'中');
  EXPECT_TRUE(DecodeCharCached(GetParam(), reinterpret_cast<const unsigned char*>("A"), 1, &unit));
  EXPECT_EQ(unit, u'A');
  // A lead byte alone, and a lead with a byte that cannot follow it.
  EXPECT_FALSE(DecodeCharCached(GetParam(), bytes, 1, &unit));
  EXPECT_FALSE(
      DecodeCharCached(GetParam(), reinterpret_cast<const unsigned char*>("\x81\x20"), 2, &unit));
  EXPECT_EQ(EncodeUnitCached(GetParam(), 0xD800, bytes), -1);
}

TEST_P(CodePageCache, MissingCodePagesHaveNoCache) {
  SetCodePageInstalled(GetParam(), false);
  unsigned char bytes[2];
  EXPECT_FALSE(HasCodePageCache(GetParam()));
  EXPECT_EQ(EncodeUnitCached(GetParam(), u'中', bytes), -1);
  EXPECT_EQ(EncodeCodePage(GetParam(), u"中"), "");
  EXPECT_EQ(DecodeCodePage(GetParam(), "ab"), u"");
  ResetCodePages();
  EXPECT_TRUE(HasCodePageCache(GetParam()));
  EXPECT_FALSE(HasCodePageCache(1252));
}

INSTANTIATE_TEST_SUITE_P(ChineseCodePages, CodePageCache, ::testing::Values(936u, 950u));

}  // namespace
}  // namespace quillmer
