#include "ui/emend_form.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <initializer_list>

#include "engine/identities.h"
#include "engine/userfix.h"
#include "platform/base/error.h"
#include "platform/base/fileio.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "ui/ui_language.h"

namespace quillmer {
namespace {

constexpr Texts kFormCaption{u"词汇修正", u"詞彙修正", u"Text Emendation"};
constexpr Texts kTitleToTrad{u"简体 > 繁体", u"簡體 > 繁體", u"Simp. Chinese > Trad. Chinese"};
constexpr Texts kTitleToSim{u"繁体 > 简体", u"繁體 > 簡體", u"Trad. Chinese > Simp. Chinese"};
constexpr Texts kSearchLabel{u"找寻：", u"找尋：", u"Search"};
constexpr Texts kIn{u"在", u"在", u"in"};
constexpr Texts kAddLabel{u"在这里输入新词汇：(修正前／修正后）",
                          u"在這裡輸入新詞彙：(修正前／修正後）", u"Add new strings here:"};
constexpr Texts kSearch{u"寻找(&F)", u"尋找(&F)", u"Search(&F)"};
constexpr Texts kAdd{u"加入(&I)", u"加入(&I)", u"Add(&A)"};
constexpr Texts kShowAll{u"全部显示(&A)", u"全部顯示(&A)", u"Show all(&A)"};
constexpr Texts kDelete{u"删除(&D)", u"刪除(&D)", u"Delete(&D)"};
constexpr Texts kClose{u"完成(&X)", u"完成(&X)", u"Close(&X)"};
constexpr Texts kItemFirst{u" 修正前|0", u" 修正前|0", u" 1st column|0"};
constexpr Texts kItemSecond{u" 修正后|1", u" 修正後|1", u" 2nd column|1"};
constexpr Texts kItemAll{u" 全部|2", u" 全部|2", u" All|2"};
constexpr Texts kEmptyKey{u"不能插入空字串！", u"不能插入空字串！", u"Cannot insert empty string!"};
constexpr Texts kDuplicateBefore{u"在第#", u"在第#", u"Duplicate record is found on row #"};
constexpr Texts kDuplicateAfter{u"行出现相同的字串！", u"行出現相同的字串！", u""};
constexpr Texts kNotFound{u"找不到相配的字串！", u"找不到相配的字串！",
                          u"Search string not found!"};
constexpr Texts kTotalBefore{u"总共: ", u"總共: ", u"Total: "};
constexpr Texts kTotalAfter{u" 组修正词", u" 組修正詞", u" records"};
constexpr Texts kCannotHold{u"这个词汇表存不下这些字元：", u"這個詞彙表存不下這些字元：",
                            u"This table cannot hold these characters: "};
constexpr Texts kCannotSave{u"无法储存 ", u"無法儲存 ", u"Cannot save "};
constexpr Texts kCannotRead{u"无法读取 ", u"無法讀取 ", u"Cannot read "};

struct ModeLook {
  std::int32_t formColor, hoverColor, faceColor;
  int charset;
};
constexpr ModeLook kLooks[2] = {{14208763, 14604028, 14142715, 136},
                                {13424809, 14081722, 13293221, 134}};

// The characters of text that cp cannot hold, each once.
std::u16string Unholdable(UINT cp, std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 1;
    if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      n = 2;
    const std::u16string_view c = text.substr(i, n);
    if (!EncodeCodePageExactly(cp, c) && out.find(c) == std::u16string::npos) out += c;
    i += n;
  }
  return out;
}

// The user's thousands separator; a comma where the locale names none.
char16_t LocaleSeparator() {
  locale_t locale = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (!locale) return u',';
  char16_t separator = u',';
  const char* sep = nl_langinfo_l(THOUSEP, locale);
  const char* codeset = nl_langinfo_l(CODESET, locale);
  if (sep && std::strlen(sep) == 1 && static_cast<unsigned char>(sep[0]) < 0x80) {
    separator = static_cast<char16_t>(sep[0]);
  } else if (sep && *sep && codeset && std::strcmp(codeset, "UTF-8") == 0) {
    const std::u16string wide = FromUtf8(sep);
    if (wide.size() == 1) separator = wide[0];
  }
  freelocale(locale);
  return separator;
}

}  // namespace

const char* EmendationFileName(int mode) {
  return mode == kEmendGbk ? "user_gbfix.dat" : "user_b5fix.dat";
}

UINT EmendationCodePage(int mode) { return mode == kEmendGbk ? kCodePageGbk : kCodePageBig5; }

std::vector<GridRow> ReadEmendationTable(std::string_view bytes, UINT codePage) {
  std::vector<GridRow> rows;
  for (const std::string& line : UserFixLines(bytes)) {
    std::vector<std::string> fields = SplitFixLine(line);
    if (fields.empty()) continue;
    fields.resize(2);
    rows.push_back({DecodeCodePage(codePage, fields[0]), DecodeCodePage(codePage, fields[1])});
  }
  return rows;
}

