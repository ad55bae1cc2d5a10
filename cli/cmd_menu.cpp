// quillmer menu: runs a context-menu entry on a page as the browser does when
// the user chooses it, then saves the page.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/automation.h"
#include "cli/command.h"
#include "cli/page_io.h"
#include "cli/script_host.h"
#include "page/charset_rules.h"
#include "page/context_menu.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"
#include "platform/win32/resfile.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer menu CAPTION PAGE.html [-o OUT]\n"
    "Runs the context-menu entry CAPTION on PAGE.html as the browser does: its key\n"
    "under HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt names a\n"
    "res: page in a module, whose scripts run with `new ActiveXObject(progid)` making\n"
    "registered automation objects and `external.menuArguments` the window of\n"
    "PAGE.html. Then the page is saved as quillmer page saves it.\n\n"
    "  -o OUT   write the page to OUT and its frames and linked style sheets beside\n"
    "           it; without -o the page alone goes to standard output\n\n"
    "CAPTION is the entry's text as the menu shows it, e.g.\n"
    "\"Display:  Traditional Chinese\" (two spaces after the colon). quillmer register\n"
    "adds the four entries.\n";

const Command& Self();

std::string RegistryText(std::string_view ansi) { return ToUtf8(DecodeCodePage(GetACP(), ansi)); }

// The entry's page URL, from its key's default value.
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

int Run(const std::vector<std::string>& args) {
  std::optional<std::string> out, caption, file;
  auto usage = ArgParser(Self())
                   .Output(out)
                   .Positional([&](const std::string& a) -> std::optional<std::string> {
                     if (!caption)
                       caption = a;
                     else if (!file)
                       file = a;
                     else
                       return "takes a caption and one page";
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!caption || !file) return UsageError(Self(), "name the menu entry and the page");

  const std::string url = MenuPageUrl(*caption);
  auto res = ParseResUrl(url);
  if (!res) throw Error("the entry's page is no res: URL: " + url);
  auto menuPage = LoadResourceFromModuleFile(res->module, res->name, res->type);
  if (!menuPage) throw Error(res->module + " has no " + res->type + " resource " + res->name);

  ComPtr<IWebBrowser2> browser = LoadPageArgument(*file);

  {
    ComPtr<IDispatch> doc;
    OleCheck(browser->get_Document(doc.put()));
    auto html = doc.query<IHTMLDocument2>();
    if (!html) return Fail(*file + " holds no HTML document");
    ComPtr<IHTMLWindow2> window;
    OleCheck(html->get_parentWindow(window.put()));

    ComPtr<IWebBrowser2> script = LoadPageFromBytes(*menuPage, res->name + ".htm");
    ScriptHost host;
    host.SetMenuArguments(window.get());
    for (const auto& source : PageScripts(script.get())) host.Run(source, url);
  }
  // The scripts' objects are gone; so may be their modules.
  FreeUnusedServers();

  return WritePage(browser.get(), out, "menu");
}

const Command& Self() {
  static const Command command{"menu", "run a context-menu entry on a page", kUsage, Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
