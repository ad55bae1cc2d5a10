// A web extension for the live page's tests: it makes a LivePage for each
// page, listens to its browser events, and when a test page has loaded runs
// the product's page code on it and reports what it saw to the view, a
// "report" message per line ("key=value") and "done" at the end.
#include <webkit2/webkit-web-extension.h>

#include <map>
#include <memory>
#include <string>

#include "page/page_convert.h"
#include "platform/base/text.h"
#include "platform/com/service.h"
#include "platform/webdom/live_page.h"

using namespace quillmer;

namespace {

std::string Base(std::u16string url) {
  std::string s = ToUtf8(url);
  auto slash = s.rfind('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

// An IDispatch sink calling a function with the DISPID and arguments.
class Sink final : public ComObject<IDispatch> {
 public:
  using Handler = std::function<void(DISPID, DispatchArgs&)>;
  explicit Sink(Handler h) : handler_(std::move(h)) {}
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    DispatchArgs args(params);
    handler_(id, args);
    return S_OK;
  }

 private:
  Handler handler_;
};

template <class T>
ComPtr<T> As(IUnknown* p) {
  ComPtr<T> out;
  if (p) p->QueryInterface(IID_OF(T), out.put_void());
  return out;
}

ComPtr<IHTMLDocument2> DocOf(IWebBrowser2* b) {
  ComPtr<IDispatch> d;
  if (b) b->get_Document(d.put());
  return As<IHTMLDocument2>(d.get());
}

std::string BodyText(IHTMLDocument2* doc) {
  ComPtr<IHTMLElement> body;
  std::u16string text;
  if (doc && doc->get_body(body.put()) == S_OK && body) body->get_innerText(&text);
  return ToUtf8(text);
}

std::vector<ComPtr<IUnknown>> Embeddings(IHTMLDocument2* doc) {
  std::vector<ComPtr<IUnknown>> out;
  auto container = As<IOleContainer>(doc);
  ComPtr<IEnumUnknown> e;
  if (!container || container->EnumObjects(OLECONTF_EMBEDDINGS, e.put()) != S_OK) return out;
  for (;;) {
    ComPtr<IUnknown> item;
    if (e->Next(1, item.put(), nullptr) != S_OK) break;
    out.push_back(item);
  }
  return out;
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(hr));
  return buf;
}

struct Harness {
  WebKitWebPage* page;
  std::unique_ptr<webdom::LivePage> live;
  PageState state;
  ComPtr<IDispatch> browserSink, formSink, keySink;
  DWORD cookie = 0;
  std::string events;                // the browser events so far, in order
  ComPtr<IHTMLDocument2> keptDocument;  // held across a navigation
  int keys = 0;

  void Send(const std::string& name, const std::string& text = "") {
    WebKitUserMessage* m = webkit_user_message_new(name.c_str(), g_variant_new_string(text.c_str()));
    webkit_web_page_send_message_to_view(page, m, nullptr, nullptr, nullptr);
  }
  void Report(const std::string& key, const std::string& value) { Send("report", key + "=" + value); }

  std::string Label(IDispatch* browser) {
    auto b = As<IWebBrowser2>(browser);
    if (!b) return "?";
    if (b.get() == live->TopBrowser()) return "top";
    std::u16string url;
    b->get_LocationURL(&url);
    return Base(url);
  }

  void OnBrowserEvent(DISPID id, DispatchArgs& args) {
    auto url = [&] {
      VARIANT* v = args.value(1);
      return v && v->vt == VT_BSTR ? Base(v->bstrVal) : std::string("?");
    };
    auto disp = [&]() -> IDispatch* {
      VARIANT* v = args.at(0);
      return v && v->vt == VT_DISPATCH ? v->pdispVal.get() : nullptr;
    };
    switch (id) {
      case DISPID_NAVIGATECOMPLETE2:
        events += "NC2(" + Label(disp()) + "," + url() + ") ";
        break;
      case DISPID_DOWNLOADCOMPLETE: {
        READYSTATE rs = READYSTATE_UNINITIALIZED;
        live->TopBrowser()->get_ReadyState(&rs);
        events += "DLC(" + std::to_string(rs) + ") ";
        break;
      }
      case DISPID_DOCUMENTCOMPLETE:
        events += "DC(" + Label(disp()) + "," + url() + ") ";
        if (disp() && As<IWebBrowser2>(disp()).get() == live->TopBrowser()) TopLoaded(url());
        break;
      case DISPID_ONQUIT:
        events += "QUIT ";
        break;
      default:
        break;
    }
  }

  void TopLoaded(const std::string& page) {
    if (page == "frames.html") Frames();
    else if (page == "form.html") Form();
    else if (page.rfind("result.html", 0) == 0) Result();
    else if (page == "keys.html") Keys();
  }

