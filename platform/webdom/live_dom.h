// Inside the live page: the objects behind the browser's interfaces over the
// engine's DOM. Not for use outside platform/webdom.
//
// Every object holds GObject references to the DOM objects it stands for,
// and the Life of the document they belong to: once that document has been
// left (or the page has gone) its objects answer RPC_E_DISCONNECTED instead
// of reaching into a page that is no longer shown.
#pragma once

#include <jsc/jsc.h>
#include <webkit2/webkit-web-extension.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/browser/mshtml.h"
#include "platform/browser/out_params.h"
#include "platform/com/connection.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/service.h"
#include "platform/com/variant.h"

namespace quillmer::webdom {

constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108u);

// One reference to a GObject.
template <class T>
class GRef {
 public:
  GRef() = default;
  // Adds a reference unless adopt (a "transfer full" result).
  explicit GRef(T* p, bool adopt = false) : p_(p) {
    if (p_ && !adopt) g_object_ref(p_);
  }
  GRef(const GRef& o) : GRef(o.p_) {}
  GRef(GRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  GRef& operator=(GRef o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~GRef() {
    if (p_) g_object_unref(p_);
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

template <class T>
GRef<T> Adopt(T* p) {
  return GRef<T>(p, true);
}

// A "transfer full" string as UTF-16 (null reads as empty).
std::u16string TakeString(gchar* s);
std::string Utf8(std::u16string_view s);

struct Life {
  bool alive = true;
};
using LifeRef = std::shared_ptr<Life>;

class LiveBrowser;
class LiveDocument;
class LiveNode;

// What every object of one page shares: the engine's page and the objects
// that keep their identity (browsers per frame element, documents, forms).
struct Shared : std::enable_shared_from_this<Shared> {
  WebKitWebPage* page = nullptr;
  bool alive = true;
  ComPtr<LiveBrowser> top;
  std::map<WebKitDOMElement*, ComPtr<LiveBrowser>> frames;
  std::map<WebKitDOMDocument*, ComPtr<LiveDocument>> documents;
  std::map<WebKitDOMNode*, LiveNode*> nodes;            // weak: a node leaves in its destructor
  std::map<WebKitDOMElement*, ComPtr<LiveNode>> forms;  // kept: their sinks stay connected
  std::u16string menuDocumentKey;
  WebKitDOMDocument* menuDocument = nullptr;

  // The browser of a frame element (made once), or the top one for null.
  LiveBrowser* BrowserFor(WebKitDOMElement* frameElement);
  // The browser that shows the document.
  LiveBrowser* BrowserOf(WebKitDOMDocument* doc);
  LiveDocument* DocumentFor(WebKitDOMDocument* doc);
  LifeRef LifeOf(WebKitDOMDocument* doc);
  // The wrapper of a node (IHTMLDOMNode, and IHTMLElement for an element).
  ComPtr<LiveNode> NodeFor(WebKitDOMNode* node);
  // The document left by its frame: its objects disconnect.
  void Leave(WebKitDOMDocument* doc);
  void Clear();
};
using SharedRef = std::shared_ptr<Shared>;

#define QM_LIVE(...)           \
  if (!Alive()) {              \
    EmptyOut(__VA_ARGS__);     \
    return RPC_E_DISCONNECTED; \
  }

// What every object of a document keeps.
struct Anchor {
  SharedRef shared;
  LifeRef life;
  bool Alive() const { return shared && shared->alive && life && life->alive; }
};

// A browser: the page's top-level one, or a frame's.
class LiveBrowser final
    : public ComObject<IWebBrowser2, IServiceProvider, IConnectionPointContainer> {
 public:
  LiveBrowser(SharedRef shared, GRef<WebKitDOMElement> frameElement);

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

  bool Alive() const { return shared_ && shared_->alive; }
  // The document the browser shows now; null when none.
  WebKitDOMDocument* Document() const;
  void Fire(DISPID id, const std::vector<VARIANT>& args);
  // Fires id with (this browser, URL) on the top browser's sinks.
  void FireWithUrl(DISPID id, const std::u16string& url);

  SharedRef shared_;
  GRef<WebKitDOMElement> frameElement;  // null for the top-level browser
  READYSTATE readyState = READYSTATE_UNINITIALIZED;
  bool quit = false;
  std::map<std::u16string, VARIANT> properties;
  ConnectionPoints events{this, {DIID_DWebBrowserEvents2}};
};

class LiveDocument final : public ComObject<IHTMLDocument2, IHTMLDocument3, IOleContainer,
                                            IServiceProvider, IConnectionPointContainer> {
 public:
  LiveDocument(Anchor anchor, GRef<WebKitDOMDocument> doc);

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
  HRESULT LockContainer(bool) override { return Alive() ? S_OK : RPC_E_DISCONNECTED; }
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  bool Alive() const { return anchor.Alive(); }
  // The charset as the browser names it (the one put, else the engine's).
  std::u16string Charset() const;

  Anchor anchor;
  GRef<WebKitDOMDocument> doc;
  std::u16string charsetPut;  // empty until put_charset
  ConnectionPoints events{this, {DIID_HTMLDocumentEvents2}};
};

// A node; for an element also IHTMLElement, and by its tag the font, base
// font and form interfaces (with the form's connection point).
class LiveNode final : public ComObject<IHTMLDOMNode>,
                       public IHTMLElement,
                       public IHTMLFontElement,
                       public IHTMLBaseFontElement,
                       public IHTMLFormElement,
                       public IConnectionPointContainer {
 public:
  LiveNode(Anchor anchor, GRef<WebKitDOMNode> node);
  ~LiveNode() override;

  HRESULT QueryInterface(REFIID riid, void** out) override {
    return ComObject::QueryInterface(riid, out);
  }
  ULONG AddRef() override { return ComObject::AddRef(); }
  ULONG Release() override { return ComObject::Release(); }
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

  HRESULT get_face(std::u16string* out) override;
  HRESULT put_face(const std::u16string& value) override;

  HRESULT get_length(LONG* out) override;
  HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) override;
  HRESULT get_action(std::u16string* out) override;
  HRESULT get_method(std::u16string* out) override;
  HRESULT get_name(std::u16string* out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  bool Alive() const { return anchor.Alive(); }
  WebKitDOMElement* Element() const;  // null for a node that is no element
  bool Is(const char* lowerTag) const;
  std::vector<GRef<WebKitDOMElement>> FormControls() const;
  // The form's connection point (forms only).
  ConnectionPoints* Events();

  Anchor anchor;
  GRef<WebKitDOMNode> node;

 protected:
  IUnknown* QueryExtra(REFIID riid) override;

 private:
  std::unique_ptr<ConnectionPoints> events_;
};

class LiveWindow final : public ComObject<IHTMLWindow2, IServiceProvider> {
 public:
  LiveWindow(Anchor anchor, GRef<WebKitDOMDocument> doc) : anchor(std::move(anchor)), doc(doc) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_document(IHTMLDocument2** out) override;
  HRESULT get_name(std::u16string* out) override;
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
  bool Alive() const { return anchor.Alive(); }
  Anchor anchor;
  GRef<WebKitDOMDocument> doc;
};

// The event object handed to document and form sinks.
class LiveEvent final : public ComObject<IHTMLEventObj> {
 public:
  // event: the engine's event object as a script value (of our own world).
  LiveEvent(Anchor anchor, GRef<JSCValue> event) : anchor(std::move(anchor)), event(event) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_srcElement(IHTMLElement** out) override;
  HRESULT get_altKey(bool* out) override;
  HRESULT get_ctrlKey(bool* out) override;
  HRESULT get_shiftKey(bool* out) override;
  HRESULT get_keyCode(LONG* out) override;
  HRESULT get_type(std::u16string* out) override;
  HRESULT get_returnValue(VARIANT* out) override;
  HRESULT put_returnValue(const VARIANT& value) override;
  bool Alive() const { return anchor.Alive(); }
  bool Cancelled() const {
    return returnValue.vt == VT_BOOL && returnValue.boolVal == VARIANT_FALSE;
  }

  Anchor anchor;
  GRef<JSCValue> event;
  VARIANT returnValue;
};

ComPtr<IHTMLElementCollection> MakeCollection(const Anchor& anchor,
                                              std::vector<GRef<WebKitDOMElement>> items);
std::vector<GRef<WebKitDOMElement>> ElementsOf(WebKitDOMHTMLCollection* collection);  // adopts
std::vector<GRef<WebKitDOMElement>> ElementsOf(WebKitDOMNodeList* list);              // adopts
// Elements of doc matching a CSS selector, in document order.
std::vector<GRef<WebKitDOMElement>> Select(WebKitDOMDocument* doc, const char* selector);
std::u16string LowerTagOf(WebKitDOMElement* e);
// The browser's name for the engine's charset ("gb2312" for GBK).
std::u16string BrowserCharsetName(const std::string& engineName);

}  // namespace quillmer::webdom
