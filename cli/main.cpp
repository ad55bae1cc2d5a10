// quillmer: the host program that uses the product from the command line.
#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "platform/base/error.h"

namespace {

constexpr const char* kVersion = "0.1.0";

void PrintHelp() {
  std::cout << "Usage: quillmer COMMAND [OPTIONS] [ARGS]\n"
               "Converts Chinese text between Traditional and Simplified script.\n\n"
               "Commands:\n";
  auto commands = quillmer::cli::Commands();
  std::sort(commands.begin(), commands.end(),
            [](const auto& a, const auto& b) { return std::string(a.name) < b.name; });
  for (const auto& c : commands) {
    std::string name = c.name;
    name.resize(std::max<std::size_t>(name.size() + 2, 12), ' ');
    std::cout << "  " << name << c.summary << "\n";
  }
  std::cout << "\nOptions:\n  --help     show this help\n  --version  show the version\n\n"
               "Run 'quillmer COMMAND --help' for a command's own options.\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillmer::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp();
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp();
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "quillmer " << kVersion << "\n";
    return kExitOk;
  }
  for (const auto& c : Commands()) {
    if (args[0] != c.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (WantsHelp(c, rest)) return kExitOk;
    try {
      return c.run(rest);
    } catch (const quillmer::Error& e) {
      return Fail(e.what());
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
  }
  std::cerr << "quillmer: unknown command '" << args[0] << "'\nTry 'quillmer --help'.\n";
  return kExitUsage;
}
