// quillmer browse: one browser window of the model, with the add-on loaded as
// the browser loads it, driven by a script or showing one page.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/addons.h"
#include "cli/args.h"
#include "cli/automation.h"
#include "cli/browser_window.h"
#include "cli/command.h"
#include "cli/engine_session.h"
#include "cli/engine_window.h"
#include "cli/page_io.h"
#include "cli/script_host.h"
#include "cli/window_script.h"
#include "com/site.h"
#include "page/charset_rules.h"
#include "platform/base/ascii.h"
#include "platform/base/text.h"
#include "platform/browser/page.h"
#include "platform/com/activation.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keys.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"
#include "ui/shared_settings.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer browse [--window [--engine webkit|model]] [--script FILE | -e CODE]\n"
    "                       [PAGE]\n"
    "Opens a browser window with the add-on loaded as the browser loads it: every\n"
    "object registered under the \"Browser Helper Objects\" key (quillmer register adds\n"
    "ours) is made from its class and given the window as its site; they read\n"
    "their settings from Quillmer.ini. Ours, the helper, converts pages while they\n"
    "load when AutoConvert is 1 or 2, zooms them by the auto-zoom settings, connects\n"
    "their forms so that they send their text in the page's script\n"
    "(ConvertOnSubmit), and runs the hotkeys of [HotKeys]. Without a script the\n"
    "window navigates to PAGE and the page, as it stands once loaded, goes to\n"
    "standard output.\n\n"
    "  --window       open the window on the screen: the toolbar of every band\n"
    "                 registered under the browser's \"Toolbar\" key (quillmer register\n"
    "                 adds ours) above a view of the page as it stands; without a\n"
    "                 script it stays until you close it\n"
    "  --engine E     with --window: webkit (the default when its extension is\n"
    "                 installed) browses real pages (http, https, file) in WebKitGTK,\n"
    "                 with an address bar and back and forward, the add-on's helper\n"
    "                 running in the engine's web process; model shows the page\n"
    "                 of the browser model as it stands\n"
    "  --script FILE  run the JavaScript in FILE (after PAGE has loaded, if given)\n"
    "  -e CODE        run CODE\n\n"
    "The script's functions act on the window and its top-level page:\n"
    "  navigate(url)        load a path or file: URL; returns when it has completed\n"
    "  follow(link)         follow the link with that id, name or text\n"
    "  key(name)            press a key: key(\"Ctrl+Alt+T\"), key(\"Shift+F5\")\n"
    "  setValue(name, text) type text into the form control with that name or id\n"
    "  submit(form)         submit the form (index or name): {charset, fields:\n"
    "                       [[name, value], ...]} as sent, or null when cancelled\n"
    "  zoom()  text()  title()  charset()  url()\n"
    "  property(name)       a browser property, e.g. \"OrigCharset\"\n"
    "  history()            the pages left, oldest first: [{url, charset}, ...]\n"
    "  addons()             the classes of the helper objects loaded\n"
    "  save(path)           save the page with its frames as quillmer page -o does\n"
    "  print(...)           write a line to standard output\n"
    "  wait(ms)             let messages run for ms milliseconds\n"
    "With --window, also:\n";
constexpr const char* kUsageEngine =
    "With the engine, PAGE is any address; follow() and save() are not there, and\n"
    "these act on the live page:\n";
constexpr const char* kUsageEnd =
    "A script error is reported with its line; the exit status is then 1.\n";

const Command& Self();

std::u16string StringArg(const std::vector<VARIANT>& args, std::size_t i, const char* what) {
  std::u16string s;
  if (i >= args.size() || VariantDeref(args[i]).vt != VT_BSTR) throw Error(std::string(what));
  VariantToString(args[i], &s);
  return s;
}

ScriptValue Text(std::u16string s) { return {VariantString(std::move(s)), {}}; }
ScriptValue Nothing() { return {}; }

class Session {
 public:
  Session() : browser_(NewBrowserWindow()) {}
  ~Session() { Close(); }

  IWebBrowser2* browser() const { return browser_.get(); }

  // The helper objects, as the browser makes them for a new window.
  void LoadAddOns() { helpers_ = cli::LoadAddOns(browser_.get(), "quillmer browse"); }

  // Closes the window: OnQuit, then the helpers lose their site and go.
  void Close() {
    window_.reset();  // its bands first, while the browser is there
    if (!browser_) return;
    browser_->Quit();
    ReleaseAddOns(helpers_);
    browser_ = nullptr;
    FreeUnusedServers();
  }

