// The toolbar form on the in-memory toolkit: its buttons, page, clipboard and
// zoom commands on windows of the browser model, the automatic modes kept in
// step on every toolbar, the menus and the texts of the three languages.
#include "ui/band_form.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/engine_browser.h"
#include "page/page_access.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"
#include "tests/support/fake_toolkit.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;

const std::string kPages = std::string(QUILLMER_SOURCE_DIR) + "/tests/data/pages/";

class BandFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    module.shared.page.HelperEnabled = true;
    module.shared.page.uiCodePage = 1252;
  }
  void TearDown() override {
    forms.clear();
    site.reset();
    SetMessageBoxHandler(std::move(previous_));
    SetCodePageInstalled(kCodePageGbk, true);
    SetCodePageInstalled(kCodePageBig5, true);
    ResetWindows();
  }

  // Shown, as the band shows it, unless asked not to.
  TBandForm& MakeForm(bool show = true) {
    if (!site) site = std::make_unique<Form>(ControlKind::Window, nullptr, "Site");
    forms.push_back(std::make_unique<TBandForm>(module, site->Handle()));
    if (show) forms.back()->Show();
    return *forms.back();
  }
  void UseStore() { module.store = std::make_unique<SettingsStore>(IniPath()); }
  std::string IniPath() const { return (home / "Quillmer.ini").string(); }
  std::string Ini() const { return testing::ReadAll(IniPath()); }

  static ComPtr<IWebBrowser2> OpenPage(const std::string& path) {
    ComPtr<IWebBrowser2> window = NewBrowserWindow();
    window->Navigate2(VariantString(FromUtf8(path)), {}, {}, {}, {});
    return window;
  }
  static ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
    ComPtr<IDispatch> d;
    b->get_Document(d.put());
    return d.query<IHTMLDocument2>();
  }
  static std::u16string Text(IWebBrowser2* b) {
    ComPtr<IHTMLElement> body;
    Doc(b)->get_body(body.put());
    std::u16string t;
    body->get_innerText(&t);
    return t;
  }
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
  // The left frame of conv_frames.html and the inline frame inside it.
  static ComPtr<IWebBrowser2> Frame(IWebBrowser2* b, int index) {
    return GetEmbeddedBrowser(b, index);
  }

  FakeToolkit kit;
  ModuleState module;
  testing::TempDir home;
  std::unique_ptr<Form> site;
  std::vector<std::unique_ptr<TBandForm>> forms;
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

std::vector<std::string> VisibleButtons(const TBandForm& form) {
  std::vector<std::string> names;
  for (const ToolButton* b :
       {&form.ToolButton1, &form.ToolButton2, &form.ToolButton3, &form.ToolButton4,
        &form.ToolButton5, &form.ToolButton9, &form.ToolButton8, &form.ToolButton12,
        &form.ToolButton10, &form.ToolButton11, &form.ToolButton6, &form.ToolButton7})
    if (b->Visible()) names.push_back(b->Name());
  return names;
}

TEST_F(BandFormTest, TheButtonSetFollowsTheSettingsAndTheRowClosesUp) {
  TBandForm& full = MakeForm(false);
  EXPECT_EQ(VisibleButtons(full).size(), 12u);
  EXPECT_EQ(full.ToolButton3.Left(), 52);
  EXPECT_EQ(full.ToolButton1.Height(), 24);
  EXPECT_EQ(full.ToolButton4.Tag, 11);
  EXPECT_EQ(full.ToolButton8.DropDownMenu(), &full.PopupMenu1);
  EXPECT_EQ(full.ToolBar1.GetPopupMenu(), &full.PopupMenu2);
  EXPECT_FALSE(full.Visible());  // until the band shows it
  EXPECT_EQ(GetParent(full.Handle()), site->Handle());

  module.shared.ShowClipBtn = false;
  module.shared.ShowZoomBtn = false;
  module.shared.page.HelperEnabled = false;
  TBandForm& bare = MakeForm();
  EXPECT_EQ(VisibleButtons(bare),
            (std::vector<std::string>{"ToolButton1", "ToolButton2", "ToolButton6", "ToolButton7"}));
  EXPECT_EQ(bare.ToolButton6.Left(), 52);
  EXPECT_EQ(bare.Width(), 52 + ToolButton::kSeparatorWidth + 26);
  EXPECT_LT(bare.Width(), full.Width());

  EXPECT_EQ(module.toolbar.ToolbarWindows, (std::vector<HWND>{full.Handle(), bare.Handle()}));
  const HWND gone = full.Handle();
  forms.erase(forms.begin());
  EXPECT_EQ(module.toolbar.ToolbarWindows, std::vector<HWND>{bare.Handle()});
  EXPECT_FALSE(IsWindow(gone));
}

