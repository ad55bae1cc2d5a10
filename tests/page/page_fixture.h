// Pages loaded into the browser model over small hand-made tables, for the
// page conversion tests.
#pragma once

#include <filesystem>
#include <string>

#include "page/page_state.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "tests/cli/run_program.h"
#include "tests/engine/table_fixture.h"

namespace quillmer::testing {

class PageFixture : public SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
    // Frequent characters for the detector: Big5 and GBK codes.
    SetResourceOverride("testtbl1", RT_RCDATA, Big5(u"頭國華"));
    SetResourceOverride("testtbl2", RT_RCDATA, Gbk(u"头国华"));
    ClearFaults();
  }
  void TearDown() override {
    ClearFaults();
    SmallTables::TearDown();
  }
  // What the tests' conversions are handed: their settings and page state.
  PageContext Context() { return PageContext{settings, state, connectFormEvents}; }

  // A page of the given text, written in code page cp, as if it were the
  // file page.html of a temporary directory.
  ComPtr<IWebBrowser2> Load(std::u16string_view html, UINT cp) {
    return LoadPageFromBytes(EncodeCodePage(cp, html), (dir / "page.html").string());
  }
  ComPtr<IWebBrowser2> LoadGb(std::u16string_view body, std::u16string_view head = u"") {
    return Load(Html(u"gb2312", head, body), 936);
  }
  static std::u16string Html(std::u16string_view charset, std::u16string_view head,
                             std::u16string_view body) {
    return u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
           std::u16string(charset) + u"\">" + std::u16string(head) + u"</head><body>" +
           std::u16string(body) + u"</body></html>";
  }
  // A fixture page of tests/data/pages.
  static ComPtr<IWebBrowser2> LoadFixture(const std::string& name) {
    return LoadPage(std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/" + name);
  }

  static ComPtr<IHTMLDocument2> Doc(IWebBrowser2* browser) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(browser->get_Document(d.put()), S_OK);
    return d.query<IHTMLDocument2>();
  }
  static std::u16string BodyText(IWebBrowser2* browser) {
    ComPtr<IHTMLElement> body;
    Doc(browser)->get_body(body.put());
    std::u16string t;
    if (body) body->get_innerText(&t);
    return t;
  }
  static std::u16string Title(IWebBrowser2* browser) {
    std::u16string t;
    Doc(browser)->get_title(&t);
    return t;
  }
  static std::u16string Charset(IWebBrowser2* browser) {
    std::u16string t;
    Doc(browser)->get_charset(&t);
    return t;
  }
  static ComPtr<IHTMLElement> ById(IWebBrowser2* browser, const std::u16string& id) {
    ComPtr<IHTMLElement> e;
    Doc(browser).query<IHTMLDocument3>()->getElementById(id, e.put());
    EXPECT_TRUE(e) << ToUtf8(id);
    return e;
  }
  // The attribute's text; "<null>" when it is absent.
  static std::u16string Attr(IWebBrowser2* browser, const std::u16string& id,
                             const std::u16string& name) {
    VARIANT v;
    ById(browser, id)->getAttribute(name, 0, &v);
    return v.vt == VT_BSTR ? v.bstrVal : u"<null>";
  }
  static std::u16string Property(IWebBrowser2* browser, const std::u16string& name) {
    VARIANT v;
    browser->GetProperty(name, &v);
    return v.vt == VT_BSTR ? v.bstrVal : u"<unset>";
  }

  PageSettings settings;
  PageState state;
  FormEventsConnector connectFormEvents;
  TempDir dir;
};

}  // namespace quillmer::testing
