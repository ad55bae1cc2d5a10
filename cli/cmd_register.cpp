// quillmer register: registers the module, as the platform's registration
// tool does.
#include "cli/command.h"
#include "cli/server_export.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer register [MODULE]\n"
    "Loads the module and calls its DllRegisterServer: its three classes and the\n"
    "ProgID \"Quillmer.ConFace\", its type library, the browser's toolbar entry, the\n"
    "helper object's key and the four context-menu entries go into the registry\n"
    "(see quillmer registry). Registering again writes the same entries.\n\n"
    "MODULE defaults to Quillmer.so beside this program (../lib/quillmer/ once installed).\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  if (args.size() > 1) return UsageError(Self(), "takes at most one module");
  if (!args.empty() && args[0].size() > 1 && args[0][0] == '-')
    return UsageError(Self(), "unknown option '" + args[0] + "'");
  return CallServerExport(ServerModuleArgument(args), "DllRegisterServer");
}

const Command& Self() {
  static const Command command{"register", "register the module's classes and menu entries", kUsage,
                               Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