TEST_F(BandFormTest, ThePageButtonsConvertThePageWithItsFramesAndLeaveNoTrace) {
  TBandForm& form = MakeForm();
  ComPtr<IWebBrowser2> window = OpenPage(kPages + "conv_frames.html");
  form.Browser = window;
  ASSERT_TRUE(kit.ClickNamed("ToolButton1"));
  ComPtr<IWebBrowser2> left = Frame(window.get(), 0), right = Frame(window.get(), 1);
  ASSERT_TRUE(left && right);
  EXPECT_NE(Text(left.get()).find(u"頭髮 中華"), std::u16string::npos);
  EXPECT_EQ(Text(right.get()), u"中華 頭髮");
  EXPECT_EQ(Text(Frame(left.get(), 0).get()), u"中國");
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_FALSE(module.page.ConversionBusy);

  // Back to Simplified from the tool bar's own menu.
  ASSERT_TRUE(kit.Click(form.webSim2.Handle(), 1));
  EXPECT_EQ(Text(right.get()), u"中华 头发");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(BandFormTest, APageCommandStopsForAMissingCodePageAndWhileAConversionRuns) {
  module.page.ConversionBusy = true;  // another window's conversion
  TBandForm& form = MakeForm();       // a toolbar made meanwhile keeps the guard
  ComPtr<IWebBrowser2> window = OpenPage(kPages + "conv_frames.html");
  ComPtr<IWebBrowser2> right = Frame(window.get(), 1);
  form.Browser = window;
  form.ActionWeb2TradExecute();
  EXPECT_EQ(Text(right.get()), u"中华 头发");
  EXPECT_TRUE(module.page.ConversionBusy);  // still the other one's
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_TRUE(boxes.empty());
  module.page.ConversionBusy = false;

  SetCodePageInstalled(kCodePageGbk, false);
  form.ActionWeb2TradExecute();
  EXPECT_EQ(Text(right.get()), u"中华 头发");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Simplified Chinese Support is not installed!");
  EXPECT_EQ(boxes[0].caption, u"Quillmer");
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_FALSE(module.page.ConversionBusy);
}

// A browser of the engine: the page is in the web process, and the toolbar
// reaches it through messages, a whole conversion at once, the zoom call by
// call.
TEST_F(BandFormTest, AnEnginePageIsConvertedWhereItLivesAndZoomedThroughItsBody) {
  std::vector<std::string> sent;
  std::string zoom = "120%";
  ComPtr<IWebBrowser2> engine = cli::MakeEngineBrowser(
      [&](const char* name, const std::vector<std::string>& args) -> std::string {
        std::string line = name;
        for (const auto& a : args) line += " " + a;
        sent.push_back(line);
        if (line == "GetZoom") return zoom;
        if (line.rfind("PutZoom ", 0) == 0) zoom = args[0];
        return {};
      },
      cli::EngineViewState{[] { return std::u16string(u"http://127.0.0.1/a.html"); },
                           [] { return std::u16string(u"A"); }, [] { return false; },
                           [](const std::u16string&) {}, [] {}});
  TBandForm& form = MakeForm();
  form.Browser = engine;

  form.ActionWeb2SimExecute();
  form.ActionWeb2TradExecute();
  EXPECT_EQ(sent, (std::vector<std::string>{"ConvertPage 1", "ConvertPage 0"}));
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
  EXPECT_FALSE(module.page.ConversionBusy);

  sent.clear();
  form.ActionZoomInExecute();
  EXPECT_EQ(zoom, "130%");
  form.ActionZoomResetExecute();
  EXPECT_EQ(zoom, "100%");
  EXPECT_EQ(sent, (std::vector<std::string>{"GetZoom", "PutZoom 130%", "GetZoom", "PutZoom 100%"}));

  // The same checks as for any page come first: nothing is sent without
  // the code page, or while a conversion runs.
  sent.clear();
  SetCodePageInstalled(kCodePageBig5, false);
  form.ActionWeb2TradExecute();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Traditional Chinese Support is not installed!");
  SetCodePageInstalled(kCodePageBig5, true);
  module.page.ConversionBusy = true;
  form.ActionWeb2TradExecute();
  module.page.ConversionBusy = false;
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());
}

