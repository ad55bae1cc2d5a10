#include "engine/userfix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "engine/convert.h"
#include "platform/base/error.h"
#include "table_fixture.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::FixEntry;
using testing::Gbk;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

// ---- comma text --------------------------------------------------------------

TEST(FixLine, JoinQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ("ab,cd", JoinFixLine("ab", "cd"));
  EXPECT_EQ("\"a b\",\"c,d\"", JoinFixLine("a b", "c,d"));
  EXPECT_EQ("\"say \"\"hi\"\"\",x", JoinFixLine("say \"hi\"", "x"));
  EXPECT_EQ("key,", JoinFixLine("key", ""));
  EXPECT_EQ("\"\t\",\"\x01\"", JoinFixLine("\t", std::string("\x01")));
  // Big5 trail bytes never need quotes (許 ends in 0x5C, a backslash).
  EXPECT_EQ(Big5(u"許功") + "," + Big5(u"許"), JoinFixLine(Big5(u"許功"), Big5(u"許")));
}

TEST(FixLine, SplitFollowsTheCommaTextRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(V({"a", "b"}), SplitFixLine("  a , b  "));
  EXPECT_EQ(V({"key"}), SplitFixLine("key,")) << "a final comma adds no field";
  EXPECT_EQ(V({"", "rest"}), SplitFixLine(",rest")) << "a leading comma gives an empty field";
  EXPECT_EQ(V({"a", "b", "c"}), SplitFixLine("a b,c")) << "an unquoted blank ends a field";
  EXPECT_EQ(V({"a \"q\", b", "x"}), SplitFixLine("\"a \"\"q\"\", b\",x"));
  EXPECT_EQ(V({"open"}), SplitFixLine("\"open")) << "an unclosed quote runs to the end";
  EXPECT_EQ(V({"a", "b"}), SplitFixLine("\"a\"b")) << "text after a closing quote is a field";
  EXPECT_EQ(V({"", ""}), SplitFixLine(",,"));
  EXPECT_EQ(V({"a"}), SplitFixLine(std::string("a\0,b", 4))) << "a zero byte ends the text";
  EXPECT_EQ(V(), SplitFixLine(" \t "));

  EXPECT_EQ("a b", FirstField("  \"a b\",c"));
  EXPECT_EQ("", FirstField(",c"));
  EXPECT_EQ("", FirstField(""));
}

TEST(FixLine, OnlyOneOrTwoFieldsWithAKeyMakeAnEntry) {
  using P = std::pair<std::string, std::string>;
  EXPECT_EQ(P("k", "r"), ParseFixLine("k,r"));
  EXPECT_EQ(P("k", ""), ParseFixLine("k,")) << "an empty replacement deletes the key's text";
  EXPECT_EQ(P("k", ""), ParseFixLine("k"));
  EXPECT_EQ(std::nullopt, ParseFixLine("k,r s")) << "three fields";
  EXPECT_EQ(std::nullopt, ParseFixLine(",r")) << "empty key";
  EXPECT_EQ(std::nullopt, ParseFixLine(""));
  EXPECT_EQ(std::nullopt, ParseFixLine("\"\""));
}

TEST(FixLine, JoinedEntriesReadBackAsThemselves) {
  std::mt19937 rng(7);
  const std::string alphabet = std::string("ab ,\"\t\x01\x81\xFE", 9);
  for (int round = 0; round < 2000; ++round) {
    auto field = [&] {
      std::string f;
      for (int n = rng() % 5; n > 0; --n) f += alphabet[rng() % alphabet.size()];
      return f;
    };
    std::string key = "k" + field(), repl = field();
    auto e = ParseFixLine(JoinFixLine(key, repl));
    ASSERT_TRUE(e) << JoinFixLine(key, repl);
    EXPECT_EQ(key, e->first);
    EXPECT_EQ(repl, e->second);
  }
}

