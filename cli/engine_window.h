// A Quillmer browser window on a real engine (WebKitGTK): back and forward,
// an address bar, the toolbar bands of the band site, and the page in the
// engine's view. The pages live in the engine's web process, where our
// extension loads the add-on's helper; this window reaches them through the
// extension.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser/webbrowser.h"
#include "platform/win32/window.h"

namespace quillmer::cli {

// Whether the engine's extension is installed beside the toolkit (or in
// QUILLMER_WEBEXT_DIR). Loads the toolkit; false without a display.
bool EngineInstalled();

class EngineWindow {
 public:
  // Opens the window (empty page). Throws Error when no window can be opened.
  EngineWindow();
  ~EngineWindow();
  EngineWindow(const EngineWindow&) = delete;
  EngineWindow& operator=(const EngineWindow&) = delete;

  HWND Handle() const;
  bool IsOpen() const;
  // OnQuit to the page's helpers, then the bands and the window go.
  void Close();

  // The browser the bands are given: the page's, as the program sees it.
  IWebBrowser2* Browser() const;

  // Loads an address (a path is a local file) and waits until the page has
  // loaded, or failed (Error with the engine's reason), or timeoutMs passed.
  void Navigate(const std::string& url, int timeoutMs = 60000);
  void Back(int timeoutMs = 60000);
  void Forward(int timeoutMs = 60000);
  // Submits the top page's form (index or name) as the user would, and
  // waits until the page the server answers with has loaded.
  void Submit(const std::string& form, int timeoutMs = 60000);

  // A message to the extension on the live page; its answer, or throws
  // Error with the page's reason.
  std::string Call(const char* name, const std::vector<std::string>& args = {},
                   int timeoutMs = 120000) const;

  // Gives the page the keyboard focus.
  void FocusPage();
  // Opens the page's context menu with a right click and chooses our entry
  // with that caption; throws Error when there is no such entry or no menu
  // opened.
  void ChooseContextEntry(const std::string& caption);
  // Lets the window run for ms milliseconds (until it is closed when
  // negative).
  void Run(int ms);
  // Lets what is pending run, and the page paint.
  void Settle();

  std::u16string Url() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmer::cli