std::string WriteEmendationTable(const std::vector<GridRow>& rows, const GridRow& titles,
                                 UINT codePage) {
  auto encode = [&](std::u16string_view text, std::size_t row) {
    auto bytes = EncodeCodePageExactly(codePage, text);
    if (!bytes)
      throw Error("row " + std::to_string(row) + " holds characters code page " +
                      std::to_string(codePage) +
                      " cannot hold: " + ToUtf8(Unholdable(codePage, text)),
                  E_INVALIDARG);
    return *bytes;
  };
  auto cell = [](const GridRow& row, std::size_t i) {
    return i < row.size() ? std::u16string_view(row[i]) : std::u16string_view();
  };
  // The layout line: "-1" for each of the two columns and the four others.
  std::string out = "-1,-1,-1,-1,-1,-1\r\n";
  out += JoinFixLine(encode(cell(titles, 0), 0), encode(cell(titles, 1), 0)) + "\r\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (cell(rows[i], 0).empty() && cell(rows[i], 1).empty()) continue;
    out += JoinFixLine(encode(cell(rows[i], 0), i + 1), encode(cell(rows[i], 1), i + 1)) + "\r\n";
  }
  return out;
}

std::u16string FormatCount(long long n, char16_t separator) {
  std::u16string digits = FromUtf8(std::to_string(n < 0 ? -n : n));
  std::u16string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0 && separator) out += separator;
    out += digits[i];
  }
  return n < 0 ? u"-" + out : out;
}

TFormB5fix::TFormB5fix(ModuleState& module, HWND owner, int mode)
    : Form(ControlKind::Dialog, owner, "FormB5fix"),
      Label5(*this, "Label5"),
      Label1(*this, "Label1"),
      edtSearch(*this, "edtSearch"),
      Label2(*this, "Label2"),
      ComboBox1(*this, "ComboBox1"),
      btnSearch(*this, "btnSearch"),
      Label3(*this, "Label3"),
      edtGB(*this, "edtGB"),
      edtB5(*this, "edtB5"),
      btnIns(*this, "btnIns"),
      SortGrid1(*this, "SortGrid1", 2, 1),
      btnShowAll(*this, "btnShowAll"),
      btnDel(*this, "btnDel"),
      btnClose(*this, "btnClose"),
      Label4(*this, "Label4"),
      module_(module),
      mode_(mode == kEmendGbk ? kEmendGbk : kEmendBig5) {
  Hide();
  // Room for the buttons' swatches and the longest captions of the three
  // languages.
  SetSize(560, 530);
  Label5.SetBounds(12, 8, 536, 30);
  Label5.SetFontHeight(20);
  Label1.SetBounds(12, 50, 70, 22);
  edtSearch.SetBounds(84, 46, 160, 28);
  Label2.SetBounds(252, 50, 28, 22);
  ComboBox1.SetBounds(282, 46, 146, 28);
  btnSearch.SetBounds(440, 44, 108, 32);
  Label3.SetBounds(12, 86, 536, 22);
  edtGB.SetBounds(12, 110, 206, 28);
  edtB5.SetBounds(226, 110, 206, 28);
  btnIns.SetBounds(440, 108, 108, 32);
  SortGrid1.SetBounds(12, 148, 536, 330);
  btnShowAll.SetBounds(12, 488, 140, 32);
  btnDel.SetBounds(160, 488, 112, 32);
  Label4.SetBounds(284, 494, 150, 22);
  btnClose.SetBounds(440, 488, 108, 32);

  SortGrid1.SetOptions(kGridRowSelect | kGridColSizing | kGridTabs | kGridLines);
  SortGrid1.SetFontHeight(17);
  btnSearch.SetDefault(true);
  btnClose.SetModalResult(mrOk);

  btnSearch.OnClick = [this](Control& s) { btnSearchClick(s); };
  btnShowAll.OnClick = [this](Control& s) { BtnShowAllClick(s); };
  btnIns.OnClick = [this](Control& s) { btnInsClick(s); };
  btnDel.OnClick = [this](Control& s) { btnDelClick(s); };
  btnClose.OnClick = [this](Control& s) { btnCloseClick(s); };
  SortGrid1.OnDblClick = [this](Control& s) { SortGrid1DblClick(s); };
  OnShow = [this](Form&) { FormShow(); };
  OnClose = [this](Form&) { FormClose(); };
  FormCreate();
}

