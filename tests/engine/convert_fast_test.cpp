// ConvertScript works one unit at a time when it can and over whole strings
// when it must; both ways must give the same text, for any input and tables.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/convert.h"
#include "engine/tables.h"
#include "platform/win32/codepage.h"
#include "tests/engine/random_text.h"
#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::CharLine;
using testing::Gbk;

std::u16string Convert(std::u16string text, ConvDirection d, bool fast) {
  SetConvertScriptFastPath(fast);
  ConvertScript(text, d);
  SetConvertScriptFastPath(true);
  return text;
}

// Text that mixes what the tables know with what the code pages lack.
std::u16string RandomText(std::mt19937& rng, std::u16string_view known, std::size_t most = 48) {
  return testing::RandomText(rng, rng() % most, [known](std::mt19937& r) {
    return known.empty() ? std::u16string() : std::u16string(1, known[r() % known.size()]);
  });
}

class ConvertFast : public testing::SmallTables {
 protected:
  void InstallOdd() {
    InstallCommon();
    EnsureTables();
  }

  void ExpectSameBothWays(std::mt19937& rng, std::u16string_view known, int rounds) {
    for (int r = 0; r < rounds; ++r) {
      std::u16string t = RandomText(rng, known);
      // Every tenth text is long and mostly ASCII, as files are.
      if (r % 10 == 0) {
        t.clear();
        while (t.size() < 300 + rng() % 600)
          t += rng() % 4 ? std::u16string(rng() % 40, u'a' + rng() % 26) : RandomText(rng, known);
      }
      for (ConvDirection d : {cdToTrad, cdToSim})
        ASSERT_EQ(Convert(t, d, true), Convert(t, d, false)) << "round " << r << " direction " << d;
    }
  }
};

TEST_F(ConvertFast, SameAsTheGeneralPathWithSmallTables) {
  InstallCommon();
  std::mt19937 rng(1);
  ExpectSameBothWays(rng, u"发干国头面华中拉巾了發髮幹國頭麵乾燥", 3000);
  EXPECT_EQ(Convert(u"头发干了a😀한\x1F?", cdToTrad, true), u"頭髮幹了a😀한\x1F?");
  // Set-aside characters of one and two units, side by side and at both ends.
  for (bool fast : {true, false}) {
    EXPECT_EQ(Convert(u"😀国\x1F𠀀한😀😀\xD800头", cdToTrad, fast), u"😀國\x1F𠀀한😀😀\xD800頭");
    EXPECT_EQ(Convert(u"한\x1F😀", cdToSim, fast), u"한\x1F😀");
  }
}

TEST_F(ConvertFast, SameAsTheGeneralPathWithTheBuiltInTables) {
  ClearResourceOverrides();
  ResetTables();
  std::mt19937 rng(2);
  ExpectSameBothWays(rng, u"发干国头里后台面范松余着乾髮幹後臺麵範鬆餘著說話简體繁體", 3000);
}

// The UTF-8 codecs against the plain rule, one unit or sequence at a time,
// on text long enough for their runs of ASCII.
TEST(Utf8Runs, SameAsOneAtATime) {
  std::mt19937 rng(4);
  for (int round = 0; round < 200; ++round) {
    std::u16string units;
    while (units.size() < 500) {
      if (rng() % 3) units += std::u16string(rng() % 50, static_cast<char16_t>(1 + rng() % 0x7F));
      static const char16_t kOdd[] = {0, 0x7F, 0x80, 0x7FF, 0x800, 0xD83D, 0xDE00, 0xFFFF, u'中'};
      units += kOdd[rng() % std::size(kOdd)];
    }
    std::string want, utf8 = EncodeUTF8Units(units);
    for (std::size_t i = 0; i < units.size(); ++i) {
      const bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
                        units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
      want += EncodeUTF8Units(std::u16string_view(units).substr(i, pair ? 2 : 1));
      i += pair;
    }
    ASSERT_EQ(utf8, want);
    std::u16string back =
        DecodeUTF8Bytes(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
    std::u16string wantBack;
    for (std::size_t i = 0; i < utf8.size();) {
      auto b = static_cast<unsigned char>(utf8[i]);
      std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF8) == 0xF0 ? 4 : 3;
      wantBack += DecodeUTF8Bytes(reinterpret_cast<const unsigned char*>(utf8.data() + i), len);
      i += len;
    }
    ASSERT_EQ(back, wantBack);
  }
}

// ApplyFix on a stream writes over its own bytes: replacements longer than
// their keys, shorter, and empty, anywhere in the text.
TEST_F(ConvertFast, ApplyFixInPlaceSameAsIntoANewString) {
  Install({}, {{"ab", "abcd"}, {"x", ""}, {"q", "r"}, {Big5(u"國"), Big5(u"國國國")}, {"zz", "z"}},
          {{"ab", "a"}, {Gbk(u"国"), Gbk(u"国国")}});
  EnsureTables();
  std::mt19937 rng(5);
  const std::string pieces[] = {"ab", "x", "q", "zz", "z", "a", "b", "-", Big5(u"國"), Gbk(u"国")};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (std::size_t n = rng() % 30; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    for (TableSide table : {TableSide::ToTrad, TableSide::ToSim}) {
      TextStream stream(text);
      ApplyFix(stream, table);
      ASSERT_EQ(stream.data, ApplyFix(text, table)) << text;
    }
  }
}

