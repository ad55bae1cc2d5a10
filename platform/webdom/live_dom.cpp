// The DOM objects over the engine's WebKitDOM: documents, nodes, elements,
// collections, styles, style sheets, windows and event objects.
#include "platform/webdom/live_dom.h"

#include <algorithm>
#include <optional>

#include "platform/base/text.h"
#include "platform/browser/charset.h"

namespace quillmer::webdom {

std::u16string TakeString(gchar* s) {
  if (!s) return {};
  std::u16string out = FromUtf8(s);
  g_free(s);
  return out;
}

std::string Utf8(std::u16string_view s) { return ToUtf8(s); }

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

template <class T>
HRESULT Give(const ComPtr<T>& p, T** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (p) p.CopyTo(out);
  return S_OK;
}

// An element's node wrapper as the interface asked.
template <class T>
HRESULT GiveNode(const SharedRef& shared, WebKitDOMNode* node, T** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!node) return S_OK;
  ComPtr<LiveNode> n = shared->NodeFor(node);
  if (!n) return S_OK;
  return n->QueryInterface(IID_OF(T), reinterpret_cast<void**>(out)) == S_OK ? S_OK : S_OK;
}

// "\n" as the old browser's "\r\n".
std::u16string CrLf(std::u16string s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\n' && (i == 0 || s[i - 1] != u'\r')) out += u'\r';
    out += s[i];
  }
  return out;
}

bool IsFormControl(const std::u16string& tag) {
  return tag == u"input" || tag == u"select" || tag == u"textarea" || tag == u"button";
}

}  // namespace

std::u16string LowerTagOf(WebKitDOMElement* e) {
  if (!e) return {};
  gchar* t = webkit_dom_element_get_tag_name(e);
  std::string s = t ? Lower(t) : std::string();
  g_free(t);
  return FromUtf8(s);
}

std::u16string BrowserCharsetName(const std::string& engineName) {
  CharsetInfo info = LookUpCharset(engineName);
  if (info.codePage != 0 && !info.name.empty()) return FromUtf8(info.name);
  return FromUtf8(Lower(engineName));
}

std::vector<GRef<WebKitDOMElement>> ElementsOf(WebKitDOMHTMLCollection* collection) {
  std::vector<GRef<WebKitDOMElement>> out;
  if (!collection) return out;
  gulong n = webkit_dom_html_collection_get_length(collection);
  for (gulong i = 0; i < n; ++i) {
    WebKitDOMNode* node = webkit_dom_html_collection_item(collection, i);
    if (node && WEBKIT_DOM_IS_ELEMENT(node)) out.emplace_back(WEBKIT_DOM_ELEMENT(node));
  }
  g_object_unref(collection);
  return out;
}

std::vector<GRef<WebKitDOMElement>> ElementsOf(WebKitDOMNodeList* list) {
  std::vector<GRef<WebKitDOMElement>> out;
  if (!list) return out;
  gulong n = webkit_dom_node_list_get_length(list);
  for (gulong i = 0; i < n; ++i) {
    WebKitDOMNode* node = webkit_dom_node_list_item(list, i);
    if (node && WEBKIT_DOM_IS_ELEMENT(node)) out.emplace_back(WEBKIT_DOM_ELEMENT(node));
  }
  g_object_unref(list);
  return out;
}

std::vector<GRef<WebKitDOMElement>> Select(WebKitDOMDocument* doc, const char* selector) {
  if (!doc) return {};
  return ElementsOf(webkit_dom_document_query_selector_all(doc, selector, nullptr));
}

// ---------------------------------------------------------------------------
// Collections

namespace {

class LiveCollection final : public ComObject<IHTMLElementCollection> {
 public:
  LiveCollection(Anchor anchor, std::vector<GRef<WebKitDOMElement>> items)
      : anchor_(std::move(anchor)), items_(std::move(items)) {}
  QM_NO_DISPATCH_MEMBERS
  bool Alive() const { return anchor_.Alive(); }

  HRESULT get_length(LONG* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = nullptr;
    const VARIANT& n = VariantDeref(name);
    WebKitDOMElement* found = nullptr;
    if (n.vt == VT_I4 || n.vt == VT_I2) {
      if (n.lVal >= 0 && static_cast<std::size_t>(n.lVal) < items_.size())
        found = items_[n.lVal].get();
    } else if (n.vt == VT_BSTR) {
      std::int32_t pick = 0;
      if (VariantToInt(index, &pick) != S_OK) pick = 0;
      std::string key = Utf8(n.bstrVal);
      for (const auto& e : items_) {
        gchar* id = webkit_dom_element_get_attribute(e.get(), "id");
        gchar* nm = webkit_dom_element_get_attribute(e.get(), "name");
        bool match = (id && key == id) || (nm && key == nm);
        g_free(id);
        g_free(nm);
        if (match && pick-- == 0) {
          found = e.get();
          break;
        }
      }
    } else {
      return E_INVALIDARG;
    }
    if (!found) return S_OK;
    return GiveNode(anchor_.shared, WEBKIT_DOM_NODE(found), out);
  }

