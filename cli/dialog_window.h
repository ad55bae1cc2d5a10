// What the commands that open one of the product's dialogs share: the
// window toolkit, and the dialog run modally until the user closes it or
// shown and driven by a script.
#pragma once

#include <optional>
#include <string>

#include "widgets/form.h"

namespace quillmer::cli {

// Loads the window toolkit; throws Error "cannot open a window: …" when
// there is no display.
void RequireWindows();

struct DialogScript {
  std::optional<std::string> file;  // --script FILE
  std::optional<std::string> code;  // -e CODE
  bool given() const { return file || code; }
};

// Without a script: shows the dialog modally and returns its modal result.
// With one: shows it, runs the script with the window functions and
// print(), and returns the result the dialog closed with (mrNone while it is
// still open: the caller then closes it as the close box would).
int RunDialog(Form& dialog, const DialogScript& script);

// The usage lines of the script options and functions, for --help texts:
// before the window functions, and after them.
extern const char* const kDialogScriptUsage;
extern const char* const kDialogScriptUsageEnd;

}  // namespace quillmer::cli
