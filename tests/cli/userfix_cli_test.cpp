// The user emendation tables as the command line meets them: a user file
// beside the module changes what `quillmer convert` prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/userfix.h"
#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::RunQuillmer;
using testing::TempDir;
using testing::WriteAll;

struct FileStamp {
  ino_t ino = 0;
  std::int64_t mtimeNs = 0;
  mode_t mode = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp Stamp(const std::filesystem::path& p) {
  struct stat st {};
  EXPECT_EQ(0, ::stat(p.c_str(), &st)) << p;
  return {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, st.st_mode};
}

class UserFixCommand : public ::testing::Test {
 protected:
  testing::RunResult Convert(const std::string& text) {
    return RunQuillmer({"convert", "--to-trad"}, text,
                       {"QUILLMER_HOME=" + home_.path().string(),
                        "QUILLMER_REGISTRY=" + (home_ / "registry").string()});
  }
  TempDir home_;
};

TEST_F(UserFixCommand, AUserFileChangesTheOutputAndItsIndexIsReusedUntilTheFileChanges) {
  const std::string input = "中国头发";
  auto plain = Convert(input);
  ASSERT_EQ(0, plain.status) << plain.err;
  EXPECT_EQ("中國頭髮", plain.out);

  // The editor's two header lines, then one entry in Big5.
  WriteAll(home_ / "user_b5fix.dat",
           "-1,-1,-1,-1,-1,-1\r\n\"Key\",\"Value\"\r\n" +
               JoinFixLine(EncodeCodePage(950, u"中國"), EncodeCodePage(950, u"華夏")) + "\r\n");
  auto first = Convert(input);
  ASSERT_EQ(0, first.status) << first.err;
  EXPECT_EQ("華夏頭髮", first.out);
  EXPECT_EQ("", first.err);

  const auto index = home_ / "b5fix.ndx";
  ASSERT_TRUE(std::filesystem::exists(index));
  EXPECT_EQ(0u, Stamp(index).mode & 0222) << "the index is left read-only";
  const std::string age = std::to_string(FileAge((home_ / "user_b5fix.dat").string()));
  const std::string hash = std::to_string(UserFileHash(ReadAll(home_ / "user_b5fix.dat")));
  const std::string builtin = std::to_string(BuiltinFixIdentity(TableSide::ToTrad));
  EXPECT_EQ("[Text_Convert]\nHashBuiltinB5fix=" + builtin + "\nHashUserB5fix=" + hash +
                "\nAgeUserB5fix=" + age + "\n",
            ReadAll(home_ / "Quillmer.ini"));
  EXPECT_FALSE(std::filesystem::exists(home_ / "gbfix.ndx"));

  // A second run reads the index: the file is neither replaced nor touched.
  const FileStamp before = Stamp(index);
  auto second = Convert(input);
  EXPECT_EQ("華夏頭髮", second.out);
  EXPECT_EQ(before, Stamp(index));

  // Saved again (a later time stamp): built again.
  struct timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
  ASSERT_EQ(0, ::utimensat(AT_FDCWD, (home_ / "user_b5fix.dat").c_str(), later, 0));
  auto third = Convert(input);
  EXPECT_EQ("華夏頭髮", third.out);
  EXPECT_NE(before, Stamp(index));
  EXPECT_EQ("[Text_Convert]\nHashBuiltinB5fix=" + builtin + "\nHashUserB5fix=" + hash +
                "\nAgeUserB5fix=" + std::to_string(FileAge((home_ / "user_b5fix.dat").string())) +
                "\n",
            ReadAll(home_ / "Quillmer.ini"));

  // UserFix off: the built-in table, and the index is left alone.
  WriteAll(home_ / "Quillmer.ini", "[Text_Convert]\nUserFix=0\n");
  const FileStamp kept = Stamp(index);
  auto off = Convert(input);
  EXPECT_EQ("中國頭髮", off.out);
  EXPECT_EQ(kept, Stamp(index));
  EXPECT_EQ("[Text_Convert]\nUserFix=0\n", ReadAll(home_ / "Quillmer.ini"));
}

TEST_F(UserFixCommand, ADamagedIndexIsBuiltAgain) {
  WriteAll(home_ / "user_b5fix.dat", "h\r\nh\r\n" + EncodeCodePage(950, u"中國") + "," +
                                         EncodeCodePage(950, u"中華") + "\r\n");
  ASSERT_EQ("中華頭髮", Convert("中国头发").out);
  const auto index = home_ / "b5fix.ndx";
  std::string good = ReadAll(index);
  std::filesystem::remove(index);
  WriteAll(index, good.substr(0, good.size() / 3));
  auto r = Convert("中国头发");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("中華頭髮", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(good, ReadAll(index));
}

// The program cannot be given other built-in phrases from outside, so the
// files an older version left are made here: an index merged with a table
// of its own, and settings that name that table or none.
TEST_F(UserFixCommand, AnIndexLeftByAnotherBuiltInTableIsBuiltAgain) {
  const std::string entry = JoinFixLine(EncodeCodePage(950, u"中國"), EncodeCodePage(950, u"華夏"));
  WriteAll(home_ / "user_b5fix.dat", "-1,-1,-1,-1,-1,-1\r\n\"Key\",\"Value\"\r\n" + entry + "\r\n");
  ASSERT_EQ("華夏頭髮", Convert("中国头发").out);
  const auto index = home_ / "b5fix.ndx";
  const std::string good = ReadAll(index);
  const std::string settings = ReadAll(home_ / "Quillmer.ini");
  const std::string current =
      "HashBuiltinB5fix=" + std::to_string(BuiltinFixIdentity(TableSide::ToTrad));
  ASSERT_NE(std::string::npos, settings.find(current + "\n")) << settings;

  FixTable old;
  old.Add(EncodeCodePage(950, u"頭發"), EncodeCodePage(950, u"首髮"));
  FixTable merged;
  MergeFixTable(merged, old, {entry});
  const std::string oldIndex = WriteFixIndexFile(merged, 0x01);
  for (const std::string& stored : {std::string("HashBuiltinB5fix=12345\n"), std::string()}) {
    SCOPED_TRACE(stored.empty() ? "no value stored" : "another table's value");
    std::filesystem::remove(index);
    WriteAll(index, oldIndex);
    std::string older = settings;
    older.replace(older.find(current + "\n"), current.size() + 1, stored);
    WriteAll(home_ / "Quillmer.ini", older);

    auto r = Convert("中国头发");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("華夏頭髮", r.out) << "the program's own phrases and the user's";
    EXPECT_EQ("", r.err);
    EXPECT_EQ(good, ReadAll(index));
    EXPECT_NE(std::string::npos, ReadAll(home_ / "Quillmer.ini").find(current + "\n"));

    // Rebuilt once: the next run reads it.
    const FileStamp before = Stamp(index);
    EXPECT_EQ("華夏頭髮", Convert("中国头发").out);
    EXPECT_EQ(before, Stamp(index));
  }
}

TEST_F(UserFixCommand, AnUnreadableSettingsFileFailsClearly) {
  std::filesystem::create_directory(home_ / "Quillmer.ini");
  auto r = Convert("中国");
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Quillmer.ini")) << r.err;
  EXPECT_EQ("", r.out);
}

}  // namespace
}  // namespace quillmer
