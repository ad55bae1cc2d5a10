// The editor of the user's emendation tables (user_b5fix.dat for text
// converted to Traditional, user_gbfix.dat for text converted to
// Simplified): the pairs in a sortable grid with search, add and delete,
// written back whole when the user confirms.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/emendation_editor.h"
#include "ui/module_state.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"
#include "widgets/grid.h"
#include "widgets/image_list.h"

namespace quillmer {

// Editor modes: which table it edits.
constexpr int kEmendBig5 = 0;  // user_b5fix.dat, Big5
constexpr int kEmendGbk = 1;   // user_gbfix.dat, GBK

// The table's file name and code page of a mode.
const char* EmendationFileName(int mode);
UINT EmendationCodePage(int mode);

// The pairs of a table file's bytes (the first two lines are the layout and
// the titles); a line's first two fields, the second empty when missing.
std::vector<GridRow> ReadEmendationTable(std::string_view bytes, UINT codePage);

// The file's bytes for these pairs under these column titles; rows whose
// cells are both empty are left out. Throws Error naming the first row (from
// 1) that the code page cannot hold.
std::string WriteEmendationTable(const std::vector<GridRow>& rows, const GridRow& titles,
                                 UINT codePage);

// n with a separator between groups of three digits ("###,###,###,##0").
std::u16string FormatCount(long long n, char16_t separator);

class TFormB5fix : public Form {
 public:
  // A dialog over owner (null: none) for mode's table in the module's
  // directory. Raises when the window cannot be made.
  TFormB5fix(ModuleState& module, HWND owner, int mode);

  ImageList ImageList1;
  Label Label5;
  Label Label1;
  Edit edtSearch;
  Label Label2;
  ImageComboBox ComboBox1;
  ColorButton btnSearch;
  Label Label3;
  Edit edtGB;
  Edit edtB5;
  ColorButton btnIns;
  SortGrid SortGrid1;
  ColorButton btnShowAll;
  ColorButton btnDel;
  ColorButton btnClose;
  Label Label4;

  // Event handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void btnSearchClick(Control& Sender);
  void BtnShowAllClick(Control& Sender);
  void btnInsClick(Control& Sender);
  void btnDelClick(Control& Sender);
  void btnCloseClick(Control& Sender);
  void SortGrid1DblClick(Control& Sender);

  int Mode() const { return mode_; }
  bool Modified() const { return modified_; }
  // The table was written to its file.
  bool Saved() const { return saved_; }
  std::string FileName() const;
  void UpdateCount();

 private:
  void LoadTable();
  // Writes the grid to the file; false (after saying why) when it could not.
  bool SaveTable();
  // Whether the table's code page holds text; says so when it does not.
  bool Holdable(const std::u16string& text);

  ModuleState& module_;
  UINT uiCodePage_ = 0;
  int uiCharset_ = 0;
  int mode_ = kEmendBig5;
  bool modified_ = false;
  bool saved_ = false;
  // The file exists but could not be read: saving would lose it.
  bool loadFailed_ = false;
  char16_t separator_ = u',';
};

// Opens the editor of mode's table modally over owner; true when the table
// was saved (the caller then rebuilds the phrase tables).
bool ShowEmendationEditor(ModuleState& module, HWND owner, int mode);
// Made but not shown, for callers that show it themselves.
std::unique_ptr<TFormB5fix> MakeEmendationEditor(ModuleState& module, HWND owner, int mode);

// The editor as the options dialog sees it (ui/emendation_editor.h).
std::unique_ptr<EmendationEditor> OpenEmendationEditor(ModuleState& module, HWND owner,
                                                       EmendationMode mode);

// Builds the module's phrase tables again with the user's files, as after a
// save; messages go to the engine's reporter.
void RebuildEmendationTables(ModuleState& module);

}  // namespace quillmer
