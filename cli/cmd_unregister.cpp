// quillmer unregister: removes what quillmer register wrote.
#include "cli/command.h"
#include "cli/server_export.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer unregister [MODULE]\n"
    "Loads the module and calls its DllUnregisterServer: its classes, its type\n"
    "library, the toolbar entry, the helper object's key and the context-menu\n"
    "entries of the current interface language leave the registry.\n\n"
    "MODULE defaults to Quillmer.so beside this program (../lib/quillmer/ once installed).\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  if (args.size() > 1) return UsageError(Self(), "takes at most one module");
  if (!args.empty() && args[0].size() > 1 && args[0][0] == '-')
    return UsageError(Self(), "unknown option '" + args[0] + "'");
  return CallServerExport(ServerModuleArgument(args), "DllUnregisterServer");
}

const Command& Self() {
  static const Command command{"unregister", "remove the module's registry entries", kUsage, Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
