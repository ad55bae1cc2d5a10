// Page zoom on pages of the browser model: steps, exact values, auto-zoom.
#include "ui/zoom.h"

#include <gtest/gtest.h>

#include "platform/base/text.h"
#include "platform/browser/page.h"
#include "platform/com/fault.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

class PageZoom : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearFaults();
    settings.ZoomIncrement = 10;
  }
  void TearDown() override { ClearFaults(); }

  // A page whose body has the given style, with an inline frame whose body
  // has frameStyle.
  ComPtr<IWebBrowser2> Page(const std::string& style, const std::string& frameStyle = "") {
    testing::WriteAll(dir / "inner.html",
                      "<html><body style=\"" + frameStyle + "\">in</body></html>");
    return LoadPageFromBytes(
        "<html><body style=\"" + style + "\">top<iframe src=\"inner.html\"></iframe></body></html>",
        (dir / "page.html").string());
  }
  static ComPtr<IHTMLStyle3> Style(IWebBrowser2* browser) {
    ComPtr<IDispatch> d;
    browser->get_Document(d.put());
    ComPtr<IHTMLElement> body;
    d.query<IHTMLDocument2>()->get_body(body.put());
    ComPtr<IHTMLStyle> style;
    body->get_style(style.put());
    return style.query<IHTMLStyle3>();
  }
  static std::u16string ZoomOf(IWebBrowser2* browser) {
    VARIANT v;
    Style(browser)->get_zoom(&v);
    return v.bstrVal;
  }
  static ComPtr<IWebBrowser2> Frame(IWebBrowser2* browser) {
    ComPtr<IDispatch> d;
    browser->get_Document(d.put());
    ComPtr<IEnumUnknown> objects;
    d.query<IOleContainer>()->EnumObjects(OLECONTF_EMBEDDINGS, objects.put());
    ComPtr<IUnknown> first;
    objects->Next(1, first.put(), nullptr);
    return first.query<IWebBrowser2>();
  }

  SharedSettingsData settings;
  testing::TempDir dir;
};

TEST_F(PageZoom, AStepStopsAtTenPercentAndHasNoUpperBound) {
  auto page = Page("zoom: 15%");
  EXPECT_EQ(ZoomStep(settings, page.get(), false), 10);
  EXPECT_EQ(ZoomOf(page.get()), u"10%");
  EXPECT_EQ(ZoomStep(settings, page.get(), false), 10);
  EXPECT_EQ(ZoomOf(page.get()), u"10%");
  settings.ZoomIncrement = 1000;
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 1010);
  EXPECT_EQ(ZoomOf(page.get()), u"1010%");
  Style(page.get())->put_zoom(VariantString(u"2147483640%"));
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 2147483647);
}

TEST_F(PageZoom, AStepReadsWhatThePageHolds) {
  auto page = Page("");
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 110);  // unset counts as 100%
  // A number without "%" keeps all its digits.
  Style(page.get())->put_zoom(VariantString(u"150"));
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 160);
  EXPECT_EQ(ZoomOf(page.get()), u"160%");
  // "normal" is no number: nothing changes, and the toolbar shows 100%.
  Style(page.get())->put_zoom(VariantString(u"normal"));
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 100);
  EXPECT_EQ(ZoomOf(page.get()), u"normal");
  for (const char16_t* odd : {u"%", u"1.5", u"12%%", u"99999999999%"}) {
    Style(page.get())->put_zoom(VariantString(odd));
    EXPECT_EQ(ZoomStep(settings, page.get(), false), 100) << ToUtf8(odd);
    EXPECT_EQ(ZoomOf(page.get()), odd);
  }
  EXPECT_EQ(ZoomStep(settings, nullptr, true), 100);
}

