// Loading a page for a command and writing it out again, shared by the
// commands that work on pages.
#pragma once

#include <optional>
#include <string>

#include "platform/browser/webbrowser.h"
#include "platform/com/unknown.h"

namespace quillmer::cli {

// Reads FILE ("-": standard input) and loads it with its frames, the engine's
// detector deciding undeclared character sets.
ComPtr<IWebBrowser2> LoadPageArgument(const std::string& file);

// Saves the page with its frames beside OUT, or writes the top page alone to
// standard output. Returns the exit status.
int WritePage(IWebBrowser2* browser, const std::optional<std::string>& out, const char* command);

}  // namespace quillmer::cli