 private:
  Anchor anchor_;
  std::vector<GRef<WebKitDOMElement>> items_;
};

}  // namespace

ComPtr<IHTMLElementCollection> MakeCollection(const Anchor& anchor,
                                              std::vector<GRef<WebKitDOMElement>> items) {
  return MakeComObject<LiveCollection>(anchor, std::move(items));
}

// ---------------------------------------------------------------------------
// Styles

namespace {

class LiveStyle final : public ComObject<IHTMLStyle, IHTMLStyle3> {
 public:
  LiveStyle(Anchor anchor, GRef<WebKitDOMElement> element)
      : anchor_(std::move(anchor)), element_(std::move(element)) {}
  QM_NO_DISPATCH_MEMBERS
  bool Alive() const { return anchor_.Alive(); }

  GRef<WebKitDOMCSSStyleDeclaration> Style() const {
    return Adopt(webkit_dom_element_get_style(element_.get()));
  }
  std::u16string Get(const char* property) const {
    auto style = Style();
    if (!style) return {};
    return TakeString(webkit_dom_css_style_declaration_get_property_value(style.get(), property));
  }
  void Set(const char* property, const std::u16string& value) {
    auto style = Style();
    if (!style) return;
    if (value.empty())
      g_free(webkit_dom_css_style_declaration_remove_property(style.get(), property, nullptr));
    else
      webkit_dom_css_style_declaration_set_property(style.get(), property, Utf8(value).c_str(), "",
                                                    nullptr);
  }

  HRESULT get_fontFamily(std::u16string* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = Get("font-family");
    return S_OK;
  }
  HRESULT put_fontFamily(const std::u16string& value) override {
    QM_LIVE(nullptr);
    Set("font-family", value);
    return S_OK;
  }
  HRESULT get_font(std::u16string* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = Get("font");
    return S_OK;
  }
  HRESULT put_font(const std::u16string& value) override {
    QM_LIVE(nullptr);
    Set("font", value);
    return S_OK;
  }
  HRESULT get_cssText(std::u16string* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = TakeString(webkit_dom_element_get_attribute(element_.get(), "style"));
    return S_OK;
  }
  HRESULT put_cssText(const std::u16string& value) override {
    QM_LIVE(nullptr);
    webkit_dom_element_set_attribute(element_.get(), "style", Utf8(value).c_str(), nullptr);
    return S_OK;
  }
  HRESULT get_zoom(VARIANT* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = VariantString(Get("zoom"));
    return S_OK;
  }
  HRESULT put_zoom(const VARIANT& value) override {
    QM_LIVE(nullptr);
    std::u16string text;
    if (HRESULT hr = VariantToString(value, &text); FAILED(hr)) return hr;
    Set("zoom", text);
    return S_OK;
  }

 private:
  Anchor anchor_;
  GRef<WebKitDOMElement> element_;
};

// A <style> element's sheet, or a linked one.
class LiveStyleSheet final : public ComObject<IHTMLStyleSheet> {
 public:
  LiveStyleSheet(Anchor anchor, GRef<WebKitDOMStyleSheet> sheet, GRef<WebKitDOMElement> owner)
      : anchor_(std::move(anchor)), sheet_(std::move(sheet)), owner_(std::move(owner)) {}
  QM_NO_DISPATCH_MEMBERS
  bool Alive() const { return anchor_.Alive(); }
  bool IsLink() const { return LowerTagOf(owner_.get()) == u"link"; }

