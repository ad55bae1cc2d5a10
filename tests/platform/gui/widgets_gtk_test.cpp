// The dialogs' controls of widgets/ on the GTK toolkit, driven by real keys
// and clicks on an X server: what the in-memory toolkit cannot show.
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/keys.h"
#include "platform/win32/window.h"
#include "tests/cli/run_program.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"
#include "widgets/grid.h"
#include "widgets/image_list.h"

namespace quillmer {
namespace {

// A square PNG of one colour (0xRRGGBB).
std::string SolidPng(std::uint32_t rgb, unsigned size = 16) {
  std::string raw;
  for (unsigned y = 0; y < size; ++y) {
    raw += '\0';
    for (unsigned x = 0; x < size; ++x)
      raw += {static_cast<char>(rgb >> 16), static_cast<char>(rgb >> 8), static_cast<char>(rgb)};
  }
  uLongf packedSize = compressBound(raw.size());
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
           reinterpret_cast<const Bytef*>(raw.data()), raw.size());
  packed.resize(packedSize);
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
    return be32(static_cast<std::uint32_t>(data.size())) + body +
           be32(static_cast<std::uint32_t>(crc));
  };
  const std::string header = be32(size) + be32(size) + std::string{8, 2, 0, 0, 0};
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) +
         chunk("IEND", "");
}

class GtkWidgetsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
      static testing::Xvfb xvfb;  // ends with its last client, after this process
      if (!xvfb.Start(testing::Xvfb::kEndWithLastClient)) {
        why_ = xvfb.Why();
        return;
      }
      ::setenv("DISPLAY", xvfb.Display().c_str(), 1);
    }
    ::setenv("QUILLMER_TOOLKIT", QUILLMER_TOOLKIT_LIB, 1);
    toolkit_ = LoadToolkit(&why_);
  }
  static void TearDownTestSuite() {
    if (toolkit_) SetToolkit(nullptr);
  }
  void SetUp() override {
    if (!toolkit_) GTEST_SKIP() << "no display for windows: " << why_;
    form_ = std::make_unique<Form>(ControlKind::Window, nullptr, "Dialog");
    form_->SetBounds(40, 30, 420, 260);
  }
  void TearDown() override {
    form_.reset();
    if (toolkit_) ProcessMessages();
  }
  void Show() {
    form_->Show();
    for (int i = 0; i < 50 && !form_->ClientToScreen(0, 0).x; ++i) WaitMessage(20);
    WaitMessage(100);
  }
  bool Key(unsigned vk, bool shift = false, bool ctrl = false, bool alt = false) {
    return toolkit_->PressKey(vk, shift, ctrl, alt);
  }
  std::string Text(const Control& c, Prop prop, int index = 0) {
    char buf[512];
    toolkit_->GetText(c.Handle(), prop, buf, sizeof buf, index);
    return buf;
  }

  static inline Toolkit* toolkit_ = nullptr;
  static inline std::string why_;
  std::unique_ptr<Form> form_;
};

TEST_F(GtkWidgetsTest, AGridShowsItsRowsAndTakesTheUsersCellEdit) {
  StringGrid grid(*form_, "Grid", 2, 1);
  grid.SetBounds(10, 10, 300, 160);
  grid.SetOptions(kGridEditing | kGridLines);
  grid.SetColWidth(0, 90);
  grid.SetCell(0, 0, u"網址");
  grid.SetCell(0, 1, u"比例");
  grid.SetRows({{u"*.example.com", u"120%"}, {u"中文網", u"90%"}});
  int asked = 0;
  bool agree = true;
  grid.OnGetEditText = [&](StringGrid&, int, int) { return ++asked, agree; };
  std::vector<std::pair<int, int>> edited;
  grid.OnCellEdit = [&](StringGrid&, int row, int col) { edited.push_back({row, col}); };
  Show();

  // Rows as text and the cell at the cursor tell the same cells.
  EXPECT_EQ("網址\x1F比例\x1F", Text(grid, Prop::RowText, 0));
  EXPECT_EQ("中文網\x1F" "90%\x1F", Text(grid, Prop::RowText, 2));
  grid.Select(2, 0);
  EXPECT_EQ("中文網", Text(grid, Prop::Cell));
  grid.SetCell(1, 1, u"150%");  // another row: the selection stays
  EXPECT_EQ(2, grid.Row());
  grid.Select(1, 1);
  EXPECT_EQ("150%", Text(grid, Prop::Cell));

  // The current cell lies inside the grid, right of the first column.
  const StringGrid::Bounds cell = grid.CellBounds();
  EXPECT_GE(cell.left, 90);
  EXPECT_GT(cell.top, 0);  // below the titles
  EXPECT_GT(cell.width, 0);
  EXPECT_GT(cell.height, 0);
  EXPECT_LE(cell.left + cell.width, 300);
  EXPECT_LE(cell.top + cell.height, 160);
  grid.Select(2, 1);
  EXPECT_GT(grid.CellBounds().top, cell.top);

  // F2 asks the owner, opens the editor; Enter puts the text in the cell.
  grid.SetFocus();
  ASSERT_TRUE(Key(VK_F1 + 1));
  EXPECT_EQ(1, asked);
  ASSERT_TRUE(grid.Editing());
  ASSERT_TRUE(Key('A'));
  ASSERT_TRUE(Key('5', true));
  ASSERT_TRUE(Key(VK_RETURN));
  EXPECT_FALSE(grid.Editing());
  ASSERT_EQ(1u, edited.size());
  EXPECT_EQ((std::pair<int, int>{2, 1}), edited[0]);
  EXPECT_EQ(u"a%", grid.Cell(2, 1));
  EXPECT_EQ("中文網\x1F" "a%\x1F", Text(grid, Prop::RowText, 2));

  // Refused, the editor stays closed; opened by the program, it closes
  // keeping what was typed.
  agree = false;
  ASSERT_TRUE(Key(VK_F1 + 1));
  EXPECT_EQ(2, asked);
  EXPECT_FALSE(grid.Editing());
  grid.Select(1, 0);
  grid.StartEditing();
  ASSERT_TRUE(grid.Editing());
  EXPECT_EQ(2, asked);  // not the user's doing
  ASSERT_TRUE(Key('Z'));
  grid.EndEditing();
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(u"z", grid.Cell(1, 0));
  EXPECT_EQ(2u, edited.size());
}