TEST_F(BandFormTest, TheAutoModeIsStoredAtOnceShownOnEveryToolbarAndConvertsThePage) {
  UseStore();
  TBandForm& first = MakeForm();
  TBandForm& second = MakeForm();
  EXPECT_EQ(second.ToolButton8.ImageIndex(), 5);
  ComPtr<IWebBrowser2> window = OpenPage(kPages + "conv_frames.html");
  first.Browser = window;

  first.PopupMenu1.Popup(0, 0);
  ASSERT_TRUE(kit.Click(first.AutoTrad.Handle(), 1));
  EXPECT_EQ(module.shared.AutoConvert, 2);
  EXPECT_NE(Ini().find("AutoConvert=2"), std::string::npos) << Ini();
  EXPECT_EQ(first.ToolButton8.ImageIndex(), 6);
  EXPECT_EQ(second.ToolButton8.ImageIndex(), 6);
  EXPECT_TRUE(first.AutoTrad.Checked());
  EXPECT_FALSE(first.AutoNone.Checked());
  EXPECT_EQ(Text(Frame(window.get(), 1).get()), u"中華 頭髮");
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());

  // The other window's menu, with a code page missing: stored and shown, the
  // page left alone with the message the page buttons give.
  SetCodePageInstalled(kCodePageBig5, false);
  second.Browser = window;
  second.PopupMenu2.Popup(0, 0);
  ASSERT_TRUE(kit.Click(second.AutoSim2.Handle(), 1));
  EXPECT_NE(Ini().find("AutoConvert=1"), std::string::npos);
  EXPECT_EQ(first.ToolButton8.ImageIndex(), 7);
  EXPECT_EQ(Text(Frame(window.get(), 1).get()), u"中華 頭髮");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Traditional Chinese Support is not installed!");
  EXPECT_TRUE(module.page.ConvertingBrowsers.empty());

  // Auto-zoom on: stored, every drop-down image with the zoom, the page zoomed.
  module.shared.defaultZoom = 130;
  second.PopupMenu1.Popup(0, 0);
  EXPECT_TRUE(second.AutoSim.Checked());
  ASSERT_TRUE(kit.Click(second.AutoZoom1.Handle(), 1));
  EXPECT_TRUE(module.shared.AutoZoom);
  EXPECT_NE(Ini().find("AutoZoom=1"), std::string::npos);
  EXPECT_EQ(first.ToolButton8.ImageIndex(), 13);
  EXPECT_EQ(Zoom(window.get()), u"130%");
  // Off again: the page keeps its zoom.
  first.PopupMenu2.Popup(0, 0);
  EXPECT_TRUE(first.AutoZoom2.Checked());
  ASSERT_TRUE(kit.Click(first.AutoZoom2.Handle(), 1));
  EXPECT_NE(Ini().find("AutoZoom=0"), std::string::npos);
  EXPECT_EQ(second.ToolButton8.ImageIndex(), 7);
  EXPECT_EQ(Zoom(window.get()), u"130%");
}

