#include "platform/win32/shortpath.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;

TEST(ShortPathTest, ComponentsWithASpaceGetAnAliasThatNamesTheSameFile) {
  testing::TempDir dir;
  fs::create_directories(dir / "Program Files" / "My Tools");
  const std::string file = (dir / "Program Files" / "My Tools" / "quillmer module.so").string();
  testing::WriteAll(file, "x");

  const std::string shortPath = GetShortPathName(file);
  EXPECT_EQ(dir.path().string() + "/PROGRA~1/MYTOOL~1/QUILLM~1.SO", shortPath);
  EXPECT_TRUE(fs::equivalent(shortPath, file));
  EXPECT_EQ(shortPath, GetShortPathName(file));  // the alias is kept, not made again

  // A second long name with the same beginning gets the next number.
  fs::create_directories(dir / "Program Data");
  EXPECT_EQ(dir.path().string() + "/PROGRA~2", GetShortPathName((dir / "Program Data").string()));
  // A name already taken by something else is passed over.
  fs::create_directories(dir / "ANOTHE~1");
  fs::create_directories(dir / "another dir");
  EXPECT_EQ(dir.path().string() + "/ANOTHE~2", GetShortPathName((dir / "another dir").string()));
}

TEST(ShortPathTest, ComponentsOutsideAsciiGetAnAliasToo) {
  testing::TempDir dir;
  fs::create_directories(dir / "模块" / "plain");
  const std::string file = (dir / "模块" / "plain" / "Quillmer.so").string();
  testing::WriteAll(file, "x");
  const std::string shortPath = GetShortPathName(file);
  EXPECT_EQ(dir.path().string() + "/_~1/plain/Quillmer.so", shortPath);
  EXPECT_TRUE(fs::equivalent(shortPath, file));
}

TEST(ShortPathTest, PathsWithoutASpaceStayAndMissingOnesHaveNone) {
  testing::TempDir dir;
  const std::string plain = (dir / "Quillmer.so").string();
  testing::WriteAll(plain, "x");
  EXPECT_EQ(plain, GetShortPathName(plain));
  EXPECT_EQ("", GetShortPathName((dir / "no such file").string()));
  EXPECT_EQ("", GetShortPathName(""));
}

}  // namespace
}  // namespace quillmer
