// The helper objects a browser loads for a new window: every class registered
// under the "Browser Helper Objects" key, made and given the window's browser
// as its site.
#pragma once

#include <string>
#include <vector>

#include "com/site.h"
#include "platform/browser/webbrowser.h"

namespace quillmer::cli {

struct AddOn {
  std::string clsid;
  ComPtr<IObjectWithSite> object;
};

// Makes and sites them; one that cannot be made is reported on standard
// error ("WHO: the helper object ... was not loaded: why") and left out.
std::vector<AddOn> LoadAddOns(IWebBrowser2* browser, const char* who);

// Takes every site away (after the browser's OnQuit), letting them go.
void ReleaseAddOns(std::vector<AddOn>& addOns);

}  // namespace quillmer::cli