  HRESULT get_cssText(std::u16string* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    out->clear();
    if (replacement_) {
      *out = TakeString(webkit_dom_node_get_text_content(WEBKIT_DOM_NODE(replacement_.get())));
    } else if (!IsLink()) {
      *out = TakeString(webkit_dom_node_get_text_content(WEBKIT_DOM_NODE(owner_.get())));
    } else if (auto text = LocalSheetText(); text) {
      *out = std::move(*text);
    } else if (sheet_ && WEBKIT_DOM_IS_CSS_STYLE_SHEET(sheet_.get())) {
      // Not a local file: its rules as the engine read them.
      auto rules =
          Adopt(webkit_dom_css_style_sheet_get_css_rules(WEBKIT_DOM_CSS_STYLE_SHEET(sheet_.get())));
      gulong n = rules ? webkit_dom_css_rule_list_get_length(rules.get()) : 0;
      for (gulong i = 0; i < n; ++i) {
        WebKitDOMCSSRule* rule = webkit_dom_css_rule_list_item(rules.get(), i);
        if (!rule) continue;
        if (!out->empty()) *out += u"\r\n";
        *out += TakeString(webkit_dom_css_rule_get_css_text(rule));
      }
    }
    return S_OK;
  }
  // A linked local file's text as written (the engine hides the rules of a
  // sheet of another origin, and every file: URL is one), read in its own
  // charset when it has a signature, else the page's.
  std::optional<std::u16string> LocalSheetText() const {
    gchar* href =
        WEBKIT_DOM_IS_HTML_LINK_ELEMENT(owner_.get())
            ? webkit_dom_html_link_element_get_href(WEBKIT_DOM_HTML_LINK_ELEMENT(owner_.get()))
            : nullptr;
    gchar* path = href && g_str_has_prefix(href, "file:")
                      ? g_filename_from_uri(href, nullptr, nullptr)
                      : nullptr;
    g_free(href);
    if (!path) return std::nullopt;
    gchar* bytes = nullptr;
    gsize size = 0;
    constexpr gsize kMaxSheet = 16u << 20;
    bool read = g_file_get_contents(path, &bytes, &size, nullptr);
    g_free(path);
    if (!read || size > kMaxSheet) {
      g_free(bytes);
      return std::nullopt;
    }
    std::string_view data(bytes, size);
    UINT cp = CP_UTF8;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
      data.remove_prefix(3);
    } else {
      WebKitDOMDocument* doc = webkit_dom_node_get_owner_document(WEBKIT_DOM_NODE(owner_.get()));
      gchar* name = doc ? webkit_dom_document_get_character_set(doc) : nullptr;
      UINT pageCp = LookUpCharset(name ? name : "").codePage;
      g_free(name);
      if (pageCp != 0 && pageCp != CP_UTF16LE && pageCp != CP_UTF16BE) cp = pageCp;
    }
    std::u16string text = DecodeCodePage(cp, data);
    g_free(bytes);
    return text;
  }

  HRESULT put_cssText(const std::u16string& value) override {
    QM_LIVE(nullptr);
    std::string text = Utf8(value);
    if (!IsLink()) {
      webkit_dom_node_set_text_content(WEBKIT_DOM_NODE(owner_.get()), text.c_str(), nullptr);
      return S_OK;
    }
    // A linked file cannot be rewritten from the page: the text goes into a
    // <style> right after the link, and the link's own sheet steps aside.
    if (!replacement_) {
      WebKitDOMDocument* doc = webkit_dom_node_get_owner_document(WEBKIT_DOM_NODE(owner_.get()));
      WebKitDOMElement* style = webkit_dom_document_create_element(doc, "style", nullptr);
      if (!style) return E_FAIL;
      replacement_ = GRef<WebKitDOMElement>(style);
      WebKitDOMNode* parent = webkit_dom_node_get_parent_node(WEBKIT_DOM_NODE(owner_.get()));
      if (!parent) return E_FAIL;
      webkit_dom_node_insert_before(parent, WEBKIT_DOM_NODE(style),
                                    webkit_dom_node_get_next_sibling(WEBKIT_DOM_NODE(owner_.get())),
                                    nullptr);
    }
    webkit_dom_node_set_text_content(WEBKIT_DOM_NODE(replacement_.get()), text.c_str(), nullptr);
    if (sheet_) webkit_dom_style_sheet_set_disabled(sheet_.get(), TRUE);
    return S_OK;
  }
  HRESULT get_href(std::u16string* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = IsLink() ? TakeString(webkit_dom_element_get_attribute(owner_.get(), "href"))
                    : std::u16string();
    return S_OK;
  }
  HRESULT get_owningElement(IHTMLElement** out) override {
    QM_LIVE(out);
    return GiveNode(anchor_.shared, WEBKIT_DOM_NODE(owner_.get()), out);
  }

 private:
  Anchor anchor_;
  GRef<WebKitDOMStyleSheet> sheet_;
  GRef<WebKitDOMElement> owner_;
  GRef<WebKitDOMElement> replacement_;
};

