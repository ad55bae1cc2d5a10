#include "page/page_convert.h"

#include <vector>

#include "page/page_access.h"
#include "tests/page/page_fixture.h"

namespace quillmer {
namespace {

class PageConvert : public testing::PageFixture {
 protected:
  // GBK bytes of a page declared Big5: the browser shows them garbled.
  ComPtr<IWebBrowser2> MismatchedBig5(std::u16string_view body) {
    return Load(Html(u"big5", u"<title>中华</title>", body), 936);
  }
};

TEST_F(PageConvert, EmptyBrowserAndNonHtmlDocuments) {
  ConvertDocument(Context(), nullptr, cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  ConvertBrowserTree(Context(), nullptr, cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  auto b = LoadGb(u"头发");
  ComPtr<IDispatch> doc;
  b->get_Document(doc.put());
  HideInterface("IHTMLDocument2", doc.get());
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  ClearFaults();
  EXPECT_EQ(BodyText(b.get()), u"头发");
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"<unset>");
}

TEST_F(PageConvert, AutomaticConversionOnlyOfChineseCharsets) {
  auto latin = Load(Html(u"iso-8859-1", u"", u"&#x5934;&#x53D1;"), 1252);
  ConvertDocument(Context(), latin.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(latin.get()), u"头发");
  ConvertDocument(Context(), latin.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(latin.get()), u"頭髮");
  EXPECT_EQ(Property(latin.get(), u"OrigCharset"), u"iso-8859-1");
}

TEST_F(PageConvert, APageAlreadyInTheTargetScript) {
  auto b = Load(Html(u"big5", u"<title>國</title>", u"頭髮 國 華"), 950);
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"<unset>");
  // At the user's request it is converted; the charset stays.
  auto n = Load(Html(u"big5", u"", u"頭發 國 華"), 950);
  ConvertDocument(Context(), n.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(n.get()), u"頭髮 國 華");
  EXPECT_EQ(Property(n.get(), u"OrigCharset"), u"big5");
  EXPECT_EQ(Charset(n.get()), u"big5");
}

TEST_F(PageConvert, MismatchedDeclarationIsRepairedAndCorrected) {
  auto b = MismatchedBig5(u"<p id=p title=\"头发\">头发中华国</p>");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"gb2312");
  EXPECT_EQ(BodyText(b.get()), u"頭髮中華國");
  EXPECT_EQ(Title(b.get()), u"中華");
  EXPECT_EQ(Attr(b.get(), u"p", u"title"), u"頭髮");
  EXPECT_EQ(Charset(b.get()), u"gb2312");  // corrected
  // With the switch on the page gets the target's charset instead.
  settings.AlterWBCharset = true;
  auto s = MismatchedBig5(u"头发中华国");
  ConvertDocument(Context(), s.get(), cdToSim, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(s.get()), u"头发中华国");
  EXPECT_EQ(Charset(s.get()), u"gb2312");
  auto t = MismatchedBig5(u"头发中华国");
  ConvertDocument(Context(), t.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Charset(t.get()), u"big5");
}

TEST_F(PageConvert, OrigCharsetKeepsTheFirstValue) {
  auto b = LoadGb(u"头发");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"gb2312");
  Doc(b.get())->put_charset(u"big5");
  ConvertDocument(Context(), b.get(), cdToSim, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"gb2312");
  EXPECT_EQ(BodyText(b.get()), u"头发");
  // Null reads as unset.
  b->PutProperty(u"OrigCharset", VariantNull());
  EXPECT_EQ(GetOrigCharset(b.get()), u"");
}

