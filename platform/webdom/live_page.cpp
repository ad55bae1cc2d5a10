// The page: its browsers, and the engine's signals and DOM events turned
// into the browser's events.
#include "platform/webdom/live_page.h"

#include <jsc/jsc.h>

#include "platform/base/text.h"
#include "platform/webdom/live_dom.h"

namespace quillmer::webdom {

// ---------------------------------------------------------------------------
// Shared

LiveBrowser* Shared::BrowserFor(WebKitDOMElement* frameElement) {
  if (!frameElement) return top.get();
  auto it = frames.find(frameElement);
  if (it != frames.end()) return it->second.get();
  auto b = MakeComObject<LiveBrowser>(shared_from_this(), GRef<WebKitDOMElement>(frameElement));
  frames[frameElement] = b;
  return b.get();
}

LiveBrowser* Shared::BrowserOf(WebKitDOMDocument* doc) {
  WebKitDOMDOMWindow* window = webkit_dom_document_get_default_view(doc);
  if (!window) return nullptr;  // a document no frame shows any more
  WebKitDOMElement* owner = webkit_dom_dom_window_get_frame_element(window);
  g_object_unref(window);
  return BrowserFor(owner);
}

LiveDocument* Shared::DocumentFor(WebKitDOMDocument* doc) {
  if (!doc) return nullptr;
  auto it = documents.find(doc);
  if (it != documents.end()) return it->second.get();
  auto d = MakeComObject<LiveDocument>(Anchor{shared_from_this(), std::make_shared<Life>()},
                                       GRef<WebKitDOMDocument>(doc));
  documents[doc] = d;
  return d.get();
}

LifeRef Shared::LifeOf(WebKitDOMDocument* doc) {
  LiveDocument* d = DocumentFor(doc);
  return d ? d->anchor.life : std::make_shared<Life>(Life{false});
}

ComPtr<LiveNode> Shared::NodeFor(WebKitDOMNode* node) {
  if (!node || WEBKIT_DOM_IS_DOCUMENT(node)) return nullptr;
  auto it = nodes.find(node);
  if (it != nodes.end()) return ComPtr<LiveNode>(it->second);
  WebKitDOMDocument* doc = webkit_dom_node_get_owner_document(node);
  auto n =
      MakeComObject<LiveNode>(Anchor{shared_from_this(), LifeOf(doc)}, GRef<WebKitDOMNode>(node));
  nodes[node] = n.get();
  return n;
}

void Shared::Leave(WebKitDOMDocument* doc) {
  auto it = documents.find(doc);
  if (it == documents.end()) return;
  it->second->anchor.life->alive = false;
  it->second->events.UnadviseAll();
  documents.erase(it);
  auto ownedBy = [doc](WebKitDOMElement* e) {
    return webkit_dom_node_get_owner_document(WEBKIT_DOM_NODE(e)) == doc;
  };
  for (auto f = frames.begin(); f != frames.end();)
    f = ownedBy(f->first) ? frames.erase(f) : std::next(f);
  for (auto f = forms.begin(); f != forms.end();)
    f = ownedBy(f->first) ? forms.erase(f) : std::next(f);
  if (menuDocument == doc) menuDocument = nullptr;
}

void Shared::Clear() {
  alive = false;
  for (auto& [doc, d] : documents) {
    d->anchor.life->alive = false;
    d->events.UnadviseAll();
  }
  documents.clear();
  frames.clear();
  forms.clear();
  if (top) {
    top->events.UnadviseAll();
    top->properties.clear();
  }
  top = nullptr;
  menuDocument = nullptr;
}

// ---------------------------------------------------------------------------
// Browsers

LiveBrowser::LiveBrowser(SharedRef shared, GRef<WebKitDOMElement> frame)
    : shared_(std::move(shared)), frameElement(std::move(frame)) {}

WebKitDOMDocument* LiveBrowser::Document() const {
  if (!Alive()) return nullptr;
  if (!frameElement) return webkit_web_page_get_dom_document(shared_->page);
  WebKitDOMElement* e = frameElement.get();
  if (WEBKIT_DOM_IS_HTML_IFRAME_ELEMENT(e))
    return webkit_dom_html_iframe_element_get_content_document(WEBKIT_DOM_HTML_IFRAME_ELEMENT(e));
  if (WEBKIT_DOM_IS_HTML_FRAME_ELEMENT(e))
    return webkit_dom_html_frame_element_get_content_document(WEBKIT_DOM_HTML_FRAME_ELEMENT(e));
  return nullptr;
}

HRESULT LiveBrowser::get_Document(IDispatch** out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  *out = nullptr;
  LiveDocument* d = shared_->DocumentFor(Document());
  if (d) ComPtr<IDispatch>(static_cast<IHTMLDocument2*>(d)).CopyTo(out);
  return S_OK;
}

HRESULT LiveBrowser::get_ReadyState(READYSTATE* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  if (!frameElement) {
    *out = readyState;
    return S_OK;
  }
  WebKitDOMDocument* d = Document();
  std::u16string state = d ? TakeString(webkit_dom_document_get_ready_state(d)) : u"";
  *out = state == u"complete"      ? READYSTATE_COMPLETE
         : state == u"interactive" ? READYSTATE_INTERACTIVE
         : state == u"loading"     ? READYSTATE_LOADING
                                   : READYSTATE_UNINITIALIZED;
  return S_OK;
}

HRESULT LiveBrowser::Stop() {
  QM_LIVE(nullptr);
  WebKitDOMDocument* d = Document();
  WebKitDOMDOMWindow* w = d ? webkit_dom_document_get_default_view(d) : nullptr;
  if (w) {
    webkit_dom_dom_window_stop(w);
    g_object_unref(w);
  }
  return S_OK;
}

HRESULT LiveBrowser::Quit() {
  QM_LIVE(nullptr);
  LiveBrowser* top = shared_->top.get();
  if (!top || top->quit) return S_OK;
  top->quit = true;
  top->Fire(DISPID_ONQUIT, {});
  top->events.UnadviseAll();
  top->properties.clear();
  return S_OK;
}

HRESULT LiveBrowser::GetProperty(const std::u16string& name, VARIANT* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  auto it = properties.find(name);
  *out = it == properties.end() ? VARIANT{} : it->second;
  return S_OK;
}

HRESULT LiveBrowser::PutProperty(const std::u16string& name, const VARIANT& value) {
  QM_LIVE(nullptr);
  if (quit) return S_OK;
  properties[name] = VariantDeref(value);
  return S_OK;
}

HRESULT LiveBrowser::get_LocationURL(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  WebKitDOMDocument* d = Document();
  *out = d ? TakeString(webkit_dom_document_get_url(d)) : u"about:blank";
  return S_OK;
}

HRESULT LiveBrowser::get_LocationName(std::u16string* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  WebKitDOMDocument* d = Document();
  *out = d ? TakeString(webkit_dom_document_get_title(d)) : u"";
  return S_OK;
}

HRESULT LiveBrowser::Navigate2(const VARIANT&, const VARIANT&, const VARIANT&, const VARIANT&,
                               const VARIANT&) {
  // The program loads pages into its view; the page cannot wait for a load
  // inside a call.
  return Alive() ? E_NOTIMPL : RPC_E_DISCONNECTED;
}

HRESULT LiveBrowser::get_Busy(bool* out) {
  QM_LIVE(out);
  if (!out) return E_POINTER;
  READYSTATE state = READYSTATE_COMPLETE;
  get_ReadyState(&state);
  *out = state != READYSTATE_COMPLETE;
  return S_OK;
}

HRESULT LiveBrowser::QueryService(REFGUID service, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return RPC_E_DISCONNECTED;
  if (service == SID_STopLevelBrowser && shared_->top)
    return shared_->top->QueryInterface(riid, out);
  if (service == SID_SWebBrowserApp) return QueryInterface(riid, out);
  return E_NOINTERFACE;
}

HRESULT LiveBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return events.FindConnectionPoint(riid, out);
}

