#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/base/text.h"
#include "platform/win32/keys.h"
#include "tests/support/fake_toolkit.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;

class DialogControls : public ::testing::Test {
 protected:
  void TearDown() override {
    SetUrlOpener(nullptr);
    ResetWindows();
  }
  FakeToolkit kit;
  Form form{ControlKind::Dialog, nullptr, "Dialog"};
};

TEST_F(DialogControls, ASpinEditClampsAndReadsBadTextAsTheLastValidValue) {
  SpinEdit spin(form, "SpinEdit1", 10, 400, 100);
  EXPECT_EQ(spin.Value(), 100);
  spin.SetValue(5);
  EXPECT_EQ(spin.Value(), 10);
  EXPECT_EQ(kit.Text(spin.Handle(), Prop::Text), "10");
  spin.SetValue(1000);
  EXPECT_EQ(spin.Value(), 400);

  int changes = 0, exits = 0;
  spin.OnChange = [&](Control&) { ++changes; };
  spin.OnExit = [&](Control&) { ++exits; };
  ASSERT_TRUE(kit.Type("SpinEdit1", " 120 "));
  EXPECT_EQ(spin.Value(), 120);
  ASSERT_TRUE(kit.Type("SpinEdit1", "12x"));
  EXPECT_EQ(spin.Value(), 120);  // not a number: the last valid value
  ASSERT_TRUE(kit.Type("SpinEdit1", ""));
  EXPECT_EQ(spin.Value(), 120);
  ASSERT_TRUE(kit.Type("SpinEdit1", "4"));  // on the way to 45: kept as typed
  EXPECT_EQ(spin.Value(), 10);
  EXPECT_EQ(kit.Text(spin.Handle(), Prop::Text), "4");
  ASSERT_TRUE(kit.Type("SpinEdit1", "99999999999999999999"));
  EXPECT_EQ(spin.Value(), 400);
  ASSERT_TRUE(kit.Type("SpinEdit1", "-7"));
  EXPECT_EQ(spin.Value(), 10);
  EXPECT_EQ(changes, 6);

  // Leaving the field shows the value it stands for.
  spin.SetFocus();
  kit.Focus(nullptr);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(kit.Text(spin.Handle(), Prop::Text), "10");

  // A reversed range is the one value.
  spin.SetRange(50, 20);
  EXPECT_EQ(spin.MaxValue(), 50);
  EXPECT_EQ(spin.Value(), 50);
  int n = 0;
  EXPECT_FALSE(ParseInteger(u"+", n));
  EXPECT_FALSE(ParseInteger(u"1 2", n));
  EXPECT_TRUE(ParseInteger(u"+12", n));
  EXPECT_EQ(n, 12);
}

TEST_F(DialogControls, AHotKeyEditTakesOneChordWithCtrlOrAltAndStoresItsValue) {
  HotKeyEdit hotkey(form, "HotKey1");
  int changes = 0;
  hotkey.OnChange = [&](Control&) { ++changes; };
  hotkey.SetFocus();
  EXPECT_EQ(kit.Text(hotkey.Handle(), Prop::Text), "None");

  // The modifiers go down first: nothing yet.
  EXPECT_TRUE(kit.PressKey(VK_CONTROL, false, true, false));
  EXPECT_TRUE(kit.PressKey(VK_MENU, false, true, true));
  EXPECT_EQ(hotkey.HotKey(), 0);
  EXPECT_TRUE(kit.PressKey('T', false, true, true));
  EXPECT_EQ(hotkey.HotKey(), kHotKeyCtrl | kHotKeyAlt | 'T');
  EXPECT_EQ(kit.GetInt(hotkey.Handle(), Prop::HotKey, 0), 0xC054);
  EXPECT_EQ(kit.Text(hotkey.Handle(), Prop::Text), "Ctrl+Alt+T");

  // No modifier, or Shift alone: refused, the chord kept.
  EXPECT_FALSE(kit.PressKey('X', false, false, false));
  EXPECT_FALSE(kit.PressKey(VK_F1 + 4, true, false, false));
  EXPECT_EQ(hotkey.HotKey(), 0xC054);
  EXPECT_TRUE(kit.PressKey(VK_F1 + 4, true, true, false));
  EXPECT_EQ(hotkey.HotKey(), kHotKeyShift | kHotKeyCtrl | (VK_F1 + 4));
  EXPECT_EQ(kit.Text(hotkey.Handle(), Prop::Text), "Shift+Ctrl+F5");
  EXPECT_EQ(changes, 2);

  // Backspace alone clears it; Ctrl+Backspace is a chord of its own.
  EXPECT_TRUE(kit.PressKey(VK_BACK, false, false, false));
  EXPECT_EQ(hotkey.HotKey(), 0);
  EXPECT_TRUE(kit.PressKey(VK_BACK, false, true, false));
  EXPECT_EQ(hotkey.HotKey(), kHotKeyCtrl | VK_BACK);
  EXPECT_EQ(changes, 4);

  // What the settings hold is shown as it is, without telling.
  hotkey.SetHotKey(*ParseHotKey("Alt+Num 7"));
  EXPECT_EQ(kit.Text(hotkey.Handle(), Prop::Text), "Alt+Num 7");
  EXPECT_EQ(changes, 4);
}

