#include "page/dom_walkers.h"

#include "page/page_access.h"
#include "tests/page/page_fixture.h"

namespace quillmer {
namespace {

class DomWalkers : public testing::PageFixture {
 protected:
  ComPtr<IHTMLDOMNode> Root(IWebBrowser2* b) {
    ComPtr<IHTMLElement> root;
    Doc(b).query<IHTMLDocument3>()->get_documentElement(root.put());
    return root.query<IHTMLDOMNode>();
  }
  std::u16string Face(IWebBrowser2* b, const std::u16string& id) { return Attr(b, id, u"face"); }
  std::u16string Style(IWebBrowser2* b, const std::u16string& id) {
    ComPtr<IHTMLStyle> style;
    ById(b, id)->get_style(style.put());
    std::u16string css;
    style->get_cssText(&css);
    return css;
  }
  std::u16string Sheet(IWebBrowser2* b, LONG i) {
    ComPtr<IHTMLStyleSheetsCollection> sheets;
    Doc(b)->get_styleSheets(sheets.put());
    VARIANT v;
    sheets->item(VariantInt(i), &v);
    std::u16string css;
    v.pdispVal.query<IHTMLStyleSheet>()->get_cssText(&css);
    return css;
  }
};

TEST_F(DomWalkers, TextNodesInDocumentOrderEveryOneWrittenBack) {
  auto b = LoadGb(u"<p id=a>头发 <b>中华</b></p><div><div><span>国</span></div></div>  ",
                  u"<title>中华</title>");
  ConvertTextNodes(Root(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_EQ(Title(b.get()), u"中华");  // the title is ConvertDocument's own
  EXPECT_EQ(BodyText(b.get()).find(u"頭髮 中華"), 0u);
  EXPECT_NE(BodyText(b.get()).find(u"國"), std::u16string::npos);

  // Plain text nodes are written back too: a failing write shows it.
  auto plain = LoadGb(u"<p>   abc  </p>");
  InjectFault("IHTMLDOMNode::put_nodeValue", E_FAIL);
  EXPECT_THROW(ConvertTextNodes(Root(plain.get()).get(), {cdToTrad, teGBK, false}), Error);
  ClearFaults();
  ConvertTextNodes(Root(plain.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_EQ(BodyText(plain.get()), u"   abc  ");
}

TEST_F(DomWalkers, SimplifiedCharactersOnABig5PageBecomeTraditional) {
  auto b = Load(Html(u"big5", u"", u"<p>&#x5934;&#x53D1; 中國</p>"), 950);
  ConvertTextNodes(Root(b.get()).get(), {cdToTrad, teBig5, false});
  EXPECT_EQ(BodyText(b.get()), u"頭髮 中國");
  auto s = LoadGb(u"<p>頭髮国</p>");
  ConvertTextNodes(Root(s.get()).get(), {cdToSim, teGBK, false});
  EXPECT_EQ(BodyText(s.get()), u"头发国");
}

TEST_F(DomWalkers, DeepNestingNeedsNoDeepCallStack) {
  std::u16string html;
  for (int i = 0; i < 20000; ++i) html += u"<span>";
  html += u"中华";
  auto b = LoadGb(html);
  ConvertTextNodes(Root(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_NE(BodyText(b.get()).find(u"中華"), std::u16string::npos);
}

TEST_F(DomWalkers, FontFaces) {
  auto b = LoadGb(
      u"<font id=a face=\"宋体\">x</font><font id=b face=\"SimSun\">x</font>"
      u"<font id=c face=\"宋体,宋体\">x</font><font id=d>x</font>"
      u"<basefont id=e face=\"楷体_GB2312\">");
  ConvertFontFaces(Doc(b.get()).get(), u"font", {cdToTrad, teGBK, false});
  EXPECT_EQ(Face(b.get(), u"a"), u"細明體");
  EXPECT_EQ(Face(b.get(), u"b"), u"SimSun");  // plain faces are never changed here
  EXPECT_EQ(Face(b.get(), u"c"), u"細明體,宋体");
  EXPECT_EQ(Face(b.get(), u"d"), u"<null>");
  EXPECT_EQ(Face(b.get(), u"e"), u"楷体_GB2312");
  ConvertFontFaces(Doc(b.get()).get(), u"basefont", {cdToTrad, teGBK, false});
  EXPECT_EQ(Face(b.get(), u"e"), u"標楷體");
}

TEST_F(DomWalkers, AnElementWithoutTheInterfaceEndsTheWalk) {
  auto b = LoadGb(u"<font id=a face=\"宋体\">x</font><font id=b face=\"宋体\">x</font>");
  HideInterface("IHTMLFontElement", ById(b.get(), u"b").get());
  EXPECT_THROW(ConvertFontFaces(Doc(b.get()).get(), u"font", {cdToTrad, teGBK, false}), Error);
  EXPECT_EQ(Face(b.get(), u"a"), u"細明體");  // what was written stays
}

TEST_F(DomWalkers, InlineStyleFonts) {
  auto b = LoadGb(
      u"<p id=a style=\"font-family: SimSun, serif\">x</p>"
      u"<p id=b style=\"font: 12px 宋体\">x</p><p id=c style=\"color: red\">x</p>");
  ConvertStyleFonts(Doc(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_NE(Style(b.get(), u"a").find(u"mingliu, serif"), std::u16string::npos);
  EXPECT_NE(Style(b.get(), u"b").find(u"細明體"), std::u16string::npos);
  EXPECT_EQ(Style(b.get(), u"c"), u"color: red");
}

TEST_F(DomWalkers, StyleSheets) {
  auto b = LoadGb(u"x",
                  u"<style>p { font-family: simsun } h1 { font: 9pt simsun } b { font: SimSun "
                  u"}</style><style>.k { font-family: 標楷體 }</style>");
  ConvertStyleSheets(Doc(b.get()).get(), {cdToTrad, teGBK, false});
  std::u16string css = Sheet(b.get(), 0);
  EXPECT_EQ(css.find(u"simsun"), std::u16string::npos);
  EXPECT_NE(css.find(u"SimSun"), std::u16string::npos);
  EXPECT_NE(css.find(u"9pt mingliu"), std::u16string::npos);
  ConvertStyleSheets(Doc(b.get()).get(), {cdToSim, teBig5, false});
  EXPECT_NE(Sheet(b.get(), 1).find(u"楷体_GB2312"), std::u16string::npos);
}

TEST_F(DomWalkers, InputValuesAltAndTitle) {
  auto b = LoadGb(
      u"<input id=a value=abc><input id=b value=\"头发\"><input id=c>"
      u"<img id=d title=\"中华\"><img id=e alt=\"头发\" title=\"abc\"><p id=f title=\"国\">x</p>");
  // Plain values are not written: a failing write on them would show.
  InjectFault("IHTMLElement::setAttribute", E_FAIL, ById(b.get(), u"a").get());
  InjectFault("IHTMLElement::setAttribute", E_FAIL, ById(b.get(), u"c").get());
  ConvertInputValues(Doc(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_EQ(Attr(b.get(), u"a", u"value"), u"abc");
  EXPECT_EQ(Attr(b.get(), u"b", u"value"), u"頭髮");
  ConvertAltTitle(Doc(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_EQ(Attr(b.get(), u"d", u"title"), u"中華");  // a null Alt, a Chinese title
  EXPECT_EQ(Attr(b.get(), u"e", u"alt"), u"頭髮");
  EXPECT_EQ(Attr(b.get(), u"e", u"title"), u"abc");
  EXPECT_EQ(Attr(b.get(), u"f", u"title"), u"國");
}

TEST_F(DomWalkers, LinksAreEscapedInThePagesCodePage) {
  auto b = LoadGb(
      u"<a id=a href=\"http://example.com/路径?q=中\">x</a><a id=b href=\"/plain\">x</a>"
      u"<a id=c href=\"file:///c:/文件.htm\">x</a><a id=d href=\"相对/路径.htm\">x</a>"
      u"<a id=e href=\"http://example.com/&#xD55C;\">x</a>");
  ConvertLinks(Doc(b.get()).get(), {cdToTrad, teGBK, false});
  EXPECT_EQ(Attr(b.get(), u"a", u"href"), u"http://example.com/%C2%B7%BE%B6?q=%D6%D0");
  EXPECT_EQ(Attr(b.get(), u"b", u"href"), u"/plain");
  // Local links (a file link, a relative link on a file page) stay as shown.
  EXPECT_EQ(Attr(b.get(), u"c", u"href"), u"file:///c:/文件.htm");
  EXPECT_EQ(Attr(b.get(), u"d", u"href"), u"相对/路径.htm");
  EXPECT_EQ(Attr(b.get(), u"e", u"href"), u"http://example.com/한");
  EXPECT_TRUE(IsLocalFileLink(Doc(b.get()).get(), u"x.htm"));
}

TEST_F(DomWalkers, LocalLinksOfAMismatchedPageAreRepaired) {
  // GBK bytes declared Big5: the browser shows them garbled.
  auto b = Load(Html(u"big5", u"", u"<a id=c href=\"file:///c:/文件.htm\">x</a>"), 936);
  std::u16string garbled = Attr(b.get(), u"c", u"href");
  ASSERT_NE(garbled, u"file:///c:/文件.htm");
  ConvertLinks(Doc(b.get()).get(), {cdToTrad, teBig5, true});
  EXPECT_EQ(Attr(b.get(), u"c", u"href"), u"file:///c:/文件.htm");
}

}  // namespace
}  // namespace quillmer