TEST_F(BandFormTest, AZoomStepShowsItsHintUntilOneIntervalAfterTheLastClick) {
  using Clock = std::chrono::steady_clock;
  TBandForm& form = MakeForm();
  ComPtr<IWebBrowser2> window = OpenPage(kPages + "conv_frame2.html");
  form.Browser = window;
  form.Timer1.SetInterval(200);
  site->SetBounds(100, 300, 800, 600);  // the browser's window, down the screen

  ASSERT_TRUE(kit.ClickNamed("ToolButton10"));
  HintWindow& hint = *form.ZoomHint;
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(hint.Caption(), u"110%");
  EXPECT_EQ(hint.Left(), form.ToolButton10.ClientToScreen(0, 0).x);
  EXPECT_EQ(hint.Top(), form.ToolButton10.ClientToScreen(0, 0).y - 20);
  EXPECT_EQ(hint.Height(), 16);
  EXPECT_EQ(Zoom(window.get()), u"110%");

  // No messages run meanwhile: a timer that was not started afresh would be
  // due at once after the second click.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_TRUE(kit.ClickNamed("ToolButton10"));
  const auto second = Clock::now();
  EXPECT_EQ(hint.Caption(), u"120%");
  while (hint.Visible() && Clock::now() - second < std::chrono::seconds(10)) WaitMessage(20);
  EXPECT_FALSE(hint.Visible());
  EXPECT_GE(Clock::now() - second, std::chrono::milliseconds(200));
  EXPECT_FALSE(form.Timer1.Enabled());

  // Out from the menu: the hint sits at the form's corner; without a page it
  // reads 100%.
  form.Browser = nullptr;
  ASSERT_TRUE(kit.Click(form.ZoomOut2.Handle(), 1));
  EXPECT_EQ(hint.Caption(), u"100%");
  EXPECT_EQ(hint.Left(), form.ClientToScreen(0, 0).x);
  form.Browser = window;
  form.ActionZoomResetExecute();
  EXPECT_EQ(Zoom(window.get()), u"100%");

  // A window at the screen's top edge: the hint goes below the button, on
  // the screen.
  site->SetBounds(0, 0, 800, 600);
  ASSERT_TRUE(kit.ClickNamed("ToolButton10"));
  EXPECT_EQ(hint.Top(), form.ToolButton10.ClientToScreen(0, 0).y + form.ToolButton10.Height() + 4);
  EXPECT_EQ(hint.Height(), 16);
}

TEST_F(BandFormTest, TheRightClickMenuShowsTheModesAndTheIncrementOfTheMomentItOpens) {
  TBandForm& form = MakeForm();
  module.shared.ZoomIncrement = 25;
  module.shared.AutoConvert = 1;
  module.shared.AutoZoom = true;
  ASSERT_TRUE(kit.RightClick("ToolBar1"));
  EXPECT_EQ(kit.OpenedMenu(), form.PopupMenu2.Handle());
  EXPECT_EQ(form.ZoomIn2.Caption(), u"Zoom in 25%");
  EXPECT_EQ(form.ZoomOut2.Caption(), u"Zoom out 25%");
  EXPECT_EQ(form.AutoCon2.ImageIndex(), 7);
  EXPECT_TRUE(form.AutoSim2.Checked());
  EXPECT_FALSE(form.AutoTrad2.Checked());
  EXPECT_TRUE(form.AutoZoom2.Checked());
  EXPECT_EQ(kit.Bytes(form.ZoomIn2.Handle(), Prop::Image), form.ImageList1.Image(8));
}

TEST_F(BandFormTest, CaptionsHintsAndFontFollowTheUiLanguage) {
  struct Case {
    UINT cp;
    int charset;
    std::u16string hint1, hint5, autoTrad, autoTrad2, zoomIn2, clipTrad2;
  };
  const Case cases[] = {
      {936, 134, u"网页: 简转繁", u"剪贴板: 繁转简", u"自动转为繁体中文", u"自动转为繁体",
       u"放大 10%", u"剪贴簿: 简转繁"},
      {950, 136, u"網頁: 簡轉繁", u"剪貼簿: 繁轉簡", u"自動轉為繁體中文", u"自動轉為繁體",
       u"放大 10%", u"剪貼簿: 簡轉繁"},
      {1252, 0, u"Webpage: Sim. to Trad.", u"Clipboard: Trad. to Sim.",
       u"Traditional Chinese (auto)", u"Traditional Chinese (auto)", u"Zoom in 10%",
       u"Clipboard: Sim > Trad"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cp);
    module.shared.page.uiCodePage = c.cp;
    TBandForm& form = MakeForm();
    EXPECT_EQ(form.ToolButton1.Hint(), c.hint1);
    EXPECT_EQ(form.ToolButton5.Hint(), c.hint5);
    EXPECT_EQ(form.AutoTrad.Caption(), c.autoTrad);
    EXPECT_EQ(form.AutoTrad2.Caption(), c.autoTrad2);
    EXPECT_EQ(form.ZoomIn2.Caption(), c.zoomIn2);
    EXPECT_EQ(form.ClipTrad2.Caption(), c.clipTrad2);
    EXPECT_EQ(form.AddZoomList2.Caption(), form.AddZoomList1.Caption());
    EXPECT_EQ(kit.GetInt(form.Handle(), Prop::FontCharset, 0), c.charset);
    EXPECT_EQ(kit.GetInt(form.PopupMenu2.Handle(), Prop::FontCharset, 0), c.charset);
  }
  EXPECT_EQ(forms.back()->Options2.Caption(), u"Options");
  EXPECT_EQ(forms.back()->AutoNone2.Caption(), u"Manual");
}

