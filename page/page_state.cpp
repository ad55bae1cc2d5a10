#include "page/page_state.h"

#include <algorithm>

namespace quillmer {
namespace {

PageSettingsSource& Source() {
  static PageSettingsSource source;
  return source;
}

}  // namespace

std::vector<IWebBrowser2*>& ConvertingBrowsers() {
  static std::vector<IWebBrowser2*> browsers;
  return browsers;
}

bool IsConvertingBrowser(IWebBrowser2* browser) {
  auto& list = ConvertingBrowsers();
  return browser && std::find(list.begin(), list.end(), browser) != list.end();
}

void RemoveConvertingBrowser(IWebBrowser2* browser) {
  auto& list = ConvertingBrowsers();
  auto it = std::find(list.rbegin(), list.rend(), browser);
  if (it != list.rend()) list.erase(std::next(it).base());
}

bool& ConversionBusy() {
  static bool busy = false;
  return busy;
}

ConvertingBrowserEntry::ConvertingBrowserEntry(IWebBrowser2* browser) : browser_(browser) {
  ConvertingBrowsers().push_back(browser_);
}

ConvertingBrowserEntry::~ConvertingBrowserEntry() { RemoveConvertingBrowser(browser_); }

ConversionBusyScope::ConversionBusyScope() : acquired_(!ConversionBusy()) {
  if (acquired_) ConversionBusy() = true;
}

ConversionBusyScope::~ConversionBusyScope() {
  if (acquired_) ConversionBusy() = false;
}

PageSettingsSource SetPageSettingsSource(PageSettingsSource source) {
  PageSettingsSource previous = std::move(Source());
  Source() = std::move(source);
  return previous;
}

PageSettings CurrentPageSettings() {
  PageSettings s = Source() ? Source()() : PageSettings{};
  if (s.uiCodePage == 0) s.uiCodePage = GetACP();
  return s;
}

void ResetPageState() {
  ConvertingBrowsers().clear();
  ConversionBusy() = false;
}

}  // namespace quillmer
