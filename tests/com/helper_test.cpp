// The browser helper object in a window of the browser model: conversion
// while pages load, the charset put back on leaving, its guards, its
// property, and what it does with broken connections and arguments.
#include "com/helper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "page/page_access.h"
#include "page/page_convert.h"
#include "page/url_pattern.h"
#include "platform/browser/page.h"
#include "platform/win32/keys.h"
#include "platform/win32/codepage.h"
#include "tests/com/com_fixture.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

using testing::ServerFixture;

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

class HelperTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    ASSERT_TRUE(ServerLoaded()) << ServerLoadError();
    module = CurrentModule();
    ASSERT_TRUE(module);
    window = NewBrowserWindow();
    helper = MakeComObject<TIEBrowserHelper>();
  }
  void TearDown() override {
    // Closed as the browser closes a window: quit, then the site goes.
    if (window) window->Quit();
    if (helper) helper->SetSite(nullptr);
    helper.reset();
    window.reset();
    // Every helper went with its window: none is kept alive by a cycle.
    EXPECT_EQ(0, ServerObjectCount());
    ServerFixture::TearDown();
  }

  HRESULT Site() { return helper->SetSite(window.get()); }
  HRESULT Navigate(const std::string& page) {
    return window->Navigate2(VariantString(FromUtf8(page)), {}, {}, {}, {});
  }

  static ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
    ComPtr<IDispatch> d;
    b->get_Document(d.put());
    return d ? d.query<IHTMLDocument2>() : ComPtr<IHTMLDocument2>();
  }
  static std::u16string Text(IWebBrowser2* b) {
    ComPtr<IHTMLElement> body;
    Doc(b)->get_body(body.put());
    std::u16string t;
    if (body) body->get_innerText(&t);
    return t;
  }
  static std::u16string Title(IWebBrowser2* b) {
    std::u16string t;
    Doc(b)->get_title(&t);
    return t;
  }
  static std::u16string Charset(IWebBrowser2* b) {
    std::u16string t;
    Doc(b)->get_charset(&t);
    return t;
  }
  static std::u16string Url(IWebBrowser2* b) {
    std::u16string u;
    b->get_LocationURL(&u);
    return u;
  }
  // The helper stored on the browser, or null.
  static IDispatch* HelperOn(IWebBrowser2* b) {
    VARIANT v;
    b->GetProperty(std::u16string(kHelperProperty), &v);
    return v.vt == VT_DISPATCH ? v.pdispVal.get() : nullptr;
  }
  int Fire(DISPID id, std::vector<VARIANT> args = {}) {
    return FireEvent(window.get(), DIID_DWebBrowserEvents2, id, args);
  }
  // A page of the home directory in code page cp.
  std::string WritePage(const std::string& name, std::u16string_view charset,
                        std::u16string_view body, UINT cp) {
    const std::string path = (home / name).string();
    testing::WriteAll(path, EncodeCodePage(cp,
                                           u"<html><head><meta http-equiv=\"Content-Type\" "
                                           u"content=\"text/html; charset=" +
                                               std::u16string(charset) + u"\"></head><body>" +
                                               std::u16string(body) + u"</body></html>"));
    return path;
  }

  // The zoom the page's body states ("" when none).
  static std::u16string Zoom(IWebBrowser2* b) {
    ComPtr<IHTMLElement> body;
    Doc(b)->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    VARIANT zoom;
    style.query<IHTMLStyle3>()->get_zoom(&zoom);
    std::u16string text;
    VariantToString(zoom, &text);
    return text;
  }
  static void ClearZoom(IWebBrowser2* b) {
    ComPtr<IHTMLElement> body;
    Doc(b)->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    style.query<IHTMLStyle3>()->put_zoom(VariantString(u""));
  }
  static ComPtr<IHTMLFormElement> Form(IWebBrowser2* b, std::u16string_view name) {
    ComPtr<IHTMLElementCollection> forms;
    Doc(b)->get_forms(forms.put());
    ComPtr<IDispatch> item;
    forms->item(VariantString(std::u16string(name)), VARIANT{}, item.put());
    return item ? item.query<IHTMLFormElement>() : ComPtr<IHTMLFormElement>();
  }
  // Types text into the form's first control and submits the form: the value
  // sent, or "cancelled".
  static std::u16string TypeAndSubmit(IHTMLFormElement* form, std::u16string text) {
    ComPtr<IDispatch> item;
    form->item(VariantInt(0), VARIANT{}, item.put());
    TypeText(item.query<IHTMLElement>().get(), std::move(text));
    auto sent = SubmitForm(form);
    if (!sent) return u"cancelled";
    return sent->fields.empty() ? u"" : sent->fields[0].value;
  }
  // A big5 page with form "t" and a frame (frame.html) with form "f".
  std::string WriteFormPages() {
    WritePage("frame.html", u"big5", u"<form name=\"f\"><input name=\"q\"></form>", 950);
    return WritePage("forms.html", u"big5",
                     u"<form name=\"t\"><input name=\"q\"></form>"
                     u"<iframe src=\"frame.html\"></iframe>",
                     950);
  }

  ModuleState* module = nullptr;
  ComPtr<IWebBrowser2> window;
  ComPtr<TIEBrowserHelper> helper;
};