void LiveBrowser::Fire(DISPID id, const std::vector<VARIANT>& args) {
  if (Alive() && shared_->top) shared_->top->events.Fire(DIID_DWebBrowserEvents2, id, args);
}

void LiveBrowser::FireWithUrl(DISPID id, const std::u16string& url) {
  VARIANT address = VariantString(url);
  Fire(id, {VariantDispatch(static_cast<IWebBrowser2*>(this)), VariantRef(&address)});
}

// ---------------------------------------------------------------------------
// The page

struct LivePage::Impl {
  WebKitWebPage* page;
  SharedRef shared = std::make_shared<Shared>();
  WebKitScriptWorld* world = nullptr;
  gulong clearedId = 0;
  std::vector<Left> left;
  GRef<WebKitDOMDocument> topDocument;
  std::map<guint64, GRef<WebKitDOMDocument>> frameDocuments;  // by the engine's frame id

  void Cleared(WebKitFrame* frame);
  void Listen(WebKitFrame* frame, WebKitDOMDocument* doc, bool top);
  void Loaded(WebKitDOMDocument* doc);
  void KeyDown(JSCValue* event);
  void Submit(JSCValue* event);
  void ContextMenu(JSCValue* event);
};

namespace {

// What a DOM listener knows of its page; it outlives the page quietly.
struct ListenerData {
  std::weak_ptr<Shared> shared;
  LivePage::Impl* impl;
  WebKitDOMDocument* doc;  // not counted: the listener lives on it
  void (*handle)(ListenerData*, JSCValue*);
};

void OnEvent(JSCValue* event, gpointer data) {
  auto* d = static_cast<ListenerData*>(data);
  SharedRef shared = d->shared.lock();
  if (!shared || !shared->alive) return;
  d->handle(d, event);
}

void FreeListener(gpointer data) { delete static_cast<ListenerData*>(data); }

// Listens through a script function of our own world: the page's scripts
// neither see it nor can remove it.
void AddListener(JSCContext* context, JSCValue* target, const char* name, bool capture,
                 ListenerData data) {
  GRef<JSCValue> fn = Adopt(jsc_value_new_function(context, nullptr, G_CALLBACK(OnEvent),
                                                   new ListenerData(std::move(data)), FreeListener,
                                                   G_TYPE_NONE, 1, JSC_TYPE_VALUE));
  GRef<JSCValue> result = Adopt(jsc_value_object_invoke_method(
      target, "addEventListener", G_TYPE_STRING, name, JSC_TYPE_VALUE, fn.get(), G_TYPE_BOOLEAN,
      capture, G_TYPE_NONE));
}

GRef<JSCContext> ContextOf(WebKitFrame* frame, WebKitScriptWorld* world) {
  return Adopt(webkit_frame_get_js_context_for_script_world(frame, world));
}

WebKitDOMDocument* DocumentOfFrame(WebKitFrame* frame, WebKitScriptWorld* world) {
  auto context = ContextOf(frame, world);
  if (!context) return nullptr;
  auto value = Adopt(jsc_context_get_value(context.get(), "document"));
  WebKitDOMNode* node = value && jsc_value_is_object(value.get())
                            ? webkit_dom_node_for_js_value(value.get())
                            : nullptr;
  return node && WEBKIT_DOM_IS_DOCUMENT(node) ? WEBKIT_DOM_DOCUMENT(node) : nullptr;
}

WebKitDOMNode* NodeOf(JSCValue* value) {
  return value && jsc_value_is_object(value) ? webkit_dom_node_for_js_value(value) : nullptr;
}

GRef<JSCValue> TargetOf(JSCValue* event) {
  return Adopt(jsc_value_object_get_property(event, "target"));
}

void PreventDefault(JSCValue* event) {
  Adopt(jsc_value_object_invoke_method(event, "preventDefault", G_TYPE_NONE));
}

}  // namespace

