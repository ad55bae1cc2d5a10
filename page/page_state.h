// Process-wide state that page conversion shares with its callers: the
// browsers a user-requested conversion is converting, the busy flag of
// whole-window conversions, and the settings page conversion reads.
#pragma once

#include <functional>
#include <vector>

#include "platform/win32/codepage.h"

namespace quillmer {

struct IWebBrowser2;

// Uncounted references: an entry never keeps a browser alive. The helper
// object leaves a browser in this list alone.
std::vector<IWebBrowser2*>& ConvertingBrowsers();
bool IsConvertingBrowser(IWebBrowser2* browser);
// Removes one entry (the latest) of the browser, if any.
void RemoveConvertingBrowser(IWebBrowser2* browser);

// Set while a user-requested whole-window conversion runs.
bool& ConversionBusy();

// Enters a browser in ConvertingBrowsers for the life of the scope and
// removes it once on every way out.
class ConvertingBrowserEntry {
 public:
  explicit ConvertingBrowserEntry(IWebBrowser2* browser);
  ~ConvertingBrowserEntry();
  ConvertingBrowserEntry(const ConvertingBrowserEntry&) = delete;
  ConvertingBrowserEntry& operator=(const ConvertingBrowserEntry&) = delete;

 private:
  IWebBrowser2* browser_;
};

// Sets ConversionBusy for the life of the scope and clears it on every way
// out, unless it was already set: then acquired() is false and nothing runs.
class ConversionBusyScope {
 public:
  ConversionBusyScope();
  ~ConversionBusyScope();
  ConversionBusyScope(const ConversionBusyScope&) = delete;
  ConversionBusyScope& operator=(const ConversionBusyScope&) = delete;
  bool acquired() const { return acquired_; }

 private:
  bool acquired_;
};

// The settings page conversion reads. The settings store lives above page
// conversion, so whoever loads the settings installs a source of them.
struct PageSettings {
  bool AlterWBCharset = false;
  bool HelperEnabled = false;
  UINT uiCodePage = 0;  // 0: the system's ANSI code page
};
using PageSettingsSource = std::function<PageSettings()>;
// Returns the previous source; an empty source gives the defaults.
PageSettingsSource SetPageSettingsSource(PageSettingsSource source);
PageSettings CurrentPageSettings();

// Empties ConvertingBrowsers and clears ConversionBusy (unload, tests).
void ResetPageState();

}  // namespace quillmer