TEST_F(HelperTest, ConvertsEveryDocumentOfAPageWithFramesWhileItLoads) {
  module->shared.AutoConvert = 2;
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frames.html"));
  ComPtr<IWebBrowser2> left = GetEmbeddedBrowser(window.get(), 0);
  ComPtr<IWebBrowser2> right = GetEmbeddedBrowser(window.get(), 1);
  ASSERT_TRUE(left && right);
  ComPtr<IWebBrowser2> inner = GetEmbeddedBrowser(left.get(), 0);
  ASSERT_TRUE(inner);
  EXPECT_EQ(Title(window.get()), u"中華框架");
  EXPECT_NE(Text(left.get()).find(u"頭髮 中華"), std::u16string::npos) << ToUtf8(Text(left.get()));
  EXPECT_EQ(Text(inner.get()), u"中國");
  EXPECT_EQ(Text(right.get()), u"中華 頭髮");
  // The charset stays while the switch is off.
  EXPECT_EQ(Charset(left.get()), u"gb2312");

  // The helper is on every browser of the window, under its class's name.
  for (IWebBrowser2* b : {window.get(), left.get(), right.get(), inner.get()})
    EXPECT_TRUE(IsSameObject(HelperOn(b), helper->Identity()));
  EXPECT_EQ(helper->CurrentURL(), Url(window.get()));
  EXPECT_EQ(helper->CompletedURL(), Url(window.get()));
  EXPECT_EQ(helper->PendingNavigations(), 0);
  EXPECT_FALSE(helper->Busy());
}

TEST_F(HelperTest, TheModeChoosesTheDirectionOrNone) {
  const std::string trad = WritePage("trad.html", u"big5", u"<p>頭髮 中國</p>", 950);
  const std::string simp = WritePage("simp.html", u"gb2312", u"<p>头发 中国</p>", 936);
  ASSERT_EQ(S_OK, Site());

  module->shared.AutoConvert = 0;
  ASSERT_EQ(S_OK, Navigate(trad));
  EXPECT_EQ(Text(window.get()), u"頭髮 中國");
  ASSERT_EQ(S_OK, Navigate(simp));
  EXPECT_EQ(Text(window.get()), u"头发 中国");

  module->shared.AutoConvert = 1;
  ASSERT_EQ(S_OK, Navigate(trad));
  EXPECT_EQ(Text(window.get()), u"头发 中国");
  ASSERT_EQ(S_OK, Navigate(simp));
  EXPECT_EQ(Text(window.get()), u"头发 中国");

  module->shared.AutoConvert = 2;
  ASSERT_EQ(S_OK, Navigate(simp));
  EXPECT_EQ(Text(window.get()), u"頭髮 中國");

  // A blank page is left alone whatever the mode.
  ASSERT_EQ(S_OK, Navigate("about:blank"));
  EXPECT_EQ(helper->CurrentURL(), u"about:blank");
  EXPECT_EQ(helper->CompletedURL(), u"about:blank");
}

TEST_F(HelperTest, InTheExplorerHostTheHelperStaysInert) {
  module->shared.AutoConvert = 2;
  CurrentServer()->hostIsExplorer = 2;
  EXPECT_EQ(S_OK, Site());
  EXPECT_FALSE(helper->Browser());
  EXPECT_EQ(0, Fire(DISPID_DOWNLOADBEGIN));
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame2.html"));
  EXPECT_EQ(Text(window.get()), u"中华 头发");
  EXPECT_FALSE(HelperOn(window.get()));
}

