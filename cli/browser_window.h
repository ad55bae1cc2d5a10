// A Quillmer browser window on the screen: the band site with the toolbar
// bands registered for the browser, above a view of the page as it stands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser/webbrowser.h"
#include "platform/win32/window.h"

namespace quillmer::cli {

class BrowserWindow {
 public:
  // Opens the window on browser's page, with every band registered under
  // the browser's "Toolbar" key made from its class and sited in it. Throws
  // Error when no window can be opened (no display).
  explicit BrowserWindow(IWebBrowser2* browser);
  ~BrowserWindow();
  BrowserWindow(const BrowserWindow&) = delete;
  BrowserWindow& operator=(const BrowserWindow&) = delete;

  HWND Handle() const;
  bool IsOpen() const;
  // Closes the bands (hidden, then CloseDW) and the window.
  void Close();

  // Shows the page as it stands now, when it changed since it was last shown.
  void Refresh();
  // Runs the window's messages for ms milliseconds (until it is closed when
  // ms is negative), showing the page's changes as they come.
  void Run(int ms);
  // Runs messages until the view has shown the page (at most ms).
  void Settle(int ms);

  // The classes of the bands loaded.
  std::vector<std::string> Bands() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmer::cli