// A UTF-8 stream converted to UTF-8 never goes whole through UTF-16 on the
// unit-at-a-time path; the bytes must still be those of the general path:
// valid and broken UTF-8, surrogates as four bytes and as three, U+0000,
// signatures, runs of ASCII long and short.
TEST_F(ConvertFast, Utf8StreamsSameAsTheGeneralPath) {
  ClearResourceOverrides();
  ResetTables();
  std::mt19937 rng(8);
  const std::string pieces[] = {
      "a",    "abc def ghi ", "\n",       "?", "\x1F", "\0",           "发",           "头发",
      "国",   "한",           "\xC3\xA9", "😀", "𠀀",   "\xED\xA0\x80", "\xED\xB0\x80", "\xF0\x9F",
      "\x80", "\xFF",         "\xE4\xB8", "“", "I’m",  "\xEF\xBB\xBF"};
  for (int round = 0; round < 1500; ++round) {
    std::string text = round % 3 == 0 ? "\xEF\xBB\xBF" : "";
    const std::size_t n = round % 10 == 0 ? 300 + rng() % 300 : rng() % 20;
    for (std::size_t j = 0; j < n; ++j) {
      if (round % 10 == 0 && rng() % 3) text += std::string(rng() % 30, 'x');
      text += pieces[rng() % std::size(pieces)];
    }
    for (ConvDirection d : {cdToTrad, cdToSim}) {
      for (bool signature : {false, true}) {
        TextStream fast(text), general(text);
        ConvertStream(fast, teUTF8, teUTF8, d, signature);
        SetConvertScriptFastPath(false);
        ConvertStream(general, teUTF8, teUTF8, d, signature);
        SetConvertScriptFastPath(true);
        ASSERT_EQ(fast.data, general.data) << round << ' ' << d << ' ' << signature;
      }
    }
  }
}

// Table entries that no real table holds: a code whose bytes part, one that
// decodes to nothing whole, one that decodes to a question mark. Units that
// meet them take the general path; the result is still the same.
TEST_F(ConvertFast, SameAsTheGeneralPathWhenEntriesAreOdd) {
  InstallOdd();
  auto& t = Tables();
  auto code = [](std::string_view b) {
    return static_cast<unsigned>(static_cast<unsigned char>(b[0]) << 8 |
                                 static_cast<unsigned char>(b[1])) -
           0x8140;
  };
  t.GbToB5Table[code(Gbk(u"中"))] = 0x4142;  // "AB"
  t.GbToB5Table[code(Gbk(u"国"))] = 0x8120;  // lead with a byte that cannot follow
  t.GbToB5Table[code(Gbk(u"头"))] = 0xFFFF;
  t.B5ToGbTable[code(Big5(u"國"))] = 0xA3BF;  // full-width question mark
  t.B5ToGbTable[code(Big5(u"頭"))] = 0x3F3F;
  t.CharTablesChanged();
  std::mt19937 rng(3);
  ExpectSameBothWays(rng, u"中国头发國頭髮", 2000);
}

TEST_F(ConvertFast, NoticesTableChangesAfterAConversion) {
  InstallCommon();
  EXPECT_EQ(Convert(u"国", cdToTrad, true), u"國");
  // 国 now maps to 頭: the route worked out for 国 must not be reused.
  auto b = Big5(u"頭");
  unsigned gb =
      static_cast<unsigned char>(Gbk(u"国")[0]) << 8 | static_cast<unsigned char>(Gbk(u"国")[1]);
  Tables().GbToB5Table[gb - 0x8140] = static_cast<std::uint16_t>(
      static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]));
  Tables().CharTablesChanged();
  EXPECT_EQ(Convert(u"国", cdToTrad, true), u"頭");
  ResetTables();
  EXPECT_EQ(Convert(u"国", cdToTrad, true), u"國");
}

TEST_F(ConvertFast, MissingCodePagesGiveTheGeneralResult) {
  InstallCommon();
  for (UINT cp : {936u, 950u}) {
    SetCodePageInstalled(cp, false);
    std::u16string t = u"头发a한";
    EXPECT_EQ(Convert(t, cdToTrad, true), Convert(t, cdToTrad, false)) << cp;
    EXPECT_EQ(Convert(t, cdToSim, true), Convert(t, cdToSim, false)) << cp;
    ResetCodePages();
  }
}

// Characters that the code pages turn into nothing must not vanish or shift
// the characters after them.
TEST_F(ConvertFast, IgnorableCharactersComeThrough) {
  InstallCommon();
  for (bool fast : {true, false}) {
    EXPECT_EQ(Convert(u"头\u00AD发\u200B한\uFE0F国", cdToTrad, fast), u"頭\u00AD發\u200B한\uFE0F國")
        << fast;
  }
}

}  // namespace
}  // namespace quillmer
