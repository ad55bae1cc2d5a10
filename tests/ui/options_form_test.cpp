// The options dialog on the in-memory toolkit: what it shows at opening, what
// closing stores (however it closes), the auto-zoom grid and its ratio
// editor, the toolbar it updates, and the texts of the three languages.
#include "ui/options_form.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "engine/identities.h"
#include "page/context_menu.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keys.h"
#include "platform/win32/registry.h"
#include "tests/cli/run_program.h"
#include "tests/support/fake_toolkit.h"
#include "ui/band_form.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;

class OptionsFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_REGISTRY", (home / "registry").c_str(), 1);
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    module.shared.page.uiCodePage = 1252;
    module.store = std::make_unique<SettingsStore>(IniPath());
  }
  void TearDown() override {
    form.reset();
    toolbar.reset();
    site.reset();
    SetMessageBoxHandler(std::move(previous_));
    ResetWindows();
    ::unsetenv("QUILLMER_REGISTRY");
  }

  void SetHelperKey(bool present) {
    const std::string key = std::string(kBrowserHelperObjectsKey) + std::string(kHelperClsid);
    if (present) {
      RegKey k;
      ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, key, KEY_WRITE, k.put()), ERROR_SUCCESS);
    } else {
      RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    }
    module.shared.page.HelperEnabled = present;
  }
  TForm1& Open(bool withToolbar = false) {
    if (withToolbar) {
      site = std::make_unique<Form>(ControlKind::Window, nullptr, "Site");
      toolbar = std::make_unique<TBandForm>(module, site->Handle());
      toolbar->Show();
    }
    form = std::make_unique<TForm1>(module, toolbar.get());
    form->Show();
    return *form;
  }
  // Closes as the window's close box does.
  void CloseBox() { SendMessage(form->Handle(), QM_CLOSEQUERY, 0, 0); }
  std::string IniPath() const { return (home / "Quillmer.ini").string(); }
  std::string Ini() const { return testing::ReadAll(IniPath()); }
  bool Has(const std::string& line) const {
    return Ini().find(line + "\n") != std::string::npos;
  }
  void AddEntries(int n) {
    for (int i = 1; i <= n; ++i)
      module.shared.autoZoomList.push_back(
          {static_cast<std::int16_t>(100 + i), "http://e" + std::to_string(i) + ".com/*"});
    module.store->WriteInteger("Zoom_Ex", "AutoURLCount", n);
    for (int i = 1; i <= n; ++i) {
      module.store->WriteInteger("Zoom_Ex", "AutoZoomValue" + std::to_string(i), 100 + i);
      module.store->WriteString("Zoom_Ex", "AutoZoomURL" + std::to_string(i),
                                "http://e" + std::to_string(i) + ".com/*");
    }
    module.store->Flush();
  }

  testing::TempDir home;
  FakeToolkit kit;
  ModuleState module;
  std::unique_ptr<Form> site;
  std::unique_ptr<TBandForm> toolbar;
  std::unique_ptr<TForm1> form;
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

TEST_F(OptionsFormTest, OpeningShowsTheSettingsAndTheListAndEnablesByTheHelper) {
  module.shared.defaultZoom = 130;
  module.shared.ZoomIncrement = 25;
  module.shared.HotKeyTable[2] = 0xC054;
  AddEntries(2);
  TForm1& f = Open();
  EXPECT_EQ(f.SpinEdit2.Value(), 130);  // the default zoom, not the design value
  EXPECT_EQ(f.SpinEdit1.Value(), 25);
  EXPECT_EQ(f.HotKey3.HotKey(), 0xC054);
  EXPECT_FALSE(f.SpinEdit3.Visible());
  EXPECT_EQ(f.StringGrid1.RowCount(), 3);
  EXPECT_EQ(f.StringGrid1.Cell(2, 0), u"102%");
  EXPECT_EQ(f.StringGrid1.Cell(2, 1), u"http://e2.com/*");
  EXPECT_EQ(f.StringGrid1.Cell(0, 1), u"URL");
  EXPECT_EQ(f.Conversion.ActivePage(), &f.TabSheet1);
  // No helper: its controls are off until the box is ticked.
  EXPECT_FALSE(f.StringGrid1.Enabled());
  EXPECT_FALSE(f.cb_ConvertOnSubmit.Enabled());
  EXPECT_TRUE(kit.ClickNamed("cb_EnableHelper"));
  EXPECT_TRUE(f.StringGrid1.Enabled());
  EXPECT_TRUE(f.SpeedButton2.Enabled());
}