TEST(FixLine, UserFileLinesSkipTheTwoHeaderLines) {
  using V = std::vector<std::string>;
  EXPECT_EQ(V({"a,b", "", "c"}), UserFixLines("-1,-1\r\nKey,Value\r\na,b\r\n\r\nc"));
  EXPECT_EQ(V(), UserFixLines("-1,-1\r\nKey,Value\r\n"));
  EXPECT_EQ(V(), UserFixLines("a,b\r\n"));
  EXPECT_EQ(V({"x"}), UserFixLines("h1\nh2\rx"));
}

// ---- merge and index file ---------------------------------------------------

FixTable Builtin(const std::vector<FixEntry>& entries) {
  FixTable t;
  for (const auto& e : entries) t.Add(e.key, e.replacement);
  return t;
}

TEST(FixMerge, SortsDescendingAndTheUsersEntryWinsAnEqualKey) {
  // Built in: descending, with a duplicate key whose first line applies.
  FixTable builtin = Builtin({{"zz", "1"}, {"dup", "first"}, {"dup", "second"}, {"b", "2"}});
  FixTable t;
  ASSERT_TRUE(MergeFixTable(t, builtin, {"b,mine", "bc,3", "a b c", ",x", "zz,other"}));
  std::vector<std::string> got;
  for (std::size_t i = 0; i < t.Count(); ++i)
    got.push_back(std::string(t.Key(i)) + "=" + std::string(t.Replacement(i)));
  EXPECT_EQ((std::vector<std::string>{"zz=other", "zz=1", "dup=first", "dup=second", "bc=3",
                                      "b=mine", "b=2"}),
            got);
  // Keys that share a first character are one range of the index.
  const FixSlot& b = t.Index()[FixSlotOfByte('b')];
  EXPECT_EQ(4, b.first);
  EXPECT_EQ(6, b.last);
  EXPECT_EQ(-1, t.Index()[FixSlotOfByte('a')].first);

  FixTable empty;
  EXPECT_FALSE(MergeFixTable(t, empty, {}));
  EXPECT_EQ(0u, t.Count());
}

FixTable Sample() {
  FixTable t;
  MergeFixTable(t,
                Builtin({{Big5(u"頭發"), Big5(u"頭髮")},
                         {Big5(u"干了"), Big5(u"幹了")},
                         {"0" + Big5(u"裡"), "0" + Big5(u"里")}}),
                {JoinFixLine(Big5(u"抬頭發"), Big5(u"抬頭髮")), Big5(u"刪") + ","});
  return t;
}

TEST(FixIndexFile, LayoutIsTheDocumentedOne) {
  FixTable t = Sample();
  std::string file = WriteFixIndexFile(t, 0x01);
  auto at = [&](std::size_t off) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(file[off + i]);
    return static_cast<std::int32_t>(v);
  };
  EXPECT_EQ(0x01, file[0]);
  EXPECT_EQ(25, at(1));
  std::int32_t kl = at(5), vl = at(13), il = at(21);
  EXPECT_EQ(25 + kl, at(9));
  EXPECT_EQ(25 + kl + vl, at(17));
  EXPECT_EQ(file.size(), static_cast<std::size_t>(25 + kl + vl + il));
  std::string keys = file.substr(25, static_cast<std::size_t>(kl));
  EXPECT_EQ(Big5(u"頭發") + "\r\n" + Big5(u"抬頭發") + "\r\n", keys.substr(0, 4 + 2 + 6 + 2))
      << "descending: 頭 (C059) before 抬 (A9E2)";
  EXPECT_EQ(0, il % 12);
  // Records ascend by slot: the single-byte slot of '0' comes last.
  std::int32_t lastSlot = -1;
  for (std::int32_t r = 0; r < il / 12; ++r) {
    std::int32_t slot = at(static_cast<std::size_t>(25 + kl + vl + 12 * r));
    EXPECT_LT(lastSlot, slot);
    lastSlot = slot;
  }
  EXPECT_EQ(FixSlotOfByte('0'), lastSlot);

  FixTable back;
  ASSERT_TRUE(ReadFixIndexFile(file, back));
  ASSERT_EQ(t.Count(), back.Count());
  for (std::size_t i = 0; i < t.Count(); ++i) {
    EXPECT_EQ(t.Key(i), back.Key(i));
    EXPECT_EQ(t.Replacement(i), back.Replacement(i));
  }
  EXPECT_EQ(0, std::memcmp(t.Index().data(), back.Index().data(), sizeof(FixIndex)));
}