void LivePage::Impl::Cleared(WebKitFrame* frame) {
  WebKitDOMDocument* doc = DocumentOfFrame(frame, world);
  if (!doc) return;
  bool isMain = webkit_frame_is_main_frame(frame);
  guint64 id = webkit_frame_get_id(frame);
  if (isMain && topDocument && topDocument.get() != doc) {
    LiveDocument* old = shared->documents.count(topDocument.get())
                            ? shared->documents[topDocument.get()].get()
                            : nullptr;
    std::u16string url = TakeString(webkit_dom_document_get_url(topDocument.get()));
    std::u16string charset = old ? old->Charset() : [&] {
      gchar* c = webkit_dom_document_get_character_set(topDocument.get());
      std::string s = c ? c : "";
      g_free(c);
      return BrowserCharsetName(s);
    }();
    if (!url.empty()) left.push_back({url, charset});
    // The frames go with their page.
    for (auto& [frameId, frameDoc] : frameDocuments) shared->Leave(frameDoc.get());
    frameDocuments.clear();
  }
  // The frame's document before this one is left: its objects disconnect.
  auto previous = frameDocuments.find(id);
  if (previous != frameDocuments.end() && previous->second.get() != doc)
    shared->Leave(previous->second.get());
  frameDocuments[id] = GRef<WebKitDOMDocument>(doc);
  LiveBrowser* browser = isMain ? shared->top.get() : shared->BrowserOf(doc);
  if (isMain) {
    topDocument = GRef<WebKitDOMDocument>(doc);
    shared->top->readyState = READYSTATE_LOADING;
  }
  Listen(frame, doc, isMain);
  const gchar* uri = webkit_frame_get_uri(frame);
  if (browser) browser->FireWithUrl(DISPID_NAVIGATECOMPLETE2, FromUtf8(uri ? uri : ""));
}

