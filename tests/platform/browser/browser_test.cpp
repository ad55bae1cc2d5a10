#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/browser/page.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(b->get_Document(d.put()), S_OK);
  return d.query<IHTMLDocument2>();
}

std::u16string Str(IHTMLDocument2* d, HRESULT (IHTMLDocument2::*get)(std::u16string*)) {
  std::u16string s;
  EXPECT_EQ((d->*get)(&s), S_OK);
  return s;
}

std::u16string BodyText(IWebBrowser2* b) {
  ComPtr<IHTMLElement> body;
  Doc(b)->get_body(body.put());
  std::u16string t;
  if (body) body->get_innerText(&t);
  return t;
}

ComPtr<IHTMLElement> ById(IWebBrowser2* b, const std::u16string& id) {
  ComPtr<IHTMLElement> e;
  Doc(b).query<IHTMLDocument3>()->getElementById(id, e.put());
  return e;
}

std::u16string Attr(IHTMLElement* e, const std::u16string& name) {
  VARIANT v;
  EXPECT_EQ(e->getAttribute(name, 0, &v), S_OK);
  return v.vt == VT_BSTR ? v.bstrVal : u"<null>";
}

std::vector<ComPtr<IUnknown>> Embeddings(IWebBrowser2* b, ULONG ask = 100) {
  ComPtr<IEnumUnknown> items;
  EXPECT_EQ(Doc(b).query<IOleContainer>()->EnumObjects(OLECONTF_EMBEDDINGS, items.put()), S_OK);
  std::vector<IUnknown*> raw(ask, nullptr);
  ULONG fetched = 0;
  items->Next(ask, raw.data(), &fetched);
  std::vector<ComPtr<IUnknown>> out;
  for (ULONG i = 0; i < fetched; ++i) out.push_back(Adopt(raw[i]));
  return out;
}

ComPtr<IWebBrowser2> Frame(IWebBrowser2* b, size_t i) {
  auto e = Embeddings(b);
  return i < e.size() ? e[i].query<IWebBrowser2>() : nullptr;
}

std::u16string Url(IWebBrowser2* b) {
  std::u16string u;
  b->get_LocationURL(&u);
  return u;
}

ComPtr<IWebBrowser2> FromBytes(const std::string& bytes, const TempDir& dir,
                               const LoadOptions& options = {}) {
  return LoadPageFromBytes(bytes, (dir / "page.html").string(), options);
}

std::string Html(const std::string& head, const std::string& body) {
  return "<html><head>" + head + "</head><body>" + body + "</body></html>";
}

class Browser : public ::testing::Test {
 protected:
  void SetUp() override { ClearFaults(); }
  void TearDown() override {
    ClearFaults();
    SetEncodingDetector({});
    ResetCodePages();
  }
  TempDir dir;
};

// --- Character sets

TEST(Charsets, DeclaredNamesAndCodePagesUseTheBrowsersNames) {
  EXPECT_EQ(LookUpCharset("GBK").name, "gb2312");
  EXPECT_EQ(LookUpCharset(" 'Big5' ").codePage, 950u);
  EXPECT_EQ(LookUpCharset("HZ-GB-2312").codePage, 52936u);
  EXPECT_EQ(LookUpCharset("utf-16").name, "unicode");
  EXPECT_EQ(LookUpCharset("UTF-16BE").name, "unicodefffe");
  EXPECT_EQ(LookUpCharset("latin1").name, "iso-8859-1");
  EXPECT_EQ(LookUpCharset("x-unknown").codePage, 0u);
  EXPECT_EQ(CharsetNameOf(936), "gb2312");
  EXPECT_EQ(CharsetNameOf(54936), "gb18030");
  EXPECT_EQ(CharsetNameOf(1201), "unicodefffe");
  EXPECT_EQ(CharsetNameOf(12345), "");
}

TEST_F(Browser, SignatureBeatsDeclarationWhichBeatsDetection) {
  std::string decl = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">";
  auto b = FromBytes("\xEF\xBB\xBF" + Html(decl, "\xE4\xB8\xAD"), dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"utf-8");
  EXPECT_EQ(CharsetSourceOf(Doc(b.get()).get()), CharsetSource::Signature);
  EXPECT_EQ(BodyText(b.get()), u"中");

  int asked = 0;
  SetEncodingDetector([&](std::string_view) {
    ++asked;
    return 936u;
  });
  b = FromBytes(Html(decl, EncodeCodePage(950, u"中華")), dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"big5");
  EXPECT_EQ(BodyText(b.get()), u"中華");
  EXPECT_EQ(asked, 0);

  // Undeclared (the declaration in a comment does not count): detection.
  b = FromBytes(Html("<!-- <meta charset=big5> -->", EncodeCodePage(936, u"中华")), dir);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"gb2312");
  EXPECT_EQ(CharsetSourceOf(Doc(b.get()).get()), CharsetSource::Detection);
  EXPECT_EQ(BodyText(b.get()), u"中华");
}