class LiveStyleSheets final : public ComObject<IHTMLStyleSheetsCollection> {
 public:
  LiveStyleSheets(Anchor anchor, std::vector<ComPtr<IHTMLStyleSheet>> sheets)
      : anchor_(std::move(anchor)), sheets_(std::move(sheets)) {}
  QM_NO_DISPATCH_MEMBERS
  bool Alive() const { return anchor_.Alive(); }
  HRESULT get_length(LONG* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(sheets_.size());
    return S_OK;
  }
  HRESULT item(const VARIANT& index, VARIANT* out) override {
    QM_LIVE(out);
    if (!out) return E_POINTER;
    *out = VARIANT{};
    std::int32_t i = 0;
    if (VariantToInt(index, &i) != S_OK || i < 0 || static_cast<std::size_t>(i) >= sheets_.size())
      return E_INVALIDARG;
    *out = VariantDispatch(sheets_[i].get());
    return S_OK;
  }

 private:
  Anchor anchor_;
  std::vector<ComPtr<IHTMLStyleSheet>> sheets_;
};

// An <object>, <embed> or <applet>: an embedding that is no browser.
class PluginObject final : public ComObject<IDispatch> {
 public:
  QM_NO_DISPATCH_MEMBERS
};

class Enumerator final : public ComObject<IEnumUnknown> {
 public:
  explicit Enumerator(std::vector<ComPtr<IUnknown>> items, std::size_t at = 0)
      : items_(std::move(items)), at_(at) {}
  HRESULT Next(ULONG count, IUnknown** items, ULONG* fetched) override {
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && at_ < items_.size(); ++n, ++at_) items_[at_].CopyTo(&items[n]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    std::size_t left = items_.size() - at_;
    at_ += std::min<std::size_t>(left, count);
    return left >= count ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumUnknown** out) override {
    if (!out) return E_POINTER;
    return MakeComObject<Enumerator>(items_, at_).CopyTo(reinterpret_cast<Enumerator**>(out));
  }

 private:
  std::vector<ComPtr<IUnknown>> items_;
  std::size_t at_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Documents

LiveDocument::LiveDocument(Anchor a, GRef<WebKitDOMDocument> d)
    : anchor(std::move(a)), doc(std::move(d)) {}

HRESULT LiveDocument::get_all(IHTMLElementCollection** out) {
  QM_LIVE(out);
  return Give(MakeCollection(anchor, Select(doc.get(), "*")), out);
}

HRESULT LiveDocument::get_body(IHTMLElement** out) {
  QM_LIVE(out);
  WebKitDOMHTMLElement* body = webkit_dom_document_get_body(doc.get());
  return GiveNode(anchor.shared, body ? WEBKIT_DOM_NODE(body) : nullptr, out);
}

HRESULT LiveDocument::get_title(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_document_get_title(doc.get()));
  return S_OK;
}

HRESULT LiveDocument::put_title(const std::u16string& value) {
  QM_LIVE(nullptr);
  webkit_dom_document_set_title(doc.get(), Utf8(value).c_str());
  return S_OK;
}

std::u16string LiveDocument::Charset() const {
  if (!charsetPut.empty()) return charsetPut;
  gchar* name = webkit_dom_document_get_character_set(doc.get());
  std::string s = name ? name : "";
  g_free(name);
  return BrowserCharsetName(s);
}

HRESULT LiveDocument::get_charset(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = Charset();
  return S_OK;
}

HRESULT LiveDocument::put_charset(const std::u16string& value) {
  QM_LIVE(nullptr);
  CharsetInfo info = LookUpCharset(Utf8(value));
  if (info.codePage == 0 || info.name.empty()) return E_INVALIDARG;
  charsetPut = FromUtf8(info.name);
  // The engine keeps decoding the page as it came; what it sends and what
  // a saved copy declares follow the charset put.
  for (const auto& form : Select(doc.get(), "form"))
    webkit_dom_element_set_attribute(form.get(), "accept-charset", info.name.c_str(), nullptr);
  bool declared = false;
  for (const auto& meta : Select(doc.get(), "meta[charset]")) {
    webkit_dom_element_set_attribute(meta.get(), "charset", info.name.c_str(), nullptr);
    declared = true;
  }
  for (const auto& meta : Select(doc.get(), "meta[http-equiv]")) {
    gchar* equiv = webkit_dom_element_get_attribute(meta.get(), "http-equiv");
    bool contentType = equiv && Lower(equiv) == "content-type";
    g_free(equiv);
    if (!contentType) continue;
    std::string content = "text/html; charset=" + info.name;
    webkit_dom_element_set_attribute(meta.get(), "content", content.c_str(), nullptr);
    declared = true;
  }
  if (!declared) {
    WebKitDOMHTMLHeadElement* head = webkit_dom_document_get_head(doc.get());
    WebKitDOMElement* meta = webkit_dom_document_create_element(doc.get(), "meta", nullptr);
    if (head && meta) {
      webkit_dom_element_set_attribute(meta, "charset", info.name.c_str(), nullptr);
      webkit_dom_node_insert_before(WEBKIT_DOM_NODE(head), WEBKIT_DOM_NODE(meta),
                                    webkit_dom_node_get_first_child(WEBKIT_DOM_NODE(head)),
                                    nullptr);
    }
  }
  return S_OK;
}

