#include "widgets/grid.h"

#include <gtest/gtest.h>

#include "platform/base/text.h"
#include "tests/support/fake_toolkit.h"
#include "widgets/form.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;

class Grids : public ::testing::Test {
 protected:
  void TearDown() override { ResetWindows(); }

  // The first column of the rows shown, as UTF-8.
  std::vector<std::string> Shown(const StringGrid& grid, int col = 0) {
    std::vector<std::string> out;
    for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
      EXPECT_EQ(kit.CellText(grid.Handle(), row, col), ToUtf8(grid.Cell(row, col)));
      out.push_back(ToUtf8(grid.Cell(row, col)));
    }
    return out;
  }

  FakeToolkit kit;
  Form form{ControlKind::Dialog, nullptr, "Dialog"};
};

using Strings = std::vector<std::string>;

TEST_F(Grids, AStringGridKeepsOneDataRowAndInsertsAndDeletesAround) {
  StringGrid grid(form, "StringGrid1");
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_TRUE(grid.RowEmpty(1));
  grid.SetCell(0, 0, u"Ratio");
  grid.SetCell(0, 1, u"URL");
  EXPECT_EQ(kit.CellText(grid.Handle(), 0, 1), "URL");
  grid.SetCell(1, 0, u"120%");
  grid.SetCell(1, 1, u"*.example.org/*");
  EXPECT_EQ(grid.InsertRow(1), 1);  // the current row and those below move down
  grid.SetCell(1, 0, u"100%");
  EXPECT_EQ(Shown(grid), (Strings{"100%", "120%"}));
  EXPECT_EQ(grid.InsertRow(99), 3);  // past the end: at the end
  EXPECT_EQ(kit.GetInt(grid.Handle(), Prop::RowCount, 0), 4);
  grid.DeleteRow(3);
  grid.DeleteRow(1);
  EXPECT_EQ(Shown(grid, 1), (Strings{"*.example.org/*"}));
  grid.DeleteRow(1);  // the only data row is emptied, not taken
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_TRUE(grid.RowEmpty(1));
  EXPECT_EQ(kit.CellText(grid.Handle(), 1, 1), "");
  grid.DeleteRow(0);  // the header is not data
  EXPECT_EQ(grid.Cell(0, 1), u"URL");

  grid.SetRows({{u"a"}, {u"b", u"c", u"dropped"}});
  EXPECT_EQ(grid.RowCells(2), (GridRow{u"b", u"c"}));
  grid.SetRowCount(2);
  EXPECT_EQ(grid.Rows(), (std::vector<GridRow>{{u"a", u""}}));
  grid.Select(7, 1);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.Col(), 1);
}

TEST_F(Grids, TheUsersCellEditsReachTheGridUnlessItsFormTakesTheEditOver) {
  StringGrid grid(form, "StringGrid1");
  grid.SetRows({{u"100%",
                 u"a\x1F"
                 u"b"}});
  // A cell's own U+001F cannot end it early on the screen.
  EXPECT_EQ(kit.CellText(grid.Handle(), 1, 1), "a b");
  EXPECT_EQ(grid.Cell(1, 1),
            u"a\x1F"
            u"b");
  int edited = 0;
  grid.OnCellEdit = [&](StringGrid&, int row, int col) { edited = row * 10 + col; };
  ASSERT_TRUE(kit.EditCell("StringGrid1", 1, 1, "*.example.org/*"));
  EXPECT_EQ(grid.Cell(1, 1), u"*.example.org/*");
  EXPECT_EQ(edited, 11);
  // The ratio column is edited by a control of the form's own.
  grid.OnGetEditText = [](StringGrid&, int, int col) { return col != 0; };
  EXPECT_FALSE(kit.EditCell("StringGrid1", 1, 0, "abc"));
  EXPECT_EQ(grid.Cell(1, 0), u"100%");
  EXPECT_FALSE(kit.EditCell("StringGrid1", 0, 1, "header"));  // fixed rows are not edited
  EXPECT_EQ(grid.Cell(0, 1), u"");
  bool doubled = false;
  grid.OnDblClick = [&](Control&) { doubled = true; };
  ASSERT_TRUE(kit.DoubleClick("StringGrid1"));
  EXPECT_TRUE(doubled);
}

std::vector<GridRow> Pairs(
    std::initializer_list<std::pair<const char16_t*, const char16_t*>> rows) {
  std::vector<GridRow> out;
  for (auto [a, b] : rows) out.push_back({a, b});
  return out;
}

TEST_F(Grids, AHeaderClickSortsAscendingThenDescendingKeepingEqualRowsInOrder) {
  SortGrid grid(form, "SortGrid1");
  grid.SetRows(Pairs({{u"b", u"1"}, {u"a", u"2"}, {u"b", u"3"}, {u"a", u"4"}, {u"c", u"5"}}));
  grid.Select(5);  // c
  ASSERT_TRUE(kit.ClickHeader("SortGrid1", 0));
  EXPECT_EQ(grid.SortColumn(), 0);
  EXPECT_EQ(Shown(grid, 1), (Strings{"2", "4", "1", "3", "5"}));
  EXPECT_EQ(grid.Cell(grid.Row(), 0), u"c");  // the selection stays on its row
  ASSERT_TRUE(kit.ClickHeader("SortGrid1", 0));
  EXPECT_EQ(grid.Order(), SortOrder::Descending);
  EXPECT_EQ(Shown(grid, 1), (Strings{"5", "1", "3", "2", "4"}));
  // Another column starts ascending again.
  ASSERT_TRUE(kit.ClickHeader("SortGrid1", 1));
  EXPECT_EQ(grid.Order(), SortOrder::Ascending);
  EXPECT_EQ(Shown(grid), (Strings{"b", "a", "b", "a", "c"}));
}

