// quillmer menu: runs a context-menu entry on a page as the browser does when
// the user chooses it, then saves the page.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/automation.h"
#include "cli/command.h"
#include "cli/menu_page.h"
#include "cli/page_io.h"
#include "cli/script_host.h"
#include "page/charset_rules.h"
#include "page/context_menu.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"
#include "platform/win32/resfile.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer menu CAPTION PAGE.html [-o OUT]\n"
    "Runs the context-menu entry CAPTION on PAGE.html as the browser does: its key\n"
    "under HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt names a\n"
    "res: page in a module, whose scripts run with `new ActiveXObject(progid)` making\n"
    "registered automation objects and `external.menuArguments` the window of\n"
    "PAGE.html. Then the page is saved as quillmer page saves it.\n\n"
    "  -o OUT   write the page to OUT and its frames and linked style sheets beside\n"
    "           it; without -o the page alone goes to standard output\n\n"
    "CAPTION is the entry's text as the menu shows it, e.g.\n"
    "\"Display:  Traditional Chinese\" (two spaces after the colon). quillmer register\n"
    "adds the four entries.\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  std::optional<std::string> out, caption, file;
  auto usage = ArgParser(Self())
                   .Output(out)
                   .Positional([&](const std::string& a) -> std::optional<std::string> {
                     if (!caption)
                       caption = a;
                     else if (!file)
                       file = a;
                     else
                       return "takes a caption and one page";
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!caption || !file) return UsageError(Self(), "name the menu entry and the page");

  const std::string url = MenuPageUrl(*caption);
  ComPtr<IWebBrowser2> browser = LoadPageArgument(*file);
  {
    ComPtr<IDispatch> doc;
    OleCheck(browser->get_Document(doc.put()));
    auto html = doc.query<IHTMLDocument2>();
    if (!html) return Fail(*file + " holds no HTML document");
    ComPtr<IHTMLWindow2> window;
    OleCheck(html->get_parentWindow(window.put()));
    RunMenuPage(url, window.get());
  }
  // The scripts' objects are gone; so may be their modules.
  FreeUnusedServers();

  return WritePage(browser.get(), out, "menu");
}

const Command& Self() {
  static const Command command{"menu", "run a context-menu entry on a page", kUsage, Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
