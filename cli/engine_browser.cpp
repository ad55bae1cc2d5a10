#include "cli/engine_browser.h"

#include <map>

#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/engine_messages.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/service.h"

namespace quillmer::cli {
namespace {

namespace msg = engine_messages;

// Runs a call; an error becomes E_FAIL (the callers absorb it as a page they
// could not reach).
template <class F>
HRESULT Guard(F&& f) {
  try {
    f();
    return S_OK;
  } catch (const Error& e) {
    return FAILED(e.code()) ? e.code() : E_FAIL;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

// The body's inline style: only its zoom is reached from here.
class EngineStyle final : public ComObject<IHTMLStyle, IHTMLStyle3> {
 public:
  explicit EngineStyle(EngineCall call) : call_(std::move(call)) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_fontFamily(std::u16string*) override { return E_NOTIMPL; }
  HRESULT put_fontFamily(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_font(std::u16string*) override { return E_NOTIMPL; }
  HRESULT put_font(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_cssText(std::u16string*) override { return E_NOTIMPL; }
  HRESULT put_cssText(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_zoom(VARIANT* out) override {
    if (!out) return E_POINTER;
    return Guard([&] { *out = VariantString(FromUtf8(call_(msg::kGetZoom, {}))); });
  }
  HRESULT put_zoom(const VARIANT& value) override {
    std::u16string text;
    if (FAILED(VariantToString(value, &text))) return E_INVALIDARG;
    return Guard([&] { call_(msg::kPutZoom, {ToUtf8(text)}); });
  }

 private:
  EngineCall call_;
};

class EngineBody final : public ComObject<IHTMLElement> {
 public:
  explicit EngineBody(EngineCall call) : call_(std::move(call)) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT getAttribute(const std::u16string&, LONG, VARIANT*) override { return E_NOTIMPL; }
  HRESULT setAttribute(const std::u16string&, const VARIANT&, LONG) override { return E_NOTIMPL; }
  HRESULT removeAttribute(const std::u16string&, LONG, bool*) override { return E_NOTIMPL; }
  HRESULT get_tagName(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = u"BODY";
    return S_OK;
  }
  HRESULT get_id(std::u16string*) override { return E_NOTIMPL; }
  HRESULT get_style(IHTMLStyle** out) override {
    if (!out) return E_POINTER;
    *out = MakeComObject<EngineStyle>(call_).detach();
    return S_OK;
  }
  HRESULT get_innerText(std::u16string* out) override {
    if (!out) return E_POINTER;
    return Guard([&] { *out = FromUtf8(call_(msg::kText, {})); });
  }
  HRESULT put_innerText(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_innerHTML(std::u16string*) override { return E_NOTIMPL; }
  HRESULT get_outerHTML(std::u16string*) override { return E_NOTIMPL; }
  HRESULT get_document(IDispatch**) override { return E_NOTIMPL; }
  HRESULT get_parentElement(IHTMLElement**) override { return E_NOTIMPL; }

 private:
  EngineCall call_;
};

// The document as the toolbar reads it: its address, title, charset and
// body. The DOM itself is walked in the web process, never from here.
class EngineDocument final : public ComObject<IHTMLDocument2> {
 public:
  EngineDocument(EngineCall call, EngineViewState view)
      : call_(std::move(call)), view_(std::move(view)) {}
  QM_NO_DISPATCH_MEMBERS
  HRESULT get_all(IHTMLElementCollection**) override { return E_NOTIMPL; }
  HRESULT get_body(IHTMLElement** out) override {
    if (!out) return E_POINTER;
    *out = MakeComObject<EngineBody>(call_).detach();
    return S_OK;
  }
  HRESULT get_title(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = view_.title();
    return S_OK;
  }
  HRESULT put_title(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_charset(std::u16string* out) override {
    if (!out) return E_POINTER;
    return Guard([&] { *out = FromUtf8(call_(msg::kCharset, {})); });
  }
  HRESULT put_charset(const std::u16string&) override { return E_NOTIMPL; }
  HRESULT get_links(IHTMLElementCollection**) override { return E_NOTIMPL; }
  HRESULT get_forms(IHTMLElementCollection**) override { return E_NOTIMPL; }
  HRESULT get_styleSheets(IHTMLStyleSheetsCollection**) override { return E_NOTIMPL; }
  HRESULT get_URL(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = view_.url();
    return S_OK;
  }
  HRESULT get_parentWindow(IHTMLWindow2**) override { return E_NOTIMPL; }
  HRESULT get_readyState(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = view_.busy() ? u"loading" : u"complete";
    return S_OK;
  }

 private:
  EngineCall call_;
  EngineViewState view_;
};

class EngineBrowser final : public ComObject<IWebBrowser2, IServiceProvider, IPageWork> {
 public:
  EngineBrowser(EngineCall call, EngineViewState view)
      : call_(std::move(call)), view_(std::move(view)) {}
  QM_NO_DISPATCH_MEMBERS

  HRESULT get_Document(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = MakeComObject<EngineDocument>(call_, view_).detach();
    return S_OK;
  }
  HRESULT get_ReadyState(READYSTATE* out) override {
    if (!out) return E_POINTER;
    *out = view_.busy() ? READYSTATE_INTERACTIVE : READYSTATE_COMPLETE;
    return S_OK;
  }
  HRESULT Stop() override {
    view_.stop();
    return S_OK;
  }
  HRESULT Quit() override {
    properties_.clear();
    return S_OK;
  }
  HRESULT GetProperty(const std::u16string& name, VARIANT* out) override {
    if (!out) return E_POINTER;
    auto it = properties_.find(name);
    *out = it == properties_.end() ? VARIANT{} : it->second;
    return S_OK;
  }
  HRESULT PutProperty(const std::u16string& name, const VARIANT& value) override {
    properties_[name] = value;
    return S_OK;
  }
  HRESULT get_LocationURL(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = view_.url();
    return S_OK;
  }
  HRESULT get_LocationName(std::u16string* out) override {
    if (!out) return E_POINTER;
    *out = view_.title();
    return S_OK;
  }
  HRESULT Navigate2(const VARIANT& url, const VARIANT&, const VARIANT&, const VARIANT&,
                    const VARIANT&) override {
    std::u16string address;
    if (FAILED(VariantToString(url, &address))) return E_INVALIDARG;
    view_.navigate(address);
    return S_OK;
  }
  HRESULT get_Busy(bool* out) override {
    if (!out) return E_POINTER;
    *out = view_.busy();
    return S_OK;
  }

  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (service == SID_STopLevelBrowser || service == SID_SWebBrowserApp)
      return QueryInterface(riid, out);
    return E_NOINTERFACE;
  }

  HRESULT ConvertPage(LONG direction) override {
    return Guard([&] { call_(msg::kConvertPage, {direction == 1 ? "1" : "0"}); });
  }

 private:
  EngineCall call_;
  EngineViewState view_;
  std::map<std::u16string, VARIANT> properties_;
};

}  // namespace

ComPtr<IWebBrowser2> MakeEngineBrowser(EngineCall call, EngineViewState view) {
  return MakeComObject<EngineBrowser>(std::move(call), std::move(view));
}

}  // namespace quillmer::cli