TEST(FixIndexFile, DamagedFilesAreRefusedNeverReadOutOfBounds) {
  const std::string good = WriteFixIndexFile(Sample(), 0x76);
  FixTable t;
  ASSERT_TRUE(ReadFixIndexFile(good, t));
  for (std::size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(ReadFixIndexFile(good.substr(0, n), t)) << "truncated to " << n;
  EXPECT_EQ(0u, t.Count()) << "a refused file leaves no half table";

  auto patched = [&](std::size_t off, std::int32_t v) {
    std::string f = good;
    for (int i = 0; i < 4; ++i)
      f[off + i] = static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * i));
    return f;
  };
  EXPECT_FALSE(ReadFixIndexFile(patched(1, -1), t)) << "negative offset";
  EXPECT_FALSE(ReadFixIndexFile(patched(5, 0x7FFFFFFF), t)) << "huge length";
  EXPECT_FALSE(ReadFixIndexFile(patched(17, 0x7FFFFFF0), t)) << "offset + length overflows";
  // A record that points past the keys, or at the wrong keys.
  std::string f = good;
  f[f.size() - 4] = 0x7F;
  EXPECT_FALSE(ReadFixIndexFile(f, t));
  f = good;
  f.replace(25, 2, "\r\n");
  EXPECT_FALSE(ReadFixIndexFile(f, t)) << "an empty key";
}

TEST(FixIndexFile, RandomBytesNeverCrash) {
  std::mt19937 rng(11);
  const std::string good = WriteFixIndexFile(Sample(), 0x01);
  FixTable t;
  for (int round = 0; round < 3000; ++round) {
    std::string f = good;
    for (int n = 1 + rng() % 4; n > 0; --n) f[rng() % f.size()] = static_cast<char>(rng());
    if (ReadFixIndexFile(f, t)) {
      t.Prepare();
      const std::string text = Big5(u"抬頭發干了");
      for (std::size_t i = 0; i < text.size(); ++i)
        t.Match(FixSlotOfByte(static_cast<unsigned char>(text[i])),
                reinterpret_cast<const unsigned char*>(text.data() + i), text.size() - i);
    }
  }
}

TEST(FileAge, PacksLocalTimeAsTheDosDateTime) {
  const char* tz = std::getenv("TZ");
  std::string saved = tz ? tz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  // 2024-03-05 13:45:59 UTC
  std::time_t t = 1709646359;
  std::uint32_t date = (2024 - 1980) << 9 | 3 << 5 | 5;
  std::uint32_t time = 13 << 11 | 45 << 5 | 59 / 2;
  EXPECT_EQ(static_cast<std::int32_t>(date << 16 | time), PackDosDateTime(t));
  EXPECT_EQ(-1, PackDosDateTime(0)) << "1970 is before the format's epoch";
  ::setenv("TZ", "Asia/Taipei", 1);
  ::tzset();
  std::uint32_t local = 21 << 11 | 45 << 5 | 59 / 2;  // UTC+8
  EXPECT_EQ(static_cast<std::int32_t>(date << 16 | local), PackDosDateTime(t));
  if (tz)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(-1, FileAge("/nonexistent/file"));
}

// ---- InitB5fix / InitGBfix with user files ---------------------------------