TEST_F(PageZoom, AStepThatCannotBeWrittenReturns100) {
  FaultScope faults;
  auto page = Page("zoom: 120%");
  InjectFault("IHTMLStyle3::put_zoom", E_ACCESSDENIED);
  EXPECT_EQ(ZoomStep(settings, page.get(), true), 100);
  EXPECT_EQ(ZoomOf(page.get()), u"120%");
  ClearFaults();
  for (const char* call : {"IWebBrowser2::get_Document", "IHTMLDocument2::get_body",
                           "IHTMLElement::get_style", "IHTMLStyle3::get_zoom"}) {
    InjectFault(call, E_FAIL);
    EXPECT_EQ(ZoomStep(settings, page.get(), true), 100) << call;
    ClearFaults();
    InjectFault(call, S_OK);  // the call gives nothing
    EXPECT_EQ(ZoomStep(settings, page.get(), true),
              call == std::string("IHTMLStyle3::get_zoom") ? 110 : 100)
        << call;
    ClearFaults();
    Style(page.get())->put_zoom(VariantString(u"120%"));
  }
}

TEST_F(PageZoom, AStepZoomsTheBrowsersOwnDocument) {
  auto page = Page("zoom: 120%", "zoom: 50%");
  auto frame = Frame(page.get());
  ASSERT_TRUE(frame);
  EXPECT_EQ(ZoomStep(settings, frame.get(), true), 60);
  EXPECT_EQ(ZoomOf(page.get()), u"120%");
}

TEST_F(PageZoom, SetPageZoomSetsTheTopLevelPageOnlyWhenItDiffers) {
  auto page = Page("", "zoom: 50%");
  auto frame = Frame(page.get());
  EXPECT_TRUE(SetPageZoom(frame.get(), 130));
  EXPECT_EQ(ZoomOf(page.get()), u"130%");
  EXPECT_EQ(ZoomOf(frame.get()), u"50%");
  EXPECT_FALSE(SetPageZoom(page.get(), 130));
  Style(page.get())->put_zoom(VariantString(u"100%"));
  EXPECT_FALSE(SetPageZoom(page.get(), 100));
  EXPECT_TRUE(SetPageZoom(page.get(), 90));
  EXPECT_FALSE(SetPageZoom(nullptr, 90));
  FaultScope faults;
  InjectFault("IHTMLStyle3::put_zoom", E_FAIL);
  EXPECT_FALSE(SetPageZoom(page.get(), 80));
  EXPECT_EQ(ZoomOf(page.get()), u"90%");
  HideInterface("IServiceProvider");
  EXPECT_FALSE(SetPageZoom(page.get(), 70));
}

TEST_F(PageZoom, AutoZoomTakesTheLastMatchingEntryElseTheDefault) {
  settings.autoZoomList = {{150, NormalizeUrlPattern("http://*/news/*")},
                           {80, NormalizeUrlPattern("http://intra/news/*")}};
  settings.defaultZoom = 100;
  auto page = Page("");
  ApplyAutoZoom(settings, page.get(), "http://intra/news/a.htm");
  EXPECT_EQ(ZoomOf(page.get()), u"80%");
  ApplyAutoZoom(settings, page.get(), "http://other/news/b.htm");
  EXPECT_EQ(ZoomOf(page.get()), u"150%");
  ApplyAutoZoom(settings, page.get(), "http://other/");
  EXPECT_EQ(ZoomOf(page.get()), u"100%");
  // A host without a path is matched with its final "/".
  settings.autoZoomList.push_back({70, NormalizeUrlPattern("intra")});
  ApplyAutoZoom(settings, page.get(), "HTTP://INTRA");
  EXPECT_EQ(ZoomOf(page.get()), u"70%");
  // The newest entry, made invalid, breaks nothing.
  settings.autoZoomList.push_back({60, "http://intra/[news"});
  ApplyAutoZoom(settings, page.get(), "http://other/news/b.htm");
  EXPECT_EQ(ZoomOf(page.get()), u"150%");
  ApplyAutoZoom(settings, nullptr, "http://intra/");
}

TEST_F(PageZoom, AutoZoomOfAnAddedPageMatchesThatPage) {
  auto page = Page("");
  const std::string url = "file:///srv/a[1]/doc?.htm";
  settings.autoZoomList = {{140, NormalizeUrlPattern(UrlToAutoZoomPattern(url))}};
  ApplyAutoZoom(settings, page.get(), url);
  EXPECT_EQ(ZoomOf(page.get()), u"140%");
}

}  // namespace
}  // namespace quillmer