TEST_F(HelperTest, ANullSiteLeavesTheConnectionsAndQuitTakesThemBack) {
  module->shared.AutoConvert = 2;
  ASSERT_EQ(S_OK, Site());
  EXPECT_EQ(S_OK, helper->SetSite(nullptr));
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame2.html"));
  EXPECT_EQ(Text(window.get()), u"中華 頭髮");
  ComPtr<IHTMLDocument2> first = Doc(window.get());
  EXPECT_TRUE(helper->DocumentEventsConnected());
  EXPECT_EQ(1, FireEvent(first.get(), DIID_HTMLDocumentEvents2, -602, {}));

  // The keys follow the page shown; the page left keeps no connection.
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame1_inner.html"));
  ComPtr<IHTMLDocument2> second = Doc(window.get());
  EXPECT_EQ(0, FireEvent(first.get(), DIID_HTMLDocumentEvents2, -602, {}));
  EXPECT_EQ(1, FireEvent(second.get(), DIID_HTMLDocumentEvents2, -602, {}));

  EXPECT_EQ(1, Fire(DISPID_ONQUIT));
  EXPECT_EQ(0, Fire(DISPID_DOWNLOADBEGIN));
  EXPECT_EQ(0, FireEvent(second.get(), DIID_HTMLDocumentEvents2, -602, {}));
  EXPECT_FALSE(helper->DocumentEventsConnected());
  EXPECT_FALSE(helper->Browser());
}

TEST_F(HelperTest, PutsTheOriginalCharsetBackWhenThePageIsLeft) {
  module->shared.AutoConvert = 2;
  module->shared.page.AlterWBCharset = true;
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame2.html"));
  EXPECT_EQ(Text(window.get()), u"中華 頭髮");
  EXPECT_EQ(Charset(window.get()), u"big5");
  VARIANT orig;
  window->GetProperty(u"OrigCharset", &orig);
  EXPECT_EQ(orig.bstrVal, u"gb2312");

  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame1_inner.html"));
  auto left = LeftPages(window.get());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].charset, u"gb2312");

  // Switched off, the page leaves as it was switched; the record still goes.
  module->shared.page.AlterWBCharset = false;
  window->PutProperty(u"OrigCharset", VariantString(u"gb2312"));
  Doc(window.get())->put_charset(u"big5");
  ASSERT_EQ(S_OK, Navigate("about:blank"));
  left = LeftPages(window.get());
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[1].charset, u"big5");
  window->GetProperty(u"OrigCharset", &orig);
  EXPECT_EQ(orig.bstrVal, u"");
}

TEST_F(HelperTest, ConvertsTheWholeWindowOnlyWhileThePageLoads) {
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frames.html"));
  ComPtr<IWebBrowser2> right = GetEmbeddedBrowser(window.get(), 1);
  module->shared.AutoConvert = 2;
  int conversions = 0;
  helper->beforeWindowConversion = [&] { ++conversions; };

  // Complete: nothing.
  EXPECT_EQ(1, Fire(DISPID_DOWNLOADCOMPLETE));
  EXPECT_EQ(conversions, 0);
  // Still loading: the page with its frames.
  SetReadyState(window.get(), READYSTATE_INTERACTIVE);
  EXPECT_EQ(1, Fire(DISPID_DOWNLOADCOMPLETE));
  EXPECT_EQ(conversions, 1);
  EXPECT_EQ(Text(right.get()), u"中華 頭髮");
  EXPECT_FALSE(helper->Busy());

  // Not while the user's own conversion of the window runs.
  {
    ConvertingBrowserEntry entry(module->page, window.get());
    Fire(DISPID_DOWNLOADCOMPLETE);
  }
  EXPECT_EQ(conversions, 1);

  // Not while a navigation to another page is pending.
  VARIANT url = VariantString(u"file:///elsewhere.html");
  Fire(DISPID_BEFORENAVIGATE2, {VariantDispatch(window.get()), VariantRef(&url)});
  EXPECT_EQ(helper->PendingNavigations(), 1);
  EXPECT_EQ(helper->CurrentURL(), u"file:///elsewhere.html");
  Fire(DISPID_DOWNLOADCOMPLETE);
  EXPECT_EQ(conversions, 1);
  // Completed documents count down, never below nothing.
  for (int i = 0; i < 2; ++i)
    Fire(DISPID_DOCUMENTCOMPLETE, {VariantDispatch(right.get()), VariantRef(&url)});
  EXPECT_EQ(helper->PendingNavigations(), 0);
  Fire(DISPID_DOWNLOADCOMPLETE);
  EXPECT_EQ(conversions, 2);
}

