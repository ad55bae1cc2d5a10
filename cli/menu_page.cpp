#include "cli/menu_page.h"

#include "cli/script_host.h"
#include "page/context_menu.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"
#include "platform/win32/resfile.h"

namespace quillmer::cli {
namespace {

std::string RegistryText(std::string_view ansi) { return ToUtf8(DecodeCodePage(GetACP(), ansi)); }

// The script elements' text, those the page runs at once first, then the
// deferred ones, each in document order.
std::vector<std::u16string> PageScripts(IWebBrowser2* page) {
  ComPtr<IDispatch> doc;
  OleCheck(page->get_Document(doc.put()));
  auto doc3 = doc.query<IHTMLDocument3>();
  if (!doc3) throw Error("the menu's page holds no HTML document");
  ComPtr<IHTMLElementCollection> scripts;
  OleCheck(doc3->getElementsByTagName(u"script", scripts.put()));
  LONG count = 0;
  OleCheck(scripts->get_length(&count));
  std::vector<std::u16string> now, deferred;
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IDispatch> item;
    OleCheck(scripts->item(VariantInt(i), VARIANT{}, item.put()));
    auto element = item.query<IHTMLElement>();
    auto node = item.query<IHTMLDOMNode>();
    if (!element || !node) continue;
    VARIANT language, type, defer;
    element->getAttribute(u"language", 0, &language);
    element->getAttribute(u"type", 0, &type);
    element->getAttribute(u"defer", 0, &defer);
    std::u16string lang, mime;
    VariantToString(language, &lang);
    VariantToString(type, &mime);
    for (auto* s : {&lang, &mime})
      for (auto& c : *s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    const bool javascript =
        (lang.empty() || lang.starts_with(u"javascript") || lang == u"jscript") &&
        (mime.empty() || mime == u"text/javascript" || mime == u"application/javascript");
    if (!javascript) continue;
    std::u16string text;
    ComPtr<IHTMLDOMNode> child;
    node->get_firstChild(child.put());
    while (child) {
      VARIANT value;
      if (SUCCEEDED(child->get_nodeValue(&value)) && value.vt == VT_BSTR) text += value.bstrVal;
      ComPtr<IHTMLDOMNode> next;
      child->get_nextSibling(next.put());
      child = next;
    }
    (defer.vt == VT_NULL ? now : deferred).push_back(std::move(text));
  }
  now.insert(now.end(), deferred.begin(), deferred.end());
  return now;
}

}  // namespace

std::string MenuPageUrl(const std::string& caption) {
  const std::string notFound = "no context-menu entry \"" + caption + "\" under HKEY_CURRENT_USER" +
                               std::string(kMenuExtKey);
  bool lossy = false;
  const std::u16string wide = FromUtf8(caption);
  const int n = WideCharToMultiByte(GetACP(), 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lossy);
  std::string ansi(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(GetACP(), 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n,
                        nullptr, &lossy);
  if (ansi.empty() || lossy || ansi.find('\\') != std::string::npos) throw Error(notFound);
  RegKey key;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, std::string(kMenuExtKey) + ansi, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    throw Error(notFound);
  DWORD type = 0;
  std::string url;
  if (RegQueryValueEx(key.get(), "", &type, &url) != ERROR_SUCCESS || type != REG_SZ)
    throw Error("the context-menu entry \"" + caption + "\" names no page");
  while (!url.empty() && url.back() == '\0') url.pop_back();
  return RegistryText(url);
}

std::vector<MenuEntry> MenuEntries() {
  std::vector<MenuEntry> out;
  std::string path(kMenuExtKey);
  path.pop_back();  // the trailing separator
  RegKey key;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
  std::string name;
  for (DWORD i = 0; RegEnumKeyEx(key.get(), i, &name) == ERROR_SUCCESS; ++i) {
    RegKey entry;
    if (RegOpenKeyEx(key.get(), name, 0, KEY_READ, entry.put()) != ERROR_SUCCESS) continue;
    DWORD type = 0;
    std::string url, context;
    if (RegQueryValueEx(entry.get(), "", &type, &url) != ERROR_SUCCESS || type != REG_SZ) continue;
    // Only entries of the page's own menu (the default context).
    if (RegQueryValueEx(entry.get(), "Context", &type, &context) == ERROR_SUCCESS &&
        !context.empty() && !(static_cast<unsigned char>(context[0]) & kMenuContextDefault))
      continue;
    while (!url.empty() && url.back() == '\0') url.pop_back();
    out.push_back({RegistryText(name), RegistryText(url)});
  }
  return out;
}

void RunMenuPage(const std::string& url, IHTMLWindow2* window) {
  auto res = ParseResUrl(url);
  if (!res) throw Error("the entry's page is no res: URL: " + url);
  auto menuPage = LoadResourceFromModuleFile(res->module, res->name, res->type);
  if (!menuPage) throw Error(res->module + " has no " + res->type + " resource " + res->name);
  ComPtr<IWebBrowser2> script = LoadPageFromBytes(*menuPage, res->name + ".htm");
  ScriptHost host;
  host.SetMenuArguments(window);
  for (const auto& source : PageScripts(script.get())) host.Run(source, url);
}

}  // namespace quillmer::cli