TEST_F(Grids, CellsCompareNumbersByValueBeforeTextByCharacter) {
  SortGrid grid(form, "SortGrid1");
  grid.SetRows(Pairs({{u"80%", u""},
                      {u"abc", u""},
                      {u"120%", u""},
                      {u"9", u""},
                      {u"-1.5", u""},
                      {u"\U0002A6A5", u""},
                      {u"\uFF21", u""},
                      {u"", u""}}));
  grid.Sort(0, SortOrder::Ascending);
  EXPECT_EQ(Shown(grid), (Strings{"-1.5", "9", "80%", "120%", "", "abc", "\uFF21", "\U0002A6A5"}));
  EXPECT_LT(CompareCells(u"2", u"10"), 0);
  EXPECT_GT(CompareCells(u"b", u"B"), 0);
  EXPECT_GT(CompareCells(u"7%", u" 7 "), 0);  // equal values: by their characters
}

TEST_F(Grids, SearchFindsTextAsCharactersFromTheSelectionOnInMixedText) {
  SortGrid grid(form, "SortGrid1");
  // In a double-byte code page "a中" puts 中 at an even byte: such hits
  // are found like any other.
  grid.SetRows(Pairs({{u"中國", u"中国"}, {u"a中文", u"x"}, {u"ab", u"1中"}, {u"文中", u"z"}}));
  EXPECT_EQ(grid.FindRow(u"中", 0, 1), 1);
  EXPECT_EQ(grid.FindRow(u"中", 0, 2), 2);
  EXPECT_EQ(grid.FindRow(u"中", 0, 3), 4);
  EXPECT_EQ(grid.FindRow(u"中", 1, 2), 3);
  EXPECT_EQ(grid.FindRow(u"1中", kAllColumns, 1), 3);
  EXPECT_EQ(grid.FindRow(u"AB", kAllColumns, 1), -1);  // case matters
  EXPECT_EQ(grid.FindRow(u"", kAllColumns, 1), -1);
  // From the selection on, then from the top again.
  grid.Select(2);
  ASSERT_TRUE(grid.FindNext(u"中", 0));
  EXPECT_EQ(grid.Row(), 4);
  ASSERT_TRUE(grid.FindNext(u"中", 0));
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_FALSE(grid.FindNext(u"國中", kAllColumns));
  EXPECT_EQ(grid.Row(), 1);
  // A character outside the BMP is one character too.
  grid.SetCell(3, 0, u"\U0002A6A5\U0002A6A6");
  EXPECT_EQ(grid.FindRow(u"\U0002A6A6", 0, 1), 3);
}

TEST_F(Grids, AFilterShowsOnlyMatchingRowsAndShowAllBringsEveryRowBackSorted) {
  SortGrid grid(form, "SortGrid1");
  grid.SetRows(Pairs({{u"丙", u"3"}, {u"甲乙", u"1"}, {u"乙", u"2"}, {u"丁", u"4"}}));
  grid.Sort(1, SortOrder::Ascending);
  EXPECT_FALSE(grid.Filter(u"戊", kAllColumns));
  EXPECT_FALSE(grid.Filtered());
  EXPECT_EQ(grid.RowCount(), 5);
  ASSERT_TRUE(grid.Filter(u"乙", 0));
  EXPECT_TRUE(grid.Filtered());
  EXPECT_EQ(Shown(grid), (Strings{"甲乙", "乙"}));
  EXPECT_EQ(kit.GetInt(grid.Handle(), Prop::RowCount, 0), 3);
  EXPECT_EQ(grid.Row(), 1);

  // Changes under the filter reach the rows behind it.
  grid.SetCell(2, 1, u"0");
  EXPECT_EQ(grid.InsertRow(1), 1);
  grid.SetRowCells(1, {u"新", u"9"});
  EXPECT_EQ(grid.Rows().size(), 5u);
  grid.ShowAll();
  EXPECT_FALSE(grid.Filtered());
  EXPECT_EQ(Shown(grid), (Strings{"乙", "甲乙", "丙", "丁", "新"}));
  EXPECT_EQ(Shown(grid, 1), (Strings{"0", "1", "3", "4", "9"}));

  // Deleting every row shown under a filter shows all again.
  ASSERT_TRUE(grid.Filter(u"新", 0));
  grid.DeleteRow(1);
  EXPECT_FALSE(grid.Filtered());
  EXPECT_EQ(Shown(grid), (Strings{"乙", "甲乙", "丙", "丁"}));
}

}  // namespace
}  // namespace quillmer