void TFormB5fix::FormCreate() {
  uiCodePage_ = UiCodePage(module_.shared.page);
  const Language language = UiLanguage(uiCodePage_);
  uiCharset_ = FontCharset(language);
  separator_ = LocaleSeparator();
  // A missing image leaves its item without a picture.
  for (const char* name : {"BM1", "BM2", "BM3"}) {
    const auto png = LoadModuleResource(name);
    ImageList1.Add(png ? std::string(*png) : std::string());
  }
  ComboBox1.SetImages(&ImageList1);

  SetFontCharset(uiCharset_);
  Label5.SetFontCharset(uiCharset_);
  Label5.SetCaption(Pick(mode_ == kEmendGbk ? kTitleToSim : kTitleToTrad, language));
  SetCaption(Pick(kFormCaption, language));
  for (Control* c :
       std::initializer_list<Control*>{&Label1, &Label2, &Label3, &Label4, &btnSearch, &btnIns,
                                       &btnShowAll, &btnDel, &btnClose, &ComboBox1})
    c->SetFontCharset(uiCharset_);
  Label1.SetCaption(Pick(kSearchLabel, language));
  Label2.SetCaption(Pick(kIn, language));
  Label3.SetCaption(Pick(kAddLabel, language));
  btnSearch.SetCaption(Pick(kSearch, language));
  btnIns.SetCaption(Pick(kAdd, language));
  btnShowAll.SetCaption(Pick(kShowAll, language));
  btnDel.SetCaption(Pick(kDelete, language));
  btnClose.SetCaption(Pick(kClose, language));
  for (const Texts* item : {&kItemFirst, &kItemSecond, &kItemAll})
    ComboBox1.AddImageItem(Pick(*item, language));
  ComboBox1.SetItemIndex(0);

  modified_ = false;

  const ModeLook& look = kLooks[mode_];
  SetColor(look.formColor);
  for (ColorButton* b : {&btnSearch, &btnIns, &btnShowAll, &btnDel, &btnClose}) {
    b->SetFaceColor(look.faceColor);
    b->SetHoverColor(look.hoverColor);
  }
  for (Control* c : std::initializer_list<Control*>{&edtSearch, &edtGB, &edtB5, &SortGrid1})
    c->SetFontCharset(look.charset);
  LoadTable();
  const bool chinese = language != Language::English;
  SortGrid1.SetCell(0, 0, chinese ? u"修正前" : u"Search");
  SortGrid1.SetCell(0, 1, chinese ? (mode_ == kEmendGbk ? u"修正后" : u"修正後") : u"Replace with");
  SortGrid1.SetDefaultColWidth((SortGrid1.Width() - 48) / 2);
  UpdateCount();
}

void TFormB5fix::FormShow() { edtSearch.SetFontCharset(kLooks[mode_].charset); }

void TFormB5fix::FormClose() {
  if (SortGrid1.Filtered()) SortGrid1.ShowAll();
}

std::string TFormB5fix::FileName() const {
  std::string directory = module_.shared.moduleDirectory;
  if (directory.empty()) directory = ModuleDirectory();
  return directory + EmendationFileName(mode_);
}

void TFormB5fix::LoadTable() {
  try {
    if (auto bytes = ReadFileIfExists(FileName()))
      SortGrid1.SetRows(ReadEmendationTable(*bytes, EmendationCodePage(mode_)));
  } catch (const Error& e) {
    loadFailed_ = true;
    MessageBox(Pick(kCannotRead, UiLanguage(uiCodePage_)) + FromUtf8(EmendationFileName(mode_)) +
                   u": " + FromUtf8(e.what()),
               kProductCaption, MB_OK | MB_ICONERROR);
  }
}

void TFormB5fix::UpdateCount() {
  const Language language = UiLanguage(uiCodePage_);
  long long n = SortGrid1.RowCount() - SortGrid1.FixedRows();
  if (n == 1 && SortGrid1.RowEmpty(SortGrid1.FixedRows())) n = 0;
  Label4.SetCaption(Pick(kTotalBefore, language) + FormatCount(n, separator_) +
                    Pick(kTotalAfter, language));
}

void TFormB5fix::btnSearchClick(Control&) {
  const Language language = UiLanguage(uiCodePage_);
  SortGrid1.ShowAll();
  const std::u16string text = edtSearch.Text();
  static constexpr int kColumns[] = {0, 1, kAllColumns};
  const int item = ComboBox1.ItemIndex();
  const int col = item >= 0 && item <= 2 ? kColumns[item] : 0;
  if (text.empty() || !SortGrid1.Filter(text, col))
    MessageBox(Pick(kNotFound, language), kProductCaption, MB_OK | MB_ICONINFORMATION);
  UpdateCount();
}

void TFormB5fix::BtnShowAllClick(Control&) {
  SortGrid1.ShowAll();
  UpdateCount();
}