HRESULT LiveDocument::get_links(IHTMLElementCollection** out) {
  QM_LIVE(out);
  return Give(MakeCollection(anchor, Select(doc.get(), "a[href], area[href]")), out);
}

HRESULT LiveDocument::get_forms(IHTMLElementCollection** out) {
  QM_LIVE(out);
  return Give(MakeCollection(anchor, Select(doc.get(), "form")), out);
}

HRESULT LiveDocument::get_styleSheets(IHTMLStyleSheetsCollection** out) {
  QM_LIVE(out);
  std::vector<ComPtr<IHTMLStyleSheet>> sheets;
  auto list = Adopt(webkit_dom_document_get_style_sheets(doc.get()));
  gulong n = list ? webkit_dom_style_sheet_list_get_length(list.get()) : 0;
  for (gulong i = 0; i < n; ++i) {
    WebKitDOMStyleSheet* sheet = webkit_dom_style_sheet_list_item(list.get(), i);
    if (!sheet) continue;
    WebKitDOMNode* owner = webkit_dom_style_sheet_get_owner_node(sheet);
    if (!owner || !WEBKIT_DOM_IS_ELEMENT(owner)) continue;
    sheets.push_back(
        MakeComObject<LiveStyleSheet>(anchor, GRef<WebKitDOMStyleSheet>(sheet),
                                      GRef<WebKitDOMElement>(WEBKIT_DOM_ELEMENT(owner))));
  }
  return Give(
      ComPtr<IHTMLStyleSheetsCollection>(MakeComObject<LiveStyleSheets>(anchor, std::move(sheets))),
      out);
}

HRESULT LiveDocument::get_URL(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_document_get_url(doc.get()));
  return S_OK;
}

HRESULT LiveDocument::get_parentWindow(IHTMLWindow2** out) {
  QM_LIVE(out);
  return Give(ComPtr<IHTMLWindow2>(MakeComObject<LiveWindow>(anchor, doc)), out);
}

HRESULT LiveDocument::get_readyState(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_document_get_ready_state(doc.get()));
  return S_OK;
}

HRESULT LiveDocument::get_documentElement(IHTMLElement** out) {
  QM_LIVE(out);
  WebKitDOMElement* e = webkit_dom_document_get_document_element(doc.get());
  return GiveNode(anchor.shared, e ? WEBKIT_DOM_NODE(e) : nullptr, out);
}

HRESULT LiveDocument::getElementsByTagName(const std::u16string& tag,
                                           IHTMLElementCollection** out) {
  QM_LIVE(out);
  return Give(
      MakeCollection(anchor,
                     ElementsOf(webkit_dom_document_get_elements_by_tag_name_as_html_collection(
                         doc.get(), Utf8(tag).c_str()))),
      out);
}

HRESULT LiveDocument::getElementById(const std::u16string& id, IHTMLElement** out) {
  QM_LIVE(out);
  WebKitDOMElement* e = webkit_dom_document_get_element_by_id(doc.get(), Utf8(id).c_str());
  return GiveNode(anchor.shared, e ? WEBKIT_DOM_NODE(e) : nullptr, out);
}

HRESULT LiveDocument::EnumObjects(DWORD flags, IEnumUnknown** out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  std::vector<ComPtr<IUnknown>> items;
  if (flags & OLECONTF_EMBEDDINGS) {
    for (const auto& e : Select(doc.get(), "frame, iframe, object, embed, applet")) {
      std::u16string tag = LowerTagOf(e.get());
      if (tag == u"frame" || tag == u"iframe")
        items.emplace_back(static_cast<IWebBrowser2*>(anchor.shared->BrowserFor(e.get())));
      else
        items.emplace_back(static_cast<IDispatch*>(MakeComObject<PluginObject>().get()));
    }
  }
  return MakeComObject<Enumerator>(std::move(items)).CopyTo(reinterpret_cast<Enumerator**>(out));
}

HRESULT LiveDocument::QueryService(REFGUID service, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return RPC_E_DISCONNECTED;
  LiveBrowser* b = anchor.shared->BrowserOf(doc.get());
  return b ? b->QueryService(service, riid, out) : E_NOINTERFACE;
}

HRESULT LiveDocument::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return events.FindConnectionPoint(riid, out);
}

// ---------------------------------------------------------------------------
// Nodes

