// Navigation: loading pages into a window's browsers with the events the
// browser sends while it does, and following links.
#include <unistd.h>

#include <climits>

#include "platform/browser/model.h"

namespace quillmer::browser {
namespace {

std::u16string Trimmed(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return std::u16string(s.substr(b, e - b));
}

// A file in the working directory, for resolving what the user typed.
std::string WorkingFile() {
  char buf[PATH_MAX];
  const char* dir = ::getcwd(buf, sizeof buf);
  return std::string(dir ? dir : ".") + "/.";
}

std::u16string FrameName(const WebBrowser* b) {
  const std::u16string* name = b->frameElement ? b->frameElement->Attr(u"name") : nullptr;
  return name ? *name : u"";
}

WebBrowser* AsBrowser(IUnknown* unknown) { return dynamic_cast<WebBrowser*>(unknown); }

WebBrowser* FindFrame(WebBrowser* b, std::u16string_view name) {
  if (!b->document) return nullptr;
  for (IUnknown* e : b->document->embeddings) {
    WebBrowser* frame = AsBrowser(e);
    if (!frame) continue;
    if (FrameName(frame) == name) return frame;
    if (WebBrowser* inner = FindFrame(frame, name)) return inner;
  }
  return nullptr;
}

// The browser a target name picks from `from`; null for an unknown name.
WebBrowser* TargetOf(WebBrowser* from, std::u16string_view name) {
  if (name.empty() || EqualNoCase(name, u"_self")) return from;
  if (EqualNoCase(name, u"_top") || EqualNoCase(name, u"_blank")) return from->Top();
  if (EqualNoCase(name, u"_parent")) return from->parent ? from->parent : from;
  return FindFrame(from->Top(), name);
}

std::u16string UrlOf(WebBrowser* b) {
  std::u16string url;
  b->get_LocationURL(&url);
  return url;
}

// One navigation of a window: fires the events as the browser loads the
// target and its frames.
class Navigation final : public LoadHooks {
 public:
  explicit Navigation(WebBrowser* target)
      : target_(target), top_(target->Top()), serial_(++top_->navigation) {
    top_->navigating = true;
    top_->stopRequested = false;
  }
  ~Navigation() override {
    if (top_->navigation == serial_) top_->navigating = false;
  }

  // Neither replaced by a newer navigation, nor stopped, nor quit.
  bool Live() const { return Current() && !top_->stopRequested && !top_->quit; }
  bool Current() const { return top_->navigation == serial_; }

  // BeforeNavigate2; false when a sink cancelled.
  bool Before(WebBrowser* b, const std::u16string& url) {
    VARIANT address = VariantString(url), flags = VariantInt(0),
            frame = VariantString(FrameName(b)), postData, headers = VariantString(u"");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    Fire(DISPID_BEFORENAVIGATE2,
         {VariantDispatch(b), VariantRef(&address), VariantRef(&flags), VariantRef(&frame),
          VariantRef(&postData), VariantRef(&headers), VariantRef(&cancel)});
    return cancel == VARIANT_FALSE;
  }

  void Fire(DISPID id, const std::vector<VARIANT>& args) {
    top_->events.Fire(DIID_DWebBrowserEvents2, id, args);
  }

  void FireWithUrl(DISPID id, WebBrowser* b) {
    VARIANT url = VariantString(UrlOf(b));
    Fire(id, {VariantDispatch(b), VariantRef(&url)});
  }

  bool BeginFrame(WebBrowser* frame, const std::u16string& url) override {
    if (!Live() || !Before(frame, url) || !Live()) {
      frame->readyState = READYSTATE_COMPLETE;
      return false;
    }
    frame->readyState = READYSTATE_LOADING;
    return true;
  }

  void Navigated(WebBrowser* b) override {
    b->readyState = READYSTATE_INTERACTIVE;
    if (Live()) FireWithUrl(DISPID_NAVIGATECOMPLETE2, b);
  }

  void Loaded(WebBrowser* b) override { loaded_.push_back(b); }

  // Everything after BeforeNavigate2 of the target.
  void Run(const std::string& path, std::optional<std::string> bytes) {
    target_->readyState = READYSTATE_LOADING;
    Fire(DISPID_DOWNLOADBEGIN, {});
    if (!Current()) return;
    if (bytes) {
      LoadInto(target_, std::move(*bytes), path, LoadOptions{}, this);
    } else {
      LoadBlank(target_);
      Navigated(target_);
      Loaded(target_);
    }
    if (!Current()) return;
    // Frames complete before their parents, and all before the target.
    for (WebBrowser* b : loaded_) {
      if (b == target_) continue;
      b->readyState = READYSTATE_COMPLETE;
      if (Live()) FireWithUrl(DISPID_DOCUMENTCOMPLETE, b);
      if (!Current()) return;
    }
    // The download ends while the page is still finishing.
    const bool stopped = !Live();
    if (!top_->quit) Fire(DISPID_DOWNLOADCOMPLETE, {});
    if (!Current()) return;
    target_->readyState = READYSTATE_COMPLETE;
    if (!stopped && Live()) FireWithUrl(DISPID_DOCUMENTCOMPLETE, target_);
  }

