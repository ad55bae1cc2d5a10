#include "cli/dialog_window.h"

#include <chrono>

#include "cli/command.h"
#include "cli/script_host.h"
#include "cli/window_script.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/win32/window.h"

namespace quillmer::cli {

const char* const kDialogScriptUsage =
    "  --script FILE  drive the dialog with the JavaScript in FILE\n"
    "  -e CODE        drive it with CODE\n"
    "Without a script the dialog stays until you close it. A script's functions:\n";

const char* const kDialogScriptUsageEnd =
    "  key(name)            press a key in the focused control\n"
    "  print(...)           write a line to standard output\n"
    "A script error is reported with its line; the exit status is then 1.\n";

void RequireWindows() {
  std::string why;
  if (!LoadToolkit(&why)) throw Error("cannot open a window: " + why);
}

namespace {

// Lets the window catch up: its messages for a moment, then what is left.
void Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    WaitMessage(10);
  } while (std::chrono::steady_clock::now() < end);
  ProcessMessages();
}

}  // namespace

int RunDialog(Form& dialog, const DialogScript& script) {
  if (!script.given()) return dialog.ShowModal();
  const std::string source = script.file ? ReadFile(*script.file) : *script.code;
  dialog.Show();
  ProcessMessages();
  bool closed = false;
  int result = mrNone;
  // A button with a modal result ends the dialog as a modal run would.
  auto settle = [&] {
    ProcessMessages();
    if (!closed && dialog.ModalResult() != mrNone) {
      result = dialog.ModalResult();
      closed = true;
      if (dialog.OnClose) dialog.OnClose(dialog);
      dialog.Hide();
    } else if (!closed && !dialog.Visible()) {
      result = mrCancel;
      closed = true;
    }
  };
  ScriptHost host;
  DefineWindowFunctions(
      host, ScriptedWindow{[&]() -> HWND { return closed ? nullptr : dialog.Handle(); }, settle,
                           [] { Pump(100); },
                           [&] {
                             if (closed) return;
                             dialog.Close();
                             settle();
                           },
                           true});
  DefinePrint(host);
  host.Run(FromUtf8(source), script.file ? *script.file : "-e");
  settle();
  return result;
}

}  // namespace quillmer::cli
