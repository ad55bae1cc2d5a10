#include "widgets/grid.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <numeric>

#include "platform/base/text.h"

namespace quillmer {

namespace {

constexpr char16_t kCellEnd = u'\x1F';

// What the toolkit shows of a cell: a cell's own U+001F would end it early.
std::u16string Shown(std::u16string text) {
  std::replace(text.begin(), text.end(), kCellEnd, u' ');
  return text;
}

}  // namespace

StringGrid::StringGrid(Control& parent, std::string name, int colCount, int fixedRows)
    : Control(ControlKind::Grid, &parent, std::move(name)), colCount_(std::max(colCount, 1)) {
  fixed_.assign(std::max(fixedRows, 0), GridRow(colCount_));
  rows_.assign(1, GridRow(colCount_));
  view_ = {0};
  SetInt(Prop::ColCount, colCount_);
  SetInt(Prop::FixedRows, FixedRows());
  Refresh();
  Select(FixedRows(), 0);
}

GridRow StringGrid::Sized(GridRow cells) const {
  cells.resize(colCount_);
  return cells;
}

void StringGrid::SetColCount(int count) {
  colCount_ = std::max(count, 1);
  for (auto& row : fixed_) row = Sized(std::move(row));
  for (auto& row : rows_) row = Sized(std::move(row));
  SetInt(Prop::ColCount, colCount_);
  Refresh();
}

void StringGrid::SetRowCount(int count) {
  const std::size_t want = static_cast<std::size_t>(std::max(count - FixedRows(), 1));
  rows_.resize(want, GridRow(colCount_));
  ShowAllRows();
}

std::size_t StringGrid::DataIndex(int row) const {
  const int at = row - FixedRows();
  return row >= FixedRows() && at < static_cast<int>(view_.size()) ? view_[at] : std::size_t(-1);
}

std::u16string StringGrid::Cell(int row, int col) const {
  const GridRow cells = RowCells(row);
  return col >= 0 && col < colCount_ && !cells.empty() ? cells[col] : std::u16string();
}

void StringGrid::SetCell(int row, int col, std::u16string_view text) {
  if (col < 0 || col >= colCount_) return;
  GridRow cells = RowCells(row);
  if (cells.empty()) return;
  cells[col] = text;
  SetRowCells(row, std::move(cells));
}

GridRow StringGrid::RowCells(int row) const {
  if (row >= 0 && row < FixedRows()) return fixed_[row];
  const std::size_t index = DataIndex(row);
  return index == std::size_t(-1) ? GridRow() : rows_[index];
}

void StringGrid::SetRowCells(int row, GridRow cells) {
  if (row >= 0 && row < FixedRows()) {
    fixed_[row] = Sized(std::move(cells));
  } else {
    const std::size_t index = DataIndex(row);
    if (index == std::size_t(-1)) return;
    rows_[index] = Sized(std::move(cells));
  }
  SendRow(row);
}

bool StringGrid::RowEmpty(int row) const {
  const GridRow cells = RowCells(row);
  return std::all_of(cells.begin(), cells.end(), [](const auto& c) { return c.empty(); });
}

void StringGrid::SetRows(std::vector<GridRow> rows) {
  rows_.clear();
  for (auto& row : rows) rows_.push_back(Sized(std::move(row)));
  if (rows_.empty()) rows_.emplace_back(colCount_);
  ShowAllRows();
  Select(FixedRows(), Col());
}

int StringGrid::InsertRow(int row) {
  int at = std::clamp(row - FixedRows(), 0, static_cast<int>(view_.size()));
  // Before the data row shown there, or after the last one shown.
  const std::size_t index =
      at < static_cast<int>(view_.size()) ? view_[at] : (view_.empty() ? 0 : view_.back() + 1);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), GridRow(colCount_));
  for (auto& v : view_)
    if (v >= index) ++v;
  view_.insert(view_.begin() + at, index);
  SetInt(Prop::RowCount, RowCount());
  Refresh(FixedRows() + at);
  return FixedRows() + at;
}

void StringGrid::DeleteRow(int row) {
  const std::size_t index = DataIndex(row);
  if (index == std::size_t(-1)) return;
  if (rows_.size() == 1) {
    SetRowCells(row, GridRow(colCount_));
    return;
  }
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  view_.erase(view_.begin() + (row - FixedRows()));
  for (auto& v : view_)
    if (v > index) --v;
  if (view_.empty()) {
    ViewEmptied();
    return;
  }
  SetInt(Prop::RowCount, RowCount());
  Refresh(row);
  if (Row() >= RowCount()) Select(RowCount() - 1, Col());
}

void StringGrid::SetDefaultColWidth(int pixels) {
  for (int col = 0; col < colCount_; ++col) SetColWidth(col, pixels);
}