TEST_F(Browser, Utf16PagesByTheirSignature) {
  std::u16string html = u"<html><body>中文</body></html>";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char16_t c : html) {
    le += static_cast<char>(c & 0xFF), le += static_cast<char>(c >> 8);
    be += static_cast<char>(c >> 8), be += static_cast<char>(c & 0xFF);
  }
  auto b = FromBytes(le, dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"unicode");
  EXPECT_EQ(BodyText(b.get()), u"中文");
  b = FromBytes(be, dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"unicodefffe");
  EXPECT_EQ(BodyText(b.get()), u"中文");
  // Saved again with its signature.
  EXPECT_EQ(SerializeDocument(Doc(b.get()).get()).substr(0, 2), "\xFE\xFF");
}

TEST_F(Browser, DeclarationsThatCannotBeTrueFallBack) {
  // A UTF-16 declaration read in ASCII bytes: the bytes are UTF-8.
  auto b = FromBytes(Html("<meta charset=\"utf-16\">", "\xE4\xB8\xAD"), dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"utf-8");
  EXPECT_EQ(BodyText(b.get()), u"中");
  // Unknown or missing code pages are no declaration.
  SetCodePageInstalled(950, false);
  b = FromBytes(Html("<meta charset=big5>", "\xE4\xB8\xAD"), dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"utf-8");
  b = FromBytes(Html("<meta charset=x-klingon>", "abc"), dir);
  EXPECT_EQ(CharsetSourceOf(Doc(b.get()).get()), CharsetSource::Default);
  // Nothing declared nor detected, not UTF-8: the system's code page.
  setenv("QUILLMER_ACP", "936", 1);
  b = FromBytes(Html("", EncodeCodePage(936, u"简体")), dir);
  unsetenv("QUILLMER_ACP");
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"gb2312");
  EXPECT_EQ(BodyText(b.get()), u"简体");
}

TEST_F(Browser, HzPagesDecodeAndSaveInHz) {
  auto b = FromBytes(Html("<meta charset=\"hz-gb-2312\">", "~{VPND~} a~~b"), dir);
  EXPECT_EQ(Str(Doc(b.get()).get(), &IHTMLDocument2::get_charset), u"hz-gb-2312");
  EXPECT_EQ(BodyText(b.get()), u"中文 a~b");
  EXPECT_NE(SerializeDocument(Doc(b.get()).get()).find("~{VPND~} a~~b"), std::string::npos);
}

// --- Document model

TEST_F(Browser, BodyTextSkipsScriptsAndStylesAndAFramesetHasNone) {
  auto b = FromBytes(Html("<style>p{}</style>",
                          "<p>一</p><script>var x='二';</script><noscript>三</noscript>"
                          "<style>b{}</style>四<br>五"),
                     dir);
  EXPECT_EQ(BodyText(b.get()), u"一\r\n四\r\n五");

  auto top = LoadPage(kPages + "browser_frames.html");
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(Doc(top.get())->get_body(body.put()), S_OK);
  std::u16string tag;
  body->get_tagName(&tag);
  EXPECT_EQ(tag, u"FRAMESET");
  EXPECT_EQ(BodyText(top.get()), u"");
  EXPECT_EQ(Str(Doc(top.get()).get(), &IHTMLDocument2::get_title), u"Frames: 框架");
}

TEST_F(Browser, TitlesAreReadWrittenAndMadeWhenMissing) {
  auto b = FromBytes(Html("", "x"), dir);
  auto d = Doc(b.get());
  EXPECT_EQ(Str(d.get(), &IHTMLDocument2::get_title), u"");
  EXPECT_EQ(d->put_title(u"新 <标题>"), S_OK);
  EXPECT_EQ(Str(d.get(), &IHTMLDocument2::get_title), u"新 <标题>");
  std::u16string name;
  b->get_LocationName(&name);
  EXPECT_EQ(name, u"新 <标题>");
  EXPECT_NE(SerializeDocument(d.get()).find("<title>新 &lt;标题&gt;</title>"), std::string::npos);
}

TEST_F(Browser, TextNodesWalkInDocumentOrderAndTakeNewValues) {
  auto b = FromBytes(Html("", "<p>a<b>b</b><!--c-->d</p>"), dir);
  ComPtr<IHTMLElementCollection> ps;
  Doc(b.get()).query<IHTMLDocument3>()->getElementsByTagName(u"P", ps.put());
  ComPtr<IDispatch> item;
  ps->item(VariantInt(0), VariantInt(0), item.put());
  auto node = item.query<IHTMLDOMNode>();
  std::vector<std::pair<LONG, std::u16string>> seen;
  ComPtr<IHTMLDOMNode> c;
  node->get_firstChild(c.put());
  while (c) {
    LONG type = 0;
    c->get_nodeType(&type);
    VARIANT v;
    c->get_nodeValue(&v);
    seen.push_back({type, v.vt == VT_BSTR ? v.bstrVal : u"<null>"});
    if (type == NODE_TEXT) c->put_nodeValue(VariantString(v.bstrVal + u"!"));
    ComPtr<IHTMLDOMNode> n;
    c->get_nextSibling(n.put());
    c = n;
  }
  EXPECT_EQ(
      seen,
      (std::vector<std::pair<LONG, std::u16string>>{
          {NODE_TEXT, u"a"}, {NODE_ELEMENT, u"<null>"}, {NODE_COMMENT, u"c"}, {NODE_TEXT, u"d"}}));
  std::u16string html;
  item.query<IHTMLElement>()->get_innerHTML(&html);
  EXPECT_EQ(html, u"a!<b>b</b><!--c-->d!");
}