 private:
  WebBrowser* target_;
  WebBrowser* top_;
  unsigned serial_;
  std::vector<WebBrowser*> loaded_;
};

// Navigates b to the file at path (bytes read), or to about:blank when bytes
// is empty.
HRESULT NavigateBrowser(WebBrowser* b, const std::string& path, std::optional<std::string> bytes) {
  ComPtr<IWebBrowser2> keep(b);
  WebBrowser* top = b->Top();
  if (top->quit) return E_UNEXPECTED;
  Navigation navigation(b);
  const std::u16string url = bytes ? FileUrlOf(path) : u"about:blank";
  if (!navigation.Before(b, url) || !navigation.Live()) return S_OK;
  // The page being left, as the sinks left it.
  if (b->document && !b->document->path.empty())
    top->leftPages.push_back({b->document->url, Widen(b->document->charset)});
  else if (b->otherDocument)
    top->leftPages.push_back({b->otherUrl, u""});
  navigation.Run(path, std::move(bytes));
  return S_OK;
}

// What a URL typed or linked names: about:blank (path empty, no bytes), or a
// readable local file.
HRESULT ResolveTarget(const std::string& fromPath, std::u16string_view text, std::string* path,
                      std::optional<std::string>* bytes) {
  const std::u16string url = Trimmed(text);
  if (EqualNoCase(url, u"about:blank")) return S_OK;
  LocalRef ref = ResolveLocal(fromPath, url);
  if (ref.path.empty()) return INET_E_RESOURCE_NOT_FOUND;
  *bytes = ReadPageFile(ref.path);
  if (!*bytes) return INET_E_RESOURCE_NOT_FOUND;
  *path = ref.path;
  return S_OK;
}

}  // namespace

HRESULT WebBrowser::Navigate2(const VARIANT& url, const VARIANT& /*flags*/,
                              const VARIANT& targetFrameName, const VARIANT& /*postData*/,
                              const VARIANT& /*headers*/) {
  QM_FAULT("IWebBrowser2::Navigate2", nullptr);
  if (Top()->quit) return E_UNEXPECTED;
  std::u16string text, frame;
  if (FAILED(VariantToString(url, &text))) return E_INVALIDARG;
  const VARIANT& target = VariantDeref(targetFrameName);
  if (target.vt != VT_EMPTY && target.vt != VT_NULL && FAILED(VariantToString(target, &frame)))
    return E_INVALIDARG;
  WebBrowser* dest = TargetOf(this, frame);
  if (!dest) return E_INVALIDARG;
  std::string path;
  std::optional<std::string> bytes;
  if (HRESULT hr = ResolveTarget(WorkingFile(), text, &path, &bytes); FAILED(hr)) return hr;
  return NavigateBrowser(dest, path, std::move(bytes));
}

HRESULT WebBrowser::get_Busy(bool* out) {
  QM_FAULT("IWebBrowser2::get_Busy", out);
  if (!out) return E_POINTER;
  *out = Top()->navigating;
  return S_OK;
}

}  // namespace quillmer::browser

namespace quillmer {

using namespace browser;

ComPtr<IWebBrowser2> NewBrowserWindow() {
  auto* zone = new Zone;
  WebBrowser* top = zone->Make<WebBrowser>(nullptr);
  ComPtr<IWebBrowser2> result(top);  // the zone lives from here on
  LoadBlank(top);
  return result;
}

std::vector<LeftPage> LeftPages(IWebBrowser2* browser) {
  auto* b = dynamic_cast<WebBrowser*>(browser);
  return b ? b->Top()->leftPages : std::vector<LeftPage>{};
}

HRESULT FollowLink(IHTMLElement* link) {
  auto* e = dynamic_cast<DomElement*>(link);
  if (!e || !(e->Is(u"a") || e->Is(u"area")) || !e->Attr(u"href") || !e->doc->browser)
    return E_INVALIDARG;
  ComPtr<IHTMLElement> keep(link);
  const std::u16string href = Trimmed(*e->Attr(u"href"));
  if (href.starts_with(u"#")) return S_OK;
  const std::u16string* target = e->Attr(u"target");
  WebBrowser* from = e->doc->browser;
  WebBrowser* dest = TargetOf(from, target ? Trimmed(*target) : u"");
  if (!dest) dest = from->Top();
  std::string path;
  std::optional<std::string> bytes;
  const std::string base = e->doc->path.empty() ? WorkingFile() : e->doc->path;
  if (HRESULT hr = ResolveTarget(base, href, &path, &bytes); FAILED(hr)) return hr;
  return NavigateBrowser(dest, path, std::move(bytes));
}

}  // namespace quillmer
