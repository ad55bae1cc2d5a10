#include "com/form_events.h"

#include <optional>

#include "engine/clipboard.h"
#include "engine/detect.h"
#include "page/charset_rules.h"
#include "page/page_access.h"
#include "page/page_convert.h"
#include "platform/win32/keys.h"
#include "platform/win32/window.h"
#include "ui/zoom.h"

namespace quillmer {
namespace {

// Charset names are ASCII; anything else cannot name one we know.
std::string Narrow(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool HasCharAbove0080(std::u16string_view text) {
  for (char16_t c : text)
    if (c > 0x80) return true;
  return false;
}

// The direction that brings text into the script of the page's charset;
// nothing when the system's code page is that script's already or the charset
// is neither script's. The names compare exactly.
std::optional<ConvDirection> SubmitDirection(std::string_view charset, UINT systemCodePage) {
  const bool gb = charset == "gb2312" || charset == "gb18030" || charset == "hz-gb-2312";
  const bool big5 = charset == "big5";
  if (systemCodePage == kCodePageBig5 && big5) return std::nullopt;
  if ((systemCodePage == kCodePageGbk || systemCodePage == kCodePageGb18030) && gb)
    return std::nullopt;
  if (gb) return cdToSim;
  if (big5) return cdToTrad;
  return std::nullopt;
}

}  // namespace

void ConnectFormEvents(TFormConnections& connections, IUnknown* sink, IWebBrowser2* browser) {
  if (!browser || !sink) return;
  try {
    ComPtr<IDispatch> documentDispatch;
    OleCheck(browser->get_Document(documentDispatch.put()), "IWebBrowser2::get_Document");
    auto document =
        documentDispatch ? documentDispatch.query<IHTMLDocument2>() : ComPtr<IHTMLDocument2>();
    if (!document) return;
    ComPtr<IHTMLElementCollection> forms;
    OleCheck(document->get_forms(forms.put()), "IHTMLDocument2::get_forms");
    LONG length = 0;
    OleCheck(ThrowIfNull(forms)->get_length(&length), "IHTMLElementCollection::get_length");
    for (LONG i = 0; i < length; ++i) {
      ComPtr<IDispatch> item;
      OleCheck(forms->item(VariantInt(i), VariantInt(0), item.put()),
               "IHTMLElementCollection::item");
      auto form = item ? item.query<IHTMLFormElement>() : ComPtr<IHTMLFormElement>();
      if (!form) break;
      // A form that cannot be connected sends its values as they are; the
      // others still get theirs converted.
      auto container = form.query<IConnectionPointContainer>();
      if (!container) continue;
      ComPtr<IConnectionPoint> point;
      if (FAILED(container->FindConnectionPoint(DIID_HTMLFormElementEvents2, point.put())) ||
          !point)
        continue;
      DWORD cookie = 0;
      if (FAILED(point->Advise(sink, &cookie))) continue;
      connections.push_back(TFormCPInfo{std::move(point), cookie});
    }
  } catch (const std::exception&) {
    // The connections made so far stay.
  }
}

void ConnectFormEventsTree(TFormConnections& connections, IUnknown* sink, IWebBrowser2* browser) {
  if (!browser) return;
  ConnectFormEvents(connections, sink, browser);
  const int n = CountEmbeddedObjects(browser);
  for (int i = 0; i < n; ++i)
    if (auto frame = GetEmbeddedBrowser(browser, i))
      ConnectFormEventsTree(connections, sink, frame.get());
}

void DisconnectFormEvents(TFormConnections& connections) {
  // Taken out first: an Unadvise that reaches back into the helper finds an
  // empty list.
  TFormConnections old;
  old.swap(connections);
  for (TFormCPInfo& c : old)
    if (c.ConnectionPoint) c.ConnectionPoint->Unadvise(c.Cookie);
}

void FormSubmit(ModuleState& module, IHTMLEventObj* pEvtObj) {
  if (!pEvtObj) return;
  try {
    ComPtr<IHTMLElement> source;
    OleCheck(pEvtObj->get_srcElement(source.put()), "IHTMLEventObj::get_srcElement");
    auto form = QueryOrThrow<IHTMLFormElement>(source.get());
    ComPtr<IDispatch> documentDispatch;
    OleCheck(source->get_document(documentDispatch.put()), "IHTMLElement::get_document");
    auto document = QueryOrThrow<IHTMLDocument2>(documentDispatch.get());
    std::u16string declared;
    OleCheck(document->get_charset(&declared), "IHTMLDocument2::get_charset");
    std::string charset = LowerCharsetName(declared);

    const SharedSettingsData& settings = module.shared;
    if (settings.page.AlterWBCharset) {
      ComPtr<IHTMLWindow2> window;
      OleCheck(document->get_parentWindow(window.put()), "IHTMLDocument2::get_parentWindow");
      auto services = QueryOrThrow<IServiceProvider>(ThrowIfNull(window).get());
      ComPtr<IWebBrowser2> browser;
      OleCheck(QueryService(services.get(), SID_SWebBrowserApp, &browser),
               "IServiceProvider::QueryService");
      const std::u16string orig = GetOrigCharset(ThrowIfNull(browser).get());
      if (!orig.empty() && LowerCharsetName(orig) != charset) {
        OleCheck(document->put_charset(orig), "IHTMLDocument2::put_charset");
        charset = Narrow(orig);
      }
    }

    // Other handlers of the window may run here.
    ProcessMessages();

    if (!settings.ConvertOnSubmit) return;
    const auto direction = SubmitDirection(charset, UiCodePage(settings.page));
    if (!direction) return;

    LONG length = 0;
    OleCheck(form->get_length(&length), "IHTMLFormElement::get_length");
    for (LONG i = 0; i < length; ++i) {
      ComPtr<IDispatch> item;
      OleCheck(form->item(VariantInt(i), VariantInt(0), item.put()), "IHTMLFormElement::item");
      auto control = QueryOrThrow<IHTMLElement>(item.get());
      VARIANT value;
      OleCheck(control->getAttribute(u"value", 0, &value), "IHTMLElement::getAttribute");
      // A control without a value (a list, a button without one) has nothing
      // to convert; the controls after it still do.
      std::u16string text;
      if (VariantDeref(value).vt != VT_BSTR || FAILED(VariantToString(value, &text))) continue;
      if (!HasCharAbove0080(text)) continue;
      std::u16string converted;
      ConvertWideText(text, *direction, teUnknown, converted, false);
      OleCheck(control->setAttribute(u"value", VariantString(std::move(converted)), 0),
               "IHTMLElement::setAttribute");
    }
  } catch (const std::exception&) {
    // The form goes with its values as they are now.
  }
}

bool RunHotKeyAction(ModuleState& module, IWebBrowser2* Browser, int n) {
  switch (n) {
    case 1:
    case 2: {
      ConvertingBrowserEntry entry(module.page, Browser);
      ConversionBusyScope busy(module.page);
      if (!busy.acquired()) return false;
      ConvertBrowserTree(module.PageConversion(), Browser, n == 1 ? cdToTrad : cdToSim,
                         ConversionTrigger::UserRequest, CharsetPolicy::MaySwitch);
      return true;
    }
    case 3:
      ConvertClipboard(cdToTrad);
      return true;
    case 4:
      ConvertClipboard(cdToSim);
      return true;
    case 5:
      ZoomStep(module.shared, Browser, true);
      return true;
    case 6:
      ZoomStep(module.shared, Browser, false);
      return true;
    case 7:
      SetPageZoom(Browser, 100);
      return true;
    default:
      return true;
  }
}

void KeyDown(ModuleState& module, IWebBrowser2* Browser, IHTMLEventObj* pEvtObj) {
  if (!pEvtObj) return;
  try {
    bool alt = false, ctrl = false, shift = false;
    LONG keyCode = 0;
    OleCheck(pEvtObj->get_altKey(&alt), "IHTMLEventObj::get_altKey");
    OleCheck(pEvtObj->get_ctrlKey(&ctrl), "IHTMLEventObj::get_ctrlKey");
    OleCheck(pEvtObj->get_shiftKey(&shift), "IHTMLEventObj::get_shiftKey");
    OleCheck(pEvtObj->get_keyCode(&keyCode), "IHTMLEventObj::get_keyCode");
    const WORD value = HotKeyValue(keyCode, shift, ctrl, alt);
    // Without a key code the value would equal every unassigned slot (0) or a
    // bare modifier; neither is a hotkey.
    if ((value & 0xFF) == 0) return;
    for (int n = 1; n <= kHotKeySlots; ++n)
      if (module.shared.HotKeyTable[static_cast<std::size_t>(n - 1)] == value &&
          !RunHotKeyAction(module, Browser, n))
        return;
  } catch (const std::exception&) {
    // The key goes on to the page as usual.
  }
}

bool InvokeFormEvent(ModuleState& module, IWebBrowser2* Browser, DISPID id,
                     const DISPPARAMS* params) {
  if (id != DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT && id != DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN)
    return false;
  try {
    const DispatchArgs args(params);
    const VARIANT* v = args.value(0);
    ComPtr<IHTMLEventObj> event;
    if (v && v->vt == VT_DISPATCH && v->pdispVal) event = v->pdispVal.query<IHTMLEventObj>();
    if (!event) return true;
    if (id == DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT)
      FormSubmit(module, event.get());
    else
      KeyDown(module, Browser, event.get());
  } catch (const std::exception&) {
    // Events never fail.
  }
  return true;
}

}  // namespace quillmer