  // Opens the window on the screen (throws Error without a display).
  void OpenWindow() { window_ = std::make_unique<BrowserWindow>(browser_.get()); }
  BrowserWindow* Window() const { return window_.get(); }

  void Navigate(const std::u16string& url) {
    HRESULT hr =
        browser_->Navigate2(VariantString(url), VARIANT{}, VARIANT{}, VARIANT{}, VARIANT{});
    if (hr == INET_E_RESOURCE_NOT_FOUND)
      throw Error("cannot open '" + ToUtf8(url) + "': no such local page", hr);
    OleCheck(hr);
  }

  ComPtr<IHTMLDocument2> Document() const {
    ComPtr<IDispatch> doc;
    OleCheck(browser_->get_Document(doc.put()));
    auto html = doc ? doc.query<IHTMLDocument2>() : ComPtr<IHTMLDocument2>();
    if (!html) throw Error("the page holds no HTML document");
    return html;
  }

  ComPtr<IHTMLElement> Body() const {
    ComPtr<IHTMLElement> body;
    OleCheck(Document()->get_body(body.put()));
    if (!body) throw Error("the page has no body");
    return body;
  }

  void Define(ScriptHost& host) {
    host.Define("navigate", [this](const std::vector<VARIANT>& a) {
      Navigate(StringArg(a, 0, "navigate needs a URL"));
      return Nothing();
    });
    host.Define("follow", [this](const std::vector<VARIANT>& a) {
      const std::u16string which = StringArg(a, 0, "follow needs a link's id, name or text");
      ComPtr<IHTMLElement> link = FindLink(browser_.get(), which);
      if (!link) throw Error("no link \"" + ToUtf8(which) + "\" in the page");
      HRESULT hr = FollowLink(link.get());
      if (hr == INET_E_RESOURCE_NOT_FOUND)
        throw Error("the link \"" + ToUtf8(which) + "\" leads to no local page", hr);
      OleCheck(hr);
      return Nothing();
    });
    host.Define("key", [this](const std::vector<VARIANT>& a) {
      const std::u16string name = StringArg(a, 0, "key needs a key's name, e.g. \"Ctrl+Alt+T\"");
      auto value = ParseHotKey(ToUtf8(name));
      if (!value || *value == 0) throw Error("no such key: \"" + ToUtf8(name) + "\"");
      PressKey(browser_.get(), *value & 0xFF, *value & kHotKeyAlt, *value & kHotKeyCtrl,
               *value & kHotKeyShift);
      return Nothing();
    });
    host.Define("setValue", [this](const std::vector<VARIANT>& a) {
      const std::u16string name = StringArg(a, 0, "setValue needs a control's name or id");
      const std::u16string text = StringArg(a, 1, "setValue needs the text to type");
      ComPtr<IHTMLElement> control = FindControl(name);
      if (!control || FAILED(TypeText(control.get(), text)))
        throw Error("no text control \"" + ToUtf8(name) + "\" in the page's forms");
      return Nothing();
    });
    host.Define("submit", [this](const std::vector<VARIANT>& a) { return Submit(a); });
    host.Define("zoom", [this](const std::vector<VARIANT>&) {
      ComPtr<IHTMLStyle> style;
      OleCheck(Body()->get_style(style.put()));
      VARIANT zoom;
      OleCheck(style.query<IHTMLStyle3>()->get_zoom(&zoom));
      return ScriptValue{VariantInt(ZoomPercent(zoom.bstrVal)), {}};
    });
    host.Define("text", [this](const std::vector<VARIANT>&) {
      std::u16string text;
      OleCheck(Body()->get_innerText(&text));
      return Text(text);
    });
    host.Define("title", [this](const std::vector<VARIANT>&) {
      std::u16string title;
      OleCheck(Document()->get_title(&title));
      return Text(title);
    });
    host.Define("charset", [this](const std::vector<VARIANT>&) {
      std::u16string charset;
      OleCheck(Document()->get_charset(&charset));
      return Text(charset);
    });
    host.Define("url", [this](const std::vector<VARIANT>&) {
      std::u16string url;
      OleCheck(browser_->get_LocationURL(&url));
      return Text(url);
    });
    host.Define("property", [this](const std::vector<VARIANT>& a) {
      VARIANT value;
      OleCheck(browser_->GetProperty(StringArg(a, 0, "property needs a name"), &value));
      return ScriptValue{value, {}};
    });
    host.Define("history", [this](const std::vector<VARIANT>&) {
      std::string json = "[";
      for (const auto& page : LeftPages(browser_.get()))
        json += (json.size() > 1 ? "," : "") + std::string("{\"url\":") + Json(page.url) +
                ",\"charset\":" + Json(page.charset) + "}";
      return ScriptValue{{}, json + "]"};
    });
    host.Define("addons", [this](const std::vector<VARIANT>&) {
      std::string json = "[";
      for (const auto& h : helpers_) json += (json.size() > 1 ? "," : "") + Json(FromUtf8(h.clsid));
      return ScriptValue{{}, json + "]"};
    });
    host.Define("save", [this](const std::vector<VARIANT>& a) {
      const std::string path = ToUtf8(StringArg(a, 0, "save needs a file name"));
      WritePage(browser_.get(), path, "browse");
      return Nothing();
    });
    host.Define("wait", [this](const std::vector<VARIANT>& a) {
      std::int32_t ms = 0;
      if (!a.empty() && FAILED(VariantToInt(a[0], &ms))) throw Error("wait needs milliseconds");
      if (window_ && window_->IsOpen()) {
        window_->Run(ms);
        return Nothing();
      }
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      do {
        WaitMessage(10);
      } while (std::chrono::steady_clock::now() < end);
      ProcessMessages();
      return Nothing();
    });
    if (window_) DefineWindow(host);
    DefinePrint(host);
  }

