// The one-pass unit path against the code-page path it stands in for: the same
// text out for every BMP unit, for random text, for the man pages, and for
// tables with entries that the unit path must hand back to the code pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/detect.h"
#include "engine/tables.h"
#include "engine/unit_path.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "tests/engine/random_text.h"
#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::CharLine;
using testing::Gbk;

std::u16string ByPath(std::u16string text, ConvDirection d, bool units) {
  SetUnitPath(units ? UnitPathUse::Always : UnitPathUse::Off);
  ConvertScript(text, d);
  SetUnitPath(UnitPathUse::Auto);
  return text;
}

std::string Utf8ByPath(std::string bytes, ConvDirection d, bool units) {
  SetUnitPath(units ? UnitPathUse::Always : UnitPathUse::Off);
  TextStream s(std::move(bytes));
  ConvertStream(s, teUTF8, teUTF8, d, false);
  SetUnitPath(UnitPathUse::Auto);
  return s.data;
}

void ExpectSame(const std::u16string& text, const char* what) {
  for (ConvDirection d : {cdToTrad, cdToSim}) {
    ASSERT_EQ(ByPath(text, d, true), ByPath(text, d, false)) << what << ", direction " << int(d);
    const std::string utf8 = ToUtf8(text);
    ASSERT_EQ(Utf8ByPath(utf8, d, true), Utf8ByPath(utf8, d, false))
        << what << " as UTF-8, direction " << int(d);
  }
}

// Pieces of text to draw from: words of the phrase tables in both scripts
// among characters the code pages lack or treat oddly.
struct Pieces {
  std::vector<std::u16string> words;
  std::u16string Draw(std::mt19937& rng, std::size_t count) const {
    return testing::RandomText(rng, count, [this](std::mt19937& r) {
      return words.empty() ? std::u16string() : words[r() % words.size()];
    });
  }
};

// Every key of a phrase table, read in its code page, and what the other
// direction makes of it.
void AddWords(Pieces& p, const FixTable& fix, unsigned cp, ConvDirection back) {
  for (std::size_t i = 0; i < fix.Count(); i += 7) {
    std::u16string w = DecodeCodePage(cp, fix.Key(i));
    p.words.push_back(w);
    p.words.push_back(ByPath(w, back, false));
  }
}

class UnitPathBuiltIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearResourceOverrides();
    ResetTables();
    EnsureTables();
  }
  void TearDown() override { ResetTables(); }
};

TEST_F(UnitPathBuiltIn, EveryBmpUnitAloneAndAllInOrder) {
  std::u16string all;
  for (char32_t u = 0; u <= 0xFFFF; ++u) all += static_cast<char16_t>(u);
  ExpectSame(all, "every unit in order");
  for (ConvDirection d : {cdToTrad, cdToSim}) {
    std::vector<char16_t> differ;
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
      const std::u16string one(1, static_cast<char16_t>(u));
      if (ByPath(one, d, true) != ByPath(one, d, false)) differ.push_back(static_cast<char16_t>(u));
    }
    EXPECT_TRUE(differ.empty()) << differ.size() << " units differ in direction " << int(d)
                                << ", the first U+" << std::hex << int(differ[0]);
  }
}

TEST_F(UnitPathBuiltIn, RandomTextWithThePhraseTablesWords) {
  Pieces p;
  AddWords(p, Tables().B5fix, kCodePageBig5, cdToSim);
  AddWords(p, Tables().GBfix, kCodePageGbk, cdToTrad);
  std::mt19937 rng(11);
  for (int round = 0; round < 1500; ++round)
    ExpectSame(p.Draw(rng, 1 + rng() % 40), ("round " + std::to_string(round)).c_str());
  // Long texts, past the pieces the unit path works in.
  for (int round = 0; round < 3; ++round) ExpectSame(p.Draw(rng, 40000), "long text");
}

