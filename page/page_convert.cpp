#include "page/page_convert.h"

#include "engine/detect.h"
#include "page/charset_rules.h"
#include "page/dom_walkers.h"
#include "page/page_access.h"
#include "page/page_state.h"
#include "page/text_rules.h"
#include "platform/browser/page.h"

namespace quillmer {
namespace {

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

VARIANT GetBrowserProperty(IWebBrowser2* browser, std::u16string_view name) {
  VARIANT v;
  OleCheck(browser->GetProperty(std::u16string(name), &v), "IWebBrowser2::GetProperty");
  return v;
}

bool IsEmptyOrNull(const VARIANT& v) { return VariantIsEmpty(v) || VariantDeref(v).vt == VT_NULL; }

void ConnectFormEvents(const FormEventsConnector& connect, IWebBrowser2* browser,
                       IWebBrowser2* top) {
  VARIANT v = GetBrowserProperty(browser, kHelperProperty);
  if (IsEmptyOrNull(v) && top) v = GetBrowserProperty(top, kHelperProperty);
  const VARIANT& helper = VariantDeref(v);
  // Anything but an IDispatch is not the helper's.
  if (helper.vt != VT_DISPATCH || !helper.pdispVal) return;
  if (connect) connect(helper.pdispVal.get(), browser);
}

}  // namespace

std::u16string GetOrigCharset(IWebBrowser2* browser) {
  VARIANT v = GetBrowserProperty(browser, kOrigCharsetProperty);
  std::u16string s;
  if (IsEmptyOrNull(v) || FAILED(VariantToString(v, &s))) return {};
  return s;
}

void RecordOrigCharset(IWebBrowser2* browser, std::string_view charset, bool charsetMismatch) {
  if (!GetOrigCharset(browser).empty()) return;
  if (auto orig = OrigCharsetToRecord(charset, charsetMismatch))
    OleCheck(
        browser->PutProperty(std::u16string(kOrigCharsetProperty), VariantString(Widen(*orig))),
        "IWebBrowser2::PutProperty");
}

void SwitchOrCorrectCharset(const PageContext& context, IWebBrowser2* browser,
                            IHTMLDocument2* document, IWebBrowser2* top, std::string_view charset,
                            ConvDirection direction, ConversionTrigger trigger,
                            CharsetPolicy charsetPolicy, bool charsetMismatch) {
  const bool userRequested = trigger == ConversionTrigger::UserRequest;
  const bool keepCharset = charsetPolicy == CharsetPolicy::Keep;
  if (IsUnicodeCharset(charset)) return;
  const PageSettings& settings = context.settings;
  if (!keepCharset && settings.AlterWBCharset) {
    if (userRequested) {
      READYSTATE state = READYSTATE_COMPLETE;
      OleCheck(browser->get_ReadyState(&state), "IWebBrowser2::get_ReadyState");
      if (state < READYSTATE_COMPLETE) OleCheck(browser->Stop(), "IWebBrowser2::Stop");
    }
    OleCheck(document->put_charset(TargetCharset(direction)), "IHTMLDocument2::put_charset");
    if (settings.HelperEnabled && userRequested)
      ConnectFormEvents(context.connectFormEvents, browser, top);
  } else if (charsetMismatch) {
    if (auto corrected = CorrectedCharset(charset))
      OleCheck(document->put_charset(*corrected), "IHTMLDocument2::put_charset");
  }
}

void ConvertDocument(const PageContext& context, IWebBrowser2* browser, ConvDirection direction,
                     ConversionTrigger trigger, CharsetPolicy charsetPolicy) {
  const bool userRequested = trigger == ConversionTrigger::UserRequest;
  if (!browser) return;
  ComPtr<IDispatch> documentDispatch;
  OleCheck(browser->get_Document(documentDispatch.put()), "IWebBrowser2::get_Document");
  auto document = documentDispatch.query<IHTMLDocument2>();
  if (!document) return;

  std::u16string declared;
  OleCheck(document->get_charset(&declared), "IHTMLDocument2::get_charset");
  std::string charset = LowerCharsetName(declared);
  if (!userRequested && !IsChineseCharset(charset)) return;

  ComPtr<IWebBrowser2> top = GetTopLevelBrowser(browser);

  ComPtr<IHTMLElement> body;
  OleCheck(document->get_body(body.put()), "IHTMLDocument2::get_body");
  if (!body) throw Error("The document has no body", E_FAIL);
  std::u16string bodyText;
  OleCheck(body->get_innerText(&bodyText), "IHTMLElement::get_innerText");

  bool mismatch = false;
  if (CharsetMatchesText(bodyText, direction, charset)) {
    if (!userRequested && IsTargetCharset(direction, charset)) return;
  } else {
    mismatch = true;
  }

  RecordOrigCharset(browser, charset, mismatch);
  if (mismatch) {
    // The page as the user sees it is the one read in its real charset: read
    // it so before anything is converted, so that every string of it, not
    // only those the walkers write, means what the user saw. The rest goes
    // as for a page whose declaration fits.
    if (auto corrected = CorrectedCharset(charset);
        corrected && ReadDocumentAs(document.get(), *corrected)) {
      charset = LowerCharsetName(*corrected);
      mismatch = false;
      OleCheck(body->get_innerText(&bodyText), "IHTMLElement::get_innerText");
    }
  }
  const TextEncoding pageEncoding = PageEncodingFor(charset, direction);

  std::u16string title;
  OleCheck(document->get_title(&title), "IHTMLDocument2::get_title");
  // A mismatched title is classified as it reads once repaired.
  if (ClassifyScript(mismatch ? RepairCharset(title, pageEncoding) : title) ==
      ScriptClass::Chinese) {
    std::u16string converted = title;
    ConvertWideText(title, direction, pageEncoding, converted, mismatch);
    OleCheck(document->put_title(converted), "IHTMLDocument2::put_title");
  }

  if (!mismatch) {
    ScriptClass k = ClassifyScript(bodyText);
    if (k == ScriptClass::NoHan) return;
    if (k == ScriptClass::Japanese && !userRequested) return;
  }

  const WalkContext walk{direction, pageEncoding, mismatch};
  // A Unicode page keeps its charset, so its links must keep their bytes too.
  if (context.settings.AlterWBCharset && !IsUnicodeCharset(charset))
    ConvertLinks(document.get(), walk);

  auto doc3 = QueryOrThrow<IHTMLDocument3>(document.get());
  ComPtr<IHTMLElement> root;
  OleCheck(doc3->get_documentElement(root.put()), "IHTMLDocument3::get_documentElement");
  auto rootNode = QueryOrThrow<IHTMLDOMNode>(root.get());
  ConvertTextNodes(rootNode.get(), walk);

  if (pageEncoding != teGBK && pageEncoding != teBig5) return;
  ConvertFontFaces(document.get(), u"font", walk);
  ConvertFontFaces(document.get(), u"basefont", walk);
  ConvertStyleFonts(document.get(), walk);
  ConvertInputValues(document.get(), walk);
  ConvertAltTitle(document.get(), walk);
  ConvertStyleSheets(document.get(), walk);

  if (IsUnicodeCharset(charset)) return;
  SwitchOrCorrectCharset(context, browser, document.get(), top.get(), charset, direction, trigger,
                         charsetPolicy, mismatch);
}

void ConvertBrowserTree(const PageContext& context, IWebBrowser2* browser, ConvDirection direction,
                        ConversionTrigger trigger, CharsetPolicy charsetPolicy) {
  if (!browser) return;
  try {
    ConvertDocument(context, browser, direction, trigger, charsetPolicy);
    const int n = CountEmbeddedObjects(browser);
    for (int i = 0; i < n; ++i)
      if (auto frame = GetEmbeddedBrowser(browser, i))
        ConvertBrowserTree(context, frame.get(), direction, trigger, charsetPolicy);
  } catch (const std::exception&) {
    // A failing document ends its own level; the caller's level goes on.
  }
}

UserConversion ConvertPageForUser(const PageContext& context, IWebBrowser2* browser,
                                  ConvDirection direction, OwnerWindow owner) {
  ConvertingBrowserEntry entry(context.state, browser);
  for (UINT cp : {kCodePageBig5, kCodePageGbk}) {
    if (!IsValidCodePage(cp)) {
      ShowSupportMissing(owner, cp, UiCodePage(context.settings));
      return UserConversion::SupportMissing;
    }
  }
  ConversionBusyScope busy(context.state);
  if (!busy.acquired()) return UserConversion::Busy;
  ConvertBrowserTree(context, browser, direction, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  return UserConversion::Converted;
}

}  // namespace quillmer
