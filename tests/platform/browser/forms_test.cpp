#include <gtest/gtest.h>

#include "platform/browser/page.h"
#include "platform/win32/keys.h"

namespace quillmer {
namespace {

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(b->get_Document(d.put()), S_OK);
  return d.query<IHTMLDocument2>();
}

ComPtr<IHTMLFormElement> Form(IWebBrowser2* b, VARIANT which) {
  ComPtr<IHTMLElementCollection> forms;
  Doc(b)->get_forms(forms.put());
  ComPtr<IDispatch> item;
  forms->item(which, VARIANT{}, item.put());
  return item ? item.query<IHTMLFormElement>() : nullptr;
}

ComPtr<IHTMLElement> Control(IHTMLFormElement* form, const std::u16string& name) {
  ComPtr<IDispatch> item;
  form->item(VariantString(name), VARIANT{}, item.put());
  return item ? item.query<IHTMLElement>() : nullptr;
}

std::u16string ValueAttr(IHTMLElement* e) {
  VARIANT v;
  e->getAttribute(u"value", 0, &v);
  return v.vt == VT_BSTR ? v.bstrVal : u"<null>";
}

using Fields = std::vector<std::pair<std::u16string, std::u16string>>;

Fields Sent(const FormSubmission& s) {
  Fields out;
  for (const auto& f : s.fields) out.emplace_back(f.name, f.value);
  return out;
}

// Runs `on` for each event it gets.
class Sink final : public ComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    DispatchArgs args(params);
    ComPtr<IHTMLEventObj> event;
    if (VARIANT* v = args.value(0); v && v->vt == VT_DISPATCH)
      event = v->pdispVal.query<IHTMLEventObj>();
    if (on) on(id, event.get());
    return S_OK;
  }
  std::function<void(DISPID, IHTMLEventObj*)> on;
};

TEST(Forms, TypedValueIsSentAndReadWhileTheDefaultIsSaved) {
  auto b = LoadPage(kPages + "browse_form.html");
  auto form = Form(b.get(), VariantString(u"search"));
  ASSERT_TRUE(form);
  auto q = Control(form.get(), u"q");
  EXPECT_EQ(CurrentValue(q.get()), u"中文");
  ASSERT_EQ(TypeText(q.get(), u"打字"), S_OK);
  EXPECT_EQ(ValueAttr(q.get()), u"打字");
  EXPECT_EQ(CurrentValue(q.get()), u"打字");
  const std::string saved = SerializeDocument(Doc(b.get()).get());
  EXPECT_NE(saved.find(EncodeCodePage(936, u"value=\"中文\"")), std::string::npos);
  // What a script writes to "value" is both sent and saved.
  q->setAttribute(u"value", VariantString(u"改"), 0);
  EXPECT_EQ(CurrentValue(q.get()), u"改");
  EXPECT_NE(SerializeDocument(Doc(b.get()).get()).find(EncodeCodePage(936, u"value=\"改\"")),
            std::string::npos);

  auto note = Control(form.get(), u"note");
  EXPECT_EQ(ValueAttr(note.get()), u"<null>");
  ASSERT_EQ(TypeText(note.get(), u"新"), S_OK);
  EXPECT_EQ(ValueAttr(note.get()), u"新");
  EXPECT_EQ(TypeText(Doc(b.get()).query<IHTMLElement>().get(), u"x"), E_INVALIDARG);
  ComPtr<IHTMLElement> body;
  Doc(b.get())->get_body(body.put());
  EXPECT_EQ(TypeText(body.get(), u"x"), E_INVALIDARG);
}

TEST(Forms, OnlySuccessfulControlsAreSentInTheirOrder) {
  auto b = LoadPage(kPages + "browse_form.html");
  auto sent = SubmitForm(Form(b.get(), VariantInt(0)).get());
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->charset, u"gb2312");
  EXPECT_EQ(Sent(*sent), (Fields{{u"q", u"中文"},
                                 {u"h", u"隐藏"},
                                 {u"pw", u""},
                                 {u"note", u"第一行\r\n第二行"},
                                 {u"c1", u"是"},
                                 {u"r", u"b"},
                                 {u"s", u"二"},
                                 {u"s2", u"甲"}}));
  EXPECT_EQ(sent->fields[0].valueBytes, EncodeCodePage(936, u"中文"));
}

TEST(Forms, ValuesAreEncodedInTheCharsetThePageIsSubmittedIn) {
  auto b = LoadPage(kPages + "browse_form.html");
  auto form = Form(b.get(), VariantInt(0));
  TypeText(Control(form.get(), u"q").get(), u"臺灣 😀 한");
  auto sent = SubmitForm(form.get());
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->fields[0].value, u"臺灣 &#128512; &#54620;");
  EXPECT_EQ(sent->fields[0].valueBytes, EncodeCodePage(936, u"臺灣") + " &#128512; &#54620;");

  // A sink that switches the page's charset at onsubmit changes what is sent.
  auto sink = MakeComObject<Sink>();
  sink->on = [&](DISPID id, IHTMLEventObj*) {
    if (id == DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT) Doc(b.get())->put_charset(u"big5");
  };
  DWORD cookie = 0;
  ASSERT_EQ(AtlAdvise(form.get(), sink.get(), DIID_HTMLFormElementEvents2, &cookie), S_OK);
  sent = SubmitForm(form.get());
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->charset, u"big5");
  EXPECT_EQ(sent->fields[0].valueBytes, EncodeCodePage(950, u"臺灣") + " &#128512; &#54620;");
  EXPECT_EQ(sent->fields[1].value, u"&#38544;藏");  // 隐 is not in Big5
}