class UserFixTest : public testing::SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
    dir_ = (tmp_.path() / "").string();
    Tables().user = UserFixHost{dir_,
                                [this](std::string_view key) {
                                  auto it = ages.find(std::string(key));
                                  return it == ages.end() ? 0 : it->second;
                                },
                                [this](std::string_view key, std::int32_t age) {
                                  if (failAgeWrite) throw Error("cannot write");
                                  ages[std::string(key)] = age;
                                  if (key.starts_with("Age")) ++ageWrites;
                                }};
  }
  void TearDown() override {
    Tables().user.reset();
    Tables().userFix = true;
    SmallTables::TearDown();
  }

  void WriteUser(const std::string& name, const std::vector<std::string>& lines) {
    std::string text = "-1,-1,-1,-1,-1,-1\r\n\"Key\",\"Value\"\r\n";
    for (const auto& l : lines) text += l + "\r\n";
    WriteAll(tmp_ / name, text);
  }
  std::u16string ToTrad(std::u16string text) {
    EnsureTables();
    ConvertScript(text, cdToTrad);
    return text;
  }
  void Reinit() {
    InitB5fix();
    InitGBfix();
  }
  // Sets a file's modification time to a day given in seconds since 2000.
  void Touch(const std::string& name, std::time_t at) {
    struct timespec ts[2] = {{at, 0}, {at, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, (tmp_ / name).c_str(), ts, 0));
  }

  TempDir tmp_;
  std::string dir_;
  std::map<std::string, std::int32_t> ages;
  int ageWrites = 0;
  bool failAgeWrite = false;
};

TEST_F(UserFixTest, ALongerUserKeyWinsAndTheIndexIsWrittenReadOnlyWithTheAge) {
  Install({testing::CharLine(u"头", u"頭"), testing::CharLine(u"发", u"發髮"),
           testing::CharLine(u"抬", u"抬")},
          {{Big5(u"頭發"), Big5(u"頭髮")}}, {});
  // An entry that keeps its key shows that the longer key is the one applied.
  WriteUser("user_b5fix.dat", {JoinFixLine(Big5(u"抬頭發"), Big5(u"抬頭發"))});
  EXPECT_EQ(u"抬頭發", ToTrad(u"抬头发"));
  EXPECT_EQ(u"頭髮", ToTrad(u"头发")) << "the built-in entry still applies elsewhere";

  struct stat st {};
  ASSERT_EQ(0, ::stat((tmp_ / "b5fix.ndx").c_str(), &st));
  EXPECT_EQ(0, st.st_mode & 0222) << "read-only";
  EXPECT_EQ(FileAge((tmp_ / "user_b5fix.dat").string()), ages["AgeUserB5fix"]);
  EXPECT_EQ(1, ageWrites);
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "gbfix.ndx")) << "no user_gbfix.dat";
  EXPECT_TRUE(boxes.empty());
}

TEST_F(UserFixTest, AnUnchangedUserFileIsReadFromTheIndexAndAChangedOneRebuilt) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  Touch("user_b5fix.dat", 1700000000);
  EXPECT_EQ(u"", ToTrad(u"头发")) << "a key with an empty replacement deletes its text";
  EXPECT_EQ(1, ageWrites);
  const std::string index = ReadAll(tmp_ / "b5fix.ndx");

  Reinit();
  EXPECT_EQ(1, ageWrites) << "read, not rebuilt";
  EXPECT_FALSE(IndexStale(TableSide::ToTrad, *Tables().user));
  EXPECT_EQ(u"", ToTrad(u"头发"));

  // The user saves again: a new age.
  WriteUser("user_b5fix.dat", {});
  Touch("user_b5fix.dat", 1700000100);
  EXPECT_TRUE(IndexStale(TableSide::ToTrad, *Tables().user));
  Reinit();
  EXPECT_EQ(2, ageWrites);
  EXPECT_EQ(u"頭髮", ToTrad(u"头发"));
  EXPECT_NE(index, ReadAll(tmp_ / "b5fix.ndx"));
}

