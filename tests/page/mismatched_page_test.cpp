// Pages whose declared charset does not fit their text, style and script
// elements, sheets saved after a charset switch, frames past the limit.
#include <filesystem>

#include "page/page_access.h"
#include "page/page_convert.h"
#include "platform/base/fileio.h"
#include "tests/page/page_fixture.h"

namespace quillmer {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  ReplaceFileAtomic(path, bytes);
}
std::string ReadFile(const std::string& path) { return ReadFileIfExists(path).value_or(""); }

class MismatchedPage : public testing::PageFixture {
 protected:
  // Chinese in every kind of place a page has.
  static std::u16string Everywhere(std::u16string_view charset, std::u16string_view title,
                                   std::u16string_view text, std::u16string_view picture) {
    std::u16string p(picture);
    return Html(charset, u"<title>" + std::u16string(title) + u"</title>",
                u"<!-- " + p + u" --><p id=p data-note=\"" + p + u"\">" + std::u16string(text) +
                    u"</p><img id=img src=\"" + p + u".png\" alt=\"" + p + u"\">" +
                    u"<a id=a href=\"" + p +
                    u"/x.htm\">x</a>"
                    u"<select><option id=o value=\"" +
                    p +
                    u"\">x</option></select>"
                    u"<input id=i value=\"" +
                    p + u"\">");
  }
  std::string Out() {
    MakeDirectories((dir / "out").string());
    return (dir / "out" / "page.html").string();
  }
  std::u16string Saved(IWebBrowser2* b, UINT cp) {
    return DecodeCodePage(cp, SerializeDocument(Doc(b).get()));
  }
};

TEST_F(MismatchedPage, EveryStringOfAGbkPageDeclaredBig5MeansWhatTheUserSaw) {
  for (bool alter : {false, true}) {
    settings.AlterWBCharset = alter;
    auto b = Load(Everywhere(u"big5", u"中华", u"头发中华国", u"图片"), 936);
    ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                    CharsetPolicy::MaySwitch);
    EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"gb2312");
    EXPECT_EQ(Title(b.get()), u"中華");
    EXPECT_TRUE(BodyText(b.get()).starts_with(u"頭髮中華國")) << ToUtf8(BodyText(b.get()));
    EXPECT_EQ(Attr(b.get(), u"img", u"src"), u"图片.png");
    EXPECT_EQ(Attr(b.get(), u"p", u"data-note"), u"图片");
    EXPECT_EQ(Attr(b.get(), u"o", u"value"), u"图片");
    EXPECT_EQ(Attr(b.get(), u"a", u"href"), u"图片/x.htm");  // a local link stays as shown
    const UINT cp = alter ? 950 : 936;
    EXPECT_EQ(Charset(b.get()), alter ? u"big5" : u"gb2312");
    std::u16string saved = Saved(b.get(), cp);
    EXPECT_NE(saved.find(u"charset=" + Charset(b.get())), std::u16string::npos);
    EXPECT_NE(saved.find(u"<title>中華</title>"), std::u16string::npos) << ToUtf8(saved);
    // 图 is no Big5 character: a reference there, which means the same.
    const std::u16string p = alter ? u"&#22270;片" : u"图片";
    for (auto part : {u"<!-- " + p + u" -->", u"data-note=\"" + p, u"src=\"" + p + u".png",
                      u"alt=\"" + p, u"href=\"" + p + u"/x.htm", u"value=\"" + p})
      EXPECT_NE(saved.find(part), std::u16string::npos) << ToUtf8(part) << "\n" << ToUtf8(saved);
  }
}