TEST_F(Browser, ElementsAttributesCollectionsAndTheirInterfaces) {
  auto b = LoadPage(kPages + "browser_right.html");
  auto d = Doc(b.get());
  ComPtr<IHTMLElementCollection> all, links, forms;
  d->get_all(all.put());
  d->get_links(links.put());
  d->get_forms(forms.put());
  LONG n = 0;
  links->get_length(&n);
  EXPECT_EQ(n, 2);  // <a href> and <area href>; not <a name>
  forms->get_length(&n);
  EXPECT_EQ(n, 1);
  all->get_length(&n);
  ComPtr<IDispatch> first, past;
  all->item(VariantInt(0), VariantInt(0), first.put());
  all->item(VariantInt(n), VariantInt(0), past.put());
  EXPECT_FALSE(past);
  std::u16string tag;
  first.query<IHTMLElement>()->get_tagName(&tag);
  EXPECT_EQ(tag, u"HTML");

  auto img = ById(b.get(), u"img");
  EXPECT_EQ(Attr(img.get(), u"ALT"), u"图");
  EXPECT_EQ(Attr(img.get(), u"longdesc"), u"<null>");
  EXPECT_EQ(img->setAttribute(u"Title", VariantInt(7), 0), S_OK);
  EXPECT_EQ(Attr(img.get(), u"title"), u"7");
  EXPECT_EQ(img->setAttribute(u"x", VariantNull(), 0), DISP_E_TYPEMISMATCH);

  // Font, base font and form interfaces only on their own elements.
  auto font = ById(b.get(), u"font");
  std::u16string face;
  ASSERT_TRUE(font.query<IHTMLFontElement>());
  font.query<IHTMLFontElement>()->get_face(&face);
  EXPECT_EQ(face, u"宋体");
  EXPECT_FALSE(font.query<IHTMLBaseFontElement>());
  EXPECT_FALSE(img.query<IHTMLFontElement>());
  auto base = ById(b.get(), u"basefont").query<IHTMLBaseFontElement>();
  ASSERT_TRUE(base);
  base->put_face(u"mingliu");
  EXPECT_EQ(Attr(ById(b.get(), u"basefont").get(), u"face"), u"mingliu");

  auto form = ById(b.get(), u"f").query<IHTMLFormElement>();
  ASSERT_TRUE(form);
  form->get_length(&n);
  EXPECT_EQ(n, 3);
  ComPtr<IDispatch> q;
  form->item(VariantString(u"q"), VARIANT{}, q.put());
  EXPECT_EQ(Attr(q.query<IHTMLElement>().get(), u"value"), u"值");
  EXPECT_TRUE(form.query<IConnectionPointContainer>());
  EXPECT_FALSE(img.query<IConnectionPointContainer>());

  // A text node is a node and no element.
  ComPtr<IHTMLDOMNode> text;
  font.query<IHTMLDOMNode>()->get_firstChild(text.put());
  EXPECT_FALSE(text.query<IHTMLElement>());
  ComPtr<IDispatch> owner;
  img->get_document(owner.put());
  EXPECT_TRUE(IsSameObject(owner.get(), d.get()));
}

TEST_F(Browser, InlineStylesReadAndWriteTheirDeclarations) {
  auto b = LoadPage(kPages + "browser_right.html");
  ComPtr<IHTMLStyle> style;
  ById(b.get(), u"styled")->get_style(style.put());
  std::u16string v;
  style->get_fontFamily(&v);
  EXPECT_EQ(v, u"SimSun, serif");
  style->get_font(&v);
  EXPECT_EQ(v, u"");
  EXPECT_EQ(style->put_fontFamily(u"mingliu, serif"), S_OK);
  VARIANT zoom;
  style.query<IHTMLStyle3>()->get_zoom(&zoom);
  EXPECT_EQ(zoom, VariantString(u"120%"));
  style.query<IHTMLStyle3>()->put_zoom(VariantString(u"110%"));
  EXPECT_EQ(Attr(ById(b.get(), u"styled").get(), u"style"),
            u"color: red; font-family: mingliu, serif; zoom: 110%");

  // An element without a style attribute gets one on the first write.
  ComPtr<IHTMLStyle> plain;
  ById(b.get(), u"img")->get_style(plain.put());
  plain->get_fontFamily(&v);
  EXPECT_EQ(v, u"");
  plain->put_font(u"12px simsun");
  plain.query<IHTMLStyle3>()->put_zoom(VariantString(u"90%"));
  EXPECT_EQ(Attr(ById(b.get(), u"img").get(), u"style"), u"font: 12px simsun; zoom: 90%");
  plain.query<IHTMLStyle3>()->put_zoom(VariantString(u""));
  EXPECT_EQ(Attr(ById(b.get(), u"img").get(), u"style"), u"font: 12px simsun;");
  // Quotes and parentheses hide semicolons and colons.
  plain->put_cssText(u"background: url(a;b.png); font-family: \"a;b\"");
  plain->get_fontFamily(&v);
  EXPECT_EQ(v, u"\"a;b\"");
}