TEST_F(OptionsFormTest, TheCaptionsFollowTheLanguage) {
  for (auto [cp, caption, charset] :
       {std::tuple{936u, u"Quillmer - 程式设定", 134}, std::tuple{950u, u"Quillmer - 程式設定", 136},
        std::tuple{1252u, u"Quillmer - Options", 0}}) {
    module.shared.page.uiCodePage = cp;
    TForm1& f = Open();
    EXPECT_EQ(f.Caption(), caption);
    EXPECT_EQ(kit.GetInt(f.Handle(), Prop::FontCharset, 0), charset);
    EXPECT_EQ(f.GroupBox3.Caption(), cp == 1252 ? u"Manaul Zoom" : cp == 936 ? u"手动缩放" : u"手動縮放");
    EXPECT_EQ(f.Label19.Caption(), f.CheckBox1.Caption());
    EXPECT_EQ(f.cb_EnableHelper.Hint().empty(), cp == 1252);
    form.reset();
  }
}

TEST_F(OptionsFormTest, ClosingStoresEverythingHoweverItCloses) {
  SetHelperKey(true);
  module.shared.AutoConvert = 2;
  for (int way = 0; way < 3; ++way) {
    TForm1& f = Open();
    const int zoom = 110 + way;
    ASSERT_TRUE(kit.Type("SpinEdit2", std::to_string(zoom)));
    ASSERT_TRUE(kit.Type("SpinEdit1", "15"));
    ASSERT_TRUE(kit.ClickNamed("cb_AlterWBCharset"));
    if (way == 0) {
      ASSERT_TRUE(kit.ClickNamed("Button1"));
    }
    if (way == 1) CloseBox();
    if (way == 2) SendMessage(f.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    // Shown non-modally here: closing runs FormClose at once.
    EXPECT_EQ(module.shared.defaultZoom, zoom) << way;
    EXPECT_TRUE(Has("AutoZoomToValue=" + std::to_string(zoom))) << way;
    EXPECT_TRUE(Has("ZoomIncrement=15")) << way;
    EXPECT_TRUE(Has("Key1=0")) << way;
    form.reset();
  }
  // The default zoom survives a restart: the load reads what closing wrote.
  SharedSettingsData again;
  LoadHelperSettings(SettingsStore(IniPath()), again);
  EXPECT_EQ(again.defaultZoom, 112);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(OptionsFormTest, SwitchingTheHelperWritesItsKeyAndEndsAutomaticConversion) {
  SetHelperKey(true);
  module.shared.AutoConvert = 1;
  TForm1& f = Open(true);
  EXPECT_TRUE(toolbar->ToolButton8.Visible());
  ASSERT_TRUE(kit.ClickNamed("cb_EnableHelper"));
  ASSERT_TRUE(kit.ClickNamed("cb_ShowZoomBtn"));
  f.Close();
  EXPECT_FALSE(ReadHelperEnabled());
  EXPECT_FALSE(module.shared.page.HelperEnabled);
  EXPECT_EQ(module.shared.AutoConvert, 0);
  EXPECT_TRUE(Has("AutoConvert=0"));
  EXPECT_TRUE(Has("ShowZoomBtn=0"));
  EXPECT_FALSE(toolbar->ToolButton8.Visible());
  EXPECT_FALSE(toolbar->ToolButton10.Visible());
  EXPECT_FALSE(toolbar->ToolButton12.Visible());
  form.reset();

  // And on again: the key with its name as the default value.
  Open();
  ASSERT_TRUE(kit.ClickNamed("cb_EnableHelper"));
  form->Close();
  EXPECT_TRUE(ReadHelperEnabled());
  RegKey key;
  std::string value;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE,
                         std::string(kBrowserHelperObjectsKey) + std::string(kHelperClsid), 0,
                         KEY_READ, key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueEx(key.get(), "", nullptr, &value), ERROR_SUCCESS);
  EXPECT_EQ(std::string(value.c_str()), std::string(kHelperRegistryName));
}

TEST_F(OptionsFormTest, ContextMenuEntriesChangeOnlyWhenTheirBoxChanged) {
  std::string caption;
  GetMenuCaption(2, caption, 1252);
  RegisterMenuExt(caption, "res://x/RT_HTML/PageToSim", 1, 0);
  TForm1& f = Open();
  EXPECT_FALSE(f.CheckBox1.Checked());
  EXPECT_TRUE(f.CheckBox2.Checked());
  ASSERT_TRUE(kit.ClickNamed("CheckBox1"));
  ASSERT_TRUE(kit.ClickNamed("CheckBox2"));
  f.Close();
  std::string first;
  GetMenuCaption(1, first, 1252);
  RegKey k;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, std::string(kMenuExtKey.substr(1)) + first, 0,
                         KEY_READ, k.put()),
            ERROR_SUCCESS);
  RegKey gone;
  EXPECT_NE(RegOpenKeyEx(HKEY_CURRENT_USER, std::string(kMenuExtKey.substr(1)) + caption, 0,
                         KEY_READ, gone.put()),
            ERROR_SUCCESS);
}