TEST_F(UserFixTest, HeaderOnlyUserFileWritesTheBuiltInTable) {
  WriteUser("user_b5fix.dat", {});
  EnsureTables();
  FixTable builtin;
  LoadBuiltinFix(builtin, TableSide::ToTrad);
  FixTable merged;
  MergeFixTable(merged, builtin, {});
  EXPECT_EQ(WriteFixIndexFile(merged, 0x01), ReadAll(tmp_ / "b5fix.ndx"));
  EXPECT_EQ(Tables().B5fix.Count(), builtin.Count());
}

TEST_F(UserFixTest, ThreeFieldLinesAndEmptyKeysAreIgnored) {
  WriteUser("user_gbfix.dat", {Gbk(u"头发") + " x," + Gbk(u"头"), "," + Gbk(u"发")});
  EnsureTables();
  EXPECT_EQ(1u, Tables().GBfix.Count()) << "only the built-in entry";
  EXPECT_TRUE(std::filesystem::exists(tmp_ / "gbfix.ndx"));
  EXPECT_TRUE(ages.count("AgeUserGBfix"));
}

TEST_F(UserFixTest, WithUserFixOffNoIndexIsReadOrWritten) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  Tables().userFix = false;
  EXPECT_EQ(u"頭髮", ToTrad(u"头发"));
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "b5fix.ndx"));
  EXPECT_EQ(0, ageWrites);
}

TEST_F(UserFixTest, ACorruptIndexIsBuiltAgainSilently) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  EnsureTables();
  const std::string good = ReadAll(tmp_ / "b5fix.ndx");
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, good.size() / 2, good.size() - 1}) {
    std::filesystem::remove(tmp_ / "b5fix.ndx");
    WriteAll(tmp_ / "b5fix.ndx", good.substr(0, cut));
    ASSERT_FALSE(IndexStale(TableSide::ToTrad, *Tables().user))
        << "same age: only the content tells";
    Reinit();
    EXPECT_EQ(good, ReadAll(tmp_ / "b5fix.ndx")) << "cut at " << cut;
    EXPECT_EQ(u"", ToTrad(u"头发"));
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(UserFixTest, AnUnreadableUserFileFallsBackToTheBuiltInEntries) {
  std::filesystem::create_directory(tmp_ / "user_gbfix.dat");
  EnsureTables();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"Error loading user_gbfix.dat !", boxes[0].text);
  EXPECT_EQ(MB_ICONERROR, boxes[0].flags & 0xF0);
  EXPECT_EQ(1u, Tables().GBfix.Count());
}

TEST_F(UserFixTest, AFailedIndexWriteKeepsTheTableAndStoresNoAge) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  failAgeWrite = true;
  EXPECT_EQ(u"", ToTrad(u"头发")) << "the table in memory is complete";
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"Cannot write \"Quillmer.ini\".", boxes[0].text) << "the file that failed";
  EXPECT_EQ(MB_ICONERROR, boxes[0].flags & 0xF0);
  EXPECT_TRUE(IndexStale(TableSide::ToTrad, *Tables().user))
      << "no age stored: the next load builds again";
}

// An index that cannot be written (a folder in its place, a read-only
// directory) is named as such; the table in memory is still complete.
TEST_F(UserFixTest, AnUnwritableIndexIsNamedInTheMessage) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  std::filesystem::create_directory(tmp_ / "b5fix.ndx");
  EXPECT_EQ(u"", ToTrad(u"头发"));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"Cannot write \"b5fix.ndx\".", boxes[0].text);
  EXPECT_EQ(0, ageWrites);
  boxes.clear();
  std::filesystem::remove(tmp_ / "b5fix.ndx");
  if (::geteuid() != 0) {  // root writes anywhere
    std::filesystem::permissions(
        tmp_.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    Reinit();
    std::filesystem::permissions(tmp_.path(), std::filesystem::perms::owner_all);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(u"Cannot write \"b5fix.ndx\".", boxes[0].text);
    EXPECT_EQ(u"", ToTrad(u"头发"));
  }
}

