// Nodes, elements, collections, inline styles and style sheets.
#include <algorithm>

#include "platform/browser/model.h"

namespace quillmer::browser {

ULONG Zone::Release() {
  if (dying_) return 0;
  ULONG n = --refs_;
  if (n == 0) {
    // Members release what they hold from outside; references back into the
    // zone are ignored from here on.
    dying_ = true;
    members_.clear();
    delete this;
  }
  return n;
}

std::u16string LowerAscii(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return r;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Narrow(std::u16string_view ascii) {
  std::string r;
  r.reserve(ascii.size());
  for (char16_t c : ascii) r.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return r;
}

namespace {

template <class I, class T>
HRESULT Give(T* object, I** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!object) return S_OK;
  return object->QueryInterface(IID_OF(I), reinterpret_cast<void**>(out));
}

void CollectText(const DomNode* node, std::u16string& out) {
  for (const DomNode* c = node->firstChild; c; c = c->next)
    if (c->kind == NodeKind::Text || c->kind == NodeKind::CData)
      out += c->text;
    else if (c->kind == NodeKind::Element)
      CollectText(c, out);
}

bool IsBlock(const DomElement* e) {
  static constexpr std::u16string_view kBlocks[] = {
      u"address", u"article", u"aside",    u"blockquote", u"center", u"dd",      u"div",
      u"dl",      u"dt",      u"fieldset", u"figure",     u"footer", u"form",    u"h1",
      u"h2",      u"h3",      u"h4",       u"h5",         u"h6",     u"header",  u"hr",
      u"li",      u"main",    u"nav",      u"ol",         u"p",      u"pre",     u"section",
      u"table",   u"tr",      u"ul",       u"caption",    u"body",   u"frameset"};
  if (e->foreign) return false;
  return std::find(std::begin(kBlocks), std::end(kBlocks), e->tag) != std::end(kBlocks);
}

bool IsUnrendered(const DomElement* e) {
  static constexpr std::u16string_view kHidden[] = {u"script",   u"style",    u"noscript",
                                                    u"noframes", u"template", u"head"};
  if (e->foreign) return false;
  return std::find(std::begin(kHidden), std::end(kHidden), e->tag) != std::end(kHidden);
}

void LineBreak(std::u16string& out) {
  if (!out.empty() && out.back() != u'\n') out += u"\r\n";
}

void RenderText(const DomNode* node, std::u16string& out) {
  if (node->kind == NodeKind::Element && static_cast<const DomElement*>(node)->Is(u"frameset"))
    return;
  for (const DomNode* c = node->firstChild; c; c = c->next) {
    if (c->kind == NodeKind::Text || c->kind == NodeKind::CData) {
      out += c->text;
    } else if (c->kind == NodeKind::Element) {
      auto* e = static_cast<const DomElement*>(c);
      // A frameset shows frames, no text of its own.
      if (IsUnrendered(e) || e->Is(u"frameset")) continue;
      if (e->Is(u"br")) {
        out += u"\r\n";
        continue;
      }
      bool block = IsBlock(e);
      if (block) LineBreak(out);
      RenderText(e, out);
      if (block) LineBreak(out);
    }
  }
}

// Elements handed out by index or by name/id, as the platform's collections.
HRESULT ItemOf(const std::vector<DomElement*>& items, const VARIANT& name, const VARIANT& index,
               IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const VARIANT& n = VariantDeref(name);
  if (n.vt == VT_BSTR) {
    std::int32_t want = 0;
    if (!VariantIsEmpty(index) && FAILED(VariantToInt(index, &want))) want = 0;
    for (DomElement* e : items) {
      const std::u16string* id = e->Attr(u"id");
      const std::u16string* nm = e->Attr(u"name");
      if ((id && *id == n.bstrVal) || (nm && *nm == n.bstrVal))
        if (want-- == 0) return Give(e, out);
    }
    return S_OK;
  }
  std::int32_t i = 0;
  if (FAILED(VariantToInt(n, &i))) return S_OK;
  if (i < 0 || static_cast<size_t>(i) >= items.size()) return S_OK;
  return Give(items[static_cast<size_t>(i)], out);
}

class DomCollection final : public ComObject<IHTMLElementCollection> {
 public:
  DomCollection(IUnknown* keep, std::vector<DomElement*> items)
      : keep_(keep), items_(std::move(items)) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_length(LONG* out) override {
    QM_FAULT("IHTMLElementCollection::get_length", out);
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) override {
    QM_FAULT("IHTMLElementCollection::item", out);
    return ItemOf(items_, name, index, out);
  }

 private:
  ComPtr<IUnknown> keep_;
  std::vector<DomElement*> items_;
};

class DomStyle final : public ComObject<IHTMLStyle, IHTMLStyle3> {
 public:
  explicit DomStyle(DomElement* e) : keep_(e->Identity()), e_(e) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_fontFamily(std::u16string* out) override {
    QM_FAULT("IHTMLStyle::get_fontFamily", out);
    return Read(u"font-family", out);
  }
  HRESULT put_fontFamily(const std::u16string& v) override {
    QM_FAULT("IHTMLStyle::put_fontFamily", nullptr);
    return Write(u"font-family", v);
  }
  HRESULT get_font(std::u16string* out) override {
    QM_FAULT("IHTMLStyle::get_font", out);
    return Read(u"font", out);
  }
  HRESULT put_font(const std::u16string& v) override {
    QM_FAULT("IHTMLStyle::put_font", nullptr);
    return Write(u"font", v);
  }
  HRESULT get_cssText(std::u16string* out) override {
    QM_FAULT("IHTMLStyle::get_cssText", out);
    if (!out) return E_POINTER;
    const std::u16string* s = e_->Attr(u"style");
    *out = s ? *s : u"";
    return S_OK;
  }
  HRESULT put_cssText(const std::u16string& v) override {
    QM_FAULT("IHTMLStyle::put_cssText", nullptr);
    e_->SetAttr(u"style", v);
    return S_OK;
  }
  HRESULT get_zoom(VARIANT* out) override {
    QM_FAULT("IHTMLStyle3::get_zoom", out);
    if (!out) return E_POINTER;
    std::u16string v;
    Read(u"zoom", &v);
    *out = VariantString(std::move(v));
    return S_OK;
  }
  HRESULT put_zoom(const VARIANT& value) override {
    QM_FAULT("IHTMLStyle3::put_zoom", nullptr);
    std::u16string v;
    if (HRESULT hr = VariantToString(value, &v); FAILED(hr)) return hr;
    return Write(u"zoom", v);
  }

 private:
  HRESULT Read(std::u16string_view property, std::u16string* out) {
    if (!out) return E_POINTER;
    const std::u16string* s = e_->Attr(u"style");
    *out = s ? StyleValue(*s, property) : u"";
    return S_OK;
  }
  HRESULT Write(std::u16string_view property, const std::u16string& value) {
    const std::u16string* s = e_->Attr(u"style");
    std::u16string css = SetStyleValue(s ? *s : u"", property, value);
    if (s || !css.empty()) e_->SetAttr(u"style", std::move(css));
    return S_OK;
  }

  ComPtr<IUnknown> keep_;
  DomElement* e_;
};

class DomStyleSheet final : public ComObject<IHTMLStyleSheet> {
 public:
  explicit DomStyleSheet(DomElement* owner) : keep_(owner->Identity()), owner_(owner) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_cssText(std::u16string* out) override {
    QM_FAULT("IHTMLStyleSheet::get_cssText", out);
    if (!out) return E_POINTER;
    if (LinkedSheet* l = Linked())
      *out = l->text;
    else
      *out = TextContent(owner_);
    return S_OK;
  }
  HRESULT put_cssText(const std::u16string& v) override {
    QM_FAULT("IHTMLStyleSheet::put_cssText", nullptr);
    if (LinkedSheet* l = Linked()) {
      l->text = v;
      l->modified = true;
    } else {
      SetTextContent(owner_, v);
    }
    return S_OK;
  }
  HRESULT get_href(std::u16string* out) override {
    QM_FAULT("IHTMLStyleSheet::get_href", out);
    if (!out) return E_POINTER;
    LinkedSheet* l = Linked();
    *out = l ? l->href : u"";
    return S_OK;
  }
  HRESULT get_owningElement(IHTMLElement** out) override {
    QM_FAULT("IHTMLStyleSheet::get_owningElement", out);
    return Give(owner_, out);
  }

 private:
  LinkedSheet* Linked() {
    auto it = owner_->doc->linkedSheets.find(owner_);
    return it == owner_->doc->linkedSheets.end() ? nullptr : &it->second;
  }
  ComPtr<IUnknown> keep_;
  DomElement* owner_;
};

class DomStyleSheetList final : public ComObject<IHTMLStyleSheetsCollection> {
 public:
  DomStyleSheetList(IUnknown* keep, std::vector<DomElement*> owners)
      : keep_(keep), owners_(std::move(owners)) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_length(LONG* out) override {
    QM_FAULT("IHTMLStyleSheetsCollection::get_length", out);
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(owners_.size());
    return S_OK;
  }
  HRESULT item(const VARIANT& index, VARIANT* out) override {
    QM_FAULT("IHTMLStyleSheetsCollection::item", out);
    if (!out) return E_POINTER;
    *out = VARIANT{};
    std::int32_t i = 0;
    if (FAILED(VariantToInt(index, &i)) || i < 0 || static_cast<size_t>(i) >= owners_.size())
      return E_INVALIDARG;
    auto sheet = MakeComObject<DomStyleSheet>(owners_[static_cast<size_t>(i)]);
    *out = VariantDispatch(sheet.get());
    return S_OK;
  }

 private:
  ComPtr<IUnknown> keep_;
  std::vector<DomElement*> owners_;
};

}  // namespace

ComPtr<IHTMLElementCollection> MakeCollection(IUnknown* keep, std::vector<DomElement*> items) {
  return MakeComObject<DomCollection>(keep, std::move(items));
}

ComPtr<IHTMLStyleSheetsCollection> MakeStyleSheets(IUnknown* keep,
                                                   std::vector<DomElement*> owners) {
  return MakeComObject<DomStyleSheetList>(keep, std::move(owners));
}

std::u16string TextContent(const DomNode* node) {
  if (node->kind != NodeKind::Element && node->kind != NodeKind::Document) return node->text;
  std::u16string out;
  CollectText(node, out);
  return out;
}

void SetTextContent(DomNode* node, std::u16string text) {
  if (node->kind != NodeKind::Element && node->kind != NodeKind::Document) {
    node->text = std::move(text);
    return;
  }
  node->RemoveChildren();
  if (!text.empty()) node->AppendChild(node->doc->NewText(std::move(text)));
}

// --- DomNode

DomElement* DomNode::AsElement() {
  return kind == NodeKind::Element ? static_cast<DomElement*>(this) : nullptr;
}

void DomNode::AppendChild(DomNode* child) {
  child->parent = this;
  child->prev = lastChild;
  child->next = nullptr;
  if (lastChild)
    lastChild->next = child;
  else
    firstChild = child;
  lastChild = child;
}

void DomNode::RemoveChildren() {
  for (DomNode* c = firstChild; c;) {
    DomNode* n = c->next;
    c->parent = c->prev = c->next = nullptr;
    c = n;
  }
  firstChild = lastChild = nullptr;
}

HRESULT DomNode::get_nodeType(LONG* out) {
  QM_FAULT("IHTMLDOMNode::get_nodeType", out);
  if (!out) return E_POINTER;
  switch (kind) {
    case NodeKind::Element:
      *out = NODE_ELEMENT;
      break;
    case NodeKind::Comment:
      *out = NODE_COMMENT;
      break;
    case NodeKind::Document:
      *out = 9;
      break;
    default:
      *out = NODE_TEXT;
      break;
  }
  return S_OK;
}

HRESULT DomNode::get_nodeName(std::u16string* out) {
  QM_FAULT("IHTMLDOMNode::get_nodeName", out);
  if (!out) return E_POINTER;
  switch (kind) {
    case NodeKind::Element:
      return AsElement()->get_tagName(out);
    case NodeKind::Comment:
      *out = u"#comment";
      break;
    case NodeKind::Document:
      *out = u"#document";
      break;
    default:
      *out = u"#text";
      break;
  }
  return S_OK;
}

HRESULT DomNode::get_nodeValue(VARIANT* out) {
  QM_FAULT("IHTMLDOMNode::get_nodeValue", out);
  if (!out) return E_POINTER;
  *out =
      kind == NodeKind::Element || kind == NodeKind::Document ? VariantNull() : VariantString(text);
  return S_OK;
}

HRESULT DomNode::put_nodeValue(const VARIANT& value) {
  QM_FAULT("IHTMLDOMNode::put_nodeValue", nullptr);
  if (kind == NodeKind::Element || kind == NodeKind::Document) return S_OK;
  std::u16string v;
  if (HRESULT hr = VariantToString(value, &v); FAILED(hr)) return hr;
  text = std::move(v);
  return S_OK;
}

HRESULT DomNode::hasChildNodes(bool* out) {
  QM_FAULT("IHTMLDOMNode::hasChildNodes", out);
  if (!out) return E_POINTER;
  *out = firstChild != nullptr;
  return S_OK;
}

HRESULT DomNode::get_parentNode(IHTMLDOMNode** out) {
  QM_FAULT("IHTMLDOMNode::get_parentNode", out);
  return Give(parent && parent->kind != NodeKind::Document ? parent : nullptr, out);
}

HRESULT DomNode::get_firstChild(IHTMLDOMNode** out) {
  QM_FAULT("IHTMLDOMNode::get_firstChild", out);
  return Give(firstChild, out);
}

HRESULT DomNode::get_lastChild(IHTMLDOMNode** out) {
  QM_FAULT("IHTMLDOMNode::get_lastChild", out);
  return Give(lastChild, out);
}

HRESULT DomNode::get_previousSibling(IHTMLDOMNode** out) {
  QM_FAULT("IHTMLDOMNode::get_previousSibling", out);
  return Give(prev, out);
}

HRESULT DomNode::get_nextSibling(IHTMLDOMNode** out) {
  QM_FAULT("IHTMLDOMNode::get_nextSibling", out);
  return Give(next, out);
}

// --- DomElement

DomElement::DomElement(Zone* z, DomDocument* d, std::u16string t, bool f)
    : DomNode(z, d, NodeKind::Element), tag(std::move(t)), foreign(f) {}

void* DomElement::QueryExtra(REFIID riid) {
  auto offer = [&](auto* iface, std::string_view name) -> void* {
    return InterfaceHidden(Identity(), name) ? nullptr : iface;
  };
  if (riid == IHTMLElement::iid) return offer(static_cast<IHTMLElement*>(this), "IHTMLElement");
  if (riid == IHTMLFontElement::iid && Is(u"font"))
    return offer(static_cast<IHTMLFontElement*>(this), "IHTMLFontElement");
  if (riid == IHTMLBaseFontElement::iid && Is(u"basefont"))
    return offer(static_cast<IHTMLBaseFontElement*>(this), "IHTMLBaseFontElement");
  if (riid == IHTMLFormElement::iid && Is(u"form"))
    return offer(static_cast<IHTMLFormElement*>(this), "IHTMLFormElement");
  if (riid == IConnectionPointContainer::iid && Is(u"form"))
    return offer(static_cast<IConnectionPointContainer*>(this), "IConnectionPointContainer");
  return nullptr;
}

const std::u16string* DomElement::Attr(std::u16string_view name) const {
  for (const auto& a : attrs)
    if (EqualNoCase(a.name, name)) return &a.value;
  return nullptr;
}

void DomElement::SetAttr(std::u16string_view name, std::u16string value) {
  for (auto& a : attrs)
    if (EqualNoCase(a.name, name)) {
      a.value = std::move(value);
      return;
    }
  attrs.push_back({foreign ? std::u16string(name) : LowerAscii(name), std::move(value)});
}

HRESULT DomElement::getAttribute(const std::u16string& name, LONG flags, VARIANT* out) {
  QM_FAULT("IHTMLElement::getAttribute", out);
  if (!out) return E_POINTER;
  *out = VariantNull();
  // As in the browser, a control's "value" reads what the user typed.
  if (currentValue && EqualNoCase(name, u"value") &&
      (!(flags & ATTRFLAG_CASESENSITIVE) || name == u"value")) {
    *out = VariantString(*currentValue);
    return S_OK;
  }
  for (const auto& a : attrs)
    if ((flags & ATTRFLAG_CASESENSITIVE) ? a.name == name : EqualNoCase(a.name, name)) {
      *out = VariantString(a.value);
      break;
    }
  return S_OK;
}

HRESULT DomElement::setAttribute(const std::u16string& name, const VARIANT& value, LONG flags) {
  QM_FAULT("IHTMLElement::setAttribute", nullptr);
  if (name.empty()) return E_INVALIDARG;
  std::u16string v;
  if (HRESULT hr = VariantToString(value, &v); FAILED(hr)) return hr;
  // What is sent changes with what is saved.
  if (currentValue && EqualNoCase(name, u"value")) {
    *currentValue = v;
    if (Is(u"textarea")) return S_OK;  // its default is its text
  }
  if (flags & ATTRFLAG_CASESENSITIVE) {
    for (auto& a : attrs)
      if (a.name == name) {
        a.value = std::move(v);
        return S_OK;
      }
    attrs.push_back({name, std::move(v)});
    return S_OK;
  }
  SetAttr(name, std::move(v));
  return S_OK;
}

HRESULT DomElement::removeAttribute(const std::u16string& name, LONG flags, bool* removed) {
  QM_FAULT("IHTMLElement::removeAttribute", removed);
  auto it = std::find_if(attrs.begin(), attrs.end(), [&](const Attribute& a) {
    return (flags & ATTRFLAG_CASESENSITIVE) ? a.name == name : EqualNoCase(a.name, name);
  });
  bool found = it != attrs.end();
  if (found) attrs.erase(it);
  if (removed) *removed = found;
  return S_OK;
}

HRESULT DomElement::get_tagName(std::u16string* out) {
  QM_FAULT("IHTMLElement::get_tagName", out);
  if (!out) return E_POINTER;
  *out = tag;
  if (!foreign)
    for (auto& c : *out)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return S_OK;
}

HRESULT DomElement::get_id(std::u16string* out) {
  QM_FAULT("IHTMLElement::get_id", out);
  if (!out) return E_POINTER;
  const std::u16string* id = Attr(u"id");
  *out = id ? *id : u"";
  return S_OK;
}

HRESULT DomElement::get_style(IHTMLStyle** out) {
  QM_FAULT("IHTMLElement::get_style", out);
  if (!out) return E_POINTER;
  *out = MakeComObject<DomStyle>(this).detach();
  return S_OK;
}

HRESULT DomElement::get_innerText(std::u16string* out) {
  QM_FAULT("IHTMLElement::get_innerText", out);
  if (!out) return E_POINTER;
  out->clear();
  RenderText(this, *out);
  while (!out->empty() && (out->back() == u'\n' || out->back() == u'\r')) out->pop_back();
  return S_OK;
}

HRESULT DomElement::put_innerText(const std::u16string& text) {
  QM_FAULT("IHTMLElement::put_innerText", nullptr);
  SetTextContent(this, text);
  return S_OK;
}

HRESULT DomElement::get_innerHTML(std::u16string* out) {
  QM_FAULT("IHTMLElement::get_innerHTML", out);
  if (!out) return E_POINTER;
  *out = SerializeChildren(this);
  return S_OK;
}

HRESULT DomElement::get_outerHTML(std::u16string* out) {
  QM_FAULT("IHTMLElement::get_outerHTML", out);
  if (!out) return E_POINTER;
  *out = SerializeNode(this);
  return S_OK;
}

HRESULT DomElement::get_document(IDispatch** out) {
  QM_FAULT("IHTMLElement::get_document", out);
  return Give(doc, out);
}

HRESULT DomElement::get_parentElement(IHTMLElement** out) {
  QM_FAULT("IHTMLElement::get_parentElement", out);
  return Give(parent ? parent->AsElement() : nullptr, out);
}

HRESULT DomElement::get_face(std::u16string* out) {
  QM_FAULT(Is(u"font") ? "IHTMLFontElement::get_face" : "IHTMLBaseFontElement::get_face", out);
  if (!out) return E_POINTER;
  const std::u16string* f = Attr(u"face");
  *out = f ? *f : u"";
  return S_OK;
}

HRESULT DomElement::put_face(const std::u16string& value) {
  QM_FAULT(Is(u"font") ? "IHTMLFontElement::put_face" : "IHTMLBaseFontElement::put_face", nullptr);
  SetAttr(u"face", value);
  return S_OK;
}

std::vector<DomElement*> DomElement::FormControls() {
  std::vector<DomElement*> out;
  ForEachElement(this, [&](DomElement* e) {
    if (e->Is(u"input") || e->Is(u"select") || e->Is(u"textarea") || e->Is(u"button"))
      out.push_back(e);
  });
  return out;
}

HRESULT DomElement::get_length(LONG* out) {
  QM_FAULT("IHTMLFormElement::get_length", out);
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(FormControls().size());
  return S_OK;
}

HRESULT DomElement::item(const VARIANT& name, const VARIANT& index, IDispatch** out) {
  QM_FAULT("IHTMLFormElement::item", out);
  return ItemOf(FormControls(), name, index, out);
}

HRESULT DomElement::get_action(std::u16string* out) {
  QM_FAULT("IHTMLFormElement::get_action", out);
  if (!out) return E_POINTER;
  const std::u16string* v = Attr(u"action");
  *out = v ? *v : u"";
  return S_OK;
}

HRESULT DomElement::get_method(std::u16string* out) {
  QM_FAULT("IHTMLFormElement::get_method", out);
  if (!out) return E_POINTER;
  const std::u16string* v = Attr(u"method");
  *out = v ? LowerAscii(*v) : u"get";
  return S_OK;
}

HRESULT DomElement::get_name(std::u16string* out) {
  QM_FAULT("IHTMLFormElement::get_name", out);
  if (!out) return E_POINTER;
  const std::u16string* v = Attr(u"name");
  *out = v ? *v : u"";
  return S_OK;
}

ConnectionPoints* DomElement::Events() {
  if (!events_)
    events_ = std::make_unique<ConnectionPoints>(static_cast<IConnectionPointContainer*>(this),
                                                 std::vector<IID>{DIID_HTMLFormElementEvents2});
  return events_.get();
}

HRESULT DomElement::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  QM_FAULT("IConnectionPointContainer::FindConnectionPoint", out);
  if (!Is(u"form")) {
    if (out) *out = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  return Events()->FindConnectionPoint(riid, out);
}

// --- Inline style declarations

namespace {

struct Declaration {
  size_t begin, end;            // the whole declaration, without its ';'
  size_t valueBegin, valueEnd;  // the value, trimmed
  std::u16string name;          // lower case
};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

std::vector<Declaration> Declarations(std::u16string_view css) {
  std::vector<Declaration> out;
  size_t start = 0;
  char16_t quote = 0;
  int depth = 0;
  for (size_t i = 0; i <= css.size(); ++i) {
    char16_t c = i < css.size() ? css[i] : u';';
    if (quote) {
      if (c == u'\\' && i + 1 < css.size())
        ++i;
      else if (c == quote)
        quote = 0;
      if (i < css.size()) continue;
    }
    if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'(') {
      ++depth;
    } else if (c == u')') {
      if (depth) --depth;
    } else if (c == u';' && (depth == 0 || i == css.size())) {
      std::u16string_view d = css.substr(start, i - start);
      size_t colon = d.find(u':');
      if (colon != std::u16string_view::npos) {
        Declaration decl{start, i, 0, 0, {}};
        size_t nb = 0, ne = colon;
        while (nb < ne && IsSpace(d[nb])) ++nb;
        while (ne > nb && IsSpace(d[ne - 1])) --ne;
        decl.name = LowerAscii(d.substr(nb, ne - nb));
        size_t vb = colon + 1, ve = d.size();
        while (vb < ve && IsSpace(d[vb])) ++vb;
        while (ve > vb && IsSpace(d[ve - 1])) --ve;
        decl.valueBegin = start + vb;
        decl.valueEnd = start + ve;
        if (!decl.name.empty()) out.push_back(std::move(decl));
      }
      start = i + 1;
      depth = 0;
    }
  }
  return out;
}

const Declaration* Last(const std::vector<Declaration>& decls, std::u16string_view property) {
  const Declaration* found = nullptr;
  for (const auto& d : decls)
    if (d.name == property) found = &d;
  return found;
}

}  // namespace

std::u16string StyleValue(std::u16string_view css, std::u16string_view property) {
  auto decls = Declarations(css);
  const Declaration* d = Last(decls, property);
  return d ? std::u16string(css.substr(d->valueBegin, d->valueEnd - d->valueBegin)) : u"";
}

std::u16string SetStyleValue(std::u16string_view css, std::u16string_view property,
                             std::u16string_view value) {
  auto decls = Declarations(css);
  const Declaration* d = Last(decls, property);
  std::u16string out(css);
  if (d) {
    if (!value.empty()) return out.replace(d->valueBegin, d->valueEnd - d->valueBegin, value);
    size_t end = d->end < out.size() ? d->end + 1 : d->end;  // with its ';'
    out.erase(d->begin, end - d->begin);
    size_t b = 0;
    while (b < out.size() && IsSpace(out[b])) ++b;
    return b == out.size() ? u"" : out;
  }
  if (value.empty()) return out;
  size_t e = out.size();
  while (e > 0 && IsSpace(out[e - 1])) --e;
  out.resize(e);
  if (!out.empty()) out += out.back() == u';' ? u" " : u"; ";
  return out + std::u16string(property) + u": " + std::u16string(value);
}

}  // namespace quillmer::browser
