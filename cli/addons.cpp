#include "cli/addons.h"

#include <cstdio>

#include "platform/com/activation.h"
#include "platform/win32/registry.h"
#include "ui/shared_settings.h"

namespace quillmer::cli {

std::vector<AddOn> LoadAddOns(IWebBrowser2* browser, const char* who) {
  std::vector<AddOn> out;
  std::string path(kBrowserHelperObjectsKey);
  path.pop_back();  // the trailing separator
  RegKey key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
  std::string name;
  for (DWORD i = 0; RegEnumKeyEx(key.get(), i, &name) == ERROR_SUCCESS; ++i) {
    auto clsid = GuidFromString(name);
    if (!clsid) continue;
    ComPtr<IObjectWithSite> helper;
    HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                  helper.put_void());
    if (FAILED(hr)) {
      std::string why = LastActivationError();
      std::fprintf(stderr, "%s: the helper object %s was not loaded: %s\n", who, name.c_str(),
                   (why.empty() ? HResultText(hr) : why).c_str());
      continue;
    }
    // The browser does not look at the answer.
    helper->SetSite(browser);
    out.push_back({name, helper});
  }
  return out;
}

void ReleaseAddOns(std::vector<AddOn>& addOns) {
  for (auto& a : addOns) a.object->SetSite(nullptr);
  addOns.clear();
}

}  // namespace quillmer::cli
