// What scripts do to a window on the screen, as a user would: click its
// controls, choose menu items, set values, press keys, answer message boxes,
// list the controls, take screenshots, close it. Shared by the commands that
// open windows (browse --window and the dialogs).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cli/script_host.h"
#include "platform/win32/window.h"

namespace quillmer::cli {

// JSON text of a string, every non-ASCII unit escaped.
std::string Json(std::u16string_view s);

struct ScriptedWindow {
  // The window the functions act on; null once it is closed.
  std::function<HWND()> handle;
  // Lets the window catch up after a change (messages, what it shows).
  std::function<void()> settle;
  // Runs before a screenshot until what the window shows is complete.
  std::function<void()> beforeScreenshot;
  // Closes the window.
  std::function<void()> close;
  // Whether key(name) presses keys into the focused control (a command may
  // have its own key()).
  bool keys = true;
};

// Defines click, menu, set, key, controls, answer, screenshot and close, and
// makes message boxes that no answer covers print themselves and take their
// default button.
void DefineWindowFunctions(ScriptHost& host, ScriptedWindow window);

// The usage lines of those functions but key(), for --help texts.
extern const char* const kWindowFunctionsUsage;

}  // namespace quillmer::cli
