// Our extension in the engine's web process, where the pages live: the add-on
// is loaded there as the browser loads it (its helper objects made from their
// classes and sited in each page's browser), and the program's messages —
// the toolbar's page commands, the context-menu pages, what its scripts read
// and do — are run there on the live page by the product's own code.
#include <webkit2/webkit-web-extension.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/addons.h"
#include "cli/automation.h"
#include "cli/menu_page.h"
#include "com/helper.h"
#include "page/charset_rules.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/engine_messages.h"
#include "platform/browser/page.h"
#include "platform/webdom/live_page.h"
#include "platform/win32/toolkit.h"
#include "platform/win32/window.h"

namespace quillmer::webext {
namespace {

namespace msg = engine_messages;
constexpr const char* kWho = "quillmer (web process)";

struct PageHost {
  std::unique_ptr<webdom::LivePage> live;
  std::vector<cli::AddOn> addOns;
  bool inShell = false;  // the program runs under the shell's name

  void LoadAddOns() {
    if (inShell) return;
    addOns = cli::LoadAddOns(live->TopBrowser(), kWho);
  }

  IWebBrowser2* Browser() const { return live->TopBrowser(); }

  ComPtr<IHTMLDocument2> Document() const {
    ComPtr<IDispatch> doc;
    OleCheck(Browser()->get_Document(doc.put()), "IWebBrowser2::get_Document");
    auto html = doc ? doc.query<IHTMLDocument2>() : ComPtr<IHTMLDocument2>();
    if (!html) throw Error("the page holds no HTML document");
    return html;
  }

  ComPtr<IHTMLStyle3> BodyStyle() const {
    ComPtr<IHTMLElement> body;
    OleCheck(Document()->get_body(body.put()), "IHTMLDocument2::get_body");
    if (!body) throw Error("the page has no body");
    ComPtr<IHTMLStyle> style;
    OleCheck(body->get_style(style.put()), "IHTMLElement::get_style");
    auto style3 = style ? style.query<IHTMLStyle3>() : ComPtr<IHTMLStyle3>();
    if (!style3) throw Error("the page's body has no style");
    return style3;
  }