TEST_F(Browser, StyleSheetsAreStyleElementsAndLoadedLocalLinks) {
  auto top = LoadPage(kPages + "browser_frames.html");
  ComPtr<IHTMLStyleSheetsCollection> sheets;
  ASSERT_EQ(Doc(top.get())->get_styleSheets(sheets.put()), S_OK);
  LONG n = 0;
  sheets->get_length(&n);
  ASSERT_EQ(n, 2);
  std::vector<std::u16string> texts;
  for (LONG i = 0; i < n; ++i) {
    VARIANT v;
    ASSERT_EQ(sheets->item(VariantInt(i), &v), S_OK);
    auto sheet = v.pdispVal.query<IHTMLStyleSheet>();
    std::u16string css;
    sheet->get_cssText(&css);
    texts.push_back(css);
  }
  EXPECT_EQ(texts[0], u"p { font-family: \"simsun\", serif; }\n");
  EXPECT_EQ(texts[1], u"body { font-family: simsun; }");
  VARIANT v;
  EXPECT_EQ(sheets->item(VariantInt(2), &v), E_INVALIDARG);

  // Remote and missing sheets are none.
  auto b = FromBytes(Html("<link rel=stylesheet href=http://x/a.css>"
                          "<link rel=\"alternate Stylesheet\" href=gone.css><style>a{}</style>",
                          ""),
                     dir);
  Doc(b.get())->get_styleSheets(sheets.put());
  sheets->get_length(&n);
  EXPECT_EQ(n, 1);
}

// --- Browsers, frames, services

TEST_F(Browser, FramesLoadAsEmbeddedBrowsersInDocumentOrder) {
  auto top = LoadPage(kPages + "browser_frames.html");
  auto items = Embeddings(top.get());
  ASSERT_EQ(items.size(), 4u);
  for (auto& item : items) EXPECT_TRUE(item.query<IWebBrowser2>());
  auto left = Frame(top.get(), 0), right = Frame(top.get(), 1);
  EXPECT_TRUE(Url(left.get()).ends_with(u"/tests/data/pages/browser_sub/browser_left.html"));
  EXPECT_TRUE(Url(left.get()).starts_with(u"file:///"));
  EXPECT_TRUE(Url(right.get()).ends_with(u"/browser_right.html"));
  // A missing file and a remote page are empty documents.
  EXPECT_EQ(Url(Frame(top.get(), 2).get()), u"about:blank");
  EXPECT_EQ(Url(Frame(top.get(), 3).get()), u"about:blank");
  EXPECT_EQ(BodyText(Frame(top.get(), 2).get()), u"");

  // The left frame: an inline frame, a plug-in that is no browser, and a
  // frame that would load the page itself again.
  auto inner = Embeddings(left.get());
  ASSERT_EQ(inner.size(), 3u);
  EXPECT_EQ(BodyText(inner[0].query<IWebBrowser2>().get()), u"里面");
  EXPECT_FALSE(inner[1].query<IWebBrowser2>());
  EXPECT_TRUE(inner[1].query<IDispatch>());
  EXPECT_EQ(Url(inner[2].query<IWebBrowser2>().get()), u"about:blank");
  EXPECT_EQ(BodyText(left.get()), u"左边 text");
}

