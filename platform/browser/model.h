// Inside the browser model: the objects behind the interfaces of
// webbrowser.h and mshtml.h. Not for use outside platform/browser.
//
// A loaded page (its browsers, documents, windows, nodes and embeddings) is
// one zone: every object of the zone counts its references on the zone, and
// the zone frees them all together when the last reference goes. Objects of
// a zone point at each other without counting. Short-lived objects handed
// out by calls (collections, enumerators, styles, style sheets, event
// objects) are ordinary counted objects that hold a reference to the zone.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/ascii.h"
#include "platform/browser/out_params.h"
#include "platform/browser/page.h"

namespace quillmer::browser {

class Zone {
 public:
  ULONG AddRef() { return ++refs_; }
  ULONG Release();
  template <class T, class... Args>
  T* Make(Args&&... args) {
    auto p = std::make_unique<T>(this, std::forward<Args>(args)...);
    T* raw = p.get();
    members_.push_back(std::move(p));
    return raw;
  }

  struct Member {
    explicit Member(Zone* z) : zone(z) {}
    virtual ~Member() = default;
    Zone* zone;
  };

 private:
  std::atomic<ULONG> refs_{0};
  bool dying_ = false;
  std::vector<std::unique_ptr<Member>> members_;
};

// A zone object implementing a list of interfaces.
template <class First, class... Rest>
class ZoneObject : public Zone::Member, public First, public Rest... {
 public:
  explicit ZoneObject(Zone* z) : Zone::Member(z) {}
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = riid == IID_IUnknown ? Identity()
                                : InterfaceList<First, Rest...>::Find(this, Identity(), riid);
    if (!*out) *out = QueryExtra(riid);
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return zone->AddRef(); }
  ULONG Release() override { return zone->Release(); }
  IUnknown* Identity() { return static_cast<First*>(this); }
  const IUnknown* Identity() const { return static_cast<const First*>(this); }

 protected:
  virtual void* QueryExtra(REFIID) { return nullptr; }
  std::optional<HRESULT> Fault(std::string_view method) const {
    return FaultsActive() ? CallFault(Identity(), method) : std::nullopt;
  }
};

// Checks the injected fault of a call: a failure code is returned; a success
// code empties the out-parameters listed and returns S_OK.
#define QM_FAULT(method, ...)            \
  if (auto fault_ = Fault(method)) {     \
    if (FAILED(*fault_)) return *fault_; \
    ::quillmer::EmptyOut(__VA_ARGS__);   \
    return S_OK;                         \
  }

class DomDocument;
class DomElement;
class WebBrowser;

enum class NodeKind { Document, Element, Text, Comment, CData };

// A node of the tree: elements, text, comments.
class DomNode : public ZoneObject<IHTMLDOMNode> {
 public:
  DomNode(Zone* z, DomDocument* doc, NodeKind kind) : ZoneObject(z), doc(doc), kind(kind) {}

  QM_NO_DISPATCH_MEMBERS
  HRESULT get_nodeType(LONG* out) override;
  HRESULT get_nodeName(std::u16string* out) override;
  HRESULT get_nodeValue(VARIANT* out) override;
  HRESULT put_nodeValue(const VARIANT& value) override;
  HRESULT hasChildNodes(bool* out) override;
  HRESULT get_parentNode(IHTMLDOMNode** out) override;
  HRESULT get_firstChild(IHTMLDOMNode** out) override;
  HRESULT get_lastChild(IHTMLDOMNode** out) override;
  HRESULT get_previousSibling(IHTMLDOMNode** out) override;
  HRESULT get_nextSibling(IHTMLDOMNode** out) override;

  DomElement* AsElement();
  void AppendChild(DomNode* child);
  void RemoveChildren();

  DomDocument* doc;
  NodeKind kind;
  std::u16string text;  // text, comment and CDATA content
  DomNode* parent = nullptr;
  DomNode* firstChild = nullptr;
  DomNode* lastChild = nullptr;
  DomNode* prev = nullptr;
  DomNode* next = nullptr;
};

