// The band object in a band site of our own on the in-memory toolkit: its
// interfaces, siting, sizes and title, showing and closing, keys, and a band
// let go without being closed.
#include "com/band.h"

#include <gtest/gtest.h>

#include "platform/browser/page.h"
#include "tests/com/com_fixture.h"
#include "tests/support/fake_toolkit.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;
using testing::ServerFixture;

// A band site: its window, the input site, and the window's browser as a
// service; each can be left out.
class TestSite final : public ComObject<IOleWindow, IInputObjectSite, IServiceProvider> {
 public:
  HWND window = nullptr;
  bool inputSite = true;
  ComPtr<IWebBrowser2> browser;

  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_OF(IInputObjectSite) && !inputSite) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(riid, out);
  }
  HRESULT GetWindow(HWND* out) override {
    *out = window;
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(bool) override { return E_NOTIMPL; }
  HRESULT OnFocusChangeIS(IUnknown*, bool) override { return S_OK; }
  HRESULT QueryService(REFGUID service, REFIID riid, void** out) override {
    *out = nullptr;
    if (service != SID_SWebBrowserApp || !browser) return E_NOINTERFACE;
    return browser->QueryInterface(riid, out);
  }
};

class BandTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    ASSERT_TRUE(CurrentModule());
    siteWindow = std::make_unique<Form>(ControlKind::Window, nullptr, "BandSite");
    site = MakeComObject<TestSite>();
    site->window = siteWindow->Handle();
    site->browser = NewBrowserWindow();
    band = MakeComObject<TBrowserBand>();
  }
  void TearDown() override {
    band.reset();
    site.reset();
    siteWindow.reset();
    ResetWindows();
    EXPECT_EQ(0, ServerObjectCount());
    ServerFixture::TearDown();
  }

  ToolbarState& Toolbars() { return CurrentModule()->toolbar; }

  FakeToolkit kit;
  std::unique_ptr<Form> siteWindow;
  ComPtr<TestSite> site;
  ComPtr<TBrowserBand> band;
};

TEST_F(BandTest, TheBandAnswersItsInterfacesButNotTheBasesOfIDeskBandByTheirOwnIds) {
  for (const IID& iid : {IID_OF(IInputObject), IID_OF(IObjectWithSite),
                         IID_OF(IPersistStreamInit), IID_OF(IPersist), IID_OF(IDeskBand)}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(band->QueryInterface(iid, p.put_void()), S_OK) << GuidToString(iid);
  }
  for (const IID& iid : {IID_OF(IOleWindow), IID_OF(IDockingWindow), IID_IPersistStream}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(band->QueryInterface(iid, p.put_void()), E_NOINTERFACE) << GuidToString(iid);
    EXPECT_FALSE(p);
  }
  GUID clsid{};
  EXPECT_EQ(band->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_BrowserBand);
  EXPECT_EQ(band->IsDirty(), S_FALSE);
  EXPECT_EQ(band->Load(nullptr), S_OK);
  EXPECT_EQ(band->Save(nullptr, true), S_OK);
  std::uint64_t size = 7;
  EXPECT_EQ(band->GetSizeMax(&size), E_NOTIMPL);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(band->InitNew(), E_NOTIMPL);
  EXPECT_EQ(band->ContextSensitiveHelp(true), E_NOTIMPL);
  EXPECT_EQ(band->ResizeBorderDW(nullptr, nullptr, false), E_NOTIMPL);
  EXPECT_EQ(band->UIActivateIO(true, nullptr), S_OK);
  EXPECT_EQ(band->HasFocusIO(), S_OK);
}

TEST_F(BandTest, BeforeItsSiteTheBandHasNoSiteWindowOrSizesAndANullSiteChangesNothing) {
  ComPtr<IUnknown> got;
  EXPECT_EQ(band->GetSite(IID_IUnknown, got.put_void()), E_FAIL);
  EXPECT_FALSE(got);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(band->GetWindow(&window), E_FAIL);
  EXPECT_EQ(window, nullptr);
  DESKBANDINFO info;
  info.dwMask = DBIM_MINSIZE | DBIM_ACTUAL;
  EXPECT_EQ(band->GetBandInfo(0, 0, &info), E_FAIL);
  EXPECT_EQ(band->ShowDW(true), S_OK);
  EXPECT_EQ(band->CloseDW(0), S_OK);

  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  TBandForm* form = band->BandForm();
  ASSERT_TRUE(form);
  EXPECT_EQ(band->SetSite(nullptr), S_OK);
  EXPECT_EQ(band->BandForm(), form);
  EXPECT_EQ(band->GetSite(IID_OF(IInputObjectSite), got.put_void()), S_OK);
  EXPECT_TRUE(IsSameObject(got.get(), site->Identity()));
  EXPECT_TRUE(IsSameObject(form->Browser.get(), site->browser.get()));
}

