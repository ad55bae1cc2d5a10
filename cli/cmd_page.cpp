// quillmer page: loads an HTML page with its frames and converts it as the
// toolbar's page command does, then saves it.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/page_io.h"
#include "page/charset_rules.h"
#include "page/page_access.h"
#include "page/page_convert.h"
#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/browser/page.h"
#include "ui/lifecycle.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer page (--to-trad | --to-simp) [--alter-charset | --keep-charset]\n"
    "                     [-o OUT] PAGE.html\n"
    "Converts an HTML page and all its frames between Simplified and Traditional\n"
    "Chinese, as the toolbar's page command does.\n\n"
    "  --to-trad        Simplified to Traditional\n"
    "  --to-simp        Traditional to Simplified\n"
    "  --alter-charset  save the page in the target script's character set (big5 or\n"
    "                   gb2312) and re-encode its links to match\n"
    "  --keep-charset   keep the page's character set (a declaration that does not\n"
    "                   fit the text is still corrected)\n"
    "                   Without either, AlterWBCharset of Quillmer.ini decides.\n"
    "  -o OUT           write the page to OUT and its frames and linked style sheets\n"
    "                   beside it under their relative paths; without -o the page\n"
    "                   alone goes to standard output\n\n"
    "PAGE.html may be - for standard input (frames are then looked for in the\n"
    "current directory). Pages declared or detected as Unicode keep their character\n"
    "set.\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  std::optional<ConvDirection> direction;
  std::optional<bool> alter;
  std::optional<std::string> out, file;
  auto usage = ArgParser(Self())
                   .Direction(direction)
                   .OneOf<bool>({{"--alter-charset", true}, {"--keep-charset", false}}, alter,
                                "choose one of --alter-charset, --keep-charset")
                   .Output(out)
                   .Positional([&file](const std::string& a) -> std::optional<std::string> {
                     if (file) return "only one page";
                     file = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!direction) return UsageError(Self(), kChooseTradOrSimp);
  if (!file) return UsageError(Self(), "name the page to convert");

  // As the module does when loaded: settings and the user's emendation tables.
  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  PageContext context = CurrentModule()->PageConversion();
  if (alter) context.settings.AlterWBCharset = *alter;

  ComPtr<IWebBrowser2> browser = LoadPageArgument(*file);

  switch (ConvertPageForUser(context, browser.get(), *direction)) {
    case UserConversion::Converted:
      if (int left = CountFramesBeyondLimit(browser.get()))
        std::fprintf(stderr,
                     "quillmer page: %d frame%s left as %s: only the first 100 objects "
                     "embedded in a page are looked at\n",
                     left, left == 1 ? " was" : "s were", left == 1 ? "it was" : "they were");
      break;
    case UserConversion::SupportMissing:
      return Fail("the page was not converted");
    case UserConversion::Busy:
      return Fail("another page conversion is running");
  }

  return WritePage(browser.get(), out, "page");
}

const Command& Self() {
  static const Command command{"page", "convert an HTML page with its frames", kUsage, Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
