// Context-menu entries as the browser finds and runs them: keys under
// HKEY_CURRENT_USER's MenuExt key, each naming a res: page whose scripts run
// with external.menuArguments the window the menu was opened in.
#pragma once

#include <string>
#include <vector>

#include "platform/browser/mshtml.h"

namespace quillmer::cli {

struct MenuEntry {
  std::string caption;  // UTF-8, as the menu shows it
  std::string url;      // the page it runs
};

// The entries of the page's own context menu, in the registry's order.
std::vector<MenuEntry> MenuEntries();

// The page URL of the entry with that caption (UTF-8); throws Error when
// there is no such entry.
std::string MenuPageUrl(const std::string& caption);

// Runs the scripts of the res: page at url, immediate ones first, then the
// deferred ones, with external.menuArguments window. Throws Error when the
// page cannot be found or a script fails.
void RunMenuPage(const std::string& url, IHTMLWindow2* window);

}  // namespace quillmer::cli
