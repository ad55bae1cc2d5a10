#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/win32/module.h"

namespace quillmer {
namespace {

TEST(ModuleDirectory, IsTheProgramsDirectoryUnlessQuillmerHomeSaysOtherwise) {
  ::unsetenv("QUILLMER_HOME");
  char exe[4096];
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string program(exe, static_cast<std::size_t>(n));
  EXPECT_EQ(program, ModuleFileName());
  EXPECT_EQ(program.substr(0, program.rfind('/') + 1), ModuleDirectory());

  ::setenv("QUILLMER_HOME", "/some/where", 1);
  EXPECT_EQ("/some/where/", ModuleDirectory());
  ::setenv("QUILLMER_HOME", "/some/where/", 1);
  EXPECT_EQ("/some/where/", ModuleDirectory());
  ::setenv("QUILLMER_HOME", "", 1);
  EXPECT_EQ(program.substr(0, program.rfind('/') + 1), ModuleDirectory());
  ::unsetenv("QUILLMER_HOME");
}

}  // namespace
}  // namespace quillmer
