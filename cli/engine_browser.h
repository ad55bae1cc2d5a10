// The browser of an engine window as the program sees it: the engine keeps
// the page in its web process, and our extension there holds the browser the
// add-on's helper works on. This one stands for it in the program, for the
// toolbar band: the address and title from the view, the body's zoom read and
// written call by call, a whole page conversion sent there at once
// (IPageWork), properties of its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/browser/mshtml.h"

namespace quillmer::cli {

// Sends a message to the extension; the answer's text, or throws Error.
using EngineCall = std::function<std::string(const char* name, const std::vector<std::string>&)>;

struct EngineViewState {
  std::function<std::u16string()> url;
  std::function<std::u16string()> title;
  std::function<bool()> busy;
  std::function<void(const std::u16string&)> navigate;
  std::function<void()> stop;
};

ComPtr<IWebBrowser2> MakeEngineBrowser(EngineCall call, EngineViewState view);

}  // namespace quillmer::cli
