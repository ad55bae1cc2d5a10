#include "cli/window_script.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/base/ascii.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/com/variant.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keys.h"

namespace quillmer::cli {

const char* const kWindowFunctionsUsage =
    "  click(name[, button]) click a control of the window (\"ToolButton1\") with the\n"
    "                       pointer; button 1 left (the default), 2 middle, 3 right\n"
    "  menu(name)           choose a menu item (\"AutoTrad\", \"ZoomIn2\")\n"
    "  set(name, value)     set a control as a user would: text, true/false for a\n"
    "                       check box, a number for a spin edit or a combo box's item,\n"
    "                       [row, col, text] for a grid cell\n"
    "  controls()           the visible controls: [{name, caption, hint, enabled,\n"
    "                       checked, x, y, width, height}], x and y on the screen\n"
    "  answer(button)       answer the next message box: \"Yes\", \"No\", \"OK\" or\n"
    "                       \"Cancel\" (a box no answer covers is printed to standard\n"
    "                       error and takes its default button)\n"
    "  screenshot(path)     the window as a PNG file\n"
    "  close()              close the window\n";

std::string Json(std::u16string_view s) {
  static const char* kHex = "0123456789abcdef";
  std::string out = "\"";
  for (char16_t c : s) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
    }
  }
  return out + "\"";
}

namespace {

Toolkit& Kit() {
  Toolkit* kit = CurrentToolkit();
  if (!kit) throw Error("no window is open");
  return *kit;
}

std::string Utf8Arg(const std::vector<VARIANT>& args, std::size_t i, const char* what) {
  std::u16string s;
  if (i >= args.size() || VariantDeref(args[i]).vt != VT_BSTR) throw Error(std::string(what));
  VariantToString(args[i], &s);
  return ToUtf8(s);
}

std::string TextOf(Toolkit& kit, HWND h, Prop prop, std::int32_t index = 0) {
  std::vector<char> buffer(kit.GetText(h, prop, nullptr, 0, index) + 1);
  const std::size_t n = kit.GetText(h, prop, buffer.data(), buffer.size(), index);
  return std::string(buffer.data(), std::min(n, std::strlen(buffer.data())));
}

// The visible named controls under h, pre-order.
void ListControls(Toolkit& kit, HWND h, std::string& json) {
  std::vector<HWND> children(kit.Children(h, nullptr, 0));
  kit.Children(h, children.data(), children.size());
  for (HWND c : children) {
    if (!kit.GetInt(c, Prop::Visible)) continue;
    const std::string name = TextOf(kit, c, Prop::Name);
    if (!name.empty()) {
      json += std::string(json.size() > 1 ? "," : "") + "{\"name\":" + Json(FromUtf8(name)) +
              ",\"caption\":" + Json(FromUtf8(TextOf(kit, c, Prop::Caption))) +
              ",\"hint\":" + Json(FromUtf8(TextOf(kit, c, Prop::Hint))) +
              ",\"enabled\":" + (kit.GetInt(c, Prop::Enabled) ? "true" : "false") +
              ",\"checked\":" + (kit.GetInt(c, Prop::Checked) ? "true" : "false") +
              ",\"x\":" + std::to_string(kit.GetInt(c, Prop::ScreenLeft)) +
              ",\"y\":" + std::to_string(kit.GetInt(c, Prop::ScreenTop)) +
              ",\"width\":" + std::to_string(kit.GetInt(c, Prop::Width)) +
              ",\"height\":" + std::to_string(kit.GetInt(c, Prop::Height)) + "}";
    }
    ListControls(kit, c, json);
  }
}

// A user's change of a control: the value, then what the toolkit tells the
// control's owner when a user makes it.
void SetAsUser(Toolkit& kit, HWND control, const std::string& name, const VARIANT& value) {
  const VARIANT& v = VariantDeref(value);
  const ControlKind kind = kit.Kind(control);
  if (!kit.GetInt(control, Prop::Enabled)) throw Error("the control " + name + " is disabled");
  switch (kind) {
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      if (v.vt != VT_BOOL) throw Error("set(" + name + ", …) takes true or false");
      const bool on = v.boolVal != 0;
      if ((kit.GetInt(control, Prop::Checked) != 0) == on) return;
      kit.SetInt(control, Prop::Checked, on);
      SendMessage(control, QM_CLICK, 0, 0);
      return;
    }
    case ControlKind::SpinEdit:
    case ControlKind::ComboBox:
    case ControlKind::ImageComboBox:
    case ControlKind::Tabs: {
      std::int32_t n = 0;
      if (v.vt != VT_BSTR && SUCCEEDED(VariantToInt(v, &n))) {
        kit.SetInt(control, kind == ControlKind::SpinEdit ? Prop::Value : Prop::ItemIndex, n);
        if (kind == ControlKind::SpinEdit)
          kit.SetText(control, Prop::Text, std::to_string(n).c_str());
        SendMessage(control, QM_CHANGE, 0, 0);
        return;
      }
      if (kind != ControlKind::SpinEdit && kind != ControlKind::ComboBox) break;
      std::u16string text;
      VariantToString(v, &text);  // typed text, as it stands
      kit.SetText(control, Prop::Text, ToUtf8(text).c_str());
      SendMessage(control, QM_CHANGE, 0, 0);
      return;
    }
    case ControlKind::Edit:
    case ControlKind::MaskedEdit: {
      std::u16string text;
      if (v.vt != VT_BSTR) throw Error("set(" + name + ", …) takes the text to type");
      VariantToString(v, &text);
      kit.SetText(control, Prop::Text, ToUtf8(text).c_str());
      SendMessage(control, QM_CHANGE, 0, 0);
      return;
    }
    case ControlKind::HotKeyEdit: {
      std::u16string text;
      VariantToString(v, &text);
      auto chord = ParseHotKey(ToUtf8(text));
      if (!chord) throw Error("no such key: \"" + ToUtf8(text) + "\"");
      kit.SetInt(control, Prop::HotKey, *chord);
      SendMessage(control, QM_CHANGE, 0, 0);
      return;
    }
    default:
      break;
  }
  throw Error("set cannot change the control " + name);
}

}  // namespace

