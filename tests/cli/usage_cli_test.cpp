#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::RunQuillmer;

struct UsageCase {
  std::vector<std::string> args;
  std::string firstLine;  // of standard error
};

// Each command reads its arguments in order and stops at the first fault, so
// the message names the argument that went wrong; status 2 and the hint follow.
TEST(CommandLine, UsageErrorsNameTheFirstFaultyArgument) {
  const std::vector<UsageCase> cases = {
      {{"clip", "--"}, "quillmer clip: unknown option '--'"},
      {{"clip", "x"}, "quillmer clip: takes no arguments, only --to-trad or --to-simp"},
      {{"clip", "--to-trad", "--to-simp"}, "quillmer clip: choose one of --to-trad, --to-simp"},
      {{"registry", "a", "b"}, "quillmer registry: only one KEY may be given"},
      {{"registry", "--path", "a"}, "quillmer registry: --path takes no KEY"},
      {{"convert", "--from"}, "quillmer convert: --from needs an encoding"},
      {{"convert", "-o", ""}, "quillmer convert: -o needs a file name"},
      {{"convert", "--to-trad", "--none"},
       "quillmer convert: choose one of --to-trad, --to-simp, --none"},
      {{"convert", "--to-trad", "--frob", "--none"}, "quillmer convert: unknown option '--frob'"},
      {{"convert", "--", "--to-trad"},
       "quillmer convert: choose one of --to-trad, --to-simp, --none"},
      {{"convert", "--to-trad", "a", "b"}, "quillmer convert: only one input file"},
      {{"page", "--alter-charset", "--keep-charset"},
       "quillmer page: choose one of --alter-charset, --keep-charset"},
      {{"page", "--to-trad", "a", "b"}, "quillmer page: only one page"},
      {{"str", "--to-simp", "--to-trad"}, "quillmer str: choose one of --to-trad, --to-simp"},
      {{"str", "--to-trad", "a", "b"}, "quillmer str: give the text as one argument (quote it)"},
      {{"menu", "a", "b", "c"}, "quillmer menu: takes a caption and one page"},
      {{"menu", "-o"}, "quillmer menu: -o needs a file name"},
      {{"menu", "-k"}, "quillmer menu: unknown option '-k'"},
  };
  for (const auto& c : cases) {
    auto r = RunQuillmer(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += " " + a;
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(r.err, c.firstLine + "\nTry 'quillmer " + c.args[0] + " --help'.\n") << joined;
    EXPECT_EQ(r.out, "") << joined;
  }
}

// A repeated option is no conflict; after "--", "-" is still standard input
// and "--help" is a file name.
TEST(CommandLine, RepeatsAndTheEndOfOptions) {
  auto twice = RunQuillmer({"convert", "--to-trad", "--to-trad", "--", "-"}, "plain\n");
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(twice.out, "plain\n");
  auto help = RunQuillmer({"convert", "--", "--help"});
  EXPECT_EQ(help.status, 2);
  EXPECT_EQ(help.out, "");
}

}  // namespace
}  // namespace quillmer