TEST_F(GtkWidgetsTest, EscapeClicksTheCancelButtonAndTheColourButtonFollowsThePointer) {
  Edit edit(*form_, "Edit");
  edit.SetBounds(10, 10, 200, 28);
  Button ok(*form_, "OK");
  ok.SetBounds(10, 60, 90, 30);
  ok.SetCaption(u"確定");
  ok.SetDefault(true);
  Button cancel(*form_, "Cancel");
  cancel.SetBounds(110, 60, 90, 30);
  cancel.SetCaption(u"取消");
  cancel.SetCancel(true);
  ColorButton colour(*form_, "Colour");
  colour.SetBounds(10, 110, 120, 30);
  colour.SetFaceColor(0xFFFFFF);
  colour.SetHoverColor(0x00FFFF);
  int oks = 0, cancels = 0;
  ok.OnClick = [&](Control&) { ++oks; };
  cancel.OnClick = [&](Control&) { ++cancels; };
  Show();

  edit.SetFocus();
  ASSERT_TRUE(Key(VK_ESCAPE));
  EXPECT_EQ(1, cancels);
  EXPECT_EQ(0, oks);
  cancel.SetEnabled(false);  // a disabled cancel button takes nothing
  ASSERT_TRUE(Key(VK_ESCAPE));
  EXPECT_EQ(1, cancels);
  ASSERT_TRUE(Key(VK_RETURN));  // and Enter in a field, the default button
  for (int i = 0; i < 20 && !oks; ++i) WaitMessage(50);  // GTK shows the press first
  EXPECT_EQ(1, oks);

  EXPECT_FALSE(colour.Hovered());
  ASSERT_TRUE(toolkit_->Click(colour.Handle(), 1));
  EXPECT_TRUE(colour.Hovered());
  ASSERT_TRUE(toolkit_->Click(ok.Handle(), 1));
  EXPECT_FALSE(colour.Hovered());
}

TEST_F(GtkWidgetsTest, TypedTextReachesSpinAndMaskedEditsAsTheirWidgetsRule) {
  SpinEdit spin(*form_, "Spin", 0, 50, 5);
  spin.SetBounds(10, 10, 120, 30);
  MaskedEdit masked(*form_, "Mask", u"000%");
  masked.SetBounds(10, 50, 120, 30);
  Edit other(*form_, "Other");
  other.SetBounds(10, 90, 120, 30);
  other.SetMaxLength(3);
  int changes = 0;
  spin.OnChange = [&](Control&) { ++changes; };
  Show();

  spin.SetFocus();  // its text selected: typing replaces it
  ASSERT_TRUE(Key('4'));
  ASSERT_TRUE(Key('2'));
  EXPECT_EQ(u"42", spin.Text());
  EXPECT_EQ(42, spin.Value());
  EXPECT_GE(changes, 2);
  ASSERT_TRUE(Key('7'));
  EXPECT_EQ(u"427", spin.Text());  // shown as typed, held within the range
  EXPECT_EQ(50, spin.Value());

  // What the mask cannot take is undone, and typing goes on where it was.
  masked.SetFocus();
  for (unsigned vk : {'1', '2', 'A', '3'}) ASSERT_TRUE(Key(vk));
  ASSERT_TRUE(Key('5', true));  // "%"
  EXPECT_EQ(u"123%", masked.Text());
  EXPECT_TRUE(masked.Complete());
  EXPECT_EQ(u"50", spin.Text());  // left: the value shown again

  other.SetFocus();
  for (unsigned vk : {'A', 'B', 'C', 'D'}) ASSERT_TRUE(Key(vk));
  EXPECT_EQ(u"abc", other.Text());
  other.SetText(u"longer than three");  // the program's text is kept whole
  EXPECT_EQ(u"longer than three", other.Text());
}