TEST_F(BandFormTest, TheBackgroundTakesTheStoredColourAndTheSystemOneMeansTheDefault) {
  testing::WriteAll(IniPath(), "[Interface]\nBKColor=255\n");
  UseStore();
  EXPECT_EQ(kit.GetInt(MakeForm().Handle(), Prop::Color, 0), 255);
  testing::WriteAll(IniPath(), "[Interface]\nBKColor=-2147483633\n");
  UseStore();
  EXPECT_EQ(kit.GetInt(MakeForm().Handle(), Prop::Color, 0), -1);
}

class FakeDialog {
 public:
  TBandForm* toolbar = nullptr;
  std::string url;
  int zoom = 0, shown = 0;
};

TEST_F(BandFormTest, TheDialogsOpenOneAtATimeWithTheToolbarAndThePagesPatternAndZoom) {
  FakeDialog record;
  struct Options final : OptionsDialog {
    FakeDialog* r;
    ModuleState* m;
    TBandForm* self = nullptr;
    void SetToolbar(TBandForm* t) override { r->toolbar = t; }
    int ShowModal() override {
      ++r->shown;
      EXPECT_EQ(m->toolbar.openOptionsDialog, this);
      r->toolbar->ToolButton7.Click();  // a second click while open: nothing
      return mrOk;
    }
  };
  struct Url final : AutoZoomUrlDialog {
    FakeDialog* r;
    void SetToolbar(TBandForm* t) override { r->toolbar = t; }
    void SetUrl(const std::string& u) override { r->url = u; }
    void SetZoom(int z) override { r->zoom = z; }
    int ShowModal() override {
      ++r->shown;
      return mrCancel;
    }
  };
  module.toolbar.makeDialog.options = [&](TBandForm&) {
    auto d = std::make_unique<Options>();
    d->r = &record;
    d->m = &module;
    return d;
  };
  module.toolbar.makeDialog.autoZoomUrl = [&](TBandForm&) {
    auto d = std::make_unique<Url>();
    d->r = &record;
    return d;
  };
  TBandForm& form = MakeForm();
  ASSERT_TRUE(kit.ClickNamed("ToolButton7"));
  EXPECT_EQ(record.toolbar, &form);
  EXPECT_EQ(record.shown, 1);
  EXPECT_EQ(module.toolbar.openOptionsDialog, nullptr);

  // No page: nothing to add.
  form.AddUrlToAutoZoom();
  EXPECT_EQ(record.shown, 1);
  std::filesystem::create_directories(home / "news");
  testing::WriteAll(home / "news" / "a.htm", "<html><body style=\"zoom: 150%\">x</body></html>");
  form.Browser = OpenPage((home / "news" / "a.htm").string());
  ASSERT_TRUE(kit.Click(form.AddZoomList1.Handle(), 1));
  EXPECT_EQ(record.shown, 2);
  EXPECT_EQ(record.zoom, 150);
  std::string folder = "file://" + (home / "news").string() + "/*";
  for (char& ch : folder) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(record.url, folder);
  EXPECT_EQ(module.toolbar.openAutoZoomUrlDialog, nullptr);
}

}  // namespace
}  // namespace quillmer
