#include <random>
#include <utility>
#include <vector>

#include "engine/convert.h"
#include "platform/base/error.h"
#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::CharLine;
using testing::Gbk;

unsigned Code(const std::string& twoBytes) {
  return static_cast<unsigned char>(twoBytes[0]) << 8 | static_cast<unsigned char>(twoBytes[1]);
}

class TablesTest : public testing::SmallTables {};

TEST_F(TablesTest, CharacterTablesTakeFirstFormAndLastLine) {
  InstallCommon();
  EnsureTables();
  const auto& t = Tables();
  // 干 goes to the first listed form; both forms come back to 干.
  EXPECT_EQ(t.GbToB5Table[Code(Gbk(u"干")) - 0x8140], Code(Big5(u"干")));
  EXPECT_EQ(t.B5ToGbTable[Code(Big5(u"干")) - 0x8140], Code(Gbk(u"干")));
  EXPECT_EQ(t.B5ToGbTable[Code(Big5(u"幹")) - 0x8140], Code(Gbk(u"干")));
  // Codes absent from the table map to the white squares.
  EXPECT_EQ(t.GbToB5Table[Code(Gbk(u"书")) - 0x8140], kBig5Square);
  EXPECT_EQ(t.B5ToGbTable[Code(Big5(u"書")) - 0x8140], kGbkSquare);
}

