// The program's files as a user meets them: output through links, the
// registry of register and unregister.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::RunQuillmer;
using testing::TempDir;
using testing::WriteAll;

TEST(ConvertOutput, GoesThroughASymbolicLinkAndNeverOverAReadOnlyFile) {
  TempDir d;
  fs::create_directories(d / "real");
  WriteAll(d / "real" / "out.txt", "old");
  fs::create_symlink("real/out.txt", d / "link.txt");
  auto r = RunQuillmer({"convert", "--to-trad", "-o", (d / "link.txt").string()}, ToUtf8(u"头发"));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(fs::is_symlink(d / "link.txt"));
  EXPECT_EQ(ToUtf8(u"頭髮"), ReadAll(d / "real" / "out.txt"));

  ::chmod((d / "real" / "out.txt").c_str(), 0444);
  r = RunQuillmer({"convert", "--to-simp", "-o", (d / "link.txt").string()}, ToUtf8(u"頭髮"));
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("read-only")) << r.err;
  EXPECT_EQ(ToUtf8(u"頭髮"), ReadAll(d / "real" / "out.txt"));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(d / "real"), fs::directory_iterator()));
}

class RegisterCommand : public ::testing::Test {
 protected:
  testing::RunResult Run(const std::string& command, const std::string& module,
                         const std::string& acp = "1252") {
    return RunQuillmer({command, module}, "",
                       {"QUILLMER_HOME=" + testing::ShellQuote(home.path().string()),
                        "QUILLMER_REGISTRY=" + testing::ShellQuote(file), "QUILLMER_ACP=" + acp});
  }
  std::string Module(const std::string& dirName) {
    fs::create_directories(home / dirName);
    fs::path to = home / dirName / "Quillmer.so";
    fs::copy_file(QUILLMER_MODULE, to);
    return to.string();
  }
  TempDir home;
  std::string file = (home / "registry").string();
};

TEST_F(RegisterCommand, AModuleInAFolderTheCodePageCannotNameStillMakesItsClasses) {
  const std::string module = Module("模块");
  auto r = Run("register", module);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string::npos, ReadAll(file).find("?")) << ReadAll(file);
  r = RunQuillmer({"str", "--to-trad", ToUtf8(u"中华")}, "",
                  {"QUILLMER_HOME=" + testing::ShellQuote(home.path().string()),
                   "QUILLMER_REGISTRY=" + testing::ShellQuote(file), "QUILLMER_ACP=1252"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ToUtf8(u"中華") + "\n", r.out);
  EXPECT_EQ(0, Run("unregister", module).status);
}

TEST_F(RegisterCommand, ARegistryThatCannotBeWrittenOrReadFailsBothCommandsAndStaysAsItWas) {
  const std::string module = Module("m");
  ASSERT_EQ(0, Run("register", module).status);
  const std::string registered = ReadAll(file);
  ::chmod(file.c_str(), 0444);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, ::chown(file.c_str(), 4321, 4321));
  }
  struct stat was {};
  ::stat(file.c_str(), &was);
  for (const char* command : {"register", "unregister"}) {
    auto r = Run(command, module);
    EXPECT_EQ(1, r.status) << command;
    EXPECT_NE(std::string::npos, r.err.find(file)) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("Unspecified error")) << r.err;
    struct stat now {};
    ::stat(file.c_str(), &now);
    EXPECT_EQ(was.st_ino, now.st_ino) << command;
    EXPECT_EQ(was.st_uid, now.st_uid) << command;
    EXPECT_EQ(registered, ReadAll(file)) << command;
  }
  ::chmod(file.c_str(), 0644);

  WriteAll(file, registered + "not a line of the registry\n");
  auto r = Run("unregister", module);
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("damaged")) << r.err;

  // Nothing to remove is no failure.
  WriteAll(file, "REGEDIT4\n\n");
  EXPECT_EQ(0, Run("unregister", module).status);
}

}  // namespace
}  // namespace quillmer
