// Forms and hotkeys as the helper object connects them: values converted into
// the page's script before they are sent, the connections and their faults,
// checked event arguments, and the seven hotkeys.
#include "com/form_events.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/tables.h"
#include "platform/base/text.h"
#include "platform/browser/page.h"
#include "platform/com/fault.h"
#include "platform/win32/clipboard.h"
#include "platform/win32/keys.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

// The helper's event sink, as far as the page's events go.
class Sink final : public ComObject<IDispatch> {
 public:
  Sink(ModuleState& module, IWebBrowser2* browser) : module_(module), browser_(browser) {}
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    ++calls;
    return InvokeFormEvent(module_, browser_, id, params) ? S_OK : DISP_E_MEMBERNOTFOUND;
  }
  int calls = 0;

 private:
  ModuleState& module_;
  IWebBrowser2* browser_;
};

constexpr WORD kCtrlZ = kHotKeyCtrl | 'Z';

class FormEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearFaults();
    ResetTables();
    module.shared.page.uiCodePage = 936;
  }
  void TearDown() override {
    DisconnectFormEvents(connections);
    ClearFaults();
    ResetTables();
  }

  // A page in charset with the given body, written in the code page cp.
  ComPtr<IWebBrowser2> Page(const std::u16string& charset, const std::u16string& body,
                            UINT cp = 1252) {
    browser =
        LoadPageFromBytes(EncodeCodePage(cp, u"<html><head><meta charset=\"" + charset +
                                                 u"\"></head><body>" + body + u"</body></html>"),
                          (dir / "page.html").string());
    sink = MakeComObject<Sink>(module, browser.get());
    return browser;
  }
  ComPtr<IWebBrowser2> FormPage(const std::u16string& charset) {
    return Page(charset,
                u"<form name=\"f\"><input name=\"q\" value=\"x\"><input name=\"a\" value=\"d\">"
                u"</form><form name=\"g\"><input name=\"r\"></form>");
  }
  ComPtr<IHTMLDocument2> Doc() {
    ComPtr<IDispatch> d;
    browser->get_Document(d.put());
    return d.query<IHTMLDocument2>();
  }
  ComPtr<IHTMLFormElement> Form(const std::u16string& name) {
    ComPtr<IHTMLElementCollection> forms;
    Doc()->get_forms(forms.put());
    ComPtr<IDispatch> item;
    forms->item(VariantString(name), VARIANT{}, item.put());
    return item.query<IHTMLFormElement>();
  }
  void Type(const std::u16string& form, const std::u16string& control, std::u16string text) {
    ComPtr<IDispatch> item;
    Form(form)->item(VariantString(control), VARIANT{}, item.put());
    ASSERT_EQ(TypeText(item.query<IHTMLElement>().get(), std::move(text)), S_OK);
  }
  // Submits the form; the value its first control was sent with, as the
  // handler left it (before the page's charset encoded it).
  std::u16string Send(const std::u16string& form = u"f", std::u16string* charset = nullptr) {
    auto f = Form(form);
    auto sent = SubmitForm(f.get());
    if (!sent) return u"<cancelled>";
    if (charset) *charset = sent->charset;
    ComPtr<IDispatch> first;
    f->item(VariantInt(0), VARIANT{}, first.put());
    return CurrentValue(first.query<IHTMLElement>().get());
  }
  void Connect() { ConnectFormEvents(connections, sink.get(), browser.get()); }
  std::u16string ZoomOf() {
    ComPtr<IHTMLElement> body;
    Doc()->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    VARIANT v;
    style.query<IHTMLStyle3>()->get_zoom(&v);
    return v.bstrVal;
  }
  void SetZoom(const std::u16string& zoom) {
    ComPtr<IHTMLElement> body;
    Doc()->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    style.query<IHTMLStyle3>()->put_zoom(VariantString(zoom));
  }
  std::u16string Text() {
    ComPtr<IHTMLElement> body;
    Doc()->get_body(body.put());
    std::u16string t;
    body->get_innerText(&t);
    return t;
  }
  void ConnectKeys() {
    DWORD cookie = 0;
    ASSERT_EQ(AtlAdvise(Doc().get(), sink.get(), DIID_HTMLDocumentEvents2, &cookie), S_OK);
  }
  int Press(WORD hotkey) {
    return PressKey(browser.get(), hotkey & 0xFF, hotkey & kHotKeyAlt, hotkey & kHotKeyCtrl,
                    hotkey & kHotKeyShift);
  }

  ModuleState module;
  testing::TempDir dir;
  ComPtr<IWebBrowser2> browser;
  ComPtr<Sink> sink;
  TFormConnections connections;
};