LiveNode::LiveNode(Anchor a, GRef<WebKitDOMNode> n) : anchor(std::move(a)), node(std::move(n)) {}

LiveNode::~LiveNode() {
  auto& nodes = anchor.shared->nodes;
  auto it = nodes.find(node.get());
  if (it != nodes.end() && it->second == this) nodes.erase(it);
}

WebKitDOMElement* LiveNode::Element() const {
  return WEBKIT_DOM_IS_ELEMENT(node.get()) ? WEBKIT_DOM_ELEMENT(node.get()) : nullptr;
}

bool LiveNode::Is(const char* lowerTag) const {
  WebKitDOMElement* e = Element();
  return e && LowerTagOf(e) == FromUtf8(lowerTag);
}

IUnknown* LiveNode::QueryExtra(REFIID riid) {
  if (!Element()) return nullptr;
  if (riid == IID_IHTMLElement) return static_cast<IHTMLElement*>(this);
  if (riid == IID_IHTMLFontElement && Is("font")) return static_cast<IHTMLFontElement*>(this);
  if (riid == IID_IHTMLBaseFontElement && Is("basefont"))
    return static_cast<IHTMLBaseFontElement*>(this);
  if (Is("form")) {
    if (riid == IID_IHTMLFormElement) return static_cast<IHTMLFormElement*>(this);
    if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  }
  return nullptr;
}

HRESULT LiveNode::get_nodeType(LONG* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = webkit_dom_node_get_node_type(node.get());
  return S_OK;
}

HRESULT LiveNode::get_nodeName(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_node_get_node_name(node.get()));
  return S_OK;
}

HRESULT LiveNode::get_nodeValue(VARIANT* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  if (Element()) {
    *out = VariantNull();
    return S_OK;
  }
  *out = VariantString(TakeString(webkit_dom_node_get_node_value(node.get())));
  return S_OK;
}

HRESULT LiveNode::put_nodeValue(const VARIANT& value) {
  QM_LIVE(nullptr);
  if (Element()) return S_OK;
  std::u16string text;
  if (HRESULT hr = VariantToString(value, &text); FAILED(hr)) return hr;
  webkit_dom_node_set_node_value(node.get(), Utf8(text).c_str(), nullptr);
  return S_OK;
}

HRESULT LiveNode::hasChildNodes(bool* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = webkit_dom_node_has_child_nodes(node.get());
  return S_OK;
}

HRESULT LiveNode::get_parentNode(IHTMLDOMNode** out) {
  QM_LIVE(out);
  WebKitDOMNode* p = webkit_dom_node_get_parent_node(node.get());
  // The document itself is no node of this model.
  if (p && WEBKIT_DOM_IS_DOCUMENT(p)) p = nullptr;
  return GiveNode(anchor.shared, p, out);
}

HRESULT LiveNode::get_firstChild(IHTMLDOMNode** out) {
  QM_LIVE(out);
  return GiveNode(anchor.shared, webkit_dom_node_get_first_child(node.get()), out);
}

HRESULT LiveNode::get_lastChild(IHTMLDOMNode** out) {
  QM_LIVE(out);
  return GiveNode(anchor.shared, webkit_dom_node_get_last_child(node.get()), out);
}

HRESULT LiveNode::get_previousSibling(IHTMLDOMNode** out) {
  QM_LIVE(out);
  return GiveNode(anchor.shared, webkit_dom_node_get_previous_sibling(node.get()), out);
}

HRESULT LiveNode::get_nextSibling(IHTMLDOMNode** out) {
  QM_LIVE(out);
  return GiveNode(anchor.shared, webkit_dom_node_get_next_sibling(node.get()), out);
}

namespace {
bool IsValueName(const std::u16string& name) {
  return name.size() == 5 && (name[0] | 0x20) == u'v' && (name[1] | 0x20) == u'a' &&
         (name[2] | 0x20) == u'l' && (name[3] | 0x20) == u'u' && (name[4] | 0x20) == u'e';
}
}  // namespace

HRESULT LiveNode::getAttribute(const std::u16string& name, LONG, VARIANT* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  WebKitDOMElement* e = Element();
  if (!e) return E_NOINTERFACE;
  // A control's value is what the user typed, not the default the markup gave.
  if (IsValueName(name)) {
    if (WEBKIT_DOM_IS_HTML_INPUT_ELEMENT(e)) {
      *out = VariantString(
          TakeString(webkit_dom_html_input_element_get_value(WEBKIT_DOM_HTML_INPUT_ELEMENT(e))));
      return S_OK;
    }
    if (WEBKIT_DOM_IS_HTML_TEXT_AREA_ELEMENT(e)) {
      *out = VariantString(TakeString(
          webkit_dom_html_text_area_element_get_value(WEBKIT_DOM_HTML_TEXT_AREA_ELEMENT(e))));
      return S_OK;
    }
  }
  std::string n = Utf8(name);
  if (!webkit_dom_element_has_attribute(e, n.c_str())) {
    *out = VariantNull();
    return S_OK;
  }
  *out = VariantString(TakeString(webkit_dom_element_get_attribute(e, n.c_str())));
  return S_OK;
}