TEST_F(DialogControls, MasksTakeTheirFormAndAMaskedEditUndoesTypingTheyCannotTake) {
  EditMask ratio(u"9990%");
  EXPECT_TRUE(ratio.Fits(u"5%"));
  EXPECT_TRUE(ratio.Fits(u"1234%"));
  EXPECT_FALSE(ratio.Fits(u"12345%"));
  EXPECT_FALSE(ratio.Fits(u"%"));
  EXPECT_FALSE(ratio.Fits(u"12"));
  EXPECT_TRUE(ratio.Allows(u"12"));
  EXPECT_FALSE(ratio.Allows(u"1a"));

  EditMask code(u"LL\\-00c");
  EXPECT_TRUE(code.Fits(u"AB-12"));
  EXPECT_TRUE(code.Fits(u"中文-12!"));  // Chinese characters are letters
  EXPECT_FALSE(code.Fits(u"A1-12"));
  EXPECT_FALSE(code.Fits(u"AB-1"));
  EXPECT_TRUE(EditMask(u"C").Fits(u"\U0002A6A5"));  // one character, two code units
  EXPECT_TRUE(EditMask().Fits(u"anything"));

  MaskedEdit edit(form, "MaskEdit1", u"9990%");
  int changes = 0;
  edit.OnChange = [&](Control&) { ++changes; };
  ASSERT_TRUE(kit.Type("MaskEdit1", "12"));
  EXPECT_FALSE(edit.Complete());
  ASSERT_TRUE(kit.Type("MaskEdit1", "12x"));
  EXPECT_EQ(edit.Text(), u"12");
  ASSERT_TRUE(kit.Type("MaskEdit1", "120%"));
  EXPECT_TRUE(edit.Complete());
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(edit.SetText(u"abc"));
  EXPECT_EQ(edit.Text(), u"120%");
}

TEST_F(DialogControls, AnEditCutsTypingAtItsLengthByCharactersAndKeepsSetTextWhole) {
  Edit edit(form, "Edit1");
  edit.SetMaxLength(3);
  std::u16string seen;
  edit.OnChange = [&](Control& sender) { seen = static_cast<Edit&>(sender).Text(); };
  ASSERT_TRUE(kit.Type("Edit1", "ab\xF0\xAA\x9A\xA5z"));  // a, b, U+2A6A5, z
  EXPECT_EQ(seen, u"ab\U0002A6A5");
  edit.SetText(u"longer than three");
  EXPECT_EQ(edit.Text(), u"longer than three");
  edit.SetReadOnly(true);
  EXPECT_FALSE(kit.Type("Edit1", "x"));
}