TEST_F(PageConvert, CharsetSwitch) {
  settings.AlterWBCharset = true;
  // A Unicode page keeps its charset, and so its links keep their bytes.
  auto u =
      Load(Html(u"utf-8", u"", u"头发<a id=a href=\"http://example.com/路径\">x</a>"), CP_UTF8);
  ConvertDocument(Context(), u.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(u.get()), u"頭髮x");
  EXPECT_EQ(Charset(u.get()), u"utf-8");
  EXPECT_EQ(Attr(u.get(), u"a", u"href"), u"http://example.com/路径");
  auto gb = LoadGb(u"头发<a id=a href=\"http://example.com/路径\">x</a>");
  ConvertDocument(Context(), gb.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Attr(gb.get(), u"a", u"href"), u"http://example.com/%C2%B7%BE%B6");
  // A user's conversion stops a page that is still loading, then switches.
  auto loading = LoadGb(u"头发");
  SetReadyState(loading.get(), READYSTATE_INTERACTIVE);
  ConvertDocument(Context(), loading.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(StopCount(loading.get()), 1);
  EXPECT_EQ(Charset(loading.get()), u"big5");
  // An automatic one switches without stopping; KeepCharset forbids it.
  auto automatic = LoadGb(u"头发");
  SetReadyState(automatic.get(), READYSTATE_INTERACTIVE);
  ConvertDocument(Context(), automatic.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(StopCount(automatic.get()), 0);
  EXPECT_EQ(Charset(automatic.get()), u"big5");
  auto kept = LoadGb(u"头发");
  ConvertDocument(Context(), kept.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::Keep);
  EXPECT_EQ(BodyText(kept.get()), u"頭髮");
  EXPECT_EQ(Charset(kept.get()), u"gb2312");
}

TEST_F(PageConvert, HelperIsAskedToConnectFormsOnAUsersSwitch) {
  settings.AlterWBCharset = true;
  settings.HelperEnabled = true;
  std::vector<std::pair<IDispatch*, IWebBrowser2*>> calls;
  connectFormEvents = [&](IDispatch* h, IWebBrowser2* b) { calls.emplace_back(h, b); };
  auto top = LoadFixture("conv_frames.html");
  auto frame = GetEmbeddedBrowser(top.get(), 0);
  ASSERT_TRUE(frame);
  // The frame has no helper property: the top-level browser's is taken.
  top->PutProperty(std::u16string(kHelperProperty), VariantDispatch(top.get()));
  ConvertDocument(Context(), frame.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, static_cast<IDispatch*>(top.get()));
  EXPECT_EQ(calls[0].second, frame.get());
  // Not for an automatic conversion, nor when the property is no IDispatch.
  calls.clear();
  ConvertDocument(Context(), GetEmbeddedBrowser(top.get(), 1).get(), cdToTrad,
                  ConversionTrigger::Automatic, CharsetPolicy::MaySwitch);
  top->PutProperty(std::u16string(kHelperProperty), VariantString(u"x"));
  auto inner = GetEmbeddedBrowser(frame.get(), 0);
  ConvertDocument(Context(), inner.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(Charset(inner.get()), u"big5");
}

TEST_F(PageConvert, NoHanBodyConvertsOnlyTheTitle) {
  auto b = LoadGb(u"<p>abc</p><input id=i value=\"头发\">", u"<title>中华</title>");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Title(b.get()), u"中華");
  EXPECT_EQ(Attr(b.get(), u"i", u"value"), u"头发");
}

TEST_F(PageConvert, JapaneseBodyOnlyAtTheUsersRequest) {
  auto b = LoadGb(u"<p>中国ひらがなです</p>");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::Automatic,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(b.get()), u"中国ひらがなです");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(BodyText(b.get()), u"中國ひらがなです");
}

TEST_F(PageConvert, FailuresEndTheDocumentAndReachTheCaller) {
  auto b = LoadGb(u"头发<font id=f face=\"宋体\">x</font>");
  InjectFault("IWebBrowser2::PutProperty", E_ACCESSDENIED, b.get());
  try {
    ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                    CharsetPolicy::MaySwitch);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), E_ACCESSDENIED);
  }
  EXPECT_EQ(BodyText(b.get()), u"头发x");
  ClearFaults();
  // The text is done before a failing charset switch.
  settings.AlterWBCharset = true;
  InjectFault("IHTMLDocument2::put_charset", E_FAIL);
  EXPECT_THROW(ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                               CharsetPolicy::MaySwitch),
               Error);
  EXPECT_EQ(BodyText(b.get()), u"頭髮x");
  EXPECT_EQ(Attr(b.get(), u"f", u"face"), u"細明體");
  // A document without a body cannot be converted.
  ClearFaults();
  InjectFault("IHTMLDocument2::get_body", S_OK);
  EXPECT_THROW(ConvertDocument(Context(), b.get(), cdToSim, ConversionTrigger::UserRequest,
                               CharsetPolicy::MaySwitch),
               Error);
}