TEST(Forms, OnsubmitSinksRunFirstAndMayCancel) {
  auto b = LoadPage(kPages + "browse_form.html");
  auto form = Form(b.get(), VariantString(u"second"));
  ASSERT_TRUE(form);
  auto sink = MakeComObject<Sink>();
  int calls = 0;
  bool cancel = false;
  sink->on = [&](DISPID id, IHTMLEventObj* event) {
    ++calls;
    EXPECT_EQ(id, DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT);
    ComPtr<IHTMLElement> src;
    event->get_srcElement(src.put());
    EXPECT_TRUE(IsSameObject(src.get(), form.get()));
    src.query<IHTMLFormElement>();
    Control(form.get(), u"x")->setAttribute(u"value", VariantString(u"转"), 0);
    if (cancel) event->put_returnValue(VariantBool(false));
  };
  DWORD c1 = 0, c2 = 0;
  // Connected twice, the sink hears each submission twice.
  AtlAdvise(form.get(), sink.get(), DIID_HTMLFormElementEvents2, &c1);
  AtlAdvise(form.get(), sink.get(), DIID_HTMLFormElementEvents2, &c2);
  auto sent = SubmitForm(form.get());
  ASSERT_TRUE(sent);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Sent(*sent), (Fields{{u"x", u"转"}}));
  cancel = true;
  EXPECT_FALSE(SubmitForm(form.get()));
}

TEST(Keys, KeyDownReachesTheTopDocumentWithCodeAndModifiers) {
  auto b = LoadPage(kPages + "conv_frames.html");
  auto sink = MakeComObject<Sink>();
  std::vector<WORD> got;
  sink->on = [&](DISPID id, IHTMLEventObj* event) {
    EXPECT_EQ(id, DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN);
    LONG code = 0;
    bool alt = false, ctrl = false, shift = false;
    event->get_keyCode(&code);
    event->get_altKey(&alt);
    event->get_ctrlKey(&ctrl);
    event->get_shiftKey(&shift);
    std::u16string type;
    event->get_type(&type);
    EXPECT_EQ(type, u"keydown");
    got.push_back(HotKeyValue(code, shift, ctrl, alt));
  };
  DWORD cookie = 0;
  ASSERT_EQ(AtlAdvise(Doc(b.get()).get(), sink.get(), DIID_HTMLDocumentEvents2, &cookie), S_OK);
  EXPECT_EQ(PressKey(b.get(), 'T', true, true, false), 1);
  EXPECT_EQ(PressKey(b.get(), VK_F1 + 4, false, false, true), 1);
  EXPECT_EQ(got, (std::vector<WORD>{*ParseHotKey("Ctrl+Alt+T"), *ParseHotKey("Shift+F5")}));
  EXPECT_EQ(HotKeyValue(0x100, false, true, false), 0);
}

TEST(Keys, NamesAndValuesBothWays) {
  struct Case {
    const char* name;
    WORD value;
  };
  for (const Case& c :
       {Case{"Ctrl+Alt+T", 0xC054}, Case{"Shift+F5", 0x2074}, Case{"Shift+Ctrl+Alt+Z", 0xE05A},
        Case{"F12", 0x7B}, Case{"Ctrl+7", 0x4037}, Case{"Alt+Num 7", 0x8067},
        Case{"Ctrl+PgUp", 0x4021}, Case{"Ctrl+Num +", 0x406B}, Case{"Ctrl+-", 0x40BD},
        Case{"Alt+\\", 0x80DC}, Case{"Ctrl+#233", 0x40E9}, Case{"", 0}}) {
    EXPECT_EQ(ParseHotKey(c.name), c.value) << c.name;
    EXPECT_EQ(HotKeyName(c.value), c.name) << c.value;
  }
  // Other spellings of the same keys.
  EXPECT_EQ(ParseHotKey("alt + control + t"), 0xC054);
  EXPECT_EQ(ParseHotKey("shift+f5"), 0x2074);
  EXPECT_EQ(ParseHotKey("Ctrl+Num7"), 0x4067);
  EXPECT_EQ(ParseHotKey("Ctrl+PageUp"), 0x4021);
  EXPECT_EQ(ParseHotKey("None"), 0);
  for (const char* bad :
       {"Ctrl+", "Ctrl+Ctrl+T", "Hyper+T", "F25", "F0", "TT", "Ctrl+#0", "Ctrl+#256", "Shift"})
    EXPECT_FALSE(ParseHotKey(bad)) << bad;
}

TEST(Zoom, TheBodyZoomIsSavedWithThePage) {
  auto b = LoadPage(kPages + "conv_frame2.html");
  ComPtr<IHTMLElement> body;
  Doc(b.get())->get_body(body.put());
  ComPtr<IHTMLStyle> style;
  ASSERT_EQ(body->get_style(style.put()), S_OK);
  auto style3 = style.query<IHTMLStyle3>();
  VARIANT zoom;
  ASSERT_EQ(style3->get_zoom(&zoom), S_OK);
  EXPECT_EQ(zoom.bstrVal, u"");
  ASSERT_EQ(style3->put_zoom(VariantString(u"120%")), S_OK);
  style3->get_zoom(&zoom);
  EXPECT_EQ(zoom.bstrVal, u"120%");
  EXPECT_NE(SerializeDocument(Doc(b.get()).get()).find("zoom: 120%"), std::string::npos);
}

}  // namespace
}  // namespace quillmer