// Two saves within the two seconds of a file age: the content tells them
// apart, and the second version is the one that applies.
TEST_F(UserFixTest, ASecondSaveWithTheSameAgeIsNoticed) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  Touch("user_b5fix.dat", 1700000000);
  EXPECT_EQ(u"", ToTrad(u"头发"));
  WriteUser("user_b5fix.dat", {JoinFixLine(Big5(u"頭發"), Big5(u"發頭"))});
  Touch("user_b5fix.dat", 1700000000);
  EXPECT_TRUE(IndexStale(TableSide::ToTrad, *Tables().user));
  Reinit();
  EXPECT_EQ(u"發頭", ToTrad(u"头发"));
  EXPECT_FALSE(IndexStale(TableSide::ToTrad, *Tables().user));
  EXPECT_EQ(2, ageWrites);
  // Same length, one byte apart.
  WriteUser("user_b5fix.dat", {JoinFixLine(Big5(u"頭發"), Big5(u"發發"))});
  Touch("user_b5fix.dat", 1700000000);
  Reinit();
  EXPECT_EQ(u"發發", ToTrad(u"头发"));
}

// The other table's index in this one's place is not taken for it.
TEST_F(UserFixTest, TheOtherTablesIndexIsBuiltAgain) {
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  WriteUser("user_gbfix.dat", {JoinFixLine(Gbk(u"头发"), Gbk(u"发头"))});
  EnsureTables();
  const std::string b5 = ReadAll(tmp_ / "b5fix.ndx");
  std::filesystem::remove(tmp_ / "b5fix.ndx");
  std::filesystem::copy_file(tmp_ / "gbfix.ndx", tmp_ / "b5fix.ndx");
  ASSERT_FALSE(IndexStale(TableSide::ToTrad, *Tables().user))
      << "same age and content of the user file";
  Reinit();
  EXPECT_EQ(u"", ToTrad(u"头发")) << "B5fix's own phrases";
  EXPECT_EQ(b5, ReadAll(tmp_ / "b5fix.ndx"));
  FixTable t;
  EXPECT_FALSE(ReadFixIndexFile(ReadAll(tmp_ / "gbfix.ndx"), t, 0x01));
  EXPECT_TRUE(ReadFixIndexFile(ReadAll(tmp_ / "gbfix.ndx"), t, 0x76));
}

TEST(BuiltinFixIdentity, TellsTablesApartByKeysAndReplacements) {
  struct Restore {
    ~Restore() { ClearResourceOverrides(); }
  } restore;
  auto identity = [](const std::string& keys, const std::string& repls) {
    SetResourceOverride("b5_1ndx", RT_RCDATA, keys);
    SetResourceOverride("b5_2ndx", RT_RCDATA, repls);
    return BuiltinFixIdentity(TableSide::ToTrad);
  };
  const std::int32_t base = identity("ab\na\n", "x\ny\n");
  EXPECT_EQ(base, identity("ab\na\n", "x\ny\n")) << "the same table, the same value";
  EXPECT_NE(base, identity("ab\na\n", "x\nz\n")) << "one replacement";
  EXPECT_NE(base, identity("ac\na\n", "x\ny\n")) << "one key";
  EXPECT_NE(base, identity("ab\n", "a\nx\ny\n")) << "a line moved between the texts";
  EXPECT_NE(0, identity("", "")) << "0 is what a missing key reads as";

  ClearResourceOverrides();
  const std::int32_t own = BuiltinFixIdentity(TableSide::ToTrad);
  EXPECT_EQ(own, BuiltinFixIdentity(TableSide::ToTrad));
  EXPECT_NE(own, BuiltinFixIdentity(TableSide::ToSim));
  EXPECT_NE(own, base);
}

