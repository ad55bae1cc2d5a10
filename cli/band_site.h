// The band site of a browser window: the toolbar bands registered under the
// browser's "Toolbar" key, made from their classes and sited with the site's
// window, the focus notifications and the window's browser as a service.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser/webbrowser.h"
#include "platform/win32/window.h"

namespace quillmer::cli {

class BandSiteHost {
 public:
  // Makes and shows every registered band in the site's window; a band that
  // cannot be made is reported on standard error and left out.
  BandSiteHost(HWND siteWindow, IWebBrowser2* browser);
  ~BandSiteHost();
  BandSiteHost(const BandSiteHost&) = delete;
  BandSiteHost& operator=(const BandSiteHost&) = delete;

  // The height the bands take, one above the other.
  int Height() const;
  // Places the bands across the site's width.
  void Layout(int width);
  // Hides and closes the bands; they let go of their site.
  void Close();
  std::vector<std::string> Classes() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmer::cli