// Bytes that are UTF-8 only in part: the one-pass UTF-8 walk must hand them
// on, and the result stay that of the code pages.
TEST_F(UnitPathBuiltIn, BytesThatAreNotAllUtf8) {
  static const char* const kPieces[] = {
      "\xE5\x8F\x91", "\xE5\xA4\xB4", "\xE5\xB9\xB2", "\xE5\x9B\xBD",  // 发头干国
      "a", "n", "S", "P", "I", "N", "'", "\x1F", " ",
      "\xC2\xB7", "\xF0\x9F\x98\x80",  // a two-byte and a four-byte character
      "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80\x80",  // not allowed
      "\x80", "\xBF", "\xFF", "\xE5\x8F", "\xF0\x9F\x98"};                 // cut short
  std::mt19937 rng(21);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (std::size_t k = rng() % 24; k > 0; --k) text += kPieces[rng() % std::size(kPieces)];
    for (ConvDirection d : {cdToTrad, cdToSim})
      ASSERT_EQ(Utf8ByPath(text, d, true), Utf8ByPath(text, d, false))
          << "round " << round << ", direction " << int(d);
  }
}

// Text given without its encoding takes the one pass only when detection
// would take it for UTF-8 from end to end; the result is that of detecting
// and converting.
TEST_F(UnitPathBuiltIn, WholeUtf8OnlyWhenDetectionWouldSaySo) {
  std::string big;
  while (big.size() < 20000) big += "头发干了, the hair is dry. 國際化 SQL注入\n";
  for (const std::string& text :
       {big, "\xEF\xBB\xBF" + big, std::string("only ASCII") + std::string(9000, 'n'),
        "\xEF\xBB\xBF" + std::string(9000, 'a'), Gbk(u"头发干了") + std::string(9000, ' '),
        std::string("\xFF\xFE") + std::string(9000, 'a'), big + "\xE5\x8F"}) {
    for (bool bom : {false, true}) {
      std::string got;
      const bool taken = ConvertIfWholeUtf8(text, cdToTrad, bom, got);
      TextStream detected(text);
      const TextEncoding e = DetectEncoding(detected);
      const bool whole = e == teUTF8 && text.find('\xE5') != std::string::npos &&
                         text.back() != '\x8F';
      EXPECT_EQ(taken, whole) << text.substr(0, 20);
      if (!taken) continue;
      TextStream s(text);
      ConvertStream(s, teUTF8, teUTF8, cdToTrad, bom);
      EXPECT_TRUE(got == s.data);
    }
  }
}

// The Chinese man pages of manpages-zh, where installed.
std::string ManPages(const char* region) {
  const std::string dir = std::string("/usr/share/man/zh_") + region;
  if (!std::filesystem::is_directory(dir)) return {};
  const std::string command =
      "find " + dir + " -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat 2>/dev/null";
  std::string text;
  if (FILE* f = popen(command.c_str(), "r")) {
    char buf[65536];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, f)) text.append(buf, n);
    pclose(f);
  }
  return text;
}

TEST_F(UnitPathBuiltIn, ManPagesBothWays) {
  const std::string cn = ManPages("CN"), tw = ManPages("TW");
  if (cn.empty() || tw.empty()) GTEST_SKIP() << "the Chinese man pages (manpages-zh) are missing";
  for (const std::string* text : {&cn, &tw})
    for (ConvDirection d : {cdToTrad, cdToSim}) {
      const std::string units = Utf8ByPath(*text, d, true);
      EXPECT_TRUE(units == Utf8ByPath(*text, d, false))
          << text->size() << " bytes, direction " << int(d);
      EXPECT_NE(units, *text);
    }
}

class UnitPathTables : public testing::SmallTables {
 protected:
  void InstallChars() {
    chars_ = {CharLine(u"发", u"發髮"), CharLine(u"干", u"干幹"), CharLine(u"国", u"國"),
              CharLine(u"头", u"頭"),   CharLine(u"面", u"麵面"), CharLine(u"中", u"中")};
  }
  std::vector<std::string> chars_;
};

