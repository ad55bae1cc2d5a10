#include "page/page_state.h"

#include <algorithm>

namespace quillmer {

bool PageState::IsConvertingBrowser(IWebBrowser2* browser) const {
  const auto& list = ConvertingBrowsers;
  return browser && std::find(list.begin(), list.end(), browser) != list.end();
}

void PageState::RemoveConvertingBrowser(IWebBrowser2* browser) {
  auto& list = ConvertingBrowsers;
  auto it = std::find(list.rbegin(), list.rend(), browser);
  if (it != list.rend()) list.erase(std::next(it).base());
}

void PageState::Reset() {
  ConvertingBrowsers.clear();
  ConversionBusy = false;
}

ConvertingBrowserEntry::ConvertingBrowserEntry(PageState& state, IWebBrowser2* browser)
    : state_(state), browser_(browser) {
  state_.ConvertingBrowsers.push_back(browser_);
}

ConvertingBrowserEntry::~ConvertingBrowserEntry() { state_.RemoveConvertingBrowser(browser_); }

ConversionBusyScope::ConversionBusyScope(PageState& state)
    : state_(state), acquired_(!state.ConversionBusy) {
  if (acquired_) state_.ConversionBusy = true;
}

ConversionBusyScope::~ConversionBusyScope() {
  if (acquired_) state_.ConversionBusy = false;
}

UINT UiCodePage(const PageSettings& settings) {
  return settings.uiCodePage ? settings.uiCodePage : GetACP();
}

}  // namespace quillmer
