// quillmer clip: converts the text on the clipboard between the scripts.
#include <iostream>
#include <optional>

#include "cli/args.h"
#include "cli/command.h"
#include "engine/clipboard.h"
#include "ui/lifecycle.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer clip (--to-trad | --to-simp)\n"
    "Converts the text on the clipboard between Simplified and Traditional Chinese and\n"
    "puts it back.\n\n"
    "  --to-trad   Simplified to Traditional\n"
    "  --to-simp   Traditional to Simplified\n\n"
    "The clipboard is the X11 CLIPBOARD selection of the display named by DISPLAY. The\n"
    "text goes back as plain text only: other forms the clipboard held (HTML, images)\n"
    "are dropped. A clipboard without text is left as it is. A background process\n"
    "serves the converted text until another program takes the clipboard.\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  std::optional<ConvDirection> direction;
  auto usage = ArgParser(Self())
                   .Direction(direction)
                   .WithoutEndOfOptions()
                   .Positional([](const std::string&) -> std::optional<std::string> {
                     return "takes no arguments, only --to-trad or --to-simp";
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!direction) return UsageError(Self(), kChooseTradOrSimp);

  // As the module does when loaded: settings and the user's emendation tables.
  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  if (!ConvertClipboard(*direction))
    std::cerr << "quillmer clip: the clipboard holds no text; it is left as it was\n";
  return kExitOk;
}

const Command& Self() {
  static const Command command{"clip", "convert the text on the clipboard", kUsage, Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