// A program with other built-in phrases finds an index merged with the old
// ones: it is built again, with the user's entries, and then reused.
TEST_F(UserFixTest, AnIndexMergedWithAnotherBuiltInTableIsBuiltAgain) {
  WriteUser("user_b5fix.dat", {JoinFixLine(Big5(u"中國"), Big5(u"華夏"))});
  Touch("user_b5fix.dat", 1700000000);
  EXPECT_EQ(u"華夏頭髮幹了", ToTrad(u"中国头发干了"));
  EXPECT_EQ(1, ageWrites);
  const std::int32_t first = ages["HashBuiltinB5fix"];
  EXPECT_EQ(BuiltinFixIdentity(TableSide::ToTrad), first);

  // The next version: one replacement changed, one entry gone.
  Install({testing::CharLine(u"头", u"頭"), testing::CharLine(u"发", u"發髮"),
           testing::CharLine(u"国", u"國"), testing::CharLine(u"中", u"中"),
           testing::CharLine(u"干", u"干幹"), testing::CharLine(u"了", u"了")},
          {{Big5(u"頭發"), Big5(u"首髮")}}, {});
  EXPECT_TRUE(IndexStale(TableSide::ToTrad, *Tables().user)) << "same user file, other table";
  EXPECT_EQ(u"華夏首髮干了", ToTrad(u"中国头发干了"));
  EXPECT_EQ(2, ageWrites);
  EXPECT_NE(first, ages["HashBuiltinB5fix"]);
  FixTable builtin, merged;
  LoadBuiltinFix(builtin, TableSide::ToTrad);
  MergeFixTable(merged, builtin, {JoinFixLine(Big5(u"中國"), Big5(u"華夏"))});
  EXPECT_EQ(WriteFixIndexFile(merged, 0x01), ReadAll(tmp_ / "b5fix.ndx"));

  Reinit();
  EXPECT_EQ(2, ageWrites) << "read, not rebuilt";

  // And back to the first table.
  InstallCommon();
  EXPECT_EQ(u"華夏頭髮幹了", ToTrad(u"中国头发干了"));
  EXPECT_EQ(3, ageWrites);
  EXPECT_EQ(first, ages["HashBuiltinB5fix"]);
  EXPECT_TRUE(boxes.empty());
}

// Settings written before the built-in table was recorded: one rebuild, the
// same index, and the value stored for next time.
TEST_F(UserFixTest, SettingsWithoutTheBuiltInTablesHashRebuildOnce) {
  WriteUser("user_b5fix.dat", {JoinFixLine(Big5(u"中國"), Big5(u"華夏"))});
  WriteUser("user_gbfix.dat", {JoinFixLine(Gbk(u"头发"), Gbk(u"发头"))});
  EnsureTables();
  const std::string b5 = ReadAll(tmp_ / "b5fix.ndx"), gb = ReadAll(tmp_ / "gbfix.ndx");
  ASSERT_EQ(2, ageWrites);
  ages.erase("HashBuiltinB5fix");
  ages.erase("HashBuiltinGBfix");

  EXPECT_TRUE(IndexStale(TableSide::ToTrad, *Tables().user));
  EXPECT_TRUE(IndexStale(TableSide::ToSim, *Tables().user));
  Reinit();
  EXPECT_EQ(4, ageWrites);
  EXPECT_EQ(b5, ReadAll(tmp_ / "b5fix.ndx"));
  EXPECT_EQ(gb, ReadAll(tmp_ / "gbfix.ndx"));
  EXPECT_EQ(BuiltinFixIdentity(TableSide::ToTrad), ages["HashBuiltinB5fix"]);
  EXPECT_EQ(BuiltinFixIdentity(TableSide::ToSim), ages["HashBuiltinGBfix"]);
  EXPECT_EQ(u"華夏", ToTrad(u"中国"));

  Reinit();
  EXPECT_EQ(4, ageWrites) << "once";
}

TEST_F(UserFixTest, WithoutAUserFileTheBuiltInTableIsUsed) {
  EXPECT_EQ(u"頭髮", ToTrad(u"头发"));
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "b5fix.ndx"));
  Tables().user.reset();
  WriteUser("user_b5fix.dat", {Big5(u"頭發") + ","});
  Reinit();
  EXPECT_EQ(u"頭髮", ToTrad(u"头发")) << "no host: the user file is not looked at";
}

}  // namespace
}  // namespace quillmer