HRESULT LiveNode::setAttribute(const std::u16string& name, const VARIANT& value, LONG) {
  QM_LIVE(nullptr);
  WebKitDOMElement* e = Element();
  if (!e) return E_NOINTERFACE;
  std::u16string text;
  if (HRESULT hr = VariantToString(value, &text); FAILED(hr)) return hr;
  std::string v = Utf8(text);
  if (IsValueName(name)) {
    if (WEBKIT_DOM_IS_HTML_INPUT_ELEMENT(e)) {
      webkit_dom_html_input_element_set_value(WEBKIT_DOM_HTML_INPUT_ELEMENT(e), v.c_str());
      return S_OK;
    }
    if (WEBKIT_DOM_IS_HTML_TEXT_AREA_ELEMENT(e)) {
      webkit_dom_html_text_area_element_set_value(WEBKIT_DOM_HTML_TEXT_AREA_ELEMENT(e), v.c_str());
      return S_OK;
    }
  }
  GError* error = nullptr;
  webkit_dom_element_set_attribute(e, Utf8(name).c_str(), v.c_str(), &error);
  if (error) {
    g_error_free(error);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT LiveNode::removeAttribute(const std::u16string& name, LONG, bool* removed) {
  QM_LIVE(removed);
  WebKitDOMElement* e = Element();
  if (!e) return E_NOINTERFACE;
  std::string n = Utf8(name);
  bool had = webkit_dom_element_has_attribute(e, n.c_str());
  if (had) webkit_dom_element_remove_attribute(e, n.c_str());
  if (removed) *removed = had;
  return S_OK;
}

HRESULT LiveNode::get_tagName(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_tag_name(Element()));
  for (char16_t& c : *out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return S_OK;
}

HRESULT LiveNode::get_id(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_id(Element()));
  return S_OK;
}

HRESULT LiveNode::get_style(IHTMLStyle** out) {
  QM_LIVE(out);
  return Give(
      ComPtr<IHTMLStyle>(MakeComObject<LiveStyle>(anchor, GRef<WebKitDOMElement>(Element()))), out);
}

HRESULT LiveNode::get_innerText(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  out->clear();
  WebKitDOMElement* e = Element();
  if (!e || !WEBKIT_DOM_IS_HTML_ELEMENT(e) || Is("frameset")) return S_OK;
  *out = CrLf(TakeString(webkit_dom_html_element_get_inner_text(WEBKIT_DOM_HTML_ELEMENT(e))));
  return S_OK;
}

HRESULT LiveNode::put_innerText(const std::u16string& text) {
  QM_LIVE(nullptr);
  WebKitDOMElement* e = Element();
  if (!e) return E_NOINTERFACE;
  webkit_dom_node_set_text_content(WEBKIT_DOM_NODE(e), Utf8(text).c_str(), nullptr);
  return S_OK;
}

HRESULT LiveNode::get_innerHTML(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_inner_html(Element()));
  return S_OK;
}

HRESULT LiveNode::get_outerHTML(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_outer_html(Element()));
  return S_OK;
}

HRESULT LiveNode::get_document(IDispatch** out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = nullptr;
  WebKitDOMDocument* d = webkit_dom_node_get_owner_document(node.get());
  LiveDocument* doc = d ? anchor.shared->DocumentFor(d) : nullptr;
  if (doc) ComPtr<IDispatch>(static_cast<IHTMLDocument2*>(doc)).CopyTo(out);
  return S_OK;
}

HRESULT LiveNode::get_parentElement(IHTMLElement** out) {
  QM_LIVE(out);
  WebKitDOMElement* p = webkit_dom_node_get_parent_element(node.get());
  return GiveNode(anchor.shared, p ? WEBKIT_DOM_NODE(p) : nullptr, out);
}

HRESULT LiveNode::get_face(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_attribute(Element(), "face"));
  return S_OK;
}

HRESULT LiveNode::put_face(const std::u16string& value) {
  QM_LIVE(nullptr);
  webkit_dom_element_set_attribute(Element(), "face", Utf8(value).c_str(), nullptr);
  return S_OK;
}