TEST_F(FormEvents, ValuesAreSentInTheScriptOfThePagesCharset) {
  struct Case {
    UINT systemCp;
    const char16_t* charset;
    const char16_t* typed;
    const char16_t* sent;
  };
  for (const Case& c :
       {Case{936, u"big5", u"简体中文", u"簡體中文"},
        Case{936, u"gb2312", u"简体中文", u"简体中文"},
        Case{936, u"utf-8", u"简体中文", u"简体中文"},
        Case{54936, u"gb18030", u"簡體中文", u"簡體中文"},
        Case{950, u"gb18030", u"簡體中文", u"简体中文"},
        Case{950, u"GB2312", u"簡體中文", u"简体中文"},
        Case{950, u"big5", u"简体中文", u"简体中文"}, Case{1252, u"big5", u"简体中文", u"簡體中文"},
        Case{1252, u"hz-gb-2312", u"簡體中文", u"简体中文"},
        Case{1252, u"iso-8859-1", u"簡體中文", u"簡體中文"}}) {
    module.shared.page.uiCodePage = c.systemCp;
    FormPage(c.charset);
    Type(u"f", u"q", c.typed);
    Connect();
    EXPECT_EQ(Send(), c.sent) << c.systemCp << " " << ToUtf8(c.charset);
    DisconnectFormEvents(connections);
  }
}

TEST_F(FormEvents, ConvertOnSubmitOffSendsWhatWasTyped) {
  module.shared.ConvertOnSubmit = false;
  FormPage(u"big5");
  Type(u"f", u"q", u"简体");
  Connect();
  EXPECT_EQ(Send(), u"简体");
}

TEST_F(FormEvents, OnlyValuesAboveU0080AreRewritten) {
  FormPage(u"big5");
  Type(u"f", u"q", u"abc\u0080");
  Type(u"f", u"a", u"");
  Connect();
  EXPECT_EQ(Send(), u"abc\u0080");
  // Neither default was replaced by what was typed.
  const std::string saved = SerializeDocument(Doc().get());
  EXPECT_NE(saved.find("value=\"x\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("value=\"d\""), std::string::npos) << saved;
}

TEST_F(FormEvents, AControlWithoutAValueDoesNotStopTheOthers) {
  Page(u"big5",
       u"<form name=\"f\"><select name=\"s\"><option>1</option></select>"
       u"<input name=\"q\"></form>");
  Type(u"f", u"q", u"简体");
  Connect();
  auto sent = SubmitForm(Form(u"f").get());
  ASSERT_TRUE(sent);
  ASSERT_EQ(sent->fields.size(), 2u);
  EXPECT_EQ(sent->fields[1].value, u"簡體");
}

TEST_F(FormEvents, EachConnectionConvertsAndDisconnectingEndsThemAll) {
  FormPage(u"big5");
  Connect();
  Connect();
  ASSERT_EQ(connections.size(), 4u);  // two forms, twice
  EXPECT_EQ(connections[0].ConnectionPoint.get(), connections[2].ConnectionPoint.get());
  Type(u"f", u"q", u"简体");
  sink->calls = 0;
  EXPECT_EQ(Send(), u"簡體");
  EXPECT_EQ(sink->calls, 2);
  DisconnectFormEvents(connections);
  EXPECT_TRUE(connections.empty());
  Type(u"f", u"q", u"简体");
  sink->calls = 0;
  EXPECT_EQ(Send(), u"简体");
  EXPECT_EQ(sink->calls, 0);
}

TEST_F(FormEvents, FormsOfFramesAreConnectedWithTheTree) {
  testing::WriteAll(dir / "inner.html",
                    "<html><head><meta charset=\"big5\"></head><body>"
                    "<form name=\"in\"><input name=\"q\"></form></body></html>");
  Page(u"big5", u"<form name=\"f\"><input name=\"q\"></form><iframe src=\"inner.html\"></iframe>");
  ConnectFormEventsTree(connections, sink.get(), browser.get());
  EXPECT_EQ(connections.size(), 2u);
  ConnectFormEvents(connections, sink.get(), nullptr);
  EXPECT_EQ(connections.size(), 2u);
}

