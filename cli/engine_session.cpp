#include "cli/engine_session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/engine_window.h"
#include "cli/script_host.h"
#include "cli/window_script.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/engine_messages.h"
#include "platform/com/variant.h"
#include "platform/win32/keys.h"

namespace quillmer::cli {
namespace {

namespace msg = engine_messages;

std::string StringArg(const std::vector<VARIANT>& args, std::size_t i, const char* what) {
  std::u16string s;
  if (i >= args.size() || VariantDeref(args[i]).vt != VT_BSTR) throw Error(std::string(what));
  VariantToString(args[i], &s);
  return ToUtf8(s);
}

ScriptValue Text(const std::string& utf8) { return {VariantString(FromUtf8(utf8)), {}}; }
ScriptValue Nothing() { return {}; }

// "120%" as 120; an empty zoom is 100%.
std::int32_t ZoomPercent(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return 100;
  std::int32_t n = 0;
  const std::size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && n < 1000000)
    n = n * 10 + (text[i++] - '0');
  if (i == digits) throw Error("the page's zoom is not a percentage: " + text);
  return n;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void Define(ScriptHost& host, EngineWindow& w) {
  auto query = [&w](const char* name) {
    return [&w, name](const std::vector<VARIANT>&) { return Text(w.Call(name)); };
  };
  host.Define("navigate", [&w](const std::vector<VARIANT>& a) {
    w.Navigate(StringArg(a, 0, "navigate needs a URL"));
    return Nothing();
  });
  host.Define("back", [&w](const std::vector<VARIANT>&) {
    w.Back();
    return Nothing();
  });
  host.Define("forward", [&w](const std::vector<VARIANT>&) {
    w.Forward();
    return Nothing();
  });
  host.Define("text", query(msg::kText));
  host.Define("title", query(msg::kTitle));
  host.Define("charset", query(msg::kCharset));
  host.Define("url", query(msg::kUrl));
  host.Define("zoom", [&w](const std::vector<VARIANT>&) {
    return ScriptValue{VariantInt(ZoomPercent(w.Call(msg::kGetZoom))), {}};
  });
  host.Define("property", [&w](const std::vector<VARIANT>& a) {
    return Text(w.Call(msg::kProperty, {StringArg(a, 0, "property needs a name")}));
  });
  host.Define("setValue", [&w](const std::vector<VARIANT>& a) {
    w.Call(msg::kSetValue, {StringArg(a, 0, "setValue needs a control's name or id"),
                            StringArg(a, 1, "setValue needs the text to type")});
    return Nothing();
  });
  host.Define("submit", [&w](const std::vector<VARIANT>& a) {
    if (a.empty()) throw Error("submit needs a form's index or name");
    std::u16string which;
    const VARIANT& v = VariantDeref(a[0]);
    if (v.vt == VT_BSTR) {
      which = v.bstrVal;
    } else {
      std::int32_t index = 0;
      if (FAILED(VariantToInt(v, &index))) throw Error("submit needs a form's index or name");
      which = FromUtf8(std::to_string(index));
    }
    w.Submit(ToUtf8(which));
    return Text(ToUtf8(w.Url()));
  });
  host.Define("key", [&w](const std::vector<VARIANT>& a) {
    const std::string name = StringArg(a, 0, "key needs a key's name, e.g. \"Ctrl+Alt+T\"");
    auto value = ParseHotKey(name);
    if (!value || *value == 0) throw Error("no such key: \"" + name + "\"");
    Toolkit* kit = CurrentToolkit();
    w.FocusPage();
    if (!kit || !kit->PressKey(*value & 0xFF, *value & kHotKeyShift, *value & kHotKeyCtrl,
                               *value & kHotKeyAlt))
      throw Error("the key \"" + name + "\" cannot be pressed");
    w.Settle();
    return Nothing();
  });
  host.Define("contextMenu", [&w](const std::vector<VARIANT>& a) {
    w.ChooseContextEntry(StringArg(a, 0, "contextMenu needs an entry's caption"));
    w.Settle();
    return Nothing();
  });
  host.Define("history", [&w](const std::vector<VARIANT>&) {
    std::string json = "[";
    for (const auto& line : SplitLines(w.Call(msg::kHistory))) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      json += (json.size() > 1 ? "," : "") + std::string("{\"url\":") +
              Json(FromUtf8(line.substr(tab + 1))) +
              ",\"charset\":" + Json(FromUtf8(line.substr(0, tab))) + "}";
    }
    return ScriptValue{{}, json + "]"};
  });
  host.Define("addons", [&w](const std::vector<VARIANT>&) {
    std::string json = "[";
    for (const auto& line : SplitLines(w.Call(msg::kAddons)))
      json += (json.size() > 1 ? "," : "") + Json(FromUtf8(line));
    return ScriptValue{{}, json + "]"};
  });
  host.Define("wait", [&w](const std::vector<VARIANT>& a) {
    std::int32_t ms = 0;
    if (!a.empty() && FAILED(VariantToInt(a[0], &ms))) throw Error("wait needs milliseconds");
    w.Run(ms);
    return Nothing();
  });
  DefineWindowFunctions(
      host, ScriptedWindow{[&w]() -> HWND { return w.IsOpen() ? w.Handle() : nullptr; },
                           [&w] { w.Settle(); }, [&w] { w.Run(300); }, [&w] { w.Close(); }, false});
  DefinePrint(host);
}

}  // namespace

const char* const kEngineFunctionsUsage =
    "  navigate(url)        load an http(s) or file address, or a path; returns when\n"
    "                       the page and its frames have loaded\n"
    "  back()  forward()    go through the window's history likewise\n"
    "  text()  title()  charset()  zoom()  url()\n"
    "  property(name)       a browser property, e.g. \"OrigCharset\"\n"
    "  setValue(name, text) type text into the form control with that name or id\n"
    "  submit(form)         send the form (index or name) as the user would; returns\n"
    "                       the address of the page the server answers with\n"
    "  key(name)            press a key in the page: key(\"Ctrl+Alt+T\")\n"
    "  contextMenu(caption) choose an entry of the page's context menu\n"
    "  history()            the pages left, oldest first: [{url, charset}, ...]\n"
    "  addons()             the classes of the helper objects loaded\n"
    "  print(...)  wait(ms)\n";

int RunEngineBrowse(const std::optional<std::string>& page,
                    const std::optional<std::string>& source, const std::string& scriptName) {
  // The engine's web process, where the helper runs, knows the program by
  // this name (the helper is inert under the shell's name).
  ::setenv("QUILLMER_HOST_PROGRAM", program_invocation_name ? program_invocation_name : "", 1);
  EngineWindow window;
  if (page) window.Navigate(*page);
  if (!source) {
    window.Run(-1);
    window.Close();
    return 0;
  }
  {
    ScriptHost host;
    Define(host, window);
    host.Run(FromUtf8(*source), scriptName);
  }
  window.Close();
  return 0;
}

}  // namespace quillmer::cli