bool TFormB5fix::Holdable(const std::u16string& text) {
  const std::u16string bad = Unholdable(EmendationCodePage(mode_), text);
  if (bad.empty()) return true;
  // Stored as "?" they would turn up in every conversion.
  MessageBox(Pick(kCannotHold, UiLanguage(uiCodePage_)) + bad, kProductCaption,
             MB_OK | MB_ICONERROR);
  return false;
}

void TFormB5fix::btnInsClick(Control&) {
  const Language language = UiLanguage(uiCodePage_);
  const std::u16string key = edtGB.Text();
  const std::u16string replacement = edtB5.Text();
  if (key.empty()) {
    MessageBox(Pick(kEmptyKey, language), kProductCaption, MB_OK | MB_ICONERROR);
    edtGB.SetFocus();
    return;
  }
  SortGrid1.ShowAll();
  for (int row = SortGrid1.FixedRows(); row < SortGrid1.RowCount(); ++row)
    if (SortGrid1.Cell(row, 0) == key) {
      MessageBox(Pick(kDuplicateBefore, language) + FromUtf8(std::to_string(row)) +
                     Pick(kDuplicateAfter, language),
                 kProductCaption, MB_OK | MB_ICONERROR);
      SortGrid1.Select(row);
      return;
    }
  if (!Holdable(key + replacement)) return;
  const int first = SortGrid1.FixedRows();
  int row = first;
  if (!(SortGrid1.RowCount() - first == 1 && SortGrid1.Cell(first, 0).empty()))
    row = SortGrid1.InsertRow(first);
  SortGrid1.SetRowCells(row, {key, replacement});
  SortGrid1.Select(row);
  modified_ = true;
  UpdateCount();
}

void TFormB5fix::btnDelClick(Control&) {
  const std::u16string key = SortGrid1.Cell(SortGrid1.Row(), 0);
  SortGrid1.ShowAll();
  const int first = SortGrid1.FixedRows();
  for (int row = first; row < SortGrid1.RowCount(); ++row) {
    if (SortGrid1.Cell(row, 0) != key) continue;
    SortGrid1.DeleteRow(row);
    SortGrid1.Select(SortGrid1.RowCount() < 3 || row == first ? first : row - 1);
    break;
  }
  UpdateCount();
  modified_ = true;
}

void TFormB5fix::SortGrid1DblClick(Control&) {
  const int row = SortGrid1.Row();
  edtGB.SetText(SortGrid1.Cell(row, 0));
  edtB5.SetText(SortGrid1.Cell(row, 1));
}

bool TFormB5fix::SaveTable() {
  const Language language = UiLanguage(uiCodePage_);
  const std::u16string name = FromUtf8(EmendationFileName(mode_));
  if (loadFailed_) {
    MessageBox(Pick(kCannotRead, language) + name, kProductCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  SortGrid1.ShowAll();
  SortGrid1.Sort(0, SortOrder::Ascending);
  std::string bytes;
  try {
    bytes =
        WriteEmendationTable(SortGrid1.Rows(), SortGrid1.RowCells(0), EmendationCodePage(mode_));
    ReplaceFileAtomic(FileName(), bytes);
  } catch (const Error& e) {
    MessageBox(Pick(kCannotSave, language) + name + u": " + FromUtf8(e.what()), kProductCaption,
               MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

void TFormB5fix::btnCloseClick(Control&) {
  if (modified_) {
    if (!SaveTable()) {
      // The changes are still here: the user may try again or cancel.
      SetModalResult(mrNone);
      return;
    }
    saved_ = true;
    modified_ = false;
  }
  SetModalResult(mrOk);
}

std::unique_ptr<TFormB5fix> MakeEmendationEditor(ModuleState& module, HWND owner, int mode) {
  return std::make_unique<TFormB5fix>(module, owner, mode);
}

bool ShowEmendationEditor(ModuleState& module, HWND owner, int mode) {
  auto editor = MakeEmendationEditor(module, owner, mode);
  editor->ShowModal();
  return editor->Saved();
}

void RebuildEmendationTables(ModuleState& module) {
  EngineTables* previous = SetCurrentTables(module.tables.get());
  module.tables->userFix = module.shared.UserFix;
  InitB5fix();
  InitGBfix();
  SetCurrentTables(previous);
}

namespace {

class EditorForOptions final : public EmendationEditor {
 public:
  explicit EditorForOptions(std::unique_ptr<TFormB5fix> form) : form_(std::move(form)) {}
  int ShowModal() override { return form_->ShowModal(); }
  bool TableSaved() const override { return form_->Saved(); }

 private:
  std::unique_ptr<TFormB5fix> form_;
};

}  // namespace

std::unique_ptr<EmendationEditor> OpenEmendationEditor(ModuleState& module, HWND owner,
                                                       EmendationMode mode) {
  return std::make_unique<EditorForOptions>(
      MakeEmendationEditor(module, owner, static_cast<int>(mode)));
}

}  // namespace quillmer