  void DefineWindow(ScriptHost& host) {
    DefineWindowFunctions(
        host, ScriptedWindow{[this]() -> HWND {
                               return window_ && window_->IsOpen() ? window_->Handle() : nullptr;
                             },
                             [this] { Settle(); }, [this] { window_->Settle(5000); },
                             [this] {
                               if (window_) window_->Close();
                             },
                             false});  // key() presses keys in the page, as without a window
  }

  // Lets the window catch up with a change: its messages, then the view.
  void Settle() {
    if (!window_ || !window_->IsOpen()) return;
    ProcessMessages();
    window_->Refresh();
  }

 private:
  // "120%" as 120; an empty zoom is 100%.
  static std::int32_t ZoomPercent(const std::u16string& text) {
    std::int32_t n = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    if (i == text.size()) return 100;
    std::size_t digits = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && n < 1000000)
      n = n * 10 + (text[i++] - u'0');
    if (i == digits) throw Error("the page's zoom is not a percentage: " + ToUtf8(text));
    return n;
  }

  static std::u16string Attribute(IHTMLElement* e, const char16_t* name) {
    VARIANT v;
    std::u16string s;
    if (SUCCEEDED(e->getAttribute(name, 0, &v)) && v.vt == VT_BSTR) s = v.bstrVal;
    return s;
  }

  // A link of the page or its frames by id, name or text (pre-order).
  static ComPtr<IHTMLElement> FindLink(IWebBrowser2* b, const std::u16string& which) {
    ComPtr<IDispatch> doc;
    if (FAILED(b->get_Document(doc.put())) || !doc) return {};
    auto html = doc.query<IHTMLDocument2>();
    if (!html) return {};
    ComPtr<IHTMLElementCollection> links;
    LONG n = 0;
    if (SUCCEEDED(html->get_links(links.put())) && links) links->get_length(&n);
    for (LONG i = 0; i < n; ++i) {
      ComPtr<IDispatch> item;
      links->item(VariantInt(i), VARIANT{}, item.put());
      auto e = item ? item.query<IHTMLElement>() : ComPtr<IHTMLElement>();
      if (!e) continue;
      std::u16string text;
      e->get_innerText(&text);
      if (Attribute(e.get(), u"id") == which || Attribute(e.get(), u"name") == which ||
          text == which)
        return e;
    }
    auto container = html.query<IOleContainer>();
    ComPtr<IEnumUnknown> objects;
    if (!container || FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.put()))) return {};
    ComPtr<IUnknown> object;
    while (objects->Next(1, object.put(), nullptr) == S_OK) {
      if (auto frame = object.query<IWebBrowser2>())
        if (auto found = FindLink(frame.get(), which)) return found;
      object = nullptr;
    }
    return {};
  }

  // A form control of the top page by name, else by id.
  ComPtr<IHTMLElement> FindControl(const std::u16string& name) const {
    ComPtr<IHTMLElementCollection> forms;
    OleCheck(Document()->get_forms(forms.put()));
    LONG count = 0;
    forms->get_length(&count);
    ComPtr<IHTMLElement> byId;
    for (LONG f = 0; f < count; ++f) {
      ComPtr<IDispatch> item;
      forms->item(VariantInt(f), VARIANT{}, item.put());
      auto form = item ? item.query<IHTMLFormElement>() : ComPtr<IHTMLFormElement>();
      if (!form) continue;
      LONG n = 0;
      form->get_length(&n);
      for (LONG i = 0; i < n; ++i) {
        ComPtr<IDispatch> c;
        form->item(VariantInt(i), VARIANT{}, c.put());
        auto control = c ? c.query<IHTMLElement>() : ComPtr<IHTMLElement>();
        if (!control) continue;
        if (Attribute(control.get(), u"name") == name) return control;
        if (!byId && Attribute(control.get(), u"id") == name) byId = control;
      }
    }
    return byId;
  }

  ScriptValue Submit(const std::vector<VARIANT>& a) {
    if (a.empty()) throw Error("submit needs a form's index or name");
    ComPtr<IHTMLElementCollection> forms;
    OleCheck(Document()->get_forms(forms.put()));
    const VARIANT& which = VariantDeref(a[0]);
    ComPtr<IDispatch> item;
    if (which.vt == VT_BSTR) {
      forms->item(which, VARIANT{}, item.put());
    } else {
      std::int32_t index = 0;
      if (FAILED(VariantToInt(which, &index))) throw Error("submit needs a form's index or name");
      forms->item(VariantInt(index), VARIANT{}, item.put());
    }
    auto form = item ? item.query<IHTMLFormElement>() : ComPtr<IHTMLFormElement>();
    if (!form) {
      std::u16string text;
      VariantToString(which, &text);
      throw Error("no form " + ToUtf8(text) + " in the page");
    }
    auto sent = SubmitForm(form.get());
    if (!sent) return ScriptValue{VariantNull(), {}};
    std::string json = "{\"charset\":" + Json(sent->charset) + ",\"fields\":[";
    for (std::size_t i = 0; i < sent->fields.size(); ++i)
      json +=
          (i ? ",[" : "[") + Json(sent->fields[i].name) + "," + Json(sent->fields[i].value) + "]";
    return ScriptValue{{}, json + "]}"};
  }

  ComPtr<IWebBrowser2> browser_;
  std::vector<AddOn> helpers_;
  std::unique_ptr<BrowserWindow> window_;
};