TEST_F(GtkWidgetsTest, AnImageComboShowsEachItemsOwnImage) {
  ImageList images;
  images.Add(SolidPng(0xFF0000));
  images.Add(SolidPng(0x0000FF));
  ImageComboBox combo(*form_, "Combo");
  combo.SetBounds(10, 10, 200, 32);
  combo.SetImages(&images);
  combo.AddImageItem(u"紅|0");
  combo.AddImageItem(u"藍|1");
  combo.AddImageItem(u"無");
  Show();
  testing::TempDir dir;
  const std::string path = (dir / "combo.png").string();
  auto shown = [&](int index) {
    combo.SetItemIndex(index);
    EXPECT_TRUE(toolkit_->Screenshot(form_->Handle(), path.c_str()));
    auto red = testing::ReadPng(testing::ReadAll(path), 0, 0xFF0000);
    auto blue = testing::ReadPng(testing::ReadAll(path), 0, 0x0000FF);
    return std::pair<unsigned, unsigned>{red ? red->matching : 0, blue ? blue->matching : 0};
  };
  EXPECT_EQ((std::pair<unsigned, unsigned>{256, 0}), shown(0));
  EXPECT_EQ((std::pair<unsigned, unsigned>{0, 256}), shown(1));
  EXPECT_EQ((std::pair<unsigned, unsigned>{0, 0}), shown(2));
  // Items made again take their new images, none of the old ones.
  combo.ClearItems();
  combo.AddImageItem(u"藍|1");
  combo.AddImageItem(u"無");
  EXPECT_EQ((std::pair<unsigned, unsigned>{0, 256}), shown(0));
  EXPECT_EQ((std::pair<unsigned, unsigned>{0, 0}), shown(1));
}

TEST_F(GtkWidgetsTest, ARadioButtonKeepsItsCheckWhileItsGroupGrows) {
  RadioButton first(*form_, "First");
  first.SetBounds(10, 10, 160, 24);
  first.SetChecked(true);
  RadioButton second(*form_, "Second");
  second.SetBounds(10, 40, 160, 24);
  RadioButton other(*form_, "Other", 1);
  other.SetBounds(10, 70, 160, 24);
  Show();
  EXPECT_TRUE(first.Checked());
  EXPECT_FALSE(second.Checked());
  EXPECT_FALSE(other.Checked());
  ASSERT_TRUE(toolkit_->Click(second.Handle(), 1));
  EXPECT_FALSE(first.Checked());
  EXPECT_TRUE(second.Checked());
}

TEST_F(GtkWidgetsTest, AHotKeyEditStoresTheChordPressedAndLetsTabMoveOn) {
  HotKeyEdit hot(*form_, "Hot");
  hot.SetBounds(10, 10, 160, 30);
  Edit next(*form_, "Next");
  next.SetBounds(10, 50, 160, 30);
  int changes = 0;
  hot.OnChange = [&](Control&) { ++changes; };
  Show();

  hot.SetFocus();
  ASSERT_TRUE(Key('T', false, true, true));
  EXPECT_EQ(WORD('T' | kHotKeyCtrl | kHotKeyAlt), hot.HotKey());
  EXPECT_EQ(HotKeyName(hot.HotKey()), Text(hot, Prop::Text));
  EXPECT_EQ(1, changes);
  ASSERT_TRUE(Key('X'));  // no modifier: refused, and not typed either
  EXPECT_EQ(WORD('T' | kHotKeyCtrl | kHotKeyAlt), hot.HotKey());
  EXPECT_EQ(HotKeyName(hot.HotKey()), Text(hot, Prop::Text));
  ASSERT_TRUE(Key(VK_BACK));
  EXPECT_EQ(0, hot.HotKey());
  EXPECT_EQ("None", Text(hot, Prop::Text));
  ASSERT_TRUE(Key(VK_TAB));
  EXPECT_TRUE(next.Focused());
}

}  // namespace
}  // namespace quillmer