std::vector<GRef<WebKitDOMElement>> LiveNode::FormControls() const {
  std::vector<GRef<WebKitDOMElement>> out;
  WebKitDOMElement* form = Element();
  if (!form) return out;
  for (auto& e : ElementsOf(webkit_dom_element_query_selector_all(form, "*", nullptr)))
    if (IsFormControl(LowerTagOf(e.get()))) out.push_back(std::move(e));
  return out;
}

HRESULT LiveNode::get_length(LONG* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(FormControls().size());
  return S_OK;
}

HRESULT LiveNode::item(const VARIANT& name, const VARIANT& index, IDispatch** out) {
  QM_LIVE(out);
  return MakeCollection(anchor, FormControls())->item(name, index, out);
}

HRESULT LiveNode::get_action(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_attribute(Element(), "action"));
  return S_OK;
}

HRESULT LiveNode::get_method(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  gchar* m = webkit_dom_element_get_attribute(Element(), "method");
  *out = FromUtf8(m ? Lower(m) : std::string("get"));
  g_free(m);
  return S_OK;
}

HRESULT LiveNode::get_name(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = TakeString(webkit_dom_element_get_attribute(Element(), "name"));
  return S_OK;
}

ConnectionPoints* LiveNode::Events() {
  if (!events_)
    events_ = std::make_unique<ConnectionPoints>(static_cast<IConnectionPointContainer*>(this),
                                                 std::vector<IID>{DIID_HTMLFormElementEvents2});
  return events_.get();
}

HRESULT LiveNode::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return RPC_E_DISCONNECTED;
  if (!Is("form")) return CONNECT_E_NOCONNECTION;
  // A form with sinks keeps its object, and so its connections, for the page.
  anchor.shared->forms[Element()] = ComPtr<LiveNode>(this);
  return Events()->FindConnectionPoint(riid, out);
}

// ---------------------------------------------------------------------------
// Windows and events

HRESULT LiveWindow::get_document(IHTMLDocument2** out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = nullptr;
  LiveDocument* d = anchor.shared->DocumentFor(doc.get());
  if (d) ComPtr<IHTMLDocument2>(d).CopyTo(out);
  return S_OK;
}

HRESULT LiveWindow::get_name(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  out->clear();
  WebKitDOMDOMWindow* w = webkit_dom_document_get_default_view(doc.get());
  if (w) {
    *out = TakeString(webkit_dom_dom_window_get_name(w));
    g_object_unref(w);
  }
  return S_OK;
}

HRESULT LiveWindow::QueryService(REFGUID service, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return RPC_E_DISCONNECTED;
  LiveBrowser* b = anchor.shared->BrowserOf(doc.get());
  return b ? b->QueryService(service, riid, out) : E_NOINTERFACE;
}

namespace {
GRef<JSCValue> Property(JSCValue* object, const char* name) {
  return Adopt(object ? jsc_value_object_get_property(object, name) : nullptr);
}
bool BoolProperty(JSCValue* object, const char* name) {
  auto v = Property(object, name);
  return v && jsc_value_to_boolean(v.get());
}
}  // namespace

HRESULT LiveEvent::get_srcElement(IHTMLElement** out) {
  QM_LIVE(out);
  auto target = Property(event.get(), "target");
  WebKitDOMNode* node = target && jsc_value_is_object(target.get())
                            ? webkit_dom_node_for_js_value(target.get())
                            : nullptr;
  return GiveNode(anchor.shared, node && WEBKIT_DOM_IS_ELEMENT(node) ? node : nullptr, out);
}

HRESULT LiveEvent::get_altKey(bool* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = BoolProperty(event.get(), "altKey");
  return S_OK;
}

HRESULT LiveEvent::get_ctrlKey(bool* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = BoolProperty(event.get(), "ctrlKey");
  return S_OK;
}

HRESULT LiveEvent::get_shiftKey(bool* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = BoolProperty(event.get(), "shiftKey");
  return S_OK;
}

HRESULT LiveEvent::get_keyCode(LONG* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  // The engine's legacy keyCode is already the platform's virtual-key code.
  auto v = Property(event.get(), "keyCode");
  *out = v && jsc_value_is_number(v.get()) ? jsc_value_to_int32(v.get()) : 0;
  return S_OK;
}

HRESULT LiveEvent::get_type(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  auto v = Property(event.get(), "type");
  *out = v ? TakeString(jsc_value_to_string(v.get())) : std::u16string();
  return S_OK;
}

HRESULT LiveEvent::get_returnValue(VARIANT* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = returnValue;
  return S_OK;
}

HRESULT LiveEvent::put_returnValue(const VARIANT& value) {
  QM_LIVE(nullptr);
  returnValue = VariantDeref(value);
  return S_OK;
}

}  // namespace quillmer::webdom
