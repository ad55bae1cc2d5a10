// quillmer emend: the editor of the user's emendation table of one direction,
// as the options dialog opens it.
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/dialog_window.h"
#include "cli/window_script.h"
#include "ui/emend_form.h"
#include "ui/lifecycle.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer emend (--to-trad | --to-simp) [--script FILE | -e CODE]\n"
    "Opens the text emendation editor on the user's own table of one direction:\n"
    "user_b5fix.dat (--to-trad: what conversion to Traditional gives, and what to\n"
    "put in its place) or user_gbfix.dat (--to-simp), beside Quillmer.ini. Pairs\n"
    "are searched, added and deleted in the grid; the editor's close button\n"
    "(btnClose) writes the table and rebuilds the merged index, the window's close\n"
    "box discards the changes. Text the table's code page (Big5 or GBK) cannot\n"
    "hold is refused.\n\n"
    "  --to-trad      the table applied after converting to Traditional\n"
    "  --to-simp      the table applied after converting to Simplified\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  DialogScript script;
  std::optional<ConvDirection> direction;
  auto usage = ArgParser(Self()).Direction(direction).Script(script.file, script.code).Parse(args);
  if (usage) return *usage;
  if (!direction) return UsageError(Self(), kChooseTradOrSimp);

  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  RequireWindows();
  ModuleState& module = *CurrentModule();
  auto editor =
      MakeEmendationEditor(module, nullptr, *direction == cdToSim ? kEmendGbk : kEmendBig5);
  RunDialog(*editor, script);
  if (editor->Saved()) RebuildEmendationTables(module);
  return kExitOk;
}

const Command& Self() {
  static const std::string usage =
      std::string(kUsage) + kDialogScriptUsage + kWindowFunctionsUsage + kDialogScriptUsageEnd;
  static const Command command{"emend", "edit the user's emendation table of one direction",
                               usage.c_str(), Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