void LivePage::Impl::Listen(WebKitFrame* frame, WebKitDOMDocument* doc, bool isTop) {
  auto context = ContextOf(frame, world);
  if (!context) return;
  auto window = Adopt(jsc_context_get_global_object(context.get()));
  auto document = Adopt(jsc_context_get_value(context.get(), "document"));
  if (!window || !document) return;
  auto data = [&](void (*handle)(ListenerData*, JSCValue*)) {
    return ListenerData{shared, this, doc, handle};
  };
  AddListener(context.get(), window.get(), "load", false, data([](ListenerData* d, JSCValue* e) {
                // Only the window's own load, not that of an image within it.
                auto target = TargetOf(e);
                WebKitDOMNode* node = NodeOf(target.get());
                if (node && WEBKIT_DOM_IS_DOCUMENT(node)) d->impl->Loaded(d->doc);
              }));
  AddListener(context.get(), document.get(), "submit", true,
              data([](ListenerData* d, JSCValue* e) { d->impl->Submit(e); }));
  AddListener(context.get(), document.get(), "contextmenu", true,
              data([](ListenerData* d, JSCValue* e) { d->impl->ContextMenu(e); }));
  if (isTop)
    AddListener(context.get(), document.get(), "keydown", true,
                data([](ListenerData* d, JSCValue* e) { d->impl->KeyDown(e); }));
}

void LivePage::Impl::Loaded(WebKitDOMDocument* doc) {
  LiveBrowser* browser = shared->BrowserOf(doc);
  if (!browser) return;
  std::u16string url = TakeString(webkit_dom_document_get_url(doc));
  if (browser == shared->top.get()) {
    browser->readyState = READYSTATE_INTERACTIVE;
    browser->Fire(DISPID_DOWNLOADCOMPLETE, {});
    if (!shared->alive || !shared->top) return;
    browser->readyState = READYSTATE_COMPLETE;
  }
  browser->FireWithUrl(DISPID_DOCUMENTCOMPLETE, url);
}