struct Attribute {
  std::u16string name;
  std::u16string value;
};

// An element. The font, base font and form interfaces are offered only by
// elements of those tags (QueryExtra).
class DomElement final : public DomNode,
                         public IHTMLElement,
                         public IHTMLFontElement,
                         public IHTMLBaseFontElement,
                         public IHTMLFormElement,
                         public IConnectionPointContainer {
 public:
  DomElement(Zone* z, DomDocument* doc, std::u16string tag, bool foreign);

  // IUnknown and IDispatch are those of the node.
  HRESULT QueryInterface(REFIID riid, void** out) override {
    return DomNode::QueryInterface(riid, out);
  }
  ULONG AddRef() override { return DomNode::AddRef(); }
  ULONG Release() override { return DomNode::Release(); }
  QM_NO_DISPATCH_MEMBERS

  HRESULT getAttribute(const std::u16string& name, LONG flags, VARIANT* out) override;
  HRESULT setAttribute(const std::u16string& name, const VARIANT& value, LONG flags) override;
  HRESULT removeAttribute(const std::u16string& name, LONG flags, bool* removed) override;
  HRESULT get_tagName(std::u16string* out) override;
  HRESULT get_id(std::u16string* out) override;
  HRESULT get_style(IHTMLStyle** out) override;
  HRESULT get_innerText(std::u16string* out) override;
  HRESULT put_innerText(const std::u16string& text) override;
  HRESULT get_innerHTML(std::u16string* out) override;
  HRESULT get_outerHTML(std::u16string* out) override;
  HRESULT get_document(IDispatch** out) override;
  HRESULT get_parentElement(IHTMLElement** out) override;

  // <font> and <basefont>.
  HRESULT get_face(std::u16string* out) override;
  HRESULT put_face(const std::u16string& value) override;

  // <form>.
  HRESULT get_length(LONG* out) override;
  HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) override;
  HRESULT get_action(std::u16string* out) override;
  HRESULT get_method(std::u16string* out) override;
  HRESULT get_name(std::u16string* out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  const std::u16string* Attr(std::u16string_view name) const;  // without regard to case
  void SetAttr(std::u16string_view name, std::u16string value);
  bool Is(std::u16string_view lowerTag) const { return !foreign && tag == lowerTag; }
  std::vector<DomElement*> FormControls();
  ConnectionPoints* Events();

  std::u16string tag;  // lower case for HTML elements; as written for SVG and MathML
  bool foreign;        // SVG or MathML
  // What the user typed into an input or textarea; its default stays in the
  // value attribute (a textarea's: its text).
  std::optional<std::u16string> currentValue;
  std::vector<Attribute> attrs;
  IUnknown* embedding = nullptr;  // the frame's browser or the plug-in object

 protected:
  void* QueryExtra(REFIID riid) override;

 private:
  std::unique_ptr<ConnectionPoints> events_;
};

// A linked style sheet's file.
struct LinkedSheet {
  std::string path;     // where it was read from
  std::u16string href;  // as the link names it
  std::u16string text;
  std::string bytes;  // as read
  UINT codePage = 0;
  bool ownCharset = false;  // a signature or @charset says it; else the page's
  bool modified = false;
};

class DomWindow;