TEST_F(OptionsFormTest, TheListIsStoredInGridOrderDroppingEmptyUrlsAndItsOldKeys) {
  SetHelperKey(true);
  AddEntries(5);
  TForm1& f = Open();
  // Shrunk from 5 to 3 with the delete button; an empty URL is dropped.
  for (int i = 0; i < 2; ++i) {
    f.StringGrid1.Select(1, 1);
    ASSERT_TRUE(kit.ClickNamed("SpeedButton2"));
  }
  f.StringGrid1.Select(1, 0);
  ASSERT_TRUE(kit.ClickNamed("SpeedButton1"));  // an empty row at the top, 100%
  EXPECT_EQ(f.StringGrid1.Cell(1, 0), u"100%");
  ASSERT_TRUE(kit.EditCell("StringGrid1", 2, 1, "WWW.Example.com"));
  ASSERT_TRUE(kit.ClickNamed("Button1"));
  const std::string ini = Ini();
  EXPECT_TRUE(Has("AutoURLCount=3"));
  EXPECT_TRUE(Has("AutoZoomURL1=http://www.example.com/*"));
  EXPECT_TRUE(Has("AutoZoomValue1=103"));
  EXPECT_TRUE(Has("AutoZoomURL3=http://e5.com/*"));
  EXPECT_EQ(ini.find("AutoZoomURL4"), std::string::npos);
  EXPECT_EQ(ini.find("AutoZoomValue5"), std::string::npos);
  ASSERT_EQ(module.shared.autoZoomList.size(), 3u);
  EXPECT_EQ(module.shared.autoZoomList[0].Pattern, "http://www.example.com/*");
}

TEST_F(OptionsFormTest, DeletingTheOnlyRowStoresAnEmptyList) {
  SetHelperKey(true);
  AddEntries(1);
  TForm1& f = Open();
  ASSERT_TRUE(kit.ClickNamed("SpeedButton2"));
  EXPECT_EQ(f.StringGrid1.RowCount(), 2);
  EXPECT_TRUE(f.StringGrid1.RowEmpty(1));
  f.Close();
  EXPECT_TRUE(Has("AutoURLCount=0"));
  EXPECT_EQ(Ini().find("AutoZoomURL1"), std::string::npos);
}

