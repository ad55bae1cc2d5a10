#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/browser/page.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

std::string FileName(const std::u16string& url) {
  std::string s = ToUtf8(url);
  return s.substr(s.find_last_of('/') + 1);
}

ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(b->get_Document(d.put()), S_OK);
  return d.query<IHTMLDocument2>();
}

std::u16string Url(IWebBrowser2* b) {
  std::u16string u;
  b->get_LocationURL(&u);
  return u;
}

ComPtr<IWebBrowser2> Frame(IWebBrowser2* b, ULONG index) {
  ComPtr<IEnumUnknown> items;
  Doc(b).query<IOleContainer>()->EnumObjects(OLECONTF_EMBEDDINGS, items.put());
  items->Skip(index);
  ComPtr<IUnknown> item;
  items->Next(1, item.put(), nullptr);
  return item ? item.query<IWebBrowser2>() : nullptr;
}

HRESULT Go(IWebBrowser2* b, const std::string& url, const std::u16string& frame = u"") {
  return b->Navigate2(VariantString(FromUtf8(url)), VARIANT{},
                      frame.empty() ? VARIANT{} : VariantString(frame), VARIANT{}, VARIANT{});
}

// Writes down the browser events as "Event file" lines; `on` may act on them.
class Recorder final : public ComObject<IDispatch> {
 public:
  explicit Recorder(IWebBrowser2* top) : top_(top) {}
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    DispatchArgs args(params);
    std::string line;
    ComPtr<IWebBrowser2> who;
    if (VARIANT* p = args.value(0); p && p->vt == VT_DISPATCH)
      who = p->pdispVal.query<IWebBrowser2>();
    std::u16string url;
    if (VARIANT* u = args.value(1)) VariantToString(*u, &url);
    switch (id) {
      case DISPID_BEFORENAVIGATE2:
        line = "Before " + FileName(url);
        break;
      case DISPID_NAVIGATECOMPLETE2:
        line = "Navigated " + FileName(url);
        break;
      case DISPID_DOCUMENTCOMPLETE:
        line = "Complete " + FileName(url);
        break;
      case DISPID_DOWNLOADBEGIN:
        line = "DownloadBegin";
        break;
      case DISPID_DOWNLOADCOMPLETE:
        line = "DownloadComplete";
        break;
      case DISPID_ONQUIT:
        line = "Quit";
        break;
      default:
        line = "?";
        break;
    }
    // The window's ready state, and whether pDisp is the top-level browser.
    READYSTATE state;
    top_->get_ReadyState(&state);
    if (id == DISPID_DOWNLOADCOMPLETE ||
        (id == DISPID_DOCUMENTCOMPLETE && IsSameObject(who.get(), top_)))
      line += " @" + std::to_string(state);
    events.push_back(line);
    if (on) on(id, who.get(), url, args);
    return S_OK;
  }
  std::vector<std::string> events;
  std::function<void(DISPID, IWebBrowser2*, const std::u16string&, DispatchArgs&)> on;

 private:
  IWebBrowser2* top_;
};

class Navigation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AtlAdvise(window.get(), recorder.get(), DIID_DWebBrowserEvents2, &cookie), S_OK);
  }
  ComPtr<IWebBrowser2> window = NewBrowserWindow();
  ComPtr<Recorder> recorder = MakeComObject<Recorder>(window.get());
  DWORD cookie = 0;
};

TEST_F(Navigation, FramesCompleteBeforeTheTopAndTheDownloadEndsWhileItFinishes) {
  EXPECT_EQ(Url(window.get()), u"about:blank");
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{
                                  "Before conv_frames.html", "DownloadBegin",
                                  "Navigated conv_frames.html", "Before conv_frame1.html",
                                  "Navigated conv_frame1.html", "Before conv_frame1_inner.html",
                                  "Navigated conv_frame1_inner.html", "Before conv_frame2.html",
                                  "Navigated conv_frame2.html", "Complete conv_frame1_inner.html",
                                  "Complete conv_frame1.html", "Complete conv_frame2.html",
                                  "DownloadComplete @3", "Complete conv_frames.html @4"}));
  READYSTATE state;
  Frame(window.get(), 1)->get_ReadyState(&state);
  EXPECT_EQ(state, READYSTATE_COMPLETE);
  std::u16string charset;
  Doc(window.get())->get_charset(&charset);
  EXPECT_EQ(charset, u"gb2312");
  bool busy = true;
  window->get_Busy(&busy);
  EXPECT_FALSE(busy);
}

