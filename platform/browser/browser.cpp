// Documents, windows and browsers: services, embeddings, properties, events.
#include <algorithm>

#include "platform/browser/model.h"

namespace quillmer::browser {
namespace {

template <class I, class T>
HRESULT Give(T* object, I** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!object) return S_OK;
  return object->QueryInterface(IID_OF(I), reinterpret_cast<void**>(out));
}

HRESULT GiveString(const std::u16string& value, std::u16string* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

// Services as the browser offers them: the top-level browser and the browser
// that holds the document.
HRESULT BrowserService(WebBrowser* browser, REFGUID service, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!browser) return E_NOINTERFACE;
  if (service == SID_STopLevelBrowser) return browser->Top()->QueryInterface(riid, out);
  if (service == SID_SWebBrowserApp) return browser->QueryInterface(riid, out);
  return E_NOINTERFACE;
}

class UnknownEnumerator final : public ComObject<IEnumUnknown> {
 public:
  UnknownEnumerator(std::vector<ComPtr<IUnknown>> items, size_t pos = 0)
      : items_(std::move(items)), pos_(pos) {}
  HRESULT Next(ULONG count, IUnknown** out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    QM_FAULT("IEnumUnknown::Next", nullptr);
    if (!out || (!fetched && count != 1)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) items_[pos_++].CopyTo(&out[n++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    QM_FAULT("IEnumUnknown::Skip", nullptr);
    size_t left = items_.size() - pos_;
    pos_ += std::min<size_t>(left, count);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    QM_FAULT("IEnumUnknown::Reset", nullptr);
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumUnknown** out) override {
    QM_FAULT("IEnumUnknown::Clone", out);
    if (!out) return E_POINTER;
    *out = MakeComObject<UnknownEnumerator>(items_, pos_).detach();
    return S_OK;
  }

 private:
  std::vector<ComPtr<IUnknown>> items_;
  size_t pos_;
};

class EventObject final : public ComObject<IHTMLEventObj> {
 public:
  EventObject(IHTMLElement* src, std::u16string type, LONG key, bool alt, bool ctrl, bool shift)
      : src_(src), type_(std::move(type)), key_(key), alt_(alt), ctrl_(ctrl), shift_(shift) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_srcElement(IHTMLElement** out) override {
    QM_FAULT("IHTMLEventObj::get_srcElement", out);
    return src_.CopyTo(out);
  }
  HRESULT get_altKey(bool* out) override { return Flag(alt_, out, "IHTMLEventObj::get_altKey"); }
  HRESULT get_ctrlKey(bool* out) override { return Flag(ctrl_, out, "IHTMLEventObj::get_ctrlKey"); }
  HRESULT get_shiftKey(bool* out) override {
    return Flag(shift_, out, "IHTMLEventObj::get_shiftKey");
  }
  HRESULT get_keyCode(LONG* out) override {
    QM_FAULT("IHTMLEventObj::get_keyCode", out);
    if (!out) return E_POINTER;
    *out = key_;
    return S_OK;
  }
  HRESULT get_type(std::u16string* out) override {
    QM_FAULT("IHTMLEventObj::get_type", out);
    return GiveString(type_, out);
  }
  HRESULT get_returnValue(VARIANT* out) override {
    QM_FAULT("IHTMLEventObj::get_returnValue", out);
    if (!out) return E_POINTER;
    *out = returnValue_;
    return S_OK;
  }
  HRESULT put_returnValue(const VARIANT& value) override {
    QM_FAULT("IHTMLEventObj::put_returnValue", nullptr);
    returnValue_ = value;
    return S_OK;
  }

 private:
  HRESULT Flag(bool v, bool* out, std::string_view method) {
    QM_FAULT(method, out);
    if (!out) return E_POINTER;
    *out = v;
    return S_OK;
  }
  ComPtr<IHTMLElement> src_;
  std::u16string type_;
  LONG key_;
  bool alt_, ctrl_, shift_;
  VARIANT returnValue_;
};

}  // namespace

// --- DomDocument

DomDocument::DomDocument(Zone* z) : ZoneObject(z), events(this, {DIID_HTMLDocumentEvents2}) {}

DomElement* DomDocument::NewElement(std::u16string tag, bool foreign) {
  return zone->Make<DomElement>(this, std::move(tag), foreign);
}

DomNode* DomDocument::NewText(std::u16string text, NodeKind kind) {
  DomNode* n = zone->Make<DomNode>(this, kind);
  n->text = std::move(text);
  return n;
}

DomElement* DomDocument::DocumentElement() const {
  for (DomNode* c = root.firstChild; c; c = c->next)
    if (c->kind == NodeKind::Element) return static_cast<DomElement*>(c);
  return nullptr;
}

namespace {
DomElement* ChildElement(const DomNode* parent, std::u16string_view a, std::u16string_view b = {}) {
  if (!parent) return nullptr;
  for (DomNode* c = parent->firstChild; c; c = c->next)
    if (c->kind == NodeKind::Element) {
      auto* e = static_cast<DomElement*>(c);
      if (e->Is(a) || (!b.empty() && e->Is(b))) return e;
    }
  return nullptr;
}
}  // namespace

DomElement* DomDocument::Head() const { return ChildElement(DocumentElement(), u"head"); }

DomElement* DomDocument::Body() const {
  return ChildElement(DocumentElement(), u"body", u"frameset");
}

DomElement* DomDocument::TitleElement() const {
  DomElement* found = nullptr;
  ForEachElement(&root, [&](DomElement* e) {
    if (!found && e->Is(u"title")) found = e;
  });
  return found;
}

ComPtr<IHTMLElementCollection> DomDocument::Collection(std::vector<DomElement*> items) {
  return MakeCollection(Identity(), std::move(items));
}

std::vector<DomElement*> DomDocument::StyleSheetOwners() const {
  return Elements([this](DomElement* e) {
    return e->Is(u"style") || (e->Is(u"link") && linkedSheets.count(e));
  });
}

HRESULT DomDocument::get_all(IHTMLElementCollection** out) {
  QM_FAULT("IHTMLDocument2::get_all", out);
  if (!out) return E_POINTER;
  *out = Collection(Elements([](DomElement*) { return true; })).detach();
  return S_OK;
}

HRESULT DomDocument::get_body(IHTMLElement** out) {
  QM_FAULT("IHTMLDocument2::get_body", out);
  return Give(Body(), out);
}

HRESULT DomDocument::get_title(std::u16string* out) {
  QM_FAULT("IHTMLDocument2::get_title", out);
  if (!out) return E_POINTER;
  DomElement* t = TitleElement();
  *out = t ? TextContent(t) : u"";
  return S_OK;
}

HRESULT DomDocument::put_title(const std::u16string& value) {
  QM_FAULT("IHTMLDocument2::put_title", nullptr);
  DomElement* t = TitleElement();
  if (!t) {
    DomElement* head = Head();
    if (!head) return S_OK;  // nowhere to put it (no document element)
    t = NewElement(u"title");
    head->AppendChild(t);
  }
  SetTextContent(t, value);
  return S_OK;
}

HRESULT DomDocument::get_charset(std::u16string* out) {
  QM_FAULT("IHTMLDocument2::get_charset", out);
  return GiveString(Widen(charset), out);
}

HRESULT DomDocument::put_charset(const std::u16string& value) {
  QM_FAULT("IHTMLDocument2::put_charset", nullptr);
  for (char16_t c : value)
    if (c > 0x7F) return E_INVALIDARG;
  CharsetInfo info = LookUpCharset(Narrow(value));
  bool ours = info.codePage == CP_UTF16LE || info.codePage == CP_UTF16BE;
  if (info.codePage == 0 || (!ours && !IsValidCodePage(info.codePage))) return E_INVALIDARG;
  charset = info.name;
  codePage = info.codePage;
  return S_OK;
}

HRESULT DomDocument::get_links(IHTMLElementCollection** out) {
  QM_FAULT("IHTMLDocument2::get_links", out);
  if (!out) return E_POINTER;
  *out = Collection(Elements([](DomElement* e) {
           return (e->Is(u"a") || e->Is(u"area")) && e->Attr(u"href");
         })).detach();
  return S_OK;
}

HRESULT DomDocument::get_forms(IHTMLElementCollection** out) {
  QM_FAULT("IHTMLDocument2::get_forms", out);
  if (!out) return E_POINTER;
  *out = Collection(Elements([](DomElement* e) { return e->Is(u"form"); })).detach();
  return S_OK;
}

HRESULT DomDocument::get_styleSheets(IHTMLStyleSheetsCollection** out) {
  QM_FAULT("IHTMLDocument2::get_styleSheets", out);
  if (!out) return E_POINTER;
  *out = MakeStyleSheets(Identity(), StyleSheetOwners()).detach();
  return S_OK;
}

HRESULT DomDocument::get_URL(std::u16string* out) {
  QM_FAULT("IHTMLDocument2::get_URL", out);
  return GiveString(url, out);
}

HRESULT DomDocument::get_parentWindow(IHTMLWindow2** out) {
  QM_FAULT("IHTMLDocument2::get_parentWindow", out);
  return Give(window, out);
}

HRESULT DomDocument::get_readyState(std::u16string* out) {
  QM_FAULT("IHTMLDocument2::get_readyState", out);
  static const char16_t* kNames[] = {u"uninitialized", u"loading", u"loaded", u"interactive",
                                     u"complete"};
  READYSTATE s = browser ? browser->readyState : READYSTATE_COMPLETE;
  return GiveString(kNames[std::clamp<LONG>(s, 0, 4)], out);
}

HRESULT DomDocument::get_documentElement(IHTMLElement** out) {
  QM_FAULT("IHTMLDocument3::get_documentElement", out);
  return Give(DocumentElement(), out);
}

HRESULT DomDocument::getElementsByTagName(const std::u16string& tag, IHTMLElementCollection** out) {
  QM_FAULT("IHTMLDocument3::getElementsByTagName", out);
  if (!out) return E_POINTER;
  *out = Collection(Elements([&](DomElement* e) {
           return tag == u"*" || EqualNoCase(e->tag, tag);
         })).detach();
  return S_OK;
}

HRESULT DomDocument::getElementById(const std::u16string& id, IHTMLElement** out) {
  QM_FAULT("IHTMLDocument3::getElementById", out);
  DomElement* found = nullptr;
  ForEachElement(&root, [&](DomElement* e) {
    if (!found && e->Attr(u"id") && *e->Attr(u"id") == id) found = e;
  });
  return Give(found, out);
}

HRESULT DomDocument::EnumObjects(DWORD flags, IEnumUnknown** out) {
  QM_FAULT("IOleContainer::EnumObjects", out);
  if (!out) return E_POINTER;
  std::vector<ComPtr<IUnknown>> items;
  if (flags & OLECONTF_EMBEDDINGS)
    for (IUnknown* e : embeddings) items.emplace_back(e);
  *out = MakeComObject<UnknownEnumerator>(std::move(items)).detach();
  return S_OK;
}

HRESULT DomDocument::QueryService(REFGUID service, REFIID riid, void** out) {
  QM_FAULT("IServiceProvider::QueryService", out);
  return BrowserService(browser, service, riid, out);
}

HRESULT DomDocument::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  QM_FAULT("IConnectionPointContainer::FindConnectionPoint", out);
  return events.FindConnectionPoint(riid, out);
}

// --- DomWindow

HRESULT DomWindow::get_document(IHTMLDocument2** out) {
  QM_FAULT("IHTMLWindow2::get_document", out);
  return Give(doc, out);
}

HRESULT DomWindow::get_name(std::u16string* out) {
  QM_FAULT("IHTMLWindow2::get_name", out);
  const std::u16string* name = nullptr;
  if (doc->browser && doc->browser->frameElement) name = doc->browser->frameElement->Attr(u"name");
  return GiveString(name ? *name : u"", out);
}

HRESULT DomWindow::QueryService(REFGUID service, REFIID riid, void** out) {
  QM_FAULT("IServiceProvider::QueryService", out);
  return BrowserService(doc->browser, service, riid, out);
}

// --- WebBrowser

WebBrowser::WebBrowser(Zone* z, WebBrowser* p)
    : ZoneObject(z), parent(p), events(this, {DIID_DWebBrowserEvents2}) {}

HRESULT WebBrowser::get_Document(IDispatch** out) {
  QM_FAULT("IWebBrowser2::get_Document", out);
  if (otherDocument) {
    if (!out) return E_POINTER;
    return otherDocument->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
  }
  return Give(document, out);
}

HRESULT WebBrowser::get_ReadyState(READYSTATE* out) {
  QM_FAULT("IWebBrowser2::get_ReadyState", out);
  if (!out) return E_POINTER;
  *out = readyState;
  return S_OK;
}

HRESULT WebBrowser::Stop() {
  QM_FAULT("IWebBrowser2::Stop", nullptr);
  ++stops;
  readyState = READYSTATE_COMPLETE;
  if (Top()->navigating) Top()->stopRequested = true;
  return S_OK;
}

HRESULT WebBrowser::Quit() {
  QM_FAULT("IWebBrowser2::Quit", nullptr);
  // Keep the zone while sinks run and references are dropped.
  ComPtr<IWebBrowser2> self(this);
  WebBrowser* top = Top();
  if (top->quit) return S_OK;  // the window is closed already
  top->quit = true;
  top->events.Fire(DIID_DWebBrowserEvents2, DISPID_ONQUIT, {});
  top->events.UnadviseAll();
  top->properties.clear();
  return S_OK;
}

HRESULT WebBrowser::GetProperty(const std::u16string& name, VARIANT* out) {
  QM_FAULT("IWebBrowser2::GetProperty", out);
  if (!out) return E_POINTER;
  auto it = properties.find(name);
  *out = it == properties.end() ? VARIANT{} : it->second;
  return S_OK;
}

HRESULT WebBrowser::PutProperty(const std::u16string& name, const VARIANT& value) {
  QM_FAULT("IWebBrowser2::PutProperty", nullptr);
  properties[name] = value;
  return S_OK;
}

HRESULT WebBrowser::get_LocationURL(std::u16string* out) {
  QM_FAULT("IWebBrowser2::get_LocationURL", out);
  if (otherDocument) return GiveString(otherUrl, out);
  return GiveString(document ? document->url : u"about:blank", out);
}

HRESULT WebBrowser::get_LocationName(std::u16string* out) {
  QM_FAULT("IWebBrowser2::get_LocationName", out);
  if (!out) return E_POINTER;
  DomElement* t = document ? document->TitleElement() : nullptr;
  *out = t ? TextContent(t) : (document ? document->url : u"");
  return S_OK;
}

HRESULT WebBrowser::QueryService(REFGUID service, REFIID riid, void** out) {
  QM_FAULT("IServiceProvider::QueryService", out);
  return BrowserService(this, service, riid, out);
}

HRESULT WebBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  QM_FAULT("IConnectionPointContainer::FindConnectionPoint", out);
  return events.FindConnectionPoint(riid, out);
}

}  // namespace quillmer::browser