class DomDocument final : public ZoneObject<IHTMLDocument2, IHTMLDocument3, IOleContainer,
                                            IServiceProvider, IConnectionPointContainer> {
 public:
  DomDocument(Zone* z);

  QM_NO_DISPATCH_MEMBERS
  HRESULT get_all(IHTMLElementCollection** out) override;
  HRESULT get_body(IHTMLElement** out) override;
  HRESULT get_title(std::u16string* out) override;
  HRESULT put_title(const std::u16string& value) override;
  HRESULT get_charset(std::u16string* out) override;
  HRESULT put_charset(const std::u16string& value) override;
  HRESULT get_links(IHTMLElementCollection** out) override;
  HRESULT get_forms(IHTMLElementCollection** out) override;
  HRESULT get_styleSheets(IHTMLStyleSheetsCollection** out) override;
  HRESULT get_URL(std::u16string* out) override;
  HRESULT get_parentWindow(IHTMLWindow2** out) override;
  HRESULT get_readyState(std::u16string* out) override;

  HRESULT get_documentElement(IHTMLElement** out) override;
  HRESULT getElementsByTagName(const std::u16string& tag, IHTMLElementCollection** out) override;
  HRESULT getElementById(const std::u16string& id, IHTMLElement** out) override;

  HRESULT EnumObjects(DWORD flags, IEnumUnknown** out) override;
  HRESULT LockContainer(bool) override { return S_OK; }

  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  DomElement* NewElement(std::u16string tag, bool foreign = false);
  DomNode* NewText(std::u16string text, NodeKind kind = NodeKind::Text);
  DomElement* DocumentElement() const;
  DomElement* Head() const;
  DomElement* Body() const;
  DomElement* TitleElement() const;
  // Elements in document order for which keep says yes.
  template <class Pred>
  std::vector<DomElement*> Elements(Pred keep) const;
  ComPtr<IHTMLElementCollection> Collection(std::vector<DomElement*> items);
  // <style> elements and the links of loaded local sheets, in document order.
  std::vector<DomElement*> StyleSheetOwners() const;

  DomNode root{zone, this, NodeKind::Document};  // holds the document's children
  WebBrowser* browser = nullptr;
  DomWindow* window = nullptr;
  std::string path;  // the file read; empty for about:blank
  std::u16string url = u"about:blank";
  std::string charset = "utf-8";  // the browser's name, lower case
  UINT codePage = CP_UTF8;
  std::string loadedCharset;  // as loaded, before put_charset
  CharsetSource source = CharsetSource::Default;
  bool hadSignature = false;
  // The doctype, if the page has one.
  bool hasDoctype = false;
  std::u16string doctypeName, doctypePublic, doctypeSystem;
  std::vector<IUnknown*> embeddings;  // frames' browsers and plug-in objects, in order
  std::map<const DomElement*, LinkedSheet> linkedSheets;
  ConnectionPoints events;
};

class DomWindow final : public ZoneObject<IHTMLWindow2, IServiceProvider> {
 public:
  DomWindow(Zone* z, DomDocument* doc) : ZoneObject(z), doc(doc) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_document(IHTMLDocument2** out) override;
  HRESULT get_name(std::u16string* out) override;
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
  DomDocument* doc;
};

class WebBrowser final
    : public ZoneObject<IWebBrowser2, IServiceProvider, IConnectionPointContainer> {
 public:
  WebBrowser(Zone* z, WebBrowser* parent);

  QM_NO_DISPATCH_MEMBERS
  HRESULT get_Document(IDispatch** out) override;
  HRESULT get_ReadyState(READYSTATE* out) override;
  HRESULT Stop() override;
  HRESULT Quit() override;
  HRESULT GetProperty(const std::u16string& name, VARIANT* out) override;
  HRESULT PutProperty(const std::u16string& name, const VARIANT& value) override;
  HRESULT get_LocationURL(std::u16string* out) override;
  HRESULT get_LocationName(std::u16string* out) override;
  HRESULT Navigate2(const VARIANT& url, const VARIANT& flags, const VARIANT& targetFrameName,
                    const VARIANT& postData, const VARIANT& headers) override;
  HRESULT get_Busy(bool* out) override;
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  WebBrowser* Top() { return parent ? parent->Top() : this; }

  WebBrowser* parent;
  DomElement* frameElement = nullptr;  // the <frame> or <iframe> in the parent document
  DomDocument* document = nullptr;
  // A frame showing a file that is no HTML (text, image, ...): its document
  // offers no IHTMLDocument2, and the file is copied, never rewritten.
  IUnknown* otherDocument = nullptr;
  std::string otherPath;
  std::string otherBytes;
  std::u16string otherUrl;
  READYSTATE readyState = READYSTATE_COMPLETE;
  int stops = 0;
  std::map<std::u16string, VARIANT> properties;
  ConnectionPoints events;
  // The window's navigation under way (kept on the top-level browser): its
  // number, bumped by each new one so that an older one knows it was
  // replaced, and whether Stop or Quit ended it.
  unsigned navigation = 0;
  bool navigating = false;
  bool stopRequested = false;
  bool quit = false;
  std::vector<LeftPage> leftPages;  // top-level browser: pages left, oldest first
};