TEST_F(HelperTest, WhileBusyNoDocumentIsConvertedAndANestedEndLeavesTheGuard) {
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frames.html"));
  ComPtr<IWebBrowser2> right = GetEmbeddedBrowser(window.get(), 1);
  module->shared.AutoConvert = 2;
  SetReadyState(window.get(), READYSTATE_INTERACTIVE);
  int nested = 0;
  helper->beforeWindowConversion = [&] {
    if (nested++) return;
    EXPECT_TRUE(helper->Busy());
    Fire(DISPID_DOWNLOADCOMPLETE);  // ends at once: busy
    EXPECT_EQ(nested, 1);
    EXPECT_TRUE(helper->Busy());
    VARIANT url = VariantString(Url(right.get()));
    Fire(DISPID_DOCUMENTCOMPLETE, {VariantDispatch(right.get()), VariantRef(&url)});
    EXPECT_EQ(Text(right.get()), u"中华 头发");
  };
  Fire(DISPID_DOWNLOADCOMPLETE);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(Text(right.get()), u"中華 頭髮");
  EXPECT_FALSE(helper->Busy());
}

TEST_F(HelperTest, ABrokenConnectionLeavesTheHelperInertAndQuitSafe) {
  FaultScope faults;
  for (int kind = 0; kind < 4; ++kind) {
    ClearFaults();
    ComPtr<IWebBrowser2> w = NewBrowserWindow();
    auto h = MakeComObject<TIEBrowserHelper>();
    if (kind == 0) HideInterface("IConnectionPointContainer", w.get());
    if (kind == 1) InjectFault("IConnectionPointContainer::FindConnectionPoint", E_FAIL);
    if (kind == 2) InjectFault("IConnectionPointContainer::FindConnectionPoint", S_OK);
    if (kind == 3) InjectFault("IConnectionPoint::Advise", S_OK);  // "connected", no cookie
    EXPECT_EQ(E_FAIL, h->SetSite(w.get())) << kind;
    EXPECT_FALSE(h->Browser()) << kind;
    EXPECT_FALSE(HelperOn(w.get())) << kind;
    ClearFaults();
    EXPECT_EQ(0, FireEvent(w.get(), DIID_DWebBrowserEvents2, DISPID_DOWNLOADBEGIN, {}));
    EXPECT_EQ(S_OK, w->Quit());
  }
  // A refused property still leaves the window's events connected.
  ComPtr<IWebBrowser2> w = NewBrowserWindow();
  auto h = MakeComObject<TIEBrowserHelper>();
  InjectFault("IWebBrowser2::PutProperty", E_FAIL);
  EXPECT_EQ(E_FAIL, h->SetSite(w.get()));
  EXPECT_EQ(1, FireEvent(w.get(), DIID_DWebBrowserEvents2, DISPID_DOWNLOADBEGIN, {}));
  ClearFaults();
  w->Quit();

  // A site that is no browser.
  ComPtr<IUnknown> other(MakeComObject<TIEBrowserHelper>()->Identity());
  EXPECT_EQ(E_FAIL, helper->SetSite(other.get()));
}