TEST_F(Navigation, ReadyStatesMoveThroughLoadingAndInteractive) {
  std::vector<std::string> seen;
  recorder->on = [&](DISPID id, IWebBrowser2* who, const std::u16string&, DispatchArgs&) {
    READYSTATE s;
    who = who ? who : window.get();
    who->get_ReadyState(&s);
    std::u16string doc;
    if (id == DISPID_NAVIGATECOMPLETE2) Doc(who)->get_readyState(&doc);
    seen.push_back(std::to_string(id) + ":" + std::to_string(s) + ToUtf8(doc));
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frame2.html"), S_OK);
  EXPECT_EQ(seen,
            (std::vector<std::string>{"250:4", "106:1", "252:3interactive", "104:3", "259:4"}));
}

TEST_F(Navigation, CancelInBeforeNavigate2KeepsThePageOrLeavesTheFrameEmpty) {
  ASSERT_EQ(Go(window.get(), kPages + "conv_frame2.html"), S_OK);
  recorder->events.clear();
  recorder->on = [](DISPID id, IWebBrowser2*, const std::u16string& url, DispatchArgs& args) {
    if (id == DISPID_BEFORENAVIGATE2 && FileName(url) == "conv_frames.html")
      *args.value(6)->pboolVal = VARIANT_TRUE;
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"Before conv_frames.html"});
  EXPECT_EQ(FileName(Url(window.get())), "conv_frame2.html");

  recorder->events.clear();
  recorder->on = [](DISPID id, IWebBrowser2*, const std::u16string& url, DispatchArgs& args) {
    if (id == DISPID_BEFORENAVIGATE2 && FileName(url) == "conv_frame1.html")
      *args.value(6)->pboolVal = VARIANT_TRUE;
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(
      recorder->events,
      (std::vector<std::string>{
          "Before conv_frames.html", "DownloadBegin", "Navigated conv_frames.html",
          "Before conv_frame1.html", "Before conv_frame2.html", "Navigated conv_frame2.html",
          "Complete conv_frame2.html", "DownloadComplete @3", "Complete conv_frames.html @4"}));
  EXPECT_EQ(Url(Frame(window.get(), 0).get()), u"about:blank");
}

TEST_F(Navigation, StopWhileLoadingLeavesLaterFramesEmptyAndStillEndsTheDownload) {
  recorder->on = [&](DISPID id, IWebBrowser2*, const std::u16string& url, DispatchArgs&) {
    if (id == DISPID_NAVIGATECOMPLETE2 && FileName(url) == "conv_frame1.html") window->Stop();
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"Before conv_frames.html", "DownloadBegin",
                                      "Navigated conv_frames.html", "Before conv_frame1.html",
                                      "Navigated conv_frame1.html", "DownloadComplete @4"}));
  EXPECT_EQ(Url(Frame(window.get(), 1).get()), u"about:blank");
  EXPECT_EQ(StopCount(window.get()), 1);
  READYSTATE state;
  window->get_ReadyState(&state);
  EXPECT_EQ(state, READYSTATE_COMPLETE);
}

TEST_F(Navigation, QuitFiresOnQuitOnceAndEndsNavigation) {
  recorder->on = [&](DISPID id, IWebBrowser2*, const std::u16string&, DispatchArgs&) {
    if (id == DISPID_NAVIGATECOMPLETE2) window->Quit();
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"Before conv_frames.html", "DownloadBegin",
                                                        "Navigated conv_frames.html", "Quit"}));
  EXPECT_EQ(window->Quit(), S_OK);
  EXPECT_EQ(recorder->events.size(), 4u);
  EXPECT_EQ(Go(window.get(), kPages + "conv_frame2.html"), E_UNEXPECTED);
}

TEST_F(Navigation, AMissingPageFiresNothing) {
  EXPECT_EQ(Go(window.get(), kPages + "no_such_page.html"), INET_E_RESOURCE_NOT_FOUND);
  EXPECT_EQ(Go(window.get(), "http://example.invalid/"), INET_E_RESOURCE_NOT_FOUND);
  EXPECT_TRUE(recorder->events.empty());
  EXPECT_EQ(Go(window.get(), kPages + "conv_frame2.html", u"nosuchframe"), E_INVALIDARG);
}