// An <object>, <embed> or <applet>: an embedding that is no browser.
class PluginObject final : public ZoneObject<IDispatch> {
 public:
  explicit PluginObject(Zone* z) : ZoneObject(z) {}
  QM_NO_DISPATCH_MEMBERS
};

// Text helpers shared by the model's files.
std::u16string LowerAscii(std::u16string_view s);
std::u16string Widen(std::string_view ascii);
std::string Narrow(std::u16string_view ascii);
// The text of a subtree (all text nodes, no rendering rules).
std::u16string TextContent(const DomNode* node);
void SetTextContent(DomNode* node, std::u16string text);
// Document-order walk of the elements under node.
template <class F>
void ForEachElement(const DomNode* node, F&& f) {
  for (DomNode* c = node->firstChild; c; c = c->next) {
    if (c->kind != NodeKind::Element) continue;
    f(static_cast<DomElement*>(c));
    ForEachElement(c, f);
  }
}

template <class Pred>
std::vector<DomElement*> DomDocument::Elements(Pred keep) const {
  std::vector<DomElement*> out;
  ForEachElement(&root, [&](DomElement* e) {
    if (keep(e)) out.push_back(e);
  });
  return out;
}

ComPtr<IHTMLElementCollection> MakeCollection(IUnknown* keep, std::vector<DomElement*> items);
ComPtr<IHTMLStyleSheetsCollection> MakeStyleSheets(IUnknown* keep, std::vector<DomElement*> owners);

// Serialization of a subtree as HTML (no character references for the
// character set; see save.cpp for whole documents).
std::u16string SerializeChildren(const DomNode* node);
std::u16string SerializeNode(const DomNode* node);

// Reads the style attribute's declarations.
std::u16string StyleValue(std::u16string_view css, std::u16string_view property);
// Sets (empty value: removes) a declaration, keeping the rest as written.
std::u16string SetStyleValue(std::u16string_view css, std::u16string_view property,
                             std::u16string_view value);

// A reference (frame src, link href) to a local file: its path, and the path
// relative to the referring page when it stays beside or below it. Empty
// when the reference is not to a local file.
// The code page in which a sheet without a charset of its own is read beside
// a page of code page documentCp (a UTF-16 page's sheets are UTF-8).
inline UINT SheetCodePageOf(UINT documentCp) {
  return documentCp == CP_UTF16LE || documentCp == CP_UTF16BE ? CP_UTF8 : documentCp;
}

struct LocalRef {
  std::string path;
  std::string relative;
};
LocalRef ResolveLocal(const std::string& fromPath, std::u16string_view ref);

// Gives a browser an empty document at about:blank.
void LoadBlank(WebBrowser* browser);

// What a navigation is told while it loads a page into a browser.
struct LoadHooks {
  virtual ~LoadHooks() = default;
  // A frame is about to load url; false leaves it empty, with no events.
  virtual bool BeginFrame(WebBrowser* frame, const std::u16string& url) = 0;
  // The browser has its new document; its frames are not loaded yet.
  virtual void Navigated(WebBrowser* browser) = 0;
  // The browser and all its frames are loaded.
  virtual void Loaded(WebBrowser* browser) = 0;
};

// Loads the file at path (its bytes given) into target as its new document,
// frames recursively, telling hooks; the frames above target count as its
// ancestors.
void LoadInto(WebBrowser* target, std::string bytes, const std::string& path,
              const LoadOptions& options, LoadHooks* hooks);
// A local regular file of acceptable size, read whole; nullopt otherwise.
std::optional<std::string> ReadPageFile(const std::string& path);
// "file:///..." for a path (made absolute).
std::u16string FileUrlOf(const std::string& path);

}  // namespace quillmer::browser