TEST_F(FormEvents, AFormThatCannotBeConnectedIsPassedOver) {
  FaultScope faults;
  FormPage(u"big5");
  auto f = Form(u"f");
  HideInterface("IConnectionPointContainer", f.get());
  Connect();
  EXPECT_EQ(connections.size(), 1u);  // form g only
  DisconnectFormEvents(connections);
  ClearFaults();
  // No connection point, with success: nothing to advise.
  InjectFault("IConnectionPointContainer::FindConnectionPoint", S_OK, f.get());
  Connect();
  EXPECT_EQ(connections.size(), 1u);
  DisconnectFormEvents(connections);
  ClearFaults();
  InjectFault("IConnectionPointContainer::FindConnectionPoint", CONNECT_E_NOCONNECTION);
  Connect();
  EXPECT_TRUE(connections.empty());
  ClearFaults();
  // A refused sink leaves no record to unadvise.
  InjectFault("IConnectionPoint::Advise", E_FAIL);
  Connect();
  EXPECT_TRUE(connections.empty());
  ClearFaults();
  Type(u"g", u"r", u"简体");
  EXPECT_EQ(Send(u"g"), u"简体");
  // Failing unadvises still empty the list.
  Connect();
  InjectFault("IConnectionPoint::Unadvise", E_FAIL);
  DisconnectFormEvents(connections);
  EXPECT_TRUE(connections.empty());
}

TEST_F(FormEvents, ADocumentWithoutFormsOrHtmlConnectsNothing) {
  FaultScope faults;
  Page(u"big5", u"<p>no forms</p>");
  Connect();
  EXPECT_TRUE(connections.empty());
  FormPage(u"big5");
  HideInterface("IHTMLDocument2");
  Connect();
  EXPECT_TRUE(connections.empty());
  ClearFaults();
  // The first failing item ends the walk; what was connected stays.
  InjectFault("IHTMLElementCollection::item", E_FAIL, nullptr, 1);
  Connect();
  EXPECT_EQ(connections.size(), 1u);
}

