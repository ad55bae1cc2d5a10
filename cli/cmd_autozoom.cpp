// quillmer autozoom: the dialog that adds a page's URL to the auto-zoom list,
// as the toolbar opens it for the page shown.
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/dialog_window.h"
#include "cli/window_script.h"
#include "page/url_pattern.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "ui/autozoom_form.h"
#include "ui/lifecycle.h"
#include "widgets/edits.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer autozoom [--zoom PERCENT] [--script FILE | -e CODE] URL\n"
    "Opens the dialog that adds a page to the auto-zoom list of Quillmer.ini, as\n"
    "the toolbar's \"Set auto-zoom value of this URL\" does for the page shown. It\n"
    "offers the pattern of URL (its folder, then \"*\") and the zoom; OK stores the\n"
    "entry (or gives the entry with that pattern the new zoom) and, when auto-zoom\n"
    "is off, asks whether to switch it on. The pattern is stored as it will be\n"
    "matched: lowered, with a scheme; an empty, invalid or too long one (more\n"
    "than 48 characters) is refused.\n\n"
    "  --zoom PERCENT the zoom offered, 10 to 400 (default 100)\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  DialogScript script;
  std::optional<std::string> url;
  int zoom = 100;
  auto usage = ArgParser(Self())
                   .Value("--zoom", "--zoom needs a percentage",
                          [&](const std::string& v) -> std::optional<std::string> {
                            if (!ParseInteger(FromUtf8(v), zoom) || zoom < 10 || zoom > 400)
                              return "--zoom takes a percentage from 10 to 400";
                            return std::nullopt;
                          })
                   .Script(script.file, script.code)
                   .Positional([&](const std::string& a) -> std::optional<std::string> {
                     if (url) return "only one URL";
                     url = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!url) return UsageError(Self(), "name the page's URL");

  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  RequireWindows();
  TAddAutoZoom dialog(*CurrentModule(), nullptr);
  const UINT cp = GetACP();
  dialog.Edit1.SetText(
      DecodeCodePage(cp, UrlToAutoZoomPattern(EncodeCodePage(cp, FromUtf8(*url)))));
  dialog.SpinEdit1.SetValue(zoom);
  RunDialog(dialog, script);
  return kExitOk;
}

const Command& Self() {
  static const std::string usage =
      std::string(kUsage) + kDialogScriptUsage + kWindowFunctionsUsage + kDialogScriptUsageEnd;
  static const Command command{"autozoom", "open the dialog that adds a URL to the auto-zoom list",
                               usage.c_str(), Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