TEST_F(MismatchedPage, ABig5PageDeclaredGb2312KeepsItsTitleAndAttributes) {
  auto b = Load(Everywhere(u"gb2312", u"頭髮", u"頭髮國華", u"圖片"), 950);
  ConvertDocument(Context(), b.get(), cdToSim, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  EXPECT_EQ(Property(b.get(), u"OrigCharset"), u"big5");
  EXPECT_EQ(Charset(b.get()), u"big5");
  EXPECT_EQ(Title(b.get()), u"头发");
  EXPECT_TRUE(BodyText(b.get()).starts_with(u"头发国华"));
  EXPECT_EQ(Attr(b.get(), u"img", u"src"), u"圖片.png");
  EXPECT_EQ(Attr(b.get(), u"p", u"data-note"), u"圖片");
  // Saved as Big5, the title in references (the Simplified characters are no Big5).
  std::u16string saved = Saved(b.get(), 950);
  EXPECT_NE(saved.find(u"<title>&#22836;&#21457;</title>"), std::u16string::npos) << ToUtf8(saved);
  EXPECT_NE(saved.find(u"<!-- 圖片 -->"), std::u16string::npos);
  EXPECT_NE(saved.find(u"src=\"圖片.png\""), std::u16string::npos);
}

TEST_F(MismatchedPage, CharacterReferencesAndSheetsAreReadInTheRealCharset) {
  std::string sheet = EncodeCodePage(936, u"p { font-family: 宋体 } b:after { content: \"图\" }");
  WriteFile((dir / "s.css").string(), sheet);
  auto b = Load(Html(u"big5", u"<link rel=stylesheet href=s.css>",
                     u"<p id=p title=\"&#22836;头\">头发中华国</p>"),
                936);
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  // The reference was no byte of the page: it stays; the rest is read anew.
  EXPECT_EQ(Attr(b.get(), u"p", u"title"), u"頭頭");
  auto out = Out();
  SavePage(b.get(), out);
  std::u16string css = DecodeCodePage(936, ReadFile((dir / "out" / "s.css").string()));
  EXPECT_EQ(css, u"p { font-family: 細明體 } b:after { content: \"图\" }");
}

TEST_F(MismatchedPage, StyleAndScriptElementsAreNoPageText) {
  auto b = LoadGb(
      u"<style id=s>p { font-family: 宋体 } p:after { content: \"头\" }</style>"
      u"<script id=js>var s = \"头发\";</script>头发");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  std::u16string style, script;
  ById(b.get(), u"s")->get_innerHTML(&style);
  ById(b.get(), u"js")->get_innerHTML(&script);
  EXPECT_EQ(style, u"p { font-family: 細明體 } p:after { content: \"头\" }");
  EXPECT_EQ(script, u"var s = \"头发\";");
  EXPECT_EQ(BodyText(b.get()).substr(BodyText(b.get()).size() - 2), u"頭髮");
}

TEST_F(MismatchedPage, ASheetIsSavedInTheCharsetThePageReadsItIn) {
  settings.AlterWBCharset = true;
  WriteFile((dir / "changed.css").string(), EncodeCodePage(936, u"p { font-family: 宋体 }"));
  WriteFile((dir / "same.css").string(), EncodeCodePage(936, u"p:after { content: \"中\" }"));
  WriteFile((dir / "own.css").string(),
            EncodeCodePage(936, u"@charset \"gb2312\"; p { font-family: 宋体 }"));
  auto b = LoadGb(u"头发",
                  u"<link rel=stylesheet href=changed.css>"
                  u"<link rel=stylesheet href=same.css>"
                  u"<link rel=stylesheet href=own.css>");
  ConvertDocument(Context(), b.get(), cdToTrad, ConversionTrigger::UserRequest,
                  CharsetPolicy::MaySwitch);
  ASSERT_EQ(Charset(b.get()), u"big5");
  auto out = Out();
  SavePage(b.get(), out);
  auto read = [&](const char* name, UINT cp) {
    return DecodeCodePage(cp, ReadFile((dir / "out" / name).string()));
  };
  EXPECT_EQ(read("changed.css", 950), u"p { font-family: 細明體 }");
  EXPECT_EQ(read("same.css", 950), u"p:after { content: \"中\" }");
  // A sheet that names its charset is still read in it.
  EXPECT_EQ(read("own.css", 936), u"@charset \"gb2312\"; p { font-family: 細明體 }");
}

TEST_F(MismatchedPage, FramesBeyondTheLimitAreCounted) {
  std::filesystem::copy_file(
      std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/conv_frame2.html",
      dir / "conv_frame2.html");
  std::u16string body;
  for (int i = 0; i < 99; ++i) body += u"<object></object>";
  body += u"<iframe src=\"conv_frame2.html\"></iframe>";  // the 100th: converted
  body += u"<iframe src=\"conv_frame2.html\"></iframe><embed>";
  body += u"<iframe src=\"conv_frame2.html\"></iframe>";
  auto b = LoadGb(body);
  EXPECT_EQ(CountFramesBeyondLimit(b.get()), 2);
  EXPECT_EQ(CountFramesBeyondLimit(LoadGb(u"头发").get()), 0);
}

}  // namespace
}  // namespace quillmer