TEST_F(FormEvents, EventArgumentsOfTheWrongTypeAreIgnored) {
  FormPage(u"big5");
  Type(u"f", u"q", u"简体");
  auto f = Form(u"f");
  const DISPID submit = DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT;
  const std::vector<std::vector<VARIANT>> odd = {{},
                                                 {VariantString(u"x")},
                                                 {VariantInt(7)},
                                                 {VariantDispatch(nullptr)},
                                                 {VariantDispatch(Doc().get())},
                                                 {VariantUnknown(f.get())},
                                                 {VariantNull()}};
  for (const auto& args : odd) {
    EXPECT_EQ(InvokeDispatch(sink.get(), submit, DISPATCH_METHOD, args), S_OK);
    EXPECT_EQ(
        InvokeDispatch(sink.get(), DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN, DISPATCH_METHOD, args),
        S_OK);
  }
  EXPECT_EQ(InvokeDispatch(sink.get(), 250, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeFormEvent(module, browser.get(), submit, nullptr), true);
  // An event object by reference is followed.
  ComPtr<IHTMLElement> form = f.query<IHTMLElement>();
  VARIANT event = VariantDispatch(MakeEventObject(form.get(), u"submit").get());
  EXPECT_EQ(InvokeDispatch(sink.get(), submit, DISPATCH_METHOD, {VariantRef(&event)}), S_OK);
  EXPECT_EQ(CurrentValue([&] {
              ComPtr<IDispatch> q;
              f->item(VariantString(u"q"), VARIANT{}, q.put());
              return q.query<IHTMLElement>();
            }()
                             .get()),
            u"簡體");
}

TEST_F(FormEvents, TheOriginalCharsetIsPutBackBeforeSending) {
  FormPage(u"gb2312");
  browser->PutProperty(u"OrigCharset", VariantString(u"big5"));
  Type(u"f", u"q", u"简体");
  Connect();
  std::u16string charset;
  EXPECT_EQ(Send(u"f", &charset), u"简体");  // AlterWBCharset off: left alone
  EXPECT_EQ(charset, u"gb2312");
  module.shared.page.AlterWBCharset = true;
  EXPECT_EQ(Send(u"f", &charset), u"簡體");
  EXPECT_EQ(charset, u"big5");
  // Without the browser's services the handling ends; the form still goes.
  FaultScope faults;
  FormPage(u"gb2312");
  browser->PutProperty(u"OrigCharset", VariantString(u"big5"));
  Type(u"f", u"q", u"简体");
  Connect();
  HideInterface("IServiceProvider");
  EXPECT_EQ(Send(u"f", &charset), u"简体");
  EXPECT_EQ(charset, u"gb2312");
}

TEST_F(FormEvents, HotkeysZoomInOrder) {
  Page(u"gb2312", u"<p>x</p>");
  ConnectKeys();
  module.shared.HotKeyTable[4] = kCtrlZ;                          // Key5: in
  module.shared.HotKeyTable[5] = kHotKeyCtrl | kHotKeyAlt | 'Z';  // Key6: out
  module.shared.HotKeyTable[6] = kHotKeyShift | VK_F1;            // Key7: 100%
  EXPECT_EQ(Press(kCtrlZ), 1);
  EXPECT_EQ(ZoomOf(), u"110%");
  Press(kHotKeyCtrl | kHotKeyAlt | 'Z');
  Press(kHotKeyCtrl | kHotKeyAlt | 'Z');
  EXPECT_EQ(ZoomOf(), u"90%");
  Press(kHotKeyShift | VK_F1);
  EXPECT_EQ(ZoomOf(), u"100%");
  Press('Z');  // without Ctrl: no hotkey
  EXPECT_EQ(ZoomOf(), u"100%");
  // Two hotkeys on one key both run, the lower slot first: in, then out.
  module.shared.HotKeyTable[5] = kCtrlZ;
  SetZoom(u"10%");
  Press(kCtrlZ);
  EXPECT_EQ(ZoomOf(), u"10%");
}

TEST_F(FormEvents, AKeyWithoutCodeRunsNoUnassignedAction) {
  Page(u"gb2312", u"<p>x</p>");
  ConnectKeys();
  module.shared.HotKeyTable[4] = kCtrlZ;  // slot 7 (back to 100%) stays unassigned
  SetZoom(u"120%");
  PressKey(browser.get(), 0, false, false, false);
  PressKey(browser.get(), 0, false, true, false);
  PressKey(browser.get(), 0x15A, false, false, false);  // does not fit in 8 bits
  EXPECT_EQ(ZoomOf(), u"120%");
  module.shared.HotKeyTable[6] = kHotKeyCtrl;  // a bare modifier is no hotkey either
  PressKey(browser.get(), 0, false, true, false);
  EXPECT_EQ(ZoomOf(), u"120%");
}

TEST_F(FormEvents, APageConversionHotkeyWaitsForNoOther) {
  Page(u"gb2312", u"<p>简体中文</p>", 936);
  ConnectKeys();
  module.shared.HotKeyTable[0] = kCtrlZ;  // Key1: to Traditional
  module.shared.HotKeyTable[4] = kCtrlZ;  // Key5: zoom in, after it
  module.page.ConversionBusy = true;
  Press(kCtrlZ);
  EXPECT_EQ(Text(), u"简体中文");
  EXPECT_EQ(ZoomOf(), u"");  // the later hotkey was not compared
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_TRUE(module.page.ConversionBusy);
  module.page.ConversionBusy = false;
  Press(kCtrlZ);
  EXPECT_EQ(Text(), u"簡體中文");
  EXPECT_EQ(ZoomOf(), u"110%");
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_FALSE(module.page.ConversionBusy);
  module.shared.HotKeyTable[1] = kHotKeyAlt | 'S';  // Key2: to Simplified
  Press(kHotKeyAlt | 'S');
  EXPECT_EQ(Text(), u"简体中文");
}

TEST_F(FormEvents, ClipboardHotkeysConvertTheClipboard) {
  auto owned = std::make_unique<MemoryClipboard>();
  MemoryClipboard* clip = owned.get();
  auto previous = SetClipboardBackend(std::move(owned));
  auto units = [](std::u16string_view text) {
    std::string bytes;
    for (char16_t c : std::u16string(text) + u'\0') {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    return bytes;
  };
  Page(u"gb2312", u"<p>x</p>");
  ConnectKeys();
  module.shared.HotKeyTable[2] = kCtrlZ;            // Key3: to Traditional
  module.shared.HotKeyTable[3] = kHotKeyAlt | 'Z';  // Key4: to Simplified
  module.shared.HotKeyTable[4] = kCtrlZ;            // Key5 after Key3
  clip->formats[CF_UNICODETEXT] = units(u"简体");
  Press(kCtrlZ);
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], units(u"簡體"));
  EXPECT_EQ(ZoomOf(), u"110%");
  Press(kHotKeyAlt | 'Z');
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], units(u"简体"));
  // A clipboard that will not open ends the handling, quietly.
  clip->failOpen = [](int) { return true; };
  Press(kCtrlZ);
  EXPECT_EQ(ZoomOf(), u"110%");
  SetClipboardBackend(std::move(previous));
}

}  // namespace
}  // namespace quillmer