TEST_F(TablesTest, LaterLineWinsAndCrLfReadsTheSame) {
  Install({CharLine(u"里", u"裡里") + "\r", CharLine(u"厘", u"里") + "\r", CharLine(u"里", u"裏")},
          {}, {});
  EnsureTables();
  const auto& t = Tables();
  EXPECT_EQ(t.GbToB5Table[Code(Gbk(u"里")) - 0x8140], Code(Big5(u"裏")));
  EXPECT_EQ(t.B5ToGbTable[Code(Big5(u"里")) - 0x8140], Code(Gbk(u"厘")));
  EXPECT_EQ(t.B5ToGbTable[Code(Big5(u"裡")) - 0x8140], Code(Gbk(u"里")));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(TablesTest, BadCodesStopLoadingWithAWarning) {
  Install({CharLine(u"发", u"發"), std::string("\x41\x41") + Big5(u"國"), CharLine(u"国", u"國")},
          {}, {});
  EnsureTables();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Invalid GBK code in line 1");
  EXPECT_EQ(boxes[0].flags, MB_OK | MB_ICONWARNING);
  const auto& t = Tables();
  EXPECT_EQ(t.GbToB5Table[Code(Gbk(u"发")) - 0x8140], Code(Big5(u"發")));  // kept
  EXPECT_EQ(t.GbToB5Table[Code(Gbk(u"国")) - 0x8140], kBig5Square);        // not reached

  boxes.clear();
  Install({CharLine(u"发", u"發"), Gbk(u"国") + "\x81\x20"}, {}, {});
  EnsureTables();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Invalid Big5 code in line 1");
  // The tables still count as loaded: a second call warns no more.
  EnsureTables();
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(TablesTest, WarningsGoToTheOwnersReporterAndTheEngineShowsNothing) {
  Install({CharLine(u"发", u"發"), std::string("\x41\x41") + Big5(u"國")}, {}, {});
  EngineTables owned;
  std::vector<std::pair<std::string, unsigned>> reports;
  owned.report = [&](const std::string& text, unsigned icon) { reports.emplace_back(text, icon); };
  EngineTables* previous = SetCurrentTables(&owned);
  EnsureTables();
  EXPECT_EQ(SetCurrentTables(previous), &owned);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].first, "Invalid GBK code in line 1");
  EXPECT_EQ(reports[0].second, static_cast<unsigned>(MB_ICONWARNING));
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(owned.allReady);
  EXPECT_FALSE(Tables().allReady) << "the process's own tables were not touched";

  // Without a reporter a warning is dropped, never shown by the engine.
  EngineTables silent;
  SetCurrentTables(&silent);
  EnsureTables();
  SetCurrentTables(previous);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(TablesTest, EnsureTablesLoadsOnceAndMissingResourceFails) {
  InstallCommon();
  EnsureTables();
  // Once ready nothing is read again, even if the resources vanish.
  SetResourceOverride("strtbl", RT_RCDATA, std::nullopt);
  SetResourceOverride("b5_1ndx", RT_RCDATA, std::nullopt);
  EXPECT_NO_THROW(EnsureTables());

  ResetTables();
  EXPECT_THROW(EnsureTables(), Error);
  TextStream s(Gbk(u"发"));
  EXPECT_THROW(ConvertStream(s, teGBK, teBig5, cdToTrad, false), Error);
}

TEST_F(TablesTest, IndexRecordsOutOfRangeAreIgnored) {
  InstallCommon();
  std::string index;
  auto put = [&](int a, int b, int c) {
    for (int v : {a, b, c})
      for (int k = 0; k < 4; ++k) index.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
  };
  put(-5, 0, 0);
  put(kFixSlots, 0, 0);
  put(FixSlotOfCode(Code(Big5(u"頭"))), 0, 0);
  index += "\x01\x02";  // a short last record is not read
  SetResourceOverride("key1ndx", RT_RCDATA, index);
  SetResourceOverride("b5_1ndx", RT_RCDATA, Big5(u"頭發") + "\n");
  SetResourceOverride("b5_2ndx", RT_RCDATA, Big5(u"頭髮") + "\n");
  EnsureTables();
  const FixIndex& ix = Tables().B5fix.Index();
  EXPECT_EQ(ix[FixSlotOfCode(Code(Big5(u"頭")))].first, 0);
  int used = 0;
  for (const auto& s : ix) used += s.first >= 0;
  EXPECT_EQ(used, 1);
}

// The second-character index must give exactly what a scan of the slot in
// table order gives, whatever the order and shape of the keys.
TEST(FixTableLookup, MatchesTheLinearScanOnRandomTables) {
  std::mt19937 rng(7);
  const std::string lead = "\xB7";
  auto randomChar = [&](std::string& s) {
    switch (rng() % 4) {
      case 0:
        s.push_back(static_cast<char>('0' + rng() % 3));
        break;
      default:
        s.push_back(static_cast<char>(0xA1 + rng() % 3));
        s.push_back(static_cast<char>(0xA1 + rng() % 3));
    }
  };
  for (int round = 0; round < 40; ++round) {
    FixTable table;
    const int slot = FixSlotOfCode(0xB7A2);
    int n = 10 + static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i) {
      std::string key = "\xB7\xA2";
      int extra = static_cast<int>(rng() % 4);
      for (int k = 0; k < extra; ++k) randomChar(key);
      if (rng() % 10 == 0) key.push_back('\xA1');  // a cut-off second character
      if (rng() % 15 == 0) key = lead;             // shorter than the first character
      table.Add(key, "r" + std::to_string(i));
    }
    table.Index()[slot] = FixSlot{0, n - 1};
    table.Prepare();
    for (int probe = 0; probe < 200; ++probe) {
      std::string text = "\xB7\xA2";
      int extra = static_cast<int>(rng() % 4);
      for (int k = 0; k < extra; ++k) randomChar(text);
      if (rng() % 8 == 0) text.push_back('\xA2');
      const auto* p = reinterpret_cast<const unsigned char*>(text.data());
      std::int32_t expect = -1;
      for (int i = 0; i < n; ++i) {
        auto k = table.Key(static_cast<std::size_t>(i));
        if (!k.empty() && k.size() <= text.size() && text.compare(0, k.size(), k) == 0) {
          expect = i;
          break;
        }
      }
      ASSERT_EQ(table.Match(slot, p, text.size()), expect) << "round " << round;
    }
  }
}

TEST(FixTableLookup, EmptyKeysNeverMatchAndMissingReplacementsAreDropped) {
  FixTable table;
  table.SetLists("\n\xB7\xA2\n\xB7\xA2\xA1\xA1\n", "x\ny\n");
  EXPECT_EQ(table.Count(), 2u);  // the third key has no replacement line
  const int slot = FixSlotOfCode(0xB7A2);
  table.Index()[slot] = FixSlot{0, 2};
  table.Prepare();
  const std::string text = "\xB7\xA2\xA1\xA1";
  EXPECT_EQ(table.Match(slot, reinterpret_cast<const unsigned char*>(text.data()), text.size()), 1);
}

}  // namespace
}  // namespace quillmer