TEST_F(HelperTest, ArgumentsOfTheWrongTypeEndTheHandling) {
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(kPages + "conv_frame2.html"));
  const std::u16string url = helper->CurrentURL();
  ComPtr<IDispatch> self(static_cast<IIEBrowserHelper*>(helper.get()));
  auto invoke = [&](DISPID id, std::vector<VARIANT> args) {
    return InvokeDispatch(self.get(), id, DISPATCH_METHOD, std::move(args));
  };
  VARIANT number = VariantInt(7), text = VariantString(u"file:///x.html");
  // pDisp not an object, or an object that is no browser; URL not a string.
  EXPECT_EQ(S_OK, invoke(DISPID_BEFORENAVIGATE2, {VariantString(u"x"), VariantRef(&text)}));
  EXPECT_EQ(S_OK, invoke(DISPID_BEFORENAVIGATE2, {VariantDispatch(self.get()), VariantRef(&text)}));
  EXPECT_EQ(S_OK,
            invoke(DISPID_BEFORENAVIGATE2, {VariantDispatch(window.get()), VariantRef(&number)}));
  EXPECT_EQ(S_OK, invoke(DISPID_NAVIGATECOMPLETE2, {VariantDispatch(window.get()), VariantInt(1)}));
  EXPECT_EQ(S_OK, invoke(DISPID_DOCUMENTCOMPLETE, {VariantDispatch(window.get()), VariantNull()}));
  EXPECT_EQ(S_OK, invoke(DISPID_BEFORENAVIGATE2, {}));
  EXPECT_EQ(S_OK, invoke(DISPID_NAVIGATECOMPLETE2, {VariantDispatch(window.get())}));
  EXPECT_EQ(helper->CurrentURL(), url);
  EXPECT_EQ(helper->CompletedURL(), url);
  // A URL given as a plain string is read.
  EXPECT_EQ(S_OK, invoke(DISPID_NAVIGATECOMPLETE2, {VariantDispatch(window.get()), text}));
  EXPECT_EQ(helper->CurrentURL(), u"file:///x.html");

  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke(999, {}));
  EXPECT_EQ(S_OK, invoke(DISPID_DOWNLOADBEGIN, {}));
  UINT count = 9;
  EXPECT_EQ(E_NOTIMPL, self->GetTypeInfoCount(&count));
  EXPECT_EQ(count, 0u);
}

TEST_F(HelperTest, PageConversionReachesTheHelperThroughItsProperty) {
  ASSERT_EQ(S_OK, Site());
  ASSERT_TRUE(module->connectFormEvents);
  ComPtr<IIEBrowserHelper> own;
  ComPtr<IDispatch> asDispatch;
  ASSERT_EQ(S_OK, helper->QueryInterface(IID_IIEBrowserHelper, own.put_void()));
  ASSERT_EQ(S_OK, helper->QueryInterface(IID_IDispatch, asDispatch.put_void()));
  EXPECT_EQ(static_cast<IDispatch*>(own.get()), asDispatch.get());
  EXPECT_EQ(HelperOn(window.get()), asDispatch.get());
}

TEST_F(HelperTest, ZoomsEachPageByItsUrlAndABrokenPatternEndsNothing) {
  const std::string zoomed = WriteFormPages();
  const std::string plain = WritePage("plain.html", u"big5", u"<p>x</p>", 950);
  module->shared.AutoZoom = true;
  module->shared.defaultZoom = 90;
  // The broken entry is the last, so the first looked at.
  module->shared.autoZoomList = {{150, NormalizeUrlPattern("file://" + (home / "forms.*").string())},
                                 {40, NormalizeUrlPattern("*[unclosed")}};
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(zoomed));
  EXPECT_EQ(Zoom(window.get()), u"150%");
  ASSERT_EQ(S_OK, Navigate(plain));
  EXPECT_EQ(Zoom(window.get()), u"90%");

  // While the page still loads the whole window is converted and its forms
  // connected again, the broken entry notwithstanding.
  ASSERT_EQ(S_OK, Navigate(zoomed));
  ClearZoom(window.get());
  module->shared.AutoConvert = 2;
  int conversions = 0;
  helper->beforeWindowConversion = [&] { ++conversions; };
  SetReadyState(window.get(), READYSTATE_INTERACTIVE);
  Fire(DISPID_DOWNLOADCOMPLETE);
  EXPECT_EQ(conversions, 1);
  EXPECT_EQ(Zoom(window.get()), u"150%");
  EXPECT_EQ(helper->FormConnections().size(), 2u);

  // Switched off: the page keeps its own zoom.
  module->shared.AutoZoom = false;
  ASSERT_EQ(S_OK, Navigate(plain));
  EXPECT_EQ(Zoom(window.get()), u"");
}

