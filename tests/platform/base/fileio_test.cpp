#include "platform/base/fileio.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/base/error.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

// Names in dir other than the ones given.
std::vector<std::string> Others(const fs::path& dir, std::initializer_list<std::string> known) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
  }
  return out;
}

class FileIoTest : public ::testing::Test {
 protected:
  void TearDown() override { SetReplaceFileHookForTests({}); }
  TempDir dir;
};

TEST_F(FileIoTest, SymbolicLinksAreWrittenThroughToTheirFinalTarget) {
  fs::create_directories(dir / "real");
  WriteAll(dir / "real" / "file", "old");
  fs::create_symlink("real/file", dir / "hop");   // relative to the link's folder
  fs::create_symlink(dir / "hop", dir / "link");  // a chain
  ReplaceFileAtomic((dir / "link").string(), "new");
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_TRUE(fs::is_symlink(dir / "hop"));
  EXPECT_EQ("new", ReadAll(dir / "real" / "file"));
  EXPECT_TRUE(Others(dir / "real", {"file"}).empty());

  // A dangling link gets its target made.
  fs::create_symlink("made", dir / "dangling");
  ReplaceFileAtomic((dir / "dangling").string(), "x");
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
  EXPECT_EQ("x", ReadAll(dir / "made"));

  fs::create_symlink("loop2", dir / "loop1");
  fs::create_symlink("loop1", dir / "loop2");
  EXPECT_THROW(ReplaceFileAtomic((dir / "loop1").string(), "x"), Error);
}

TEST_F(FileIoTest, HardLinksAreNotFollowed) {
  WriteAll(dir / "a", "old");
  fs::create_hard_link(dir / "a", dir / "b");
  ReplaceFileAtomic((dir / "a").string(), "new");
  EXPECT_EQ("new", ReadAll(dir / "a"));
  EXPECT_EQ("old", ReadAll(dir / "b"));
}

TEST_F(FileIoTest, ReadOnlyFilesAreRefusedWhenAskedAndKeepTheirOwner) {
  const std::string file = (dir / "f").string();
  WriteAll(file, "old");
  ::chmod(file.c_str(), 0444);
  try {
    ReplaceFileAtomic(file, "new", -1, ReadOnlyFiles::Refuse);
    ADD_FAILURE() << "replaced";
  } catch (const Error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find(file)) << e.what();
    EXPECT_NE(std::string::npos, std::string(e.what()).find("read-only")) << e.what();
  }
  EXPECT_EQ("old", ReadAll(file));
  EXPECT_TRUE(Others(dir.path(), {"f"}).empty());

  // Stores that keep read-only files of their own replace them.
  ReplaceFileAtomic(file, "new");
  EXPECT_EQ("new", ReadAll(file));

  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  ::chmod(file.c_str(), 0640);
  ASSERT_EQ(0, ::chown(file.c_str(), 4321, 4322));
  ReplaceFileAtomic(file, "again", -1, ReadOnlyFiles::Refuse);
  struct stat st {};
  ASSERT_EQ(0, ::stat(file.c_str(), &st));
  EXPECT_EQ(4321u, st.st_uid);
  EXPECT_EQ(4322u, st.st_gid);
  EXPECT_EQ(0640u, st.st_mode & 07777);
}

// A signal that ends the program while the file is being written.
void InterruptedWrite(const std::string& file, int sig) {
  SetReplaceFileHookForTests([sig](const std::string&) { ::raise(sig); });
  ReplaceFileAtomic(file, std::string(1 << 20, 'x'));
  std::_Exit(0);
}

TEST_F(FileIoTest, AnInterruptedWriteLeavesNoTemporaryFileAndTheOldContent) {
  const std::string file = (dir / "out").string();
  WriteAll(file, "old");
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(InterruptedWrite(file, sig), ::testing::KilledBySignal(sig), "") << sig;
    EXPECT_EQ("old", ReadAll(file));
    auto left = Others(dir.path(), {"out"});
    EXPECT_TRUE(left.empty()) << sig << " " << (left.empty() ? "" : left.front());
  }
  // The handlers are the program's again once the write is done.
  ReplaceFileAtomic(file, "new");
  struct sigaction now {};
  ::sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(SIG_DFL, now.sa_handler);
}

TEST_F(FileIoTest, TheNextWriteRemovesWhatAKilledWriterLeftButNotWhatALiveOneHolds) {
  const std::string file = (dir / "out").string();
  WriteAll(file, "old");
  EXPECT_EXIT(InterruptedWrite(file, SIGKILL), ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(1u, Others(dir.path(), {"out"}).size());
  // A writer that still runs (pid 1) keeps its file; strangers' files stay.
  WriteAll(dir / "out.tmp1-abcdef", "busy");
  WriteAll(dir / "out.tmp-notours", "mine");
  WriteAll(dir / "other.tmp999999-abcdef", "other file's");

  ReplaceFileAtomic(file, "new");
  EXPECT_EQ("new", ReadAll(file));
  auto left =
      Others(dir.path(), {"out", "out.tmp1-abcdef", "out.tmp-notours", "other.tmp999999-abcdef"});
  EXPECT_TRUE(left.empty()) << left.front();
  EXPECT_TRUE(fs::exists(dir / "out.tmp1-abcdef"));
  EXPECT_TRUE(fs::exists(dir / "out.tmp-notours"));
  EXPECT_TRUE(fs::exists(dir / "other.tmp999999-abcdef"));
}

}  // namespace
}  // namespace quillmer