// The frameset fixture: top, frame 1 (holding an inner frame), frame 2.
class FrameTree : public PageConvert {
 protected:
  void SetUp() override {
    PageConvert::SetUp();
    LoadTree();
  }
  void LoadTree() {
    ClearFaults();
    top = LoadFixture("conv_frames.html");
    frame1 = GetEmbeddedBrowser(top.get(), 0);
    frame2 = GetEmbeddedBrowser(top.get(), 1);
    ASSERT_TRUE(frame1 && frame2);
    inner = GetEmbeddedBrowser(frame1.get(), 0);
    ASSERT_TRUE(inner);
  }
  // Which documents have had their title converted, in the fixed order.
  std::vector<bool> Converted() {
    return {Title(top.get()) == u"中華框架", Title(frame1.get()) == u"頭髮一",
            Title(inner.get()) == u"國中", Title(frame2.get()) == u"中華二"};
  }
  ComPtr<IWebBrowser2> top, frame1, frame2, inner;
};

TEST_F(FrameTree, ConvertsTopThenFramesDepthFirst) {
  EXPECT_EQ(CountEmbeddedObjects(top.get()), 2);
  EXPECT_EQ(GetTopLevelBrowser(inner.get()).get(), top.get());
  EXPECT_EQ(GetTopLevelBrowser(Doc(inner.get()).get()).get(), top.get());
  // Let only the first k documents read their charset: the ones converted
  // show the order.
  for (unsigned k = 0; k <= 4; ++k) {
    LoadTree();
    InjectFault("IHTMLDocument2::get_charset", E_FAIL, nullptr, k);
    ConvertBrowserTree(Context(), top.get(), cdToTrad, ConversionTrigger::UserRequest,
                       CharsetPolicy::MaySwitch);
    ClearFaults();
    std::vector<bool> expected(4, false);
    for (unsigned i = 0; i < k; ++i) expected[i] = true;
    EXPECT_EQ(Converted(), expected) << "k = " << k;
  }
  EXPECT_EQ(BodyText(inner.get()), u"中國");
  EXPECT_EQ(Property(top.get(), u"OrigCharset"), u"gb2312");
}

TEST_F(FrameTree, AFailingFrameSkipsOnlyItsOwnFrames) {
  InjectFault("IHTMLDocument2::get_body", E_FAIL, Doc(frame1.get()).get());
  ConvertBrowserTree(Context(), top.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  EXPECT_EQ(Converted(), (std::vector<bool>{true, false, false, true}));
  // When the top-level document fails, no frame is converted.
  LoadTree();
  InjectFault("IHTMLDocument2::get_title", E_FAIL, Doc(top.get()).get());
  ConvertBrowserTree(Context(), top.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  ClearFaults();
  EXPECT_EQ(Converted(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(FrameTree, EnumerationFailuresGiveNoFrames) {
  InjectFault("IOleContainer::EnumObjects", E_FAIL, Doc(top.get()).get());
  EXPECT_EQ(CountEmbeddedObjects(top.get()), 0);
  EXPECT_FALSE(GetEmbeddedBrowser(top.get(), 0));
  ClearFaults();
  HideInterface("IOleContainer");
  EXPECT_EQ(CountEmbeddedObjects(top.get()), 0);
  ClearFaults();
  EXPECT_FALSE(GetEmbeddedBrowser(top.get(), 2));
  EXPECT_FALSE(GetEmbeddedBrowser(top.get(), -1));
  // An object without services is an error for the top-level lookup.
  HideInterface("IServiceProvider", top.get());
  EXPECT_THROW(GetTopLevelBrowser(top.get()), Error);
}

TEST_F(PageConvert, OnlyTheFirstHundredEmbeddingsAreLookedAt) {
  std::filesystem::copy_file(
      std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/conv_frame2.html",
      dir / "conv_frame2.html");
  auto page = [&](int objectsBefore) {
    std::u16string body;
    for (int i = 0; i < objectsBefore; ++i) body += u"<object></object>";
    body += u"<iframe src=\"conv_frame2.html\"></iframe>";
    for (int i = objectsBefore; i < 150; ++i) body += u"<embed>";
    return LoadGb(body);
  };
  auto late = page(100);  // the frame is the 101st
  EXPECT_EQ(CountEmbeddedObjects(late.get()), 100);
  EXPECT_FALSE(GetEmbeddedBrowser(late.get(), 99));
  EXPECT_TRUE(GetEmbeddedBrowser(late.get(), 100));
  ConvertBrowserTree(Context(), late.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  EXPECT_EQ(Title(GetEmbeddedBrowser(late.get(), 100).get()), u"中华二");
  auto early = page(99);  // the 100th
  ConvertBrowserTree(Context(), early.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  EXPECT_EQ(Title(GetEmbeddedBrowser(early.get(), 99).get()), u"中華二");
}

}  // namespace
}  // namespace quillmer