namespace quillmer {

using namespace browser;

void SetReadyState(IWebBrowser2* b, READYSTATE state) {
  if (auto* t = dynamic_cast<WebBrowser*>(b)) t->readyState = state;
}

int StopCount(IWebBrowser2* b) {
  auto* t = dynamic_cast<WebBrowser*>(b);
  return t ? t->stops : 0;
}

CharsetSource CharsetSourceOf(IHTMLDocument2* d) {
  auto* t = dynamic_cast<DomDocument*>(d);
  return t ? t->source : CharsetSource::Default;
}

int FireEvent(IUnknown* source, REFIID events, DISPID id, const std::vector<VARIANT>& args) {
  ComPtr<IConnectionPointContainer> cpc;
  if (!source || FAILED(source->QueryInterface(IID_IConnectionPointContainer, cpc.put_void())))
    return 0;
  ComPtr<IConnectionPoint> cp;
  if (FAILED(cpc->FindConnectionPoint(events, cp.put())) || !cp) return 0;
  auto* point = dynamic_cast<ConnectionPoint*>(cp.get());
  return point ? point->Fire(id, args) : 0;
}

ComPtr<IHTMLEventObj> MakeEventObject(IHTMLElement* srcElement, std::u16string type, LONG keyCode,
                                      bool alt, bool ctrl, bool shift) {
  return MakeComObject<EventObject>(srcElement, std::move(type), keyCode, alt, ctrl, shift);
}

}  // namespace quillmer