int StringGrid::Row() const { return static_cast<int>(GetInt(Prop::Row)); }
int StringGrid::Col() const { return static_cast<int>(GetInt(Prop::Col)); }

void StringGrid::Select(int row, int col) {
  SetInt(Prop::Row, std::clamp(row, FixedRows(), RowCount() - 1));
  if (col >= 0) SetInt(Prop::Col, std::min(col, colCount_ - 1));
}

void StringGrid::EndEditing() {
  if (!Editing()) return;
  SetInt(Prop::Editing, 0);
}

StringGrid::Bounds StringGrid::CellBounds() const {
  return {
      static_cast<int>(GetInt(Prop::CellBounds, 0)), static_cast<int>(GetInt(Prop::CellBounds, 1)),
      static_cast<int>(GetInt(Prop::CellBounds, 2)), static_cast<int>(GetInt(Prop::CellBounds, 3))};
}

void StringGrid::ShowRows(std::vector<std::size_t> view) {
  view_ = std::move(view);
  SetInt(Prop::RowCount, RowCount());
  Refresh(FixedRows());
  if (Row() >= RowCount()) Select(RowCount() - 1, Col());
}

void StringGrid::ShowAllRows() {
  std::vector<std::size_t> all(rows_.size());
  std::iota(all.begin(), all.end(), std::size_t{0});
  ShowRows(std::move(all));
}

void StringGrid::Refresh(int fromRow) {
  SetInt(Prop::RowCount, RowCount());
  for (int row = std::max(fromRow, 0); row < RowCount(); ++row) SendRow(row);
}

void StringGrid::SendRow(int row) {
  std::u16string text;
  for (const auto& cell : RowCells(row)) {
    text += Shown(cell);
    text += kCellEnd;
  }
  SetString(Prop::RowText, text, row);
}

void StringGrid::TakeEditedCell(int row, int col) {
  if (row < FixedRows() || col < 0 || col >= colCount_) return;
  const std::size_t index = DataIndex(row);
  if (index == std::size_t(-1)) return;
  const std::u16string shown = GetString(Prop::RowText, row);
  std::size_t start = 0;
  for (int c = 0; c < col && start != std::u16string::npos; ++c) {
    start = shown.find(kCellEnd, start);
    if (start != std::u16string::npos) ++start;
  }
  if (start == std::u16string::npos) return;
  const std::size_t end = shown.find(kCellEnd, start);
  rows_[index][col] = shown.substr(start, end == std::u16string::npos ? end : end - start);
}

LRESULT StringGrid::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  const int row = static_cast<int>(wParam), col = static_cast<int>(lParam);
  switch (message) {
    case QM_EDITSTART:
      if (row < FixedRows() || DataIndex(row) == std::size_t(-1)) return 1;
      return OnGetEditText && !OnGetEditText(*this, row, col) ? 1 : 0;
    case QM_CELLEDIT:
      TakeEditedCell(row, col);
      if (OnCellEdit) OnCellEdit(*this, row, col);
      return 0;
    case QM_DBLCLICK:
      if (OnDblClick) OnDblClick(*this);
      return 0;
    case QM_HEADERCLICK:
      HeaderClicked(static_cast<int>(wParam));
      return 0;
    default:
      return Control::Message(message, wParam, lParam);
  }
}

void StringGrid::HeaderClicked(int col) {
  if (OnHeaderClick) OnHeaderClick(*this, col);
}

// ---- Sorting and searching --------------------------------------------------

namespace {

// A cell as a number: blanks, an optional sign, digits with an optional
// fraction, an optional "%", blanks.
bool CellNumber(std::u16string_view cell, double& value) {
  std::size_t i = 0;
  auto blank = [&] {
    while (i < cell.size() && (cell[i] == u' ' || cell[i] == u'\t')) ++i;
  };
  blank();
  std::string digits;
  if (i < cell.size() && (cell[i] == u'-' || cell[i] == u'+'))
    digits += static_cast<char>(cell[i++]);
  std::size_t count = 0;
  while (i < cell.size() && cell[i] >= u'0' && cell[i] <= u'9') {
    digits += static_cast<char>(cell[i++]);
    ++count;
  }
  if (i < cell.size() && cell[i] == u'.') {
    digits += '.';
    ++i;
    while (i < cell.size() && cell[i] >= u'0' && cell[i] <= u'9') {
      digits += static_cast<char>(cell[i++]);
      ++count;
    }
  }
  if (count == 0) return false;
  if (i < cell.size() && cell[i] == u'%') ++i;
  blank();
  if (i != cell.size()) return false;
  value = std::strtod(digits.c_str(), nullptr);
  return true;
}

int CompareCodePoints(std::u16string_view a, std::u16string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    UChar32 x, y;
    U16_NEXT(a.data(), i, a.size(), x);
    U16_NEXT(b.data(), j, b.size(), y);
    if (x != y) return x < y ? -1 : 1;
  }
  return (i < a.size()) - (j < b.size());
}

}  // namespace