  void Quit() {
    if (!live) return;
    live->Quit();
    cli::ReleaseAddOns(addOns);
    cli::FreeUnusedServers();
  }
};

std::map<guint64, std::unique_ptr<PageHost>>& Pages() {
  static std::map<guint64, std::unique_ptr<PageHost>> pages;
  return pages;
}

std::string Arg(const std::vector<std::string>& args, std::size_t i, const char* what) {
  if (i >= args.size()) throw Error(std::string(what));
  return args[i];
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// One message of the program, run on the page; the answer's text, or throws.
std::string Handle(PageHost& host, const std::string& name, const std::vector<std::string>& args) {
  if (name == kPageBeforeNavigate) {
    return host.live->BeforeNavigate2(FromUtf8(Arg(args, 0, "BeforeNavigate2 needs a URL"))) ? "1"
                                                                                             : "0";
  }
  if (name == msg::kConvertPage) {
    // As the context menu's pages do it: the automation object on the
    // window, so that the module's own state guards the conversion.
    ComPtr<IHTMLWindow2> window;
    OleCheck(host.Document()->get_parentWindow(window.put()), "IHTMLDocument2::get_parentWindow");
    ComPtr<IDispatch> face = cli::CreateAutomationObject(u"Quillmer.ConFace");
    const bool toSim = Arg(args, 0, "ConvertPage needs a direction") == "1";
    cli::CallMethod(face.get(), toSim ? u"ConToSim" : u"ConToTrad",
                    {VariantDispatch(window.get())});
    return {};
  }
  if (name == msg::kGetZoom) {
    VARIANT zoom;
    OleCheck(host.BodyStyle()->get_zoom(&zoom), "IHTMLStyle3::get_zoom");
    std::u16string text;
    VariantToString(zoom, &text);
    return ToUtf8(text);
  }
  if (name == msg::kPutZoom) {
    OleCheck(
        host.BodyStyle()->put_zoom(VariantString(FromUtf8(Arg(args, 0, "PutZoom needs a zoom")))),
        "IHTMLStyle3::put_zoom");
    return {};
  }
  if (name == msg::kMenuExt) {
    ComPtr<IHTMLWindow2> window = host.live->MenuWindow();
    if (!window) throw Error("the page has no window");
    cli::RunMenuPage(Arg(args, 0, "MenuExt needs the entry's page"), window.get());
    cli::FreeUnusedServers();
    return {};
  }
  if (name == msg::kText) {
    ComPtr<IHTMLElement> body;
    OleCheck(host.Document()->get_body(body.put()), "IHTMLDocument2::get_body");
    std::u16string text;
    if (body) OleCheck(body->get_innerText(&text), "IHTMLElement::get_innerText");
    return ToUtf8(text);
  }
  if (name == msg::kTitle) {
    std::u16string title;
    OleCheck(host.Document()->get_title(&title), "IHTMLDocument2::get_title");
    return ToUtf8(title);
  }
  if (name == msg::kCharset) {
    std::u16string charset;
    OleCheck(host.Document()->get_charset(&charset), "IHTMLDocument2::get_charset");
    return ToUtf8(charset);
  }
  if (name == msg::kUrl) {
    std::u16string url;
    OleCheck(host.Browser()->get_LocationURL(&url), "IWebBrowser2::get_LocationURL");
    return ToUtf8(url);
  }
  if (name == msg::kProperty) {
    VARIANT value;
    OleCheck(host.Browser()->GetProperty(FromUtf8(Arg(args, 0, "Property needs a name")), &value),
             "IWebBrowser2::GetProperty");
    std::u16string text;
    if (value.vt != VT_EMPTY && value.vt != VT_NULL) VariantToString(value, &text);
    return ToUtf8(text);
  }
  if (name == msg::kSetValue) {
    const std::string which = Arg(args, 0, "SetValue needs a control's name or id");
    if (!host.live->TypeText(FromUtf8(which), FromUtf8(Arg(args, 1, "SetValue needs a text"))))
      throw Error("no text control \"" + which + "\" in the page's forms");
    return {};
  }
  if (name == msg::kSubmit) {
    const std::string which = Arg(args, 0, "Submit needs a form's index or name");
    if (!host.live->SubmitForm(FromUtf8(which))) throw Error("no form " + which + " in the page");
    return {};
  }
  if (name == msg::kHistory) {
    std::vector<std::string> lines;
    for (const auto& left : host.live->LeftPages())
      lines.push_back(ToUtf8(left.charset) + "\t" + ToUtf8(left.url));
    return Lines(lines);
  }
  if (name == msg::kAddons) {
    std::vector<std::string> lines;
    for (const auto& a : host.addOns) lines.push_back(a.clsid);
    return Lines(lines);
  }
  if (name == msg::kQuit) {
    host.Quit();
    return {};
  }
  throw Error("no such message: " + name);
}

void Reply(WebKitUserMessage* message, bool ok, const std::string& text) {
  GVariant* answer = g_variant_new("(bs)", ok, text.c_str());
  webkit_user_message_send_reply(
      message, webkit_user_message_new(webkit_user_message_get_name(message), answer));
}

gboolean MessageReceived(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  auto it = Pages().find(webkit_web_page_get_id(page));
  if (it == Pages().end()) return FALSE;
  const std::string name = webkit_user_message_get_name(message);
  std::vector<std::string> args;
  if (GVariant* params = webkit_user_message_get_parameters(message);
      params && g_variant_is_of_type(params, G_VARIANT_TYPE("as"))) {
    GVariantIter iter;
    g_variant_iter_init(&iter, params);
    const gchar* arg = nullptr;
    while (g_variant_iter_next(&iter, "&s", &arg)) args.emplace_back(arg);
  }
  try {
    Reply(message, true, Handle(*it->second, name, args));
  } catch (const std::exception& e) {
    Reply(message, false, e.what());
  }
  return TRUE;
}

void PageGone(gpointer data, GObject*) {
  auto id = static_cast<guint64>(reinterpret_cast<guintptr>(data));
  auto it = Pages().find(id);
  if (it == Pages().end()) return;
  it->second->Quit();
  Pages().erase(it);
}

void PageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  const guint64 id = webkit_web_page_get_id(page);
  auto host = std::make_unique<PageHost>();
  try {
    host->live = std::make_unique<webdom::LivePage>(page);
    // The helper stays out of the desktop's shell, here as in the program:
    // the program's own name is what counts, not the web process's.
    const char* program = std::getenv("QUILLMER_HOST_PROGRAM");
    host->inShell = program && HostCheck(program) != 0;
    host->LoadAddOns();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: the page cannot be followed: %s\n", kWho, e.what());
    return;
  }
  Pages()[id] = std::move(host);
  g_signal_connect(page, "user-message-received", G_CALLBACK(MessageReceived), nullptr);
  g_object_weak_ref(G_OBJECT(page), PageGone,
                    reinterpret_cast<gpointer>(static_cast<guintptr>(id)));
}

}  // namespace
}  // namespace quillmer::webext

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  // Pages the menu entries run are read as the browser reads pages.
  quillmer::SetEncodingDetector(quillmer::DetectPageCodePage);
  g_signal_connect(extension, "page-created", G_CALLBACK(quillmer::webext::PageCreated), nullptr);
}
