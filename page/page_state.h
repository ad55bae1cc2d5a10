// What page conversion shares with its callers: the browsers a user-requested
// conversion is converting, the busy flag of whole-window conversions, the
// settings page conversion reads, and the helper's form connector. The module
// owns one PageState; callers hand it over in a PageContext.
#pragma once

#include <functional>
#include <vector>

#include "platform/win32/codepage.h"

namespace quillmer {

struct IDispatch;
struct IWebBrowser2;

struct PageState {
  // Uncounted references: an entry never keeps a browser alive. The helper
  // object leaves a browser in this list alone.
  std::vector<IWebBrowser2*> ConvertingBrowsers;
  // Set while a user-requested whole-window conversion runs.
  bool ConversionBusy = false;

  bool IsConvertingBrowser(IWebBrowser2* browser) const;
  // Removes one entry (the latest) of the browser, if any.
  void RemoveConvertingBrowser(IWebBrowser2* browser);
  // Empties ConvertingBrowsers and clears ConversionBusy (unload, tests).
  void Reset();
};

// Enters a browser in ConvertingBrowsers for the life of the scope and
// removes it once on every way out.
class ConvertingBrowserEntry {
 public:
  ConvertingBrowserEntry(PageState& state, IWebBrowser2* browser);
  ~ConvertingBrowserEntry();
  ConvertingBrowserEntry(const ConvertingBrowserEntry&) = delete;
  ConvertingBrowserEntry& operator=(const ConvertingBrowserEntry&) = delete;

 private:
  PageState& state_;
  IWebBrowser2* browser_;
};

// Sets ConversionBusy for the life of the scope and clears it on every way
// out, unless it was already set: then acquired() is false and nothing runs.
class ConversionBusyScope {
 public:
  explicit ConversionBusyScope(PageState& state);
  ~ConversionBusyScope();
  ConversionBusyScope(const ConversionBusyScope&) = delete;
  ConversionBusyScope& operator=(const ConversionBusyScope&) = delete;
  bool acquired() const { return acquired_; }

 private:
  PageState& state_;
  bool acquired_;
};

// The settings page conversion reads: the module's copies of them.
struct PageSettings {
  bool AlterWBCharset = false;
  bool HelperEnabled = false;
  UINT uiCodePage = 0;  // 0: the system's ANSI code page
};
// The settings' UI code page, 0 read as the system's ANSI code page.
UINT UiCodePage(const PageSettings& settings);

// The helper object's ConnectFormEvents, reached through its IDispatch. The
// helper lives above page conversion; without a connector nothing is
// connected.
using FormEventsConnector = std::function<void(IDispatch* helper, IWebBrowser2* browser)>;

// What a page conversion is handed by its caller.
struct PageContext {
  PageSettings settings;
  PageState& state;
  FormEventsConnector connectFormEvents;
};

}  // namespace quillmer