TEST_F(Navigation, ANamedFrameNavigatesAloneAndTheTopStaysComplete) {
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  recorder->events.clear();
  ASSERT_EQ(Go(window.get(), "file://" + kPages + "browser_sub/browser_inner.html", u"right"),
            S_OK);
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"Before browser_inner.html", "DownloadBegin",
                                      "Navigated browser_inner.html", "DownloadComplete @4",
                                      "Complete browser_inner.html"}));
  EXPECT_EQ(FileName(Url(Frame(window.get(), 1).get())), "browser_inner.html");
  EXPECT_EQ(FileName(Url(window.get())), "conv_frames.html");
}

ComPtr<IHTMLElement> Link(IWebBrowser2* b, const std::u16string& id) {
  ComPtr<IHTMLElement> e;
  Doc(b).query<IHTMLDocument3>()->getElementById(id, e.put());
  return e;
}

TEST_F(Navigation, LinksResolveAgainstTheirPageAndFollowTheirTarget) {
  ASSERT_EQ(Go(window.get(), kPages + "browse_links.html"), S_OK);
  recorder->events.clear();
  EXPECT_EQ(FollowLink(Link(window.get(), u"here").get()), S_OK);
  EXPECT_EQ(FollowLink(Link(window.get(), u"remote").get()), INET_E_RESOURCE_NOT_FOUND);
  EXPECT_EQ(FollowLink(Link(window.get(), u"missing").get()), INET_E_RESOURCE_NOT_FOUND);
  EXPECT_TRUE(recorder->events.empty());

  ASSERT_EQ(FollowLink(Link(window.get(), u"side").get()), S_OK);
  EXPECT_EQ(recorder->events.front(), "Before browser_inner.html");
  EXPECT_EQ(FileName(Url(Frame(window.get(), 0).get())), "browser_inner.html");

  ASSERT_EQ(FollowLink(Link(window.get(), u"right").get()), S_OK);
  EXPECT_EQ(FileName(Url(window.get())), "browser_right.html");
  EXPECT_EQ(FollowLink(Doc(window.get()).query<IHTMLElement>().get()), E_INVALIDARG);
}

TEST_F(Navigation, LeavingAPageIsSeenWithWhatBeforeNavigate2DidToIt) {
  ASSERT_EQ(Go(window.get(), kPages + "browser_right.html"), S_OK);
  window->PutProperty(u"OrigCharset", VariantString(u"big5"));
  recorder->on = [&](DISPID id, IWebBrowser2* who, const std::u16string&, DispatchArgs&) {
    if (id != DISPID_BEFORENAVIGATE2) return;
    // The page being left is still the browser's document.
    EXPECT_EQ(FileName(Url(who)), "browser_right.html");
    Doc(who)->put_charset(u"big5");
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frame2.html"), S_OK);
  auto left = LeftPages(window.get());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(FileName(left[0].url), "browser_right.html");
  EXPECT_EQ(left[0].charset, u"big5");
  // Properties stay with the browser across pages.
  VARIANT v;
  window->GetProperty(u"OrigCharset", &v);
  EXPECT_EQ(v.bstrVal, u"big5");
}

TEST_F(Navigation, ANavigationStartedBySinkReplacesTheOneUnderWay) {
  bool once = false;
  recorder->on = [&](DISPID id, IWebBrowser2*, const std::u16string&, DispatchArgs&) {
    if (id == DISPID_NAVIGATECOMPLETE2 && !once) {
      once = true;
      Go(window.get(), kPages + "conv_frame2.html");
    }
  };
  ASSERT_EQ(Go(window.get(), kPages + "conv_frames.html"), S_OK);
  EXPECT_EQ(FileName(Url(window.get())), "conv_frame2.html");
  EXPECT_EQ(recorder->events.back(), "Complete conv_frame2.html @4");
  EXPECT_EQ(
      std::count(recorder->events.begin(), recorder->events.end(), "Complete conv_frames.html @4"),
      0);
}

}  // namespace
}  // namespace quillmer