TEST_F(OptionsFormTest, ARatioIsEditedInTheSpinFieldAndTabCommitsIt) {
  SetHelperKey(true);
  AddEntries(1);
  TForm1& f = Open();
  // Editing a ratio cell lays the spin field over it instead of the grid's editor.
  EXPECT_FALSE(kit.EditCell("StringGrid1", 1, 0, "x"));
  EXPECT_TRUE(f.SpinEdit3.Visible());
  EXPECT_EQ(f.SpinEdit3.Value(), 101);
  ASSERT_TRUE(kit.Type("SpinEdit3", "150"));
  SendMessage(f.Handle(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_FALSE(f.SpinEdit3.Visible());
  EXPECT_EQ(f.StringGrid1.Cell(1, 0), u"150%");
  EXPECT_EQ(f.StringGrid1.Col(), 1);
  EXPECT_TRUE(f.StringGrid1.Focused());
  // A ratio that is no number is stored as 100.
  ASSERT_TRUE(kit.EditCell("StringGrid1", 1, 1, "a.com"));
  f.StringGrid1.SetCell(1, 0, u"abc%");
  f.Close();
  EXPECT_TRUE(Has("AutoZoomValue1=100"));
}

TEST_F(OptionsFormTest, AnInvalidPatternIsRefusedAndKeepsTheDialogOpen) {
  SetHelperKey(true);
  TForm1& f = Open();
  ASSERT_TRUE(kit.EditCell("StringGrid1", 1, 1, "http://a.com/[abc"));
  ASSERT_EQ(boxes.size(), 1u);  // told at once
  EXPECT_NE(boxes[0].text.find(u"row 1"), std::u16string::npos);
  CloseBox();
  EXPECT_TRUE(f.Visible());
  ASSERT_TRUE(kit.ClickNamed("Button1"));
  EXPECT_TRUE(f.Visible());
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_FALSE(Has("AutoURLCount=0"));  // nothing stored yet

  // Too long to be kept whole.
  ASSERT_TRUE(kit.EditCell("StringGrid1", 1, 1, "http://" + std::string(45, 'a') + "/*"));
  EXPECT_EQ(boxes.size(), 4u);
  ASSERT_TRUE(kit.EditCell("StringGrid1", 1, 1, "http://a.com/[abc]*"));
  EXPECT_EQ(boxes.size(), 4u);
  CloseBox();
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(Has("AutoZoomURL1=http://a.com/[abc]*"));

  EXPECT_TRUE(AutoZoomPatternProblem("", 1252) == std::nullopt);
  EXPECT_TRUE(AutoZoomPatternProblem("*.example.com", 1252) == std::nullopt);
}

TEST_F(OptionsFormTest, AFailedFlushIsReported) {
  // A folder where the file should be: no one can replace it.
  module.store = std::make_unique<SettingsStore>((home / "taken.ini").string());
  std::filesystem::create_directories(home / "taken.ini" / "x");
  Open();
  form->Close();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(u"could not be saved"), std::u16string::npos);
}

TEST_F(OptionsFormTest, AHotKeySetWholeIsTakenAsTheKeyWouldBe) {
  TForm1& f = Open();
  kit.SetInt(f.HotKey1.Handle(), Prop::HotKey, 0xC054, 0);
  SendMessage(f.HotKey1.Handle(), QM_CHANGE, 0, 0);
  EXPECT_EQ(f.HotKey1.HotKey(), 0xC054);
  kit.SetInt(f.HotKey1.Handle(), Prop::HotKey, 0x2054, 0);  // Shift alone
  SendMessage(f.HotKey1.Handle(), QM_CHANGE, 0, 0);
  EXPECT_EQ(f.HotKey1.HotKey(), 0xC054);
  f.Close();
  EXPECT_TRUE(Has("Key1=49236"));
}

TEST_F(OptionsFormTest, TheEditorIsOpenedThroughTheMakerAndASavedTableRebuilds) {
  struct Editor final : EmendationEditor {
    bool saved;
    explicit Editor(bool s) : saved(s) {}
    int ShowModal() override { return mrOk; }
    bool TableSaved() const override { return saved; }
  };
  EmendationMode seen{};
  bool save = false;
  module.toolbar.makeEmendationEditor = [&](ModuleState&, HWND, EmendationMode mode) {
    seen = mode;
    return std::make_unique<Editor>(save);
  };
  TForm1& f = Open();
  ASSERT_TRUE(kit.ClickNamed("BitBtn3"));
  EXPECT_EQ(seen, EmendationMode::GBfix);
  EXPECT_FALSE(f.EmendationChanged);
  save = true;
  ASSERT_TRUE(kit.ClickNamed("BitBtn2"));
  EXPECT_EQ(seen, EmendationMode::B5fix);
  EXPECT_TRUE(f.EmendationChanged);
  form.reset();

  // Without an editor the user is told so.
  module.toolbar.makeEmendationEditor = nullptr;
  Open();
  ASSERT_TRUE(kit.ClickNamed("BitBtn2"));
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(OptionsFormTest, TheColourButtonsActOnlyWithAToolbar) {
  Open();
  ASSERT_TRUE(kit.ClickNamed("BitBtn1"));
  form->Close();
  EXPECT_EQ(Ini().find("BKColor"), std::string::npos);
  form.reset();
  module.store->WriteInteger("Interface", "BKColor", 0x00FF00);
  Open(true);
  ASSERT_TRUE(kit.ClickNamed("BitBtn1"));
  form->Close();
  EXPECT_TRUE(Has("BKColor=-2147483633"));
}

TEST_F(OptionsFormTest, TogglingUserFixBackAndForthStillRebuilds) {
  TForm1& f = Open();
  ASSERT_TRUE(kit.ClickNamed("cb2"));
  ASSERT_TRUE(kit.ClickNamed("cb2"));
  EXPECT_TRUE(f.EmendationChanged);
  f.Close();
  EXPECT_TRUE(Has("UserFix=1"));
  EXPECT_TRUE(module.tables->userFix);
}

}  // namespace
}  // namespace quillmer