void LivePage::Impl::KeyDown(JSCValue* event) {
  if (!topDocument) return;
  LiveDocument* doc = shared->DocumentFor(topDocument.get());
  if (!doc || doc->events.Find(DIID_HTMLDocumentEvents2)->SinkCount() == 0) return;
  auto obj = MakeComObject<LiveEvent>(doc->anchor, GRef<JSCValue>(event));
  doc->events.Fire(DIID_HTMLDocumentEvents2, DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN,
                   {VariantDispatch(obj.get())});
  if (obj->Cancelled()) PreventDefault(event);
}

void LivePage::Impl::Submit(JSCValue* event) {
  auto target = TargetOf(event);
  WebKitDOMNode* node = NodeOf(target.get());
  if (!node || !WEBKIT_DOM_IS_ELEMENT(node)) return;
  auto it = shared->forms.find(WEBKIT_DOM_ELEMENT(node));
  if (it == shared->forms.end()) return;
  ComPtr<LiveNode> form = it->second;
  auto obj = MakeComObject<LiveEvent>(form->anchor, GRef<JSCValue>(event));
  // Sinks run before the engine builds what the form sends, so what they
  // change is sent.
  form->Events()->Fire(DIID_HTMLFormElementEvents2, DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT,
                       {VariantDispatch(obj.get())});
  if (obj->Cancelled()) PreventDefault(event);
}

void LivePage::Impl::ContextMenu(JSCValue* event) {
  auto target = TargetOf(event);
  WebKitDOMNode* node = NodeOf(target.get());
  if (!node) return;
  shared->menuDocument = WEBKIT_DOM_IS_DOCUMENT(node) ? WEBKIT_DOM_DOCUMENT(node)
                                                      : webkit_dom_node_get_owner_document(node);
}

LivePage::LivePage(WebKitWebPage* page) : impl_(std::make_unique<Impl>()) {
  impl_->page = page;
  impl_->shared->page = page;
  impl_->shared->top = MakeComObject<LiveBrowser>(impl_->shared, GRef<WebKitDOMElement>());
  impl_->world = webkit_script_world_new();
  // The default world is cleared for every frame's new window; our own world
  // then gives the frame's document without touching the page's scripts.
  impl_->clearedId = g_signal_connect(
      webkit_script_world_get_default(), "window-object-cleared",
      G_CALLBACK(+[](WebKitScriptWorld*, WebKitWebPage* p, WebKitFrame* frame, gpointer data) {
        auto* impl = static_cast<Impl*>(data);
        if (p == impl->page && impl->shared->alive) impl->Cleared(frame);
      }),
      impl_.get());
}

LivePage::~LivePage() {
  g_signal_handler_disconnect(webkit_script_world_get_default(), impl_->clearedId);
  impl_->shared->Clear();
  g_object_unref(impl_->world);
}

IWebBrowser2* LivePage::TopBrowser() const { return impl_->shared->top.get(); }

bool LivePage::BeforeNavigate2(const std::u16string& url) {
  LiveBrowser* top = impl_->shared->top.get();
  if (!top || top->quit) return false;
  VARIANT address = VariantString(url), flags = VariantInt(0), frame = VariantString(u""), postData,
          headers = VariantString(u"");
  VARIANT_BOOL cancel = VARIANT_FALSE;
  top->Fire(
      DISPID_BEFORENAVIGATE2,
      {VariantDispatch(static_cast<IWebBrowser2*>(top)), VariantRef(&address), VariantRef(&flags),
       VariantRef(&frame), VariantRef(&postData), VariantRef(&headers), VariantRef(&cancel)});
  return cancel != VARIANT_FALSE;
}

void LivePage::Quit() {
  if (impl_->shared->top) impl_->shared->top->Quit();
}