// Keys and replacements that no generated table holds: U+001F's byte (what
// stands for set-aside characters), a lead byte cut off at the end, bytes that
// read as nothing whole, single bytes 0x80 and 0xFF; in table order or not.
TEST_F(UnitPathTables, OddEntriesGiveTheCodePageResult) {
  InstallChars();
  const std::vector<std::string> parts = {
      Big5(u"國"), Big5(u"頭"), Big5(u"發"), Big5(u"髮"), Big5(u"中"), Big5(u"麵"),
      "a",         "'",         "\x1F",      "\xA4",      "\x80",      "\xFF",
      "\x81\x30",  "\xA1\x40",  Big5(u"╳"), Gbk(u"头")};
  std::mt19937 rng(5);
  for (int table = 0; table < 60; ++table) {
    std::vector<testing::FixEntry> b5, gb;
    for (int e = 0; e < 12; ++e) {
      std::string key, repl;
      for (std::size_t k = 1 + rng() % 3; k > 0; --k) key += parts[rng() % parts.size()];
      for (std::size_t k = rng() % 3; k > 0; --k) repl += parts[rng() % parts.size()];
      (rng() % 2 ? b5 : gb).push_back({key, repl});
    }
    // The same key twice: the first in table order wins.
    if (!b5.empty()) b5.push_back({b5[0].key, "dup"});
    Install(chars_, b5, gb, table % 3 != 0);
    Pieces p{{u"国", u"头", u"发", u"髮", u"中", u"面", u"a", u"'", u"\x1F", u"😀", u"╳", u"\x80",
              u"ÿ"}};
    for (int round = 0; round < 40; ++round)
      ExpectSame(p.Draw(rng, 1 + rng() % 12), ("table " + std::to_string(table)).c_str());
  }
}

// Of the keys the text begins with, the earliest in table order wins, whatever
// their lengths; equal keys, the first.
TEST_F(UnitPathTables, EarliestKeyInTableOrderWins) {
  InstallChars();
  Install(chars_,
          {{Big5(u"頭"), Big5(u"中")},
           {Big5(u"頭發國"), Big5(u"國國國")},
           {Big5(u"頭發"), Big5(u"頭髮")},
           {Big5(u"國"), Big5(u"麵")},
           {Big5(u"國"), Big5(u"發")}},
          {}, false);
  for (bool units : {true, false}) {
    EXPECT_EQ(ByPath(u"头发国", cdToTrad, units), u"中發麵") << units;
    EXPECT_EQ(ByPath(u"国头", cdToTrad, units), u"麵中") << units;
  }
  Install(chars_,
          {{Big5(u"頭發國"), Big5(u"國國國")},
           {Big5(u"頭發"), Big5(u"頭髮")},
           {Big5(u"頭"), Big5(u"中")}},
          {}, false);
  for (bool units : {true, false}) EXPECT_EQ(ByPath(u"头发国", cdToTrad, units), u"國國國") << units;
}

// The cache of each direction follows the tables it was made from.
TEST_F(UnitPathTables, FollowsChangesToTheTables) {
  InstallChars();
  Install(chars_, {{Big5(u"頭發"), Big5(u"頭髮")}}, {});
  EXPECT_EQ(ByPath(u"头发国", cdToTrad, true), u"頭髮國");
  Tables().B5fix.Add(Big5(u"國"), Big5(u"中"));
  Tables().B5fix.Index()[FixSlotOfCode(static_cast<unsigned char>(Big5(u"國")[0]) << 8 |
                                       static_cast<unsigned char>(Big5(u"國")[1]))] =
      FixSlot{1, 1};
  Tables().B5fix.Prepare();
  EXPECT_EQ(ByPath(u"头发国", cdToTrad, true), u"頭髮中");
  const std::string b = Big5(u"面");
  Tables().GbToB5Table[(static_cast<unsigned char>(Gbk(u"头")[0]) << 8 |
                        static_cast<unsigned char>(Gbk(u"头")[1])) -
                       0x8140] =
      static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) << 8 |
                                 static_cast<unsigned char>(b[1]));
  Tables().CharTablesChanged();
  EXPECT_EQ(ByPath(u"头国", cdToTrad, true), u"面中");
  EXPECT_EQ(ByPath(u"头国", cdToTrad, false), u"面中");
}

}  // namespace
}  // namespace quillmer