TEST_F(HelperTest, ConnectsTheFormsOfEveryFrameUntilThePageIsLeftOrTheWindowQuits) {
  module->shared.page.uiCodePage = 936;
  module->shared.AutoConvert = 0;  // forms are connected all the same
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(WriteFormPages()));
  ComPtr<IWebBrowser2> frame = GetEmbeddedBrowser(window.get(), 0);
  ASSERT_TRUE(frame);
  ComPtr<IHTMLFormElement> top = Form(window.get(), u"t"), inner = Form(frame.get(), u"f");
  ASSERT_TRUE(top && inner);
  // Sent in the page's script: big5, Traditional.
  EXPECT_EQ(TypeAndSubmit(top.get(), u"简体"), u"簡體");
  EXPECT_EQ(TypeAndSubmit(inner.get(), u"简体"), u"簡體");

  // DownloadComplete drops every connection and makes one per form again.
  SetReadyState(window.get(), READYSTATE_INTERACTIVE);
  Fire(DISPID_DOWNLOADCOMPLETE);
  EXPECT_EQ(helper->FormConnections().size(), 2u);
  EXPECT_EQ(1, FireEvent(inner.get(), DIID_HTMLFormElementEvents2, 1007, {}));

  // A frame that navigates leaves the window's forms connected; the window
  // that navigates does not.
  VARIANT url = VariantString(u"file:///elsewhere.html");
  Fire(DISPID_BEFORENAVIGATE2, {VariantDispatch(frame.get()), VariantRef(&url)});
  EXPECT_EQ(helper->FormConnections().size(), 2u);
  Fire(DISPID_BEFORENAVIGATE2, {VariantDispatch(window.get()), VariantRef(&url)});
  EXPECT_TRUE(helper->FormConnections().empty());
  EXPECT_EQ(0, FireEvent(top.get(), DIID_HTMLFormElementEvents2, 1007, {}));
  EXPECT_EQ(TypeAndSubmit(top.get(), u"简体"), u"&#31616;体");

  // Page conversion asks for a page's forms through the helper's interface.
  ComPtr<IIEBrowserHelper> own;
  ASSERT_EQ(S_OK, helper->QueryInterface(IID_IIEBrowserHelper, own.put_void()));
  EXPECT_EQ(S_OK, own->ConnectFormEvents(frame.get()));
  EXPECT_EQ(helper->FormConnections().size(), 1u);
  EXPECT_EQ(1, FireEvent(inner.get(), DIID_HTMLFormElementEvents2, 1007, {}));

  EXPECT_EQ(1, Fire(DISPID_ONQUIT));
  EXPECT_TRUE(helper->FormConnections().empty());
  EXPECT_EQ(0, FireEvent(inner.get(), DIID_HTMLFormElementEvents2, 1007, {}));
}

TEST_F(HelperTest, InvokeHandsSubmitAndKeysToTheirHandlers) {
  module->shared.page.uiCodePage = 936;
  module->shared.ZoomIncrement = 10;
  module->shared.HotKeyTable[0] = kHotKeyCtrl | kHotKeyAlt | 'T';  // page to Traditional
  module->shared.HotKeyTable[4] = kHotKeyCtrl | 'Z';               // zoom in
  const std::string simp = WritePage("simp.html", u"gb2312", u"<p>头发 中国</p>", 936);
  ASSERT_EQ(S_OK, Site());
  ASSERT_EQ(S_OK, Navigate(simp));
  EXPECT_EQ(1, PressKey(window.get(), 'Z', false, true, false));
  EXPECT_EQ(Zoom(window.get()), u"110%");
  PressKey(window.get(), 'Z', true, true, false);  // no hotkey
  EXPECT_EQ(Zoom(window.get()), u"110%");
  PressKey(window.get(), 'T', true, true, false);
  EXPECT_EQ(Text(window.get()), u"頭髮 中國");

  // onsubmit straight through Invoke, with the event object or anything else.
  ASSERT_EQ(S_OK, Navigate(WriteFormPages()));
  ComPtr<IHTMLFormElement> form = Form(window.get(), u"t");
  ComPtr<IDispatch> control;
  form->item(VariantInt(0), VARIANT{}, control.put());
  auto element = control.query<IHTMLElement>();
  TypeText(element.get(), u"简体");
  ComPtr<IDispatch> self(static_cast<IIEBrowserHelper*>(helper.get()));
  EXPECT_EQ(S_OK, InvokeDispatch(self.get(), 1007, DISPATCH_METHOD, {VariantInt(3)}));
  EXPECT_EQ(S_OK, InvokeDispatch(self.get(), -602, DISPATCH_METHOD, {}));
  EXPECT_EQ(CurrentValue(element.get()), u"简体");
  auto event = MakeEventObject(form.query<IHTMLElement>().get(), u"submit");
  EXPECT_EQ(S_OK, InvokeDispatch(self.get(), 1007, DISPATCH_METHOD, {VariantDispatch(event.get())}));
  EXPECT_EQ(CurrentValue(element.get()), u"簡體");
}

}  // namespace
}  // namespace quillmer
