// browse --window on the engine: the window, the page given, and a script's
// globals acting on the live page.
#pragma once

#include <optional>
#include <string>

namespace quillmer::cli {

// Opens the engine window, loads page (if any), then runs the script (if
// any; without one the window stays until the user closes it). Returns the
// exit status; throws Error for what ends the command (no display, a page
// that does not load, a script error).
int RunEngineBrowse(const std::optional<std::string>& page,
                    const std::optional<std::string>& source, const std::string& scriptName);

// The usage lines of the engine window's script functions.
extern const char* const kEngineFunctionsUsage;

}  // namespace quillmer::cli
