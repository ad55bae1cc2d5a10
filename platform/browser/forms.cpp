// What the user does in a page: typing into form controls, submitting forms,
// pressing keys.
#include "platform/browser/model.h"

namespace quillmer::browser {
namespace {

bool IsTextControl(const DomElement* e) { return e->Is(u"input") || e->Is(u"textarea"); }

std::u16string InputType(const DomElement* e) {
  const std::u16string* type = e->Attr(u"type");
  return type ? LowerAscii(*type) : u"text";
}

std::u16string Value(const DomElement* e) {
  if (e->currentValue) return *e->currentValue;
  if (e->Is(u"textarea")) return TextContent(e);
  const std::u16string* v = e->Attr(u"value");
  return v ? *v : u"";
}

// Line breaks as forms send them.
std::u16string Crlf(std::u16string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r') {
      out += u"\r\n";
      if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    } else if (s[i] == u'\n') {
      out += u"\r\n";
    } else {
      out += s[i];
    }
  }
  return out;
}

std::u16string CollapseSpace(std::u16string_view s) {
  std::u16string out;
  bool space = false;
  for (char16_t c : s) {
    if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f') {
      space = !out.empty();
      continue;
    }
    if (space) out += u' ';
    space = false;
    out += c;
  }
  return out;
}

bool Disabled(const DomElement* e) {
  for (const DomNode* n = e; n; n = n->parent)
    if (n->kind == NodeKind::Element) {
      auto* p = static_cast<const DomElement*>(n);
      if (p->Attr(u"disabled") && (p == e || p->Is(u"fieldset"))) return true;
    }
  return false;
}

// The successful controls of a form with their values, in tree order.
std::vector<std::pair<std::u16string, std::u16string>> Successful(DomElement* form) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  for (DomElement* e : form->FormControls()) {
    const std::u16string* name = e->Attr(u"name");
    if (!name || name->empty() || Disabled(e)) continue;
    if (e->Is(u"input")) {
      const std::u16string type = InputType(e);
      if (type == u"submit" || type == u"reset" || type == u"button" || type == u"image" ||
          type == u"file")
        continue;
      if (type == u"checkbox" || type == u"radio") {
        if (!e->Attr(u"checked")) continue;
        const std::u16string* v = e->Attr(u"value");
        out.emplace_back(*name, v ? *v : u"on");
        continue;
      }
      out.emplace_back(*name, Value(e));
    } else if (e->Is(u"textarea")) {
      out.emplace_back(*name, Crlf(Value(e)));
    } else if (e->Is(u"select")) {
      std::vector<DomElement*> options;
      ForEachElement(e, [&](DomElement* o) {
        if (o->Is(u"option")) options.push_back(o);
      });
      auto valueOf = [](DomElement* o) {
        const std::u16string* v = o->Attr(u"value");
        return v ? *v : CollapseSpace(TextContent(o));
      };
      bool any = false;
      for (DomElement* o : options)
        if (o->Attr(u"selected") && !o->Attr(u"disabled")) {
          out.emplace_back(*name, valueOf(o));
          any = true;
          if (!e->Attr(u"multiple")) break;
        }
      // A single-choice list shows, and sends, its first option.
      if (!any && !e->Attr(u"multiple") && !options.empty() && !options[0]->Attr(u"disabled"))
        out.emplace_back(*name, valueOf(options[0]));
    }
  }
  return out;
}

// Text in the code page; what it cannot hold goes as a character reference,
// as browsers send it.
std::string EncodeForForm(UINT cp, std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t n = 1;
    if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      n = 2;
    std::u16string_view one = text.substr(i, n);
    if (one.size() == 1 && one[0] < 0x80) {
      out += static_cast<char>(one[0]);
    } else {
      std::string bytes = EncodeCodePage(cp, one);
      if (DecodeCodePage(cp, bytes) == one) {
        out += bytes;
      } else {
        char32_t c = n == 2 ? 0x10000 + ((one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
        out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
      }
    }
    i += n;
  }
  return out;
}

}  // namespace
}  // namespace quillmer::browser

namespace quillmer {

using namespace browser;

HRESULT TypeText(IHTMLElement* control, std::u16string text) {
  auto* e = dynamic_cast<DomElement*>(control);
  if (!e || !IsTextControl(e)) return E_INVALIDARG;
  e->currentValue = std::move(text);
  return S_OK;
}

std::u16string CurrentValue(IHTMLElement* control) {
  auto* e = dynamic_cast<DomElement*>(control);
  return e ? Value(e) : u"";
}

std::optional<FormSubmission> SubmitForm(IHTMLFormElement* formElement) {
  auto* form = dynamic_cast<DomElement*>(formElement);
  if (!form || !form->Is(u"form")) return std::nullopt;
  ComPtr<IHTMLFormElement> keep(formElement);
  ComPtr<IHTMLEventObj> event = MakeEventObject(form, u"submit");
  form->Events()->Fire(DIID_HTMLFormElementEvents2, DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT,
                       {VariantDispatch(event.get())});
  VARIANT verdict;
  event->get_returnValue(&verdict);
  if (verdict.vt == VT_BOOL && verdict.boolVal == VARIANT_FALSE) return std::nullopt;

  DomDocument* doc = form->doc;
  // A UTF-16 page sends UTF-8.
  const UINT cp =
      doc->codePage == CP_UTF16LE || doc->codePage == CP_UTF16BE ? CP_UTF8 : doc->codePage;
  FormSubmission sent;
  sent.charset = Widen(doc->charset);
  for (auto& [name, value] : Successful(form)) {
    SubmittedField f;
    f.nameBytes = EncodeForForm(cp, name);
    f.valueBytes = EncodeForForm(cp, value);
    f.name = DecodeCodePage(cp, f.nameBytes);
    f.value = DecodeCodePage(cp, f.valueBytes);
    sent.fields.push_back(std::move(f));
  }
  return sent;
}

int PressKey(IWebBrowser2* browser, LONG keyCode, bool alt, bool ctrl, bool shift) {
  auto* b = dynamic_cast<WebBrowser*>(browser);
  if (!b) return 0;
  ComPtr<IWebBrowser2> keep(browser);
  DomDocument* doc = b->Top()->document;
  if (!doc) return 0;
  ComPtr<IHTMLEventObj> event = MakeEventObject(doc->Body(), u"keydown", keyCode, alt, ctrl, shift);
  return doc->events.Fire(DIID_HTMLDocumentEvents2, DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN,
                          {VariantDispatch(event.get())});
}

}  // namespace quillmer