  void Frames() {
    Report("events", events);
    IWebBrowser2* top = live->TopBrowser();
    auto doc = DocOf(top);
    std::u16string s;
    doc->get_title(&s);
    Report("title", ToUtf8(s));
    doc->get_charset(&s);
    Report("charset", ToUtf8(s));
    auto frames = Embeddings(doc.get());
    Report("top.embeddings", std::to_string(frames.size()));
    std::string tree;
    for (auto& f : frames) {
      auto b = As<IWebBrowser2>(f.get());
      if (!b) {
        tree += "object ";
        continue;
      }
      tree += Label(b.get());
      // Its services lead to the top-level browser and to itself.
      auto sp = As<IServiceProvider>(b.get());
      ComPtr<IWebBrowser2> topOf, self;
      QueryService(sp.get(), SID_STopLevelBrowser, &topOf);
      QueryService(sp.get(), SID_SWebBrowserApp, &self);
      tree += topOf.get() == top && self.get() == b.get() ? "[ok]" : "[bad services]";
      tree += "{";
      for (auto& g : Embeddings(DocOf(b.get()).get())) {
        auto gb = As<IWebBrowser2>(g.get());
        tree += gb ? Label(gb.get()) : std::string("object");
        tree += " ";
      }
      tree += "} ";
    }
    Report("tree", tree);
    // The same browser object for the same frame.
    auto again = Embeddings(doc.get());
    Report("same.browser", again.size() == frames.size() && !again.empty() &&
                                   IdentityOf(again[0].get()) == IdentityOf(frames[0].get())
                               ? "yes"
                               : "no");

    PageContext context{PageSettings{}, state, nullptr};
    context.settings.AlterWBCharset = true;
    ConvertBrowserTree(context, top, cdToTrad, ConversionTrigger::UserRequest,
                       CharsetPolicy::MaySwitch);
    for (auto& f : frames) {
      auto b = As<IWebBrowser2>(f.get());
      if (!b) continue;
      auto d = DocOf(b.get());
      Report("text." + Label(b.get()), BodyText(d.get()));
      d->get_charset(&s);
      Report("charset." + Label(b.get()), ToUtf8(s));
      for (auto& g : Embeddings(d.get()))
        if (auto gb = As<IWebBrowser2>(g.get())) Report("text." + Label(gb.get()), BodyText(DocOf(gb.get()).get()));
    }
    doc->get_title(&s);
    Report("title.after", ToUtf8(s));
    VARIANT orig;
    top->GetProperty(u"OrigCharset", &orig);
    Report("OrigCharset", orig.vt == VT_BSTR ? ToUtf8(orig.bstrVal) : "(none)");
    Send("done");
  }

