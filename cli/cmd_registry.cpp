// quillmer registry: prints the registry store as a registry export.
#include <iostream>

#include "cli/args.h"
#include "cli/command.h"
#include "platform/base/error.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer registry [--path] [KEY]\n"
    "Prints the registry store in REGEDIT4 form: every hive, or only KEY and its\n"
    "subkeys (e.g. 'HKEY_CURRENT_USER\\Software'; HKCR, HKCU, HKLM abbreviate the hives).\n\n"
    "  --path   print the store's file name instead\n\n"
    "The store is the file named by QUILLMER_REGISTRY, else quillmer/registry under\n"
    "$XDG_CONFIG_HOME (default ~/.config). A store that does not exist yet is empty.\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  bool path = false;
  std::string key;
  auto usage = ArgParser(Self())
                   .Flag("--path",
                         [&path]() -> std::optional<std::string> {
                           path = true;
                           return std::nullopt;
                         })
                   .Positional([&key](const std::string& a) -> std::optional<std::string> {
                     // An empty KEY counts as none given.
                     if (!key.empty()) return "only one KEY may be given";
                     key = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (path) {
    if (!key.empty()) return UsageError(Self(), "--path takes no KEY");
    WriteStdout(RegistryFilePath() + "\n");
    return kExitOk;
  }
  // Names and strings are kept as UTF-8; the terminal may want another encoding.
  WriteStdout(ToTerminal(FromUtf8(ExportRegistry(key))));
  return kExitOk;
}

const Command kCommand{"registry", "print the registry store", kUsage, Run};
const Command& Self() { return kCommand; }

}  // namespace

QUILLMER_COMMAND(kCommand);

}  // namespace quillmer::cli
