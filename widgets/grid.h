// Grids of text: StringGrid (rows × columns, fixed header rows, cell
// editing, column widths, a selection) and SortGrid (one that sorts by a
// column on a header click, searches and filters).
//
// Rows are counted as shown, fixed rows included: row 0 is the header and
// the data begins at FixedRows(). A grid always has at least one data row;
// when there is no data it is one empty row.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/control.h"

namespace quillmer {

using GridRow = std::vector<std::u16string>;

class StringGrid : public Control {
 public:
  StringGrid(Control& parent, std::string name, int colCount = 2, int fixedRows = 1);

  // kGrid* options of the toolkit, together.
  void SetOptions(int options) { SetInt(Prop::Style, options); }
  // Character height in pixels of the cells; 0: the toolkit's default.
  void SetFontHeight(int pixels) { SetInt(Prop::FontHeight, pixels); }

  int ColCount() const { return colCount_; }
  void SetColCount(int count);
  int FixedRows() const { return static_cast<int>(fixed_.size()); }
  // Rows shown, fixed rows included.
  int RowCount() const { return FixedRows() + static_cast<int>(view_.size()); }
  // Data rows are added empty at the end or taken from the end; never fewer
  // than one.
  void SetRowCount(int count);

  // Empty outside the grid; writing outside it does nothing.
  std::u16string Cell(int row, int col) const;
  void SetCell(int row, int col, std::u16string_view text);
  GridRow RowCells(int row) const;
  void SetRowCells(int row, GridRow cells);
  bool RowEmpty(int row) const;

  // Every data row, shown or not, in the grid's order; and all of them
  // replaced (none: one empty row).
  std::vector<GridRow> Rows() const { return rows_; }
  virtual void SetRows(std::vector<GridRow> rows);

  // An empty data row at row (the rows from there move down; past the end
  // it is added at the end); returns where it is.
  int InsertRow(int row);
  // Deletes a data row; the only one is emptied instead.
  void DeleteRow(int row);

  void SetColWidth(int col, int pixels) { SetInt(Prop::ColWidth, pixels, col); }
  // As the user may have sized it.
  int ColWidth(int col) const { return static_cast<int>(GetInt(Prop::ColWidth, col)); }
  void SetDefaultColWidth(int pixels);

  // The selection (the current cell), as the user left it.
  int Row() const;
  int Col() const;
  // Selects a cell; a row outside the data is taken to the nearest data row.
  void Select(int row, int col = -1);

  // Opens the grid's own editor on the current cell, or closes it keeping
  // what was typed.
  void StartEditing() { SetInt(Prop::Editing, 1); }
  void EndEditing();
  bool Editing() const { return GetInt(Prop::Editing) != 0; }
  struct Bounds {
    int left = 0, top = 0, width = 0, height = 0;
  };
  // The current cell, in the grid's client area.
  Bounds CellBounds() const;

  // The user is about to edit a cell: false keeps the grid's own editor
  // closed (a form may lay a control of its own over the cell).
  std::function<bool(StringGrid& grid, int row, int col)> OnGetEditText;
  // The user's text is in the cell.
  std::function<void(StringGrid& grid, int row, int col)> OnCellEdit;
  Handler OnDblClick;
  std::function<void(StringGrid& grid, int col)> OnHeaderClick;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
  virtual void HeaderClicked(int col);
  // A delete left no row shown (under a filter).
  virtual void ViewEmptied() { ShowAllRows(); }

  // The data row shown at a row, as an index of rows_; npos when none.
  std::size_t DataIndex(int row) const;
  // Shows these data rows (indexes of rows_), in this order.
  void ShowRows(std::vector<std::size_t> view);
  void ShowAllRows();
  // Sends rows from row on to the toolkit.
  void Refresh(int fromRow = 0);

  std::vector<GridRow> fixed_;
  std::vector<GridRow> rows_;
  std::vector<std::size_t> view_;

 private:
  void SendRow(int row);
  GridRow Sized(GridRow cells) const;
  void TakeEditedCell(int row, int col);

  int colCount_;
};

enum class SortOrder { Ascending, Descending };

// The order of two cells: cells that are numbers (an optional sign, digits
// with an optional fraction, an optional "%", blanks around) come first, by
// value; then the rest by their characters (code points). Negative, zero or
// positive.
int CompareCells(std::u16string_view a, std::u16string_view b);
// The cell holds the text, compared character for character (case matters);
// an empty text is in no cell.
bool CellContains(std::u16string_view cell, std::u16string_view text);

// Every column, for searches.
constexpr int kAllColumns = -1;

class SortGrid : public StringGrid {
 public:
  SortGrid(Control& parent, std::string name, int colCount = 2, int fixedRows = 1);

  // Sorts the data by a column, stably; a filter stays on over the sorted
  // rows. The selection stays on its row.
  void Sort(int col, SortOrder order);
  // -1 while unsorted.
  int SortColumn() const { return sortCol_; }
  SortOrder Order() const { return order_; }

  // Whether the data row shown at row holds the text in the column (or in
  // any column: kAllColumns).
  bool RowMatches(int row, std::u16string_view text, int col) const;
  // The first row shown, from row on, that holds the text; -1 when none.
  int FindRow(std::u16string_view text, int col, int fromRow) const;
  // Selects the next row that holds the text, after the selected one and on
  // from the top again; false (the selection kept) when no row holds it.
  bool FindNext(std::u16string_view text, int col);

  // Shows only the rows that hold the text and selects the first; when none
  // does, all rows stay shown and it answers false.
  bool Filter(std::u16string_view text, int col);
  bool Filtered() const { return filtered_; }
  // Shows all rows again, sorted by the current sort column.
  void ShowAll();

  void SetRows(std::vector<GridRow> rows) override;

 protected:
  void HeaderClicked(int col) override;
  void ViewEmptied() override { ShowAll(); }

 private:
  bool DataMatches(std::size_t index, std::u16string_view text, int col) const;

  int sortCol_ = -1;
  SortOrder order_ = SortOrder::Ascending;
  bool filtered_ = false;
};

}  // namespace quillmer