  void Form() {
    IWebBrowser2* top = live->TopBrowser();
    auto doc = DocOf(top);
    std::u16string s;
    doc->get_charset(&s);
    Report("charset", ToUtf8(s));
    ComPtr<IHTMLElementCollection> forms;
    doc->get_forms(forms.put());
    ComPtr<IDispatch> formDisp;
    forms->item(VariantInt(0), VARIANT{}, formDisp.put());
    auto form = As<IHTMLFormElement>(formDisp.get());
    Report("form", form ? "yes" : "no");
    if (!form) return Send("done");
    formSink = MakeComObject<Sink>([this, form](DISPID id, DispatchArgs& args) {
      if (id != DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT) return;
      VARIANT* e = args.value(0);
      auto event = As<IHTMLEventObj>(e && e->vt == VT_DISPATCH ? e->pdispVal.get() : nullptr);
      std::u16string type;
      if (event) event->get_type(&type);
      events += "SUBMIT(" + ToUtf8(type) + ") ";
      ComPtr<IDispatch> q;
      form->item(VariantString(u"q"), VARIANT{}, q.put());
      if (auto qe = As<IHTMLElement>(q.get())) qe->setAttribute(u"value", VariantString(u"changed"), 0);
    });
    DWORD c = 0;
    Report("form.advise", Hex(AtlAdvise(form.get(), formSink.get(), DIID_HTMLFormElementEvents2, &c)));

    live->TypeText(u"q", u"typed");
    ComPtr<IDispatch> q;
    form->item(VariantString(u"q"), VARIANT{}, q.put());
    VARIANT v;
    As<IHTMLElement>(q.get())->getAttribute(u"value", 0, &v);
    Report("q.value", v.vt == VT_BSTR ? ToUtf8(v.bstrVal) : "(null)");

    Report("put.bad", Hex(doc->put_charset(u"no-such-charset")));
    Report("put.utf8", Hex(doc->put_charset(u"UTF-8")));
    doc->get_charset(&s);
    Report("charset.after", ToUtf8(s));
    VARIANT accept;
    As<IHTMLElement>(formDisp.get())->getAttribute(u"accept-charset", 0, &accept);
    Report("accept-charset", accept.vt == VT_BSTR ? ToUtf8(accept.bstrVal) : "(null)");

    ComPtr<IHTMLElement> body;
    doc->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    auto style3 = As<IHTMLStyle3>(style.get());
    VARIANT zoom;
    style3->get_zoom(&zoom);
    Report("zoom", ToUtf8(zoom.bstrVal));
    style3->put_zoom(VariantString(u"150%"));
    style3->get_zoom(&zoom);
    Report("zoom.after", ToUtf8(zoom.bstrVal));

    // A <style>'s text; a linked sheet's rules, and its new text put beside it.
    ComPtr<IHTMLStyleSheetsCollection> sheets;
    doc->get_styleSheets(sheets.put());
    LONG count = 0;
    sheets->get_length(&count);
    Report("sheets", std::to_string(count));
    auto sheet = [&](int i) {
      VARIANT item;
      sheets->item(VariantInt(i), &item);
      return As<IHTMLStyleSheet>(item.pdispVal.get());
    };
    if (count == 2) {
      sheet(0)->get_href(&s);
      Report("sheet0.href", ToUtf8(s));
      sheet(0)->get_cssText(&s);
      Report("sheet0.text", ToUtf8(s));
      sheet(1)->get_cssText(&s);
      Report("sheet1.text", ToUtf8(s));
      sheet(0)->put_cssText(u"body { margin: 5px; }");
      sheet(0)->get_cssText(&s);
      Report("sheet0.after", ToUtf8(s));
      ComPtr<IHTMLElementCollection> styles;
      As<IHTMLDocument3>(doc.get())->getElementsByTagName(u"style", styles.put());
      LONG n = 0;
      styles->get_length(&n);
      Report("style.elements", std::to_string(n));
    }

    keptDocument = doc;
    Report("submitted", live->SubmitForm(u"search") ? "yes" : "no");
  }

  void Result() {
    std::u16string url, title;
    live->TopBrowser()->get_LocationURL(&url);
    Report("url", Base(url));
    Report("stale.title", Hex(keptDocument->get_title(&title)));
    std::string left;
    for (const auto& l : live->LeftPages()) left += ToUtf8(l.charset) + " " + Base(l.url) + ";";
    Report("left", left);
    Report("events", events);
    Send("done");
  }

  void Keys() {
    auto doc = DocOf(live->TopBrowser());
    keySink = MakeComObject<Sink>([this](DISPID id, DispatchArgs& args) {
      if (id != DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN) return;
      VARIANT* e = args.value(0);
      auto event = As<IHTMLEventObj>(e && e->vt == VT_DISPATCH ? e->pdispVal.get() : nullptr);
      if (!event) return;
      LONG code = 0;
      bool shift = false, ctrl = false;
      event->get_keyCode(&code);
      event->get_shiftKey(&shift);
      event->get_ctrlKey(&ctrl);
      Report("key" + std::to_string(keys++),
             std::to_string(code) + (shift ? "+shift" : "") + (ctrl ? "+ctrl" : ""));
      if (code == 'B') event->put_returnValue(VariantBool(false));
      if (code == 113) {  // F2 ends the test
        auto d = DocOf(live->TopBrowser());
        auto d3 = As<IHTMLDocument3>(d.get());
        ComPtr<IHTMLElement> field;
        d3->getElementById(u"field", field.put());
        VARIANT v;
        if (field) field->getAttribute(u"value", 0, &v);
        Report("field", v.vt == VT_BSTR ? ToUtf8(v.bstrVal) : "(null)");
        Send("done");
      }
    });
    DWORD c = 0;
    Report("doc.advise", Hex(AtlAdvise(doc.get(), keySink.get(), DIID_HTMLDocumentEvents2, &c)));
    Send("keys");
  }
};

std::map<WebKitWebPage*, std::unique_ptr<Harness>> harnesses;

void PageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  auto h = std::make_unique<Harness>();
  h->page = page;
  h->live = std::make_unique<webdom::LivePage>(page);
  Harness* raw = h.get();
  h->browserSink = MakeComObject<Sink>([raw](DISPID id, DispatchArgs& a) { raw->OnBrowserEvent(id, a); });
  AtlAdvise(h->live->TopBrowser(), h->browserSink.get(), DIID_DWebBrowserEvents2, &h->cookie);
  harnesses[page] = std::move(h);
  g_object_weak_ref(G_OBJECT(page), [](gpointer, GObject* gone) {
    harnesses.erase(reinterpret_cast<WebKitWebPage*>(gone));
  }, nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(PageCreated), nullptr);
}