TEST_F(DialogControls, DefaultAndCancelButtonsEndAModalFormWithTheirResults) {
  Edit field(form, "Edit1");
  Button ok(form, "BitBtn1"), cancel(form, "BitBtn2");
  ok.SetDefault(true);
  ok.SetModalResult(mrOk);
  cancel.SetCancel(true);
  cancel.SetModalResult(mrCancel);
  int confirmations = 0;
  ok.OnClick = [&](Control&) {
    // Runs with the result already set; may keep the form open.
    EXPECT_EQ(form.ModalResult(), mrOk);
    if (++confirmations == 1) form.SetModalResult(mrNone);
  };
  field.SetFocus();
  // Enter in the field clicks the default button, Escape the cancel one.
  ASSERT_TRUE(kit.PressKey(VK_RETURN, false, false, false));
  EXPECT_EQ(form.ModalResult(), mrNone);  // kept open by the handler
  ASSERT_TRUE(kit.PressKey(VK_RETURN, false, false, false));
  EXPECT_EQ(form.ModalResult(), mrOk);

  ASSERT_TRUE(kit.PressKey(VK_ESCAPE, false, false, false));
  EXPECT_EQ(form.ModalResult(), mrCancel);

  // Shown modally, the form runs until a button gives it a result.
  PostMessage(ok.Handle(), QM_CLICK, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(confirmations, 3);
  // However it ends, the form is told it closes, with its result.
  std::vector<int> closed;
  form.OnClose = [&](Form& f) { closed.push_back(f.ModalResult()); };
  PostMessage(cancel.Handle(), QM_CLICK, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  PostMessage(form.Handle(), QM_CLOSEQUERY, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(closed, (std::vector<int>{mrCancel, mrCancel}));
  form.OnClose = nullptr;

  // A button without a result leaves the form open; one on a page of a
  // page control still reaches its form.
  PageControl pages(form, "Conversion");
  TabSheet sheet(pages, "TabSheet1");
  Button inner(sheet, "Button1");
  inner.SetModalResult(mrOk);
  form.SetModalResult(mrNone);
  ASSERT_TRUE(kit.ClickNamed("Button1"));
  EXPECT_EQ(form.ModalResult(), mrOk);
}

TEST_F(DialogControls, CheckBoxesTellOnlyTheUsersTogglesAndRadioButtonsExcludeTheirGroup) {
  GroupBox group(form, "GroupBox1");
  CheckBox box(group, "CheckBox1");
  int clicks = 0;
  box.OnClick = [&](Control&) { ++clicks; };
  box.SetChecked(true);
  EXPECT_EQ(clicks, 0);
  ASSERT_TRUE(kit.ClickNamed("CheckBox1"));
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(clicks, 1);
  group.SetEnabled(false);
  EXPECT_FALSE(kit.ClickNamed("CheckBox1"));

  RadioButton a(form, "Radio1"), b(form, "Radio2"), other(form, "Radio3", 1);
  a.SetChecked(true);
  other.SetChecked(true);
  ASSERT_TRUE(kit.ClickNamed("Radio2"));
  EXPECT_FALSE(a.Checked());
  EXPECT_TRUE(b.Checked());
  EXPECT_TRUE(other.Checked());
}

TEST_F(DialogControls, ComboBoxesReportChoicesAndImageItemsShowTheirImages) {
  ImageList images;
  images.Add("BM1");
  images.Add("BM2");
  images.Add("BM3");
  ImageComboBox combo(form, "ComboBox1");
  combo.SetImages(&images);
  combo.AddImageItem(u" 1st column|0");
  combo.AddImageItem(u" 2nd column|1");
  combo.AddImageItem(u" All|2");
  combo.AddImageItem(u"a|b");
  EXPECT_EQ(combo.Item(2), u" All");
  EXPECT_EQ(combo.ItemImage(2), 2);
  EXPECT_EQ(combo.Item(3), u"a|b");
  EXPECT_EQ(combo.ItemImage(3), -1);
  EXPECT_EQ(kit.Text(combo.Handle(), Prop::Items, 1), " 2nd column");
  // The last image set went to the item named by ImageItem.
  EXPECT_EQ(kit.GetInt(combo.Handle(), Prop::ImageItem, 0), 3);
  combo.SetItemIndex(0);
  EXPECT_EQ(combo.ItemIndex(), 0);
  int chosen = -1;
  combo.OnChange = [&](Control& sender) { chosen = static_cast<ComboBox&>(sender).ItemIndex(); };
  ASSERT_TRUE(kit.Choose("ComboBox1", 2));
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(combo.Text(), u" All");
  combo.SetItemIndex(9);
  EXPECT_EQ(combo.ItemIndex(), -1);
  // Items made after clearing show their own images, not the old items'.
  combo.ClearItems();
  combo.AddImageItem(u"again|2");
  EXPECT_EQ(combo.ItemImage(0), 2);
  EXPECT_EQ(kit.Bytes(combo.Handle(), Prop::Image), "BM3");

  ComboBox editable(form, "ComboBox2", true);
  editable.AddItem(u"one");
  editable.SetText(u"one");
  EXPECT_EQ(editable.ItemIndex(), 0);
  ASSERT_TRUE(kit.Type("ComboBox2", "typed"));
  EXPECT_EQ(editable.Text(), u"typed");
}

TEST_F(DialogControls, AUrlLabelHandsOnlyWebAndMailAddressesToTheOpenerAsOneArgument) {
  std::vector<std::vector<std::string>> opened;
  SetUrlOpener([&](const std::vector<std::string>& argv) {
    opened.push_back(argv);
    return true;
  });
  UrlLabel label(form, "URLLabel1");
  label.SetUrl(u"https://example.org/a b;$(reboot)");
  ASSERT_TRUE(kit.ClickNamed("URLLabel1"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], (std::vector<std::string>{"xdg-open", "https://example.org/a b;$(reboot)"}));
  for (const char16_t* refused : {u"file:///etc/passwd", u"/usr/bin/xterm", u"-e", u"http://", u"",
                                  u"app.desktop", u"http://x\nrm"}) {
    label.SetUrl(refused);
    EXPECT_FALSE(label.Open()) << ToUtf8(refused);
  }
  label.SetUrl(u"MAILTO:maker@example.org");
  EXPECT_TRUE(label.Open());
  EXPECT_EQ(opened.size(), 2u);
}

TEST_F(DialogControls, TheRealOpenerStartsTheProgramWithTheAddressAsItIsOrSaysItCouldNot) {
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  const std::string dir = ::testing::TempDir() + "opener" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string out = dir + "/args";
  {
    std::ofstream script(dir + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << out << ".tmp\"\nmv \"" << out
           << ".tmp\" \"" << out << "\"\n";
  }
  std::filesystem::permissions(dir + "/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", (dir + ":/usr/bin:/bin").c_str(), 1);
  UrlLabel label(form, "URLLabel1");
  label.SetUrl(u"https://example.org/?q=$(touch x)&a=`id`;b");
  EXPECT_TRUE(label.Open());
  std::string got;
  for (int i = 0; i < 500 && got.empty(); ++i) {
    std::ifstream in(out);
    std::getline(in, got, '\0');
    if (got.empty()) ::usleep(10000);
  }
  EXPECT_EQ(got, "https://example.org/?q=$(touch x)&a=`id`;b\n");
  // Without the program the opener says it did not start.
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(label.Open());
  setenv("PATH", saved.c_str(), 1);
  std::filesystem::remove_all(dir);
}

TEST_F(DialogControls, PageControlsTurnToTheirSheetsAndColorButtonsFollowThePointer) {
  PageControl pages(form, "Conversion");
  TabSheet about(pages, "TabSheet1"), face(pages, "TabSheet2");
  pages.SetActivePage(face);
  EXPECT_EQ(pages.ActivePage(), &face);
  int turns = 0;
  pages.OnChange = [&](Control&) { ++turns; };
  ASSERT_TRUE(kit.Choose("Conversion", 0));
  EXPECT_EQ(pages.ActivePage(), &about);
  EXPECT_EQ(turns, 1);
  {
    TabSheet extra(pages, "TabSheet3");
    EXPECT_EQ(extra.PageIndex(), 2);
  }
  EXPECT_EQ(pages.PageCount(), 2);

  ColorButton button(form, "btnSearch");
  button.SetFaceColor(14142715);
  button.SetHoverColor(14604028);
  EXPECT_EQ(kit.GetInt(button.Handle(), Prop::Color, 0), 14142715);
  ASSERT_TRUE(kit.Hover("btnSearch", true));
  EXPECT_EQ(kit.GetInt(button.Handle(), Prop::Color, 0), 14604028);
  ASSERT_TRUE(kit.Hover("btnSearch", false));
  EXPECT_EQ(kit.GetInt(button.Handle(), Prop::Color, 0), 14142715);
}

}  // namespace
}  // namespace quillmer