ComPtr<IHTMLWindow2> LivePage::MenuWindow() const {
  Shared& s = *impl_->shared;
  WebKitDOMDocument* doc = s.menuDocument ? s.menuDocument : impl_->topDocument.get();
  if (!doc) doc = webkit_web_page_get_dom_document(impl_->page);
  LiveDocument* d = s.DocumentFor(doc);
  if (!d) return nullptr;
  ComPtr<IHTMLWindow2> window;
  d->get_parentWindow(window.put());
  return window;
}

namespace {

GRef<WebKitDOMElement> ControlNamed(WebKitDOMDocument* doc, const std::string& key) {
  WebKitDOMElement* e = webkit_dom_document_get_element_by_id(doc, key.c_str());
  if (e) return GRef<WebKitDOMElement>(e);
  auto found = ElementsOf(webkit_dom_document_get_elements_by_name(doc, key.c_str()));
  return found.empty() ? GRef<WebKitDOMElement>() : found.front();
}

}  // namespace

bool LivePage::TypeText(const std::u16string& nameOrId, const std::u16string& text) {
  WebKitDOMDocument* doc = webkit_web_page_get_dom_document(impl_->page);
  GRef<WebKitDOMElement> control =
      doc ? ControlNamed(doc, Utf8(nameOrId)) : GRef<WebKitDOMElement>();
  WebKitDOMElement* e = control.get();
  if (!e) return false;
  std::string value = Utf8(text);
  if (WEBKIT_DOM_IS_HTML_INPUT_ELEMENT(e))
    webkit_dom_html_input_element_set_value(WEBKIT_DOM_HTML_INPUT_ELEMENT(e), value.c_str());
  else if (WEBKIT_DOM_IS_HTML_TEXT_AREA_ELEMENT(e))
    webkit_dom_html_text_area_element_set_value(WEBKIT_DOM_HTML_TEXT_AREA_ELEMENT(e),
                                                value.c_str());
  else
    return false;
  return true;
}

bool LivePage::SubmitForm(const std::u16string& indexOrName) {
  WebKitDOMDocument* doc = webkit_web_page_get_dom_document(impl_->page);
  if (!doc) return false;
  auto forms = Select(doc, "form");
  std::string key = Utf8(indexOrName);
  WebKitDOMElement* form = nullptr;
  bool numeric = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
  if (numeric) {
    std::size_t i = std::stoul(key);
    if (i < forms.size()) form = forms[i].get();
  } else {
    for (const auto& f : forms) {
      gchar* name = webkit_dom_element_get_attribute(f.get(), "name");
      gchar* id = webkit_dom_element_get_attribute(f.get(), "id");
      bool match = (name && key == name) || (id && key == id);
      g_free(name);
      g_free(id);
      if (match) {
        form = f.get();
        break;
      }
    }
  }
  if (!form) return false;
  // As a submit button would: the submit event first, then the form is sent.
  WebKitDOMElement* button = webkit_dom_element_query_selector(
      form, "input[type=submit], input[type=image], button[type=submit], button:not([type])",
      nullptr);
  if (button && WEBKIT_DOM_IS_HTML_ELEMENT(button)) {
    webkit_dom_html_element_click(WEBKIT_DOM_HTML_ELEMENT(button));
    return true;
  }
  WebKitDOMElement* temp = webkit_dom_document_create_element(doc, "input", nullptr);
  if (!temp) return false;
  webkit_dom_element_set_attribute(temp, "type", "submit", nullptr);
  webkit_dom_element_set_attribute(temp, "hidden", "", nullptr);
  webkit_dom_node_append_child(WEBKIT_DOM_NODE(form), WEBKIT_DOM_NODE(temp), nullptr);
  webkit_dom_html_element_click(WEBKIT_DOM_HTML_ELEMENT(temp));
  webkit_dom_node_remove_child(WEBKIT_DOM_NODE(form), WEBKIT_DOM_NODE(temp), nullptr);
  return true;
}

const std::vector<LivePage::Left>& LivePage::LeftPages() const { return impl_->left; }

}  // namespace quillmer::webdom