int CompareCells(std::u16string_view a, std::u16string_view b) {
  double x = 0, y = 0;
  const bool numberA = CellNumber(a, x), numberB = CellNumber(b, y);
  if (numberA != numberB) return numberA ? -1 : 1;
  if (numberA && x != y) return x < y ? -1 : 1;
  return CompareCodePoints(a, b);
}

bool CellContains(std::u16string_view cell, std::u16string_view text) {
  // Code units compared one for one: a whole character only ever matches
  // a whole character, whatever its width in other encodings.
  return !text.empty() && cell.find(text) != std::u16string_view::npos;
}

SortGrid::SortGrid(Control& parent, std::string name, int colCount, int fixedRows)
    : StringGrid(parent, std::move(name), colCount, fixedRows) {}

void SortGrid::Sort(int col, SortOrder order) {
  if (col < 0 || col >= ColCount()) return;
  sortCol_ = col;
  order_ = order;
  const std::size_t selected = DataIndex(Row());
  std::vector<std::size_t> order_of(rows_.size());
  std::iota(order_of.begin(), order_of.end(), std::size_t{0});
  std::stable_sort(order_of.begin(), order_of.end(), [&](std::size_t x, std::size_t y) {
    const int c = CompareCells(rows_[x][col], rows_[y][col]);
    return order == SortOrder::Ascending ? c < 0 : c > 0;
  });
  // Where each data row went.
  std::vector<std::size_t> moved(rows_.size());
  std::vector<GridRow> sorted;
  sorted.reserve(rows_.size());
  for (std::size_t k = 0; k < order_of.size(); ++k) {
    moved[order_of[k]] = k;
    sorted.push_back(std::move(rows_[order_of[k]]));
  }
  rows_ = std::move(sorted);
  std::vector<std::size_t> view;
  for (std::size_t v : view_) view.push_back(moved[v]);
  std::sort(view.begin(), view.end());
  ShowRows(std::move(view));
  if (selected != std::size_t(-1)) {
    const auto at = std::find(view_.begin(), view_.end(), moved[selected]);
    Select(FixedRows() + static_cast<int>(at - view_.begin()), -1);
  }
}

void SortGrid::HeaderClicked(int col) {
  Sort(col, col == sortCol_ && order_ == SortOrder::Ascending ? SortOrder::Descending
                                                              : SortOrder::Ascending);
  StringGrid::HeaderClicked(col);
}

bool SortGrid::DataMatches(std::size_t index, std::u16string_view text, int col) const {
  const GridRow& cells = rows_[index];
  if (col == kAllColumns)
    return std::any_of(cells.begin(), cells.end(),
                       [&](const auto& cell) { return CellContains(cell, text); });
  return col >= 0 && col < ColCount() && CellContains(cells[col], text);
}

bool SortGrid::RowMatches(int row, std::u16string_view text, int col) const {
  const std::size_t index = DataIndex(row);
  return index != std::size_t(-1) && DataMatches(index, text, col);
}

int SortGrid::FindRow(std::u16string_view text, int col, int fromRow) const {
  for (int row = std::max(fromRow, FixedRows()); row < RowCount(); ++row)
    if (RowMatches(row, text, col)) return row;
  return -1;
}

bool SortGrid::FindNext(std::u16string_view text, int col) {
  int row = FindRow(text, col, Row() + 1);
  if (row < 0) row = FindRow(text, col, FixedRows());
  if (row < 0) return false;
  Select(row, -1);
  return true;
}

bool SortGrid::Filter(std::u16string_view text, int col) {
  std::vector<std::size_t> view;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (DataMatches(i, text, col)) view.push_back(i);
  if (view.empty()) return false;
  filtered_ = true;
  ShowRows(std::move(view));
  Select(FixedRows(), -1);
  return true;
}

void SortGrid::ShowAll() {
  filtered_ = false;
  const std::size_t selected = DataIndex(Row());
  ShowAllRows();
  if (selected != std::size_t(-1)) Select(FixedRows() + static_cast<int>(selected), -1);
  if (sortCol_ >= 0) Sort(sortCol_, order_);  // keeps the selection on its row
}

void SortGrid::SetRows(std::vector<GridRow> rows) {
  filtered_ = false;
  StringGrid::SetRows(std::move(rows));
  if (sortCol_ >= 0) Sort(sortCol_, order_);
}

}  // namespace quillmer