TEST_F(Browser, EnumerationFetchesInBatchesAndSkips) {
  std::string body;
  for (int i = 0; i < 150; ++i) body += i % 2 ? "<embed src=x.swf>" : "<iframe></iframe>";
  auto b = FromBytes(Html("", body), dir);
  EXPECT_EQ(Embeddings(b.get(), 100).size(), 100u);
  EXPECT_EQ(Embeddings(b.get(), 200).size(), 150u);

  ComPtr<IEnumUnknown> items;
  Doc(b.get()).query<IOleContainer>()->EnumObjects(OLECONTF_EMBEDDINGS, items.put());
  EXPECT_EQ(items->Skip(149), S_OK);
  IUnknown* one = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(items->Next(1, &one, &fetched), S_OK);
  auto last = Adopt(one);
  EXPECT_TRUE(last.query<IDispatch>());
  EXPECT_FALSE(last.query<IWebBrowser2>());  // an <embed>
  EXPECT_EQ(items->Next(1, &one, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(items->Skip(1), S_FALSE);
  EXPECT_EQ(items->Reset(), S_OK);
  EXPECT_EQ(items->Next(2, &one, nullptr), E_POINTER);
  // Other kinds of objects are not enumerated.
  Doc(b.get()).query<IOleContainer>()->EnumObjects(OLECONTF_LINKS, items.put());
  EXPECT_EQ(items->Next(1, &one, &fetched), S_FALSE);
}

TEST_F(Browser, ServicesLeadToTheTopAndToTheNearestBrowser) {
  auto top = LoadPage(kPages + "browser_frames.html");
  auto left = Frame(top.get(), 0);
  auto inner = Embeddings(left.get())[0].query<IWebBrowser2>();
  ComPtr<IHTMLWindow2> window;
  Doc(inner.get())->get_parentWindow(window.put());
  ASSERT_TRUE(window);
  std::u16string name;
  window->get_name(&name);
  EXPECT_EQ(name, u"inner");

  for (IUnknown* from :
       {static_cast<IUnknown*>(window.get()), static_cast<IUnknown*>(Doc(inner.get()).get()),
        static_cast<IUnknown*>(inner.get())}) {
    auto sp = ComPtr<IUnknown>(from).query<IServiceProvider>();
    ASSERT_TRUE(sp);
    ComPtr<IServiceProvider> topSp;
    ASSERT_EQ(QueryService(sp.get(), SID_STopLevelBrowser, &topSp), S_OK);
    ComPtr<IWebBrowser2> found;
    ASSERT_EQ(QueryService(topSp.get(), SID_SWebBrowserApp, &found), S_OK);
    EXPECT_TRUE(IsSameObject(found.get(), top.get()));
    ASSERT_EQ(QueryService(sp.get(), SID_SWebBrowserApp, &found), S_OK);
    EXPECT_TRUE(IsSameObject(found.get(), inner.get()));
    EXPECT_EQ(QueryService(sp.get(), IID_IWebBrowser2, &found), E_NOINTERFACE);
    EXPECT_FALSE(found);
  }
  ComPtr<IHTMLDocument2> back;
  window->get_document(back.put());
  EXPECT_TRUE(IsSameObject(back.get(), Doc(inner.get()).get()));
}

TEST_F(Browser, PropertiesReadyStateAndStop) {
  auto b = FromBytes(Html("", "x"), dir);
  VARIANT v;
  EXPECT_EQ(b->GetProperty(u"OrigCharset", &v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  b->PutProperty(u"OrigCharset", VariantString(u"big5"));
  b->GetProperty(u"OrigCharset", &v);
  EXPECT_EQ(v, VariantString(u"big5"));
  b->GetProperty(u"origcharset", &v);
  EXPECT_EQ(v.vt, VT_EMPTY);

  READYSTATE state;
  b->get_ReadyState(&state);
  EXPECT_EQ(state, READYSTATE_COMPLETE);
  SetReadyState(b.get(), READYSTATE_INTERACTIVE);
  std::u16string rs;
  Doc(b.get())->get_readyState(&rs);
  EXPECT_EQ(rs, u"interactive");
  EXPECT_EQ(b->Stop(), S_OK);
  b->get_ReadyState(&state);
  EXPECT_EQ(state, READYSTATE_COMPLETE);
  EXPECT_EQ(StopCount(b.get()), 1);
}

// Records the events it is sent.
class TSink final : public ComObject<IDispatch> {
 public:
  std::vector<DISPID> got;
  std::u16string lastType;
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    got.push_back(id);
    DispatchArgs args(params);
    if (VARIANT* v = args.value(0); v && v->vt == VT_DISPATCH)
      if (auto e = v->pdispVal.query<IHTMLEventObj>()) e->get_type(&lastType);
    return S_OK;
  }
};

TEST_F(Browser, EventsReachAdvisedSinksUntilQuit) {
  auto b = LoadPage(kPages + "browser_right.html");
  auto sink = MakeComObject<TSink>();
  DWORD browserCookie = 0, formCookie = 0;
  ASSERT_EQ(AtlAdvise(b.get(), sink.get(), DIID_DWebBrowserEvents2, &browserCookie), S_OK);
  auto form = ById(b.get(), u"f");
  ASSERT_EQ(AtlAdvise(form.get(), sink.get(), DIID_HTMLFormElementEvents2, &formCookie), S_OK);
  DWORD docCookie = 0;
  ASSERT_EQ(AtlAdvise(Doc(b.get()).get(), sink.get(), DIID_HTMLDocumentEvents2, &docCookie), S_OK);

  EXPECT_EQ(FireEvent(b.get(), DIID_DWebBrowserEvents2, DISPID_DOWNLOADCOMPLETE, {}), 1);
  auto event = MakeEventObject(form.get(), u"submit");
  EXPECT_EQ(FireEvent(form.get(), DIID_HTMLFormElementEvents2,
                      DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT, {VariantDispatch(event.get())}),
            1);
  EXPECT_EQ(sink->lastType, u"submit");
  ComPtr<IHTMLElement> src;
  event->get_srcElement(src.put());
  EXPECT_TRUE(IsSameObject(src.get(), form.get()));

  b->PutProperty(u"helper", VariantDispatch(sink.get()));
  EXPECT_EQ(b->Quit(), S_OK);
  EXPECT_EQ(sink->got,
            (std::vector<DISPID>{DISPID_DOWNLOADCOMPLETE, DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT,
                                 DISPID_ONQUIT}));
  VARIANT v;
  b->GetProperty(u"helper", &v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(FireEvent(b.get(), DIID_DWebBrowserEvents2, DISPID_DOWNLOADCOMPLETE, {}), 0);
}

TEST_F(Browser, InjectedFaultsHitOneObjectOrAll) {
  auto top = LoadPage(kPages + "browser_frames.html");
  auto left = Frame(top.get(), 0), right = Frame(top.get(), 1);
  InjectFault("IHTMLDocument2::get_body", E_ACCESSDENIED, Doc(left.get()).get());
  ComPtr<IHTMLElement> body;
  EXPECT_EQ(Doc(left.get())->get_body(body.put()), E_ACCESSDENIED);
  EXPECT_FALSE(body);
  EXPECT_EQ(Doc(right.get())->get_body(body.put()), S_OK);

  HideInterface("IHTMLDocument2", Doc(right.get()).get());
  ComPtr<IDispatch> d;
  right->get_Document(d.put());
  EXPECT_FALSE(d.query<IHTMLDocument2>());
  EXPECT_TRUE(d.query<IHTMLDocument3>());

  // A success code answers "nothing".
  InjectFault("IWebBrowser2::get_Document", S_OK, top.get());
  EXPECT_EQ(top->get_Document(d.put()), S_OK);
  EXPECT_FALSE(d);
  InjectFault("IEnumUnknown::Next", E_FAIL);
  ComPtr<IEnumUnknown> items;
  Doc(left.get()).query<IOleContainer>()->EnumObjects(OLECONTF_EMBEDDINGS, items.put());
  IUnknown* one = nullptr;
  EXPECT_EQ(items->Next(1, &one, nullptr), E_FAIL);
}

// --- Loading and saving

TEST_F(Browser, MissingPagesAndDirectoriesAreErrors) {
  try {
    LoadPage((dir / "nope.html").string());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), E_FILE_NOT_FOUND);
    EXPECT_NE(std::string(e.what()).find("nope.html"), std::string::npos);
  }
  EXPECT_THROW(LoadPage(dir.path().string()), Error);
}

TEST_F(Browser, ASavedPageKeepsItsTextStructureAndFrames) {
  auto top = LoadPage(kPages + "browser_frames.html");
  SaveResult saved = SavePage(top.get(), (dir / "out.html").string());
  EXPECT_TRUE(std::filesystem::exists(dir / "browser_sub/browser_left.html"));
  EXPECT_TRUE(std::filesystem::exists(dir / "browser_sub/browser_inner.html"));
  EXPECT_TRUE(std::filesystem::exists(dir / "browser_right.html"));
  EXPECT_TRUE(std::filesystem::exists(dir / "browser_sub/browser_style.css"));
  EXPECT_EQ(saved.written.front(), (dir / "out.html").string());
  EXPECT_EQ(saved.written.size(), 5u);
  // The missing and the remote frame are not written.
  EXPECT_FALSE(std::filesystem::exists(dir / "browser_missing.html"));
  EXPECT_TRUE(saved.skipped.empty());  // blank frames are no files

  auto again = LoadPage((dir / "out.html").string());
  EXPECT_EQ(Str(Doc(again.get()).get(), &IHTMLDocument2::get_title), u"Frames: 框架");
  EXPECT_EQ(BodyText(Frame(again.get(), 0).get()), u"左边 text");
  EXPECT_EQ(Embeddings(Frame(again.get(), 0).get()).size(), 3u);
  // Serializing is stable: a second round gives the same bytes.
  for (auto* name : {"out.html", "browser_right.html"}) {
    auto first = LoadPage((dir / name).string());
    std::string bytes = SerializeDocument(Doc(first.get()).get());
    WriteAll(dir / "again.html", bytes);
    auto second = LoadPage((dir / "again.html").string());
    EXPECT_EQ(SerializeDocument(Doc(second.get()).get()), bytes) << name;
  }
  std::string right = ReadAll(dir / "browser_right.html");
  EXPECT_NE(right.find("<img alt=\"图\" title=\"标题\" id=\"img\">"), std::string::npos);
  EXPECT_NE(right.find("<script>var s = \"<b>not text</b>\";</script>"), std::string::npos);
  EXPECT_TRUE(ReadAll(dir / "out.html")
                  .starts_with("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\" "
                               "\"http://www.w3.org/TR/html4/frameset.dtd\">\n<html>"));
}

TEST_F(Browser, PutCharsetChangesTheBytesAndTheDeclaration) {
  std::string page =
      Html("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">",
           EncodeCodePage(936, u"<p id=\"p\" title=\"头\">中华</p>"));
  auto b = FromBytes(page, dir);
  auto d = Doc(b.get());
  EXPECT_EQ(d->put_charset(u"x-unknown"), E_INVALIDARG);
  EXPECT_EQ(d->put_charset(u"Big5"), S_OK);
  EXPECT_EQ(Str(d.get(), &IHTMLDocument2::get_charset), u"big5");
  std::string bytes = SerializeDocument(d.get());
  EXPECT_NE(bytes.find("content=\"text/html; charset=big5\""), std::string::npos);
  // 头 and 华 have no Big5 code: they are kept as character references.
  EXPECT_NE(bytes.find(EncodeCodePage(950, u"中") + "&#21326;"), std::string::npos);
  EXPECT_NE(bytes.find("title=\"&#22836;\""), std::string::npos);
  WriteAll(dir / "big5.html", bytes);
  auto back = LoadPage((dir / "big5.html").string());
  EXPECT_EQ(Str(Doc(back.get()).get(), &IHTMLDocument2::get_charset), u"big5");
  EXPECT_EQ(BodyText(back.get()), u"中华");
  EXPECT_EQ(Attr(ById(back.get(), u"p").get(), u"title"), u"头");
}

TEST_F(Browser, ADeclarationIsAddedWhenTheCharsetChangesAndThereIsNone) {
  auto b = FromBytes(Html("<title>t</title>", "中"), dir);  // UTF-8, undeclared
  auto d = Doc(b.get());
  std::string same = SerializeDocument(d.get());
  EXPECT_EQ(same.find("<meta"), std::string::npos);  // unchanged: nothing added
  d->put_charset(u"gb2312");
  std::string bytes = SerializeDocument(d.get());
  EXPECT_NE(bytes.find("<head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=gb2312\"><title>"),
            std::string::npos);
  EXPECT_NE(bytes.find(EncodeCodePage(936, u"中")), std::string::npos);
}

TEST_F(Browser, TextThatWouldEndItsElementOrBreakMarkupIsGuarded) {
  auto b = FromBytes(Html("<meta charset=big5><style>p{}</style>",
                          "<script>1</script><textarea id=t>x</textarea><p id=p>p</p>"),
                     dir);
  auto d = Doc(b.get());
  ComPtr<IHTMLElementCollection> scripts;
  d.query<IHTMLDocument3>()->getElementsByTagName(u"script", scripts.put());
  ComPtr<IDispatch> script;
  scripts->item(VariantInt(0), VariantInt(0), script.put());
  ComPtr<IHTMLDOMNode> code;
  script.query<IHTMLDOMNode>()->get_firstChild(code.put());
  code->put_nodeValue(VariantString(u"a='</SCRIPT><b>x</b>';"));
  ById(b.get(), u"p")->setAttribute(u"bad name>", VariantString(u"v"), 0);
  ById(b.get(), u"t")->put_innerText(u"\nx");  // the parser drops a first newline
  ById(b.get(), u"p")->setAttribute(u"data-q", VariantString(u"\"&\u00A0\"한"), 0);
  ComPtr<IHTMLStyleSheetsCollection> sheets;
  d->get_styleSheets(sheets.put());
  VARIANT sheet;
  sheets->item(VariantInt(0), &sheet);
  sheet.pdispVal.query<IHTMLStyleSheet>()->put_cssText(u"p{font-family:한}");

  std::string bytes = SerializeDocument(d.get());
  EXPECT_NE(bytes.find("a='<\\/SCRIPT><b>x</b>';"), std::string::npos);
  EXPECT_EQ(bytes.find("bad name"), std::string::npos);
  EXPECT_NE(bytes.find("data-q=\"&quot;&amp;&nbsp;&quot;&#54620;\""), std::string::npos);
  EXPECT_NE(bytes.find("p{font-family:\\D55C }"), std::string::npos);
  EXPECT_NE(bytes.find("<textarea id=\"t\">\n\nx</textarea>"), std::string::npos);
  WriteAll(dir / "guarded.html", bytes);
  auto back = LoadPage((dir / "guarded.html").string());
  ComPtr<IHTMLElementCollection> all;
  Doc(back.get())->get_all(all.put());
  LONG before = 0, after = 0;
  d->get_all(scripts.put());
  scripts->get_length(&before);
  all->get_length(&after);
  EXPECT_EQ(before, after);
  EXPECT_EQ(Attr(ById(back.get(), u"p").get(), u"data-q"), u"\"&\u00A0\"한");
  std::u16string text;
  ById(back.get(), u"t")->get_innerText(&text);
  EXPECT_EQ(text, u"\nx");
}

TEST_F(Browser, FramesAndSheetsOutsideThePageDirectoryAreNeverWrittenThere) {
  std::filesystem::create_directories(dir / "site");
  WriteAll(dir / "outside.html", "<html><body>outside</body></html>");
  WriteAll(dir / "outside.css", "p{}");
  WriteAll(dir / "site/page.html",
           "<html><head><link rel=stylesheet href=../outside.css></head><frameset>"
           "<frame src=\"../outside.html\"><frame src=\"" +
               (dir / "outside.html").string() + "\"></frameset></html>");
  auto b = LoadPage((dir / "site/page.html").string());
  EXPECT_EQ(BodyText(Frame(b.get(), 0).get()), u"outside");  // loaded all the same
  EXPECT_EQ(BodyText(Frame(b.get(), 1).get()), u"outside");
  ComPtr<IHTMLStyleSheetsCollection> sheets;
  Doc(b.get())->get_styleSheets(sheets.put());
  VARIANT sheet;
  sheets->item(VariantInt(0), &sheet);
  sheet.pdispVal.query<IHTMLStyleSheet>()->put_cssText(u"p{color:red}");
  WriteAll(dir / "outside.html", "untouched");

  std::filesystem::create_directories(dir / "out/deeper");
  SaveResult saved = SavePage(b.get(), (dir / "out/deeper/page.html").string());
  EXPECT_EQ(saved.written.size(), 1u);
  EXPECT_EQ(saved.skipped.size(), 3u);
  EXPECT_EQ(ReadAll(dir / "outside.html"), "untouched");
  EXPECT_EQ(ReadAll(dir / "outside.css"), "p{}");
  EXPECT_FALSE(std::filesystem::exists(dir / "out/outside.html"));
}

TEST_F(Browser, FramesThatAreNoPagesAreCopiedNeverRewritten) {
  WriteAll(dir / "notes.txt", "a < b & c");
  WriteAll(dir / "page.html", "<frameset><frame src=notes.txt><frame src=page2></frameset>");
  WriteAll(dir / "page2", "<p>no extension: a page</p>");
  auto b = LoadPage((dir / "page.html").string());
  auto notes = Frame(b.get(), 0);
  ComPtr<IDispatch> d;
  ASSERT_EQ(notes->get_Document(d.put()), S_OK);
  ASSERT_TRUE(d);
  EXPECT_FALSE(d.query<IHTMLDocument2>());
  EXPECT_TRUE(Url(notes.get()).ends_with(u"/notes.txt"));
  EXPECT_EQ(BodyText(Frame(b.get(), 1).get()), u"no extension: a page");

  SavePage(b.get(), (dir / "page.html").string());  // in place
  EXPECT_EQ(ReadAll(dir / "notes.txt"), "a < b & c");
  std::filesystem::create_directories(dir / "out");
  SavePage(b.get(), (dir / "out/page.html").string());
  EXPECT_EQ(ReadAll(dir / "out/notes.txt"), "a < b & c");
  EXPECT_NE(ReadAll(dir / "out/page2").find("<p>no extension: a page</p>"), std::string::npos);
}

TEST_F(Browser, ChangedLinkedSheetsAreWrittenInTheirOwnCharset) {
  WriteAll(dir / "s.css",
           "@charset \"big5\";\np{font-family:" + EncodeCodePage(950, u"細明體") + "}");
  WriteAll(dir / "page.html", Html("<meta charset=utf-8><link rel=stylesheet href=s.css>", ""));
  auto b = LoadPage((dir / "page.html").string());
  ComPtr<IHTMLStyleSheetsCollection> sheets;
  Doc(b.get())->get_styleSheets(sheets.put());
  VARIANT v;
  sheets->item(VariantInt(0), &v);
  auto sheet = v.pdispVal.query<IHTMLStyleSheet>();
  std::u16string css;
  sheet->get_cssText(&css);
  EXPECT_EQ(css, u"@charset \"big5\";\np{font-family:細明體}");
  std::u16string href;
  sheet->get_href(&href);
  EXPECT_EQ(href, u"s.css");
  sheet->put_cssText(u"@charset \"big5\";\np{font-family:標楷體}");
  std::filesystem::create_directories(dir / "out");
  SavePage(b.get(), (dir / "out/page.html").string());
  EXPECT_EQ(ReadAll(dir / "out/s.css"),
            "@charset \"big5\";\np{font-family:" + EncodeCodePage(950, u"標楷體") + "}");
}

TEST_F(Browser, DeepAndBrokenMarkupLoadsWithoutHarm) {
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "<div>";
  deep += "bottom";
  auto b = FromBytes(Html("", deep), dir);
  EXPECT_EQ(BodyText(b.get()).find(u"bottom") != std::u16string::npos, true);
  std::string bytes = SerializeDocument(Doc(b.get()).get());
  EXPECT_NE(bytes.find("bottom"), std::string::npos);

  for (std::string junk : {std::string("\0\xFF<\x80</<!--<![CDATA[<svg><p><table><td>"),
                           std::string("<html><frameset><frame src=\"\0\"><iframe src=%zz>"),
                           std::string(4096, '\xA4')}) {
    auto j = FromBytes(junk, dir);
    ASSERT_TRUE(j);
    SerializeDocument(Doc(j.get()).get());
    BodyText(j.get());
  }
}

TEST_F(Browser, HostileMarkupIsCutToSizeWithANoteAndNormalPagesAreNot) {
  std::vector<std::string> notes;
  LoadOptions options;
  options.note = [&](const std::string& n) { notes.push_back(n); };
  auto load = [&](const std::string& body) {
    notes.clear();
    return LoadPageFromBytes(Html("<meta charset=utf-8>", body), (dir / "p.html").string(),
                             options);
  };
  // An element keeps its first 256 attributes.
  std::string many = "<p id=p";
  for (int i = 1; i < 300; ++i) many += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  auto a = load(many + ">text</p>");
  EXPECT_EQ(Attr(ById(a.get(), u"p").get(), u"a255"), u"255");
  EXPECT_EQ(Attr(ById(a.get(), u"p").get(), u"a256"), u"<null>");
  EXPECT_EQ(BodyText(a.get()), u"text");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("44 attributes beyond the first 256"), std::string::npos) << notes[0];

  // Deep nesting of any kind keeps its text and is noted.
  for (std::string level : {"<div>", "<ul><li>", "<b><i>x</b>", "<table><tr><td>", "<span>"}) {
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += level;
    auto d = load(deep + "<p>bottom</p>");
    EXPECT_NE(BodyText(d.get()).find(u"bottom"), std::u16string::npos) << level;
    EXPECT_EQ(notes.size(), 1u) << level;
  }

  // A page within the limits, sloppy as real ones are, goes through untouched.
  std::string sloppy;
  for (int i = 0; i < 1000; ++i)
    sloppy += "<p><font color=red>x<li>item<td>cell<option>o<dt>t<dd>d<b>b</b><i>i";
  auto n = load("<div><table><tr><td>" + sloppy + "</table></div>");
  EXPECT_TRUE(notes.empty()) << notes[0];
}

}  // namespace
}  // namespace quillmer