void DefineWindowFunctions(ScriptHost& host, ScriptedWindow window) {
  auto w = std::make_shared<ScriptedWindow>(std::move(window));
  Kit().SetScripted(true);
  auto open = [w]() -> HWND {
    HWND h = w->handle ? w->handle() : nullptr;
    if (!h || !IsWindow(h)) throw Error("the window is closed");
    return h;
  };
  auto find = [open](const std::string& name) {
    HWND control = Kit().Find(open(), name.c_str());
    if (!control) throw Error("no control " + name + " in the window");
    return control;
  };
  auto settle = [w] {
    if (w->settle) w->settle();
  };
  host.Define("click", [find, settle](const std::vector<VARIANT>& a) {
    const std::string name = Utf8Arg(a, 0, "click needs a control's name");
    HWND control = find(name);
    std::int32_t button = 1;
    if (a.size() > 1 && (FAILED(VariantToInt(a[1], &button)) || button < 1 || button > 3))
      throw Error("click's button is 1 (left), 2 (middle) or 3 (right)");
    if (!Kit().Click(control, button))
      throw Error("the control " + name + " cannot be clicked (hidden or disabled)");
    settle();
    return ScriptValue{};
  });
  host.Define("menu", [open, settle](const std::vector<VARIANT>& a) {
    const std::string name = Utf8Arg(a, 0, "menu needs a menu item's name");
    open();
    Toolkit& kit = Kit();
    HWND item = kit.Find(nullptr, name.c_str());
    if (!item || kit.Kind(item) != ControlKind::MenuItem)
      throw Error("no menu item " + name + " in the window");
    if (!kit.GetInt(item, Prop::Enabled)) throw Error("the menu item " + name + " is disabled");
    HWND menu = kit.Parent(item);
    while (menu && kit.Kind(menu) != ControlKind::Menu) menu = kit.Parent(menu);
    // The menu opens (its owner fills it in), then the item is chosen.
    if (menu) SendMessage(menu, QM_POPUP, 0, 0);
    SendMessage(item, QM_CLICK, 0, 0);
    settle();
    return ScriptValue{};
  });
  host.Define("__set", [find, settle](const std::vector<VARIANT>& a) {
    const std::string name = Utf8Arg(a, 0, "set needs a control's name");
    if (a.size() < 2) throw Error("set needs a value");
    HWND control = find(name);
    if (Kit().Kind(control) == ControlKind::Grid)
      throw Error("set(" + name + ", [row, col, text]) sets a grid's cell");
    SetAsUser(Kit(), control, name, a[1]);
    settle();
    return ScriptValue{};
  });
  // A grid's cell, edited as a user edits it.
  host.Define("__setCell", [find, settle](const std::vector<VARIANT>& a) {
    const std::string name = Utf8Arg(a, 0, "set needs a control's name");
    HWND control = find(name);
    std::int32_t row = 0, col = 0;
    std::u16string text;
    if (a.size() < 4 || FAILED(VariantToInt(a[1], &row)) || FAILED(VariantToInt(a[2], &col)) ||
        FAILED(VariantToString(a[3], &text)) || Kit().Kind(control) != ControlKind::Grid)
      throw Error("set(" + name + ", [row, col, text]) sets a grid's cell");
    Toolkit& kit = Kit();
    kit.SetInt(control, Prop::Row, row);
    kit.SetInt(control, Prop::Col, col);
    kit.SetText(control, Prop::Cell, ToUtf8(text).c_str());
    SendMessage(control, QM_CELLEDIT, static_cast<WPARAM>(row), col);
    settle();
    return ScriptValue{};
  });
  host.Run(
      u"function set(name, value) {\n"
      u"  if (value instanceof Array) return __setCell(name, value[0], value[1], "
      u"String(value[2]));\n"
      u"  return __set(name, value);\n"
      u"}\n",
      "window");
  if (w->keys)
    host.Define("key", [open, settle](const std::vector<VARIANT>& a) {
      const std::string name = Utf8Arg(a, 0, "key needs a key's name, e.g. \"Ctrl+Alt+T\"");
      open();
      auto value = ParseHotKey(name);
      if (!value || *value == 0) throw Error("no such key: \"" + name + "\"");
      if (!Kit().PressKey(*value & 0xFF, *value & kHotKeyShift, *value & kHotKeyCtrl,
                          *value & kHotKeyAlt))
        throw Error("the key " + name + " could not be pressed");
      settle();
      return ScriptValue{};
    });
  host.Define("controls", [open](const std::vector<VARIANT>&) {
    std::string json = "[";
    ListControls(Kit(), open(), json);
    return ScriptValue{{}, json + "]"};
  });
  host.Define("answer", [](const std::vector<VARIANT>& a) {
    const std::string button = Utf8Arg(a, 0, "answer needs a button");
    static const std::pair<const char*, int> kButtons[] = {
        {"Yes", IDYES}, {"No", IDNO}, {"OK", IDOK}, {"Cancel", IDCANCEL}};
    for (const auto& [text, id] : kButtons)
      if (EqualNoCase(FromUtf8(button), FromUtf8(text))) {
        Kit().QueueAnswer(id);
        return ScriptValue{};
      }
    throw Error("answer takes \"Yes\", \"No\", \"OK\" or \"Cancel\", not \"" + button + "\"");
  });
  host.Define("screenshot", [w, open](const std::vector<VARIANT>& a) {
    const std::string path = Utf8Arg(a, 0, "screenshot needs a file name");
    HWND h = open();
    if (w->beforeScreenshot) w->beforeScreenshot();
    if (!Kit().Screenshot(h, path.c_str())) throw Error("cannot write the screenshot to " + path);
    return ScriptValue{};
  });
  host.Define("close", [w](const std::vector<VARIANT>&) {
    if (w->close) w->close();
    return ScriptValue{};
  });
}

}  // namespace quillmer::cli
