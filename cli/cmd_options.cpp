// quillmer options: the options dialog on the screen, as the toolbar opens
// it, or driven by a script.
#include <optional>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/script_host.h"
#include "cli/window_script.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/com/variant.h"
#include "platform/win32/window.h"
#include "ui/lifecycle.h"
#include "ui/options_form.h"
#include "widgets/timer.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer options [--script FILE | -e CODE]\n"
    "Opens the options dialog over the settings of Quillmer.ini (in QUILLMER_HOME)\n"
    "and the registry (QUILLMER_REGISTRY). There is no cancel: however the dialog\n"
    "closes (OK, Escape, the window's close box) it stores every setting, the\n"
    "helper's registration and the context-menu entries. An auto-zoom pattern that\n"
    "cannot be used keeps it open with a message.\n"
    "Without a script the dialog stays until the user closes it. With one, the\n"
    "script runs while the dialog is shown, and the dialog closes (and saves) when\n"
    "the script ends if the script has not closed it. Exit status 1 when no window\n"
    "can be opened or the script fails.\n"
    "\n"
    "  --script FILE  run the script in FILE\n"
    "  -e CODE        run CODE\n"
    "\n"
    "The script's functions act on the dialog:\n"
    "  print(values...)     write a line to standard output\n"
    "  key(name)            press a key into the focused control (\"Escape\", \"Tab\",\n"
    "                       \"Ctrl+Alt+T\")\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  std::optional<std::string> scriptFile, code;
  auto usage = ArgParser(Self()).Script(scriptFile, code).Parse(args);
  if (usage) return *usage;
  const std::string source = scriptFile ? ReadFile(*scriptFile) : code.value_or("");

  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  std::string why;
  if (!LoadToolkit(&why)) return Fail("cannot open a window: " + why);

  TForm1 form(*CurrentModule(), nullptr);
  if (!scriptFile && !code) {
    form.ShowModal();
    return kExitOk;
  }

  // The script runs from the dialog's own modal loop, as a user acts on it.
  std::optional<std::string> failure;
  Timer start;
  start.SetInterval(1);
  start.OnTimer = [&](Timer& t) {
    t.SetEnabled(false);
    try {
      ScriptHost host;
      auto settle = [] { ProcessMessages(); };
      DefineWindowFunctions(host, ScriptedWindow{[&form]() -> HWND {
                                                   return form.ModalResult() == mrNone &&
                                                                  IsWindow(form.Handle())
                                                              ? form.Handle()
                                                              : nullptr;
                                                 },
                                                 settle, settle, [&form] { form.Close(); }, true});
      DefinePrint(host);
      host.Run(FromUtf8(source), scriptFile ? *scriptFile : "-e");
    } catch (const std::exception& e) {
      failure = e.what();
    }
    // Still open: closed as the user would, and closed anyway when a pattern
    // keeps it open (that row is not stored; its message was shown).
    if (form.ModalResult() == mrNone) form.Close();
    if (form.ModalResult() == mrNone) form.ForceClose();
  };
  start.SetEnabled(true);
  form.ShowModal();
  if (failure) return Fail(*failure);
  return kExitOk;
}

const Command& Self() {
  static const std::string usage = std::string(kUsage) + kWindowFunctionsUsage;
  static const Command command{"options", "open the options dialog", usage.c_str(), Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