TEST_F(BandTest, ASiteWithoutAWindowOrAnInputSiteMakesNoForm) {
  site->window = nullptr;
  EXPECT_EQ(band->SetSite(site->Identity()), E_FAIL);
  site->window = siteWindow->Handle();
  site->inputSite = false;
  EXPECT_EQ(band->SetSite(site->Identity()), E_FAIL);
  EXPECT_FALSE(band->BandForm());
  EXPECT_TRUE(Toolbars().ToolbarWindows.empty());
  // No browser is no error: the form has none.
  site->inputSite = true;
  site->browser = nullptr;
  EXPECT_EQ(band->SetSite(site->Identity()), S_OK);
  ASSERT_TRUE(band->BandForm());
  EXPECT_FALSE(band->BandForm()->Browser);
}

TEST_F(BandTest, TheBandInfoFollowsTheLayoutAndCutsTheTitle) {
  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  TBandForm& form = *band->BandForm();
  DESKBANDINFO info;
  info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                DBIM_MODEFLAGS | DBIM_BKCOLOR;
  info.dwModeFlags = 0xFF;
  ASSERT_EQ(band->GetBandInfo(0, 0, &info), S_OK);
  EXPECT_EQ(info.ptMinSize.x, 52);
  EXPECT_EQ(info.ptMinSize.y, 26);
  EXPECT_EQ(info.ptMaxSize.x, -1);
  EXPECT_EQ(info.ptMaxSize.y, -1);
  EXPECT_EQ(info.ptIntegral.x, 1);
  EXPECT_EQ(info.ptActual.x, form.Width());
  EXPECT_EQ(info.ptActual.y, form.Height());
  EXPECT_GT(info.ptActual.x, 52);
  EXPECT_EQ(std::u16string(info.wszTitle), CurrentModule()->shared.bandCaption);
  EXPECT_EQ(info.dwModeFlags, DBIMF_NORMAL);
  EXPECT_EQ(info.dwMask & DBIM_BKCOLOR, 0u);
  EXPECT_NE(info.dwMask & DBIM_TITLE, 0u);

  // Without the title bit the title stays; a long caption is cut to 255.
  CurrentModule()->shared.bandCaption = std::u16string(300, u'x');
  DESKBANDINFO untouched;
  untouched.dwMask = DBIM_MINSIZE;
  untouched.wszTitle[0] = u'?';
  ASSERT_EQ(band->GetBandInfo(0, 0, &untouched), S_OK);
  EXPECT_EQ(untouched.wszTitle[0], u'?');
  info.dwMask = DBIM_TITLE;
  ASSERT_EQ(band->GetBandInfo(0, 0, &info), S_OK);
  EXPECT_EQ(std::u16string(info.wszTitle), std::u16string(255, u'x'));

  // The page buttons alone: the band still shrinks to them.
  form.ToolButton1.Hide();
  info.dwMask = DBIM_MINSIZE;
  ASSERT_EQ(band->GetBandInfo(0, 0, &info), S_OK);
  EXPECT_EQ(info.ptMinSize.x, 26);
}

TEST_F(BandTest, TheFormIsShownHiddenClosedAndMadeAgainAsTheSiteAsks) {
  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  TBandForm* form = band->BandForm();
  HWND window = nullptr;
  ASSERT_EQ(band->GetWindow(&window), S_OK);
  EXPECT_EQ(window, form->Handle());
  EXPECT_EQ(GetParent(window), siteWindow->Handle());
  EXPECT_EQ(Toolbars().ToolbarWindows, std::vector<HWND>{window});

  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(band->ShowDW(true), S_OK);
  EXPECT_TRUE(form->Visible());
  EXPECT_EQ(form->ToolButton8.ImageIndex(), 5);  // shown: the mode's image
  EXPECT_EQ(band->ShowDW(false), S_OK);
  EXPECT_FALSE(form->Visible());

  EXPECT_EQ(band->CloseDW(0), S_OK);
  EXPECT_FALSE(band->BandForm());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(Toolbars().ToolbarWindows.empty());
  EXPECT_EQ(band->ShowDW(true), S_OK);
  EXPECT_EQ(band->GetWindow(&window), E_FAIL);
  DESKBANDINFO info;
  info.dwMask = DBIM_ACTUAL;
  EXPECT_EQ(band->GetBandInfo(0, 0, &info), E_FAIL);

  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  ASSERT_TRUE(band->BandForm());
  EXPECT_EQ(Toolbars().ToolbarWindows.size(), 1u);
}

TEST_F(BandTest, ABandLetGoWithoutClosingTakesItsFormAlong) {
  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  HWND window = band->BandForm()->Handle();
  band.reset();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(Toolbars().ToolbarWindows.empty());
  // The site and the browser went with it.
  EXPECT_EQ(0, ServerObjectCount());
}

TEST_F(BandTest, KeysOtherThanTabAreDispatchedAndTabIsLeftToTheSite) {
  ASSERT_EQ(band->SetSite(site->Identity()), S_OK);
  std::vector<UINT> got;
  HWND target = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    got.push_back(m);
    return 0;
  });
  MSG tab{target, WM_KEYDOWN, 9, 0};
  EXPECT_EQ(band->TranslateAcceleratorIO(&tab), S_FALSE);
  EXPECT_TRUE(got.empty());
  MSG key{target, WM_KEYDOWN, 'A', 0};
  EXPECT_EQ(band->TranslateAcceleratorIO(&key), S_OK);
  EXPECT_EQ(got, std::vector<UINT>{WM_KEYDOWN});
  DestroyWindow(target);
}

}  // namespace
}  // namespace quillmer