int Run(const std::vector<std::string>& args) {
  std::optional<std::string> scriptFile, code, page;
  std::optional<std::string> engine;
  bool window = false;
  auto usage = ArgParser(Self())
                   .Flag("--window",
                         [&]() -> std::optional<std::string> {
                           window = true;
                           return std::nullopt;
                         })
                   .Value("--engine", "--engine needs webkit or model",
                          [&](const std::string& v) -> std::optional<std::string> {
                            if (v != "webkit" && v != "model")
                              return "--engine takes webkit or model, not " + v;
                            engine = v;
                            return std::nullopt;
                          })
                   .Script(scriptFile, code)
                   .Positional([&](const std::string& a) -> std::optional<std::string> {
                     if (page) return "only one page";
                     page = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!page && !scriptFile && !code && !window)
    return UsageError(Self(), "name a page or give a script");
  if (engine && !window) return UsageError(Self(), "--engine goes with --window");

  const std::string source = scriptFile ? ReadFile(*scriptFile) : code.value_or("");
  if (window && engine != "model") {
    std::string why;
    if (!LoadToolkit(&why)) throw Error("cannot open a window: " + why);
    if (EngineInstalled()) {
      std::optional<std::string> script;
      if (scriptFile || code) script = source;
      return RunEngineBrowse(page, script, scriptFile ? *scriptFile : "-e");
    }
    if (engine == "webkit")
      throw Error("the engine's extension (" + std::string(kWebExtensionLibrary) +
                  ") is not installed beside the window toolkit");
  }
  SetEncodingDetector(DetectPageCodePage);
  Session session;
  session.LoadAddOns();
  if (page) session.Navigate(FromUtf8(*page));
  if (window) {
    session.OpenWindow();
    if (!scriptFile && !code) {
      session.Window()->Run(-1);
      session.Close();
      return kExitOk;
    }
  }
  if (!scriptFile && !code) {
    int status = WritePage(session.browser(), std::nullopt, "browse");
    session.Close();
    return status;
  }
  {
    ScriptHost host;
    session.Define(host);
    host.Run(FromUtf8(source), scriptFile ? *scriptFile : "-e");
  }
  session.Close();
  return kExitOk;
}

const Command& Self() {
  static const std::string usage = std::string(kUsage) + kWindowFunctionsUsage + kUsageEngine +
                                   kEngineFunctionsUsage + kUsageEnd;
  static const Command command{"browse", "open a scriptable browser window with the add-on",
                               usage.c_str(), Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
