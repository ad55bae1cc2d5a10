// What the registration commands share: finding the module and calling one
// of its exports, as the platform's registration tool does.
#pragma once

#include <string>
#include <vector>

#include "cli/command.h"

namespace quillmer::cli {

// The module a registration command works on: the one argument, or
// Quillmer.so beside this program. Absolute.
std::string ServerModuleArgument(const std::vector<std::string>& args);

// Loads the module, calls exportName (DllRegisterServer or
// DllUnregisterServer) and unloads it. Exit status 1 with a message when the
// module cannot be loaded, lacks the export or the call fails.
int CallServerExport(const std::string& module, const char* exportName);

}  // namespace quillmer::cli
