// The emendation editor: its file format, the count, and the form on the
// in-memory toolkit (add, duplicates, search as characters, delete, what
// the table's code page cannot hold, saving and failing to save).
#include "ui/emend_form.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/base/error.h"
#include "platform/base/fileio.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "tests/cli/run_program.h"
#include "tests/support/fake_toolkit.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;

TEST(EmendationFile, PairsSurviveAWriteAndAReadWithQuotesCommasAndBlanks) {
  const std::vector<GridRow> rows = {{u"中華", u"華夏"},
                                     {u"", u""},  // left out
                                     {u"a,b", u"say \"hi\""},
                                     {u"頭 發", u""}};
  const std::string bytes = WriteEmendationTable(rows, {u"修正前", u"修正後"}, kCodePageBig5);
  EXPECT_EQ(bytes.rfind("-1,-1,-1,-1,-1,-1\r\n" + EncodeCodePage(kCodePageBig5, u"修正前,修正後") +
                            "\r\n",
                        0),
            0u);
  const std::vector<GridRow> back = ReadEmendationTable(bytes, kCodePageBig5);
  EXPECT_EQ(back, (std::vector<GridRow>{rows[0], rows[2], rows[3]}));
  // A key alone reads with an empty replacement.
  EXPECT_EQ(ReadEmendationTable("x\r\ny\r\nkey\r\n", kCodePageBig5),
            (std::vector<GridRow>{{u"key", u""}}));
}

TEST(EmendationFile, TextTheCodePageCannotHoldIsRefusedNotWrittenAsQuestionMarks) {
  try {
    WriteEmendationTable({{u"中華", u"華夏"}, {u"后来", u"後來"}}, {u"a", u"b"}, kCodePageBig5);
    FAIL() << "written";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("row 2"), std::string::npos) << e.what();
  }
}

TEST(EmendationFile, CountsAreGroupedByThousands) {
  EXPECT_EQ(FormatCount(0, u','), u"0");
  EXPECT_EQ(FormatCount(999, u','), u"999");
  EXPECT_EQ(FormatCount(1234, u','), u"1,234");
  EXPECT_EQ(FormatCount(1234567, u'.'), u"1.234.567");
}

class EmendFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    module.shared.page.uiCodePage = 1252;
    module.shared.moduleDirectory = home.path().string() + "/";
  }
  void TearDown() override {
    SetReplaceFileHookForTests({});
    SetMessageBoxHandler(std::move(previous_));
  }
  fs::path File(int mode = kEmendBig5) const { return home.path() / EmendationFileName(mode); }
  void WriteTable(const std::vector<GridRow>& rows, int mode = kEmendBig5) {
    testing::WriteAll(File(mode),
                      WriteEmendationTable(rows, {u"a", u"b"}, EmendationCodePage(mode)));
  }
  void Add(TFormB5fix& f, std::u16string_view key, std::u16string_view value) {
    f.edtGB.SetText(key);
    f.edtB5.SetText(value);
    f.btnIns.Click();
  }

  testing::FakeToolkit kit;
  ModuleState module;
  testing::TempDir home;
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

TEST_F(EmendFormTest, TheFirstPairFillsTheEmptyRowAndOkCreatesTheFile) {
  TFormB5fix f(module, nullptr, kEmendBig5);
  EXPECT_EQ(f.Label4.Caption(), u"Total: 0 records");
  EXPECT_EQ(f.SortGrid1.Cell(0, 1), u"Replace with");
  Add(f, u"中華", u"華夏");
  EXPECT_EQ(f.SortGrid1.RowCount(), 2);
  EXPECT_EQ(f.SortGrid1.Cell(1, 0), u"中華");
  EXPECT_EQ(f.Label4.Caption(), u"Total: 1 records");
  Add(f, u"頭發", u"頭髮");
  EXPECT_EQ(f.SortGrid1.Cell(1, 0), u"頭發");  // new pairs go on top
  f.btnClose.Click();
  EXPECT_EQ(f.ModalResult(), mrOk);
  EXPECT_TRUE(f.Saved());
  const std::string bytes = testing::ReadAll(File());
  EXPECT_EQ(ReadEmendationTable(bytes, kCodePageBig5),
            (std::vector<GridRow>{{u"中華", u"華夏"}, {u"頭發", u"頭髮"}}));
}

TEST_F(EmendFormTest, ADuplicateKeyIsShownByItsRowAndNothingIsAdded) {
  std::vector<GridRow> rows;
  for (int i = 1; i <= 9; ++i) rows.push_back({u"k" + FromUtf8(std::to_string(i)), u"v"});
  WriteTable(rows);
  TFormB5fix f(module, nullptr, kEmendBig5);
  EXPECT_EQ(f.Label4.Caption(), u"Total: 9 records");
  Add(f, u"k7", u"other");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Duplicate record is found on row #7");
  EXPECT_EQ(f.SortGrid1.Row(), 7);
  EXPECT_EQ(f.SortGrid1.RowCount(), 10);
  EXPECT_FALSE(f.Modified());

  boxes.clear();
  Add(f, u"", u"x");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Cannot insert empty string!");
}

TEST_F(EmendFormTest, SearchFindsCharactersInMixedTextAndFiltersTheRows) {
  WriteTable({{u"a中文", u"x"}, {u"ab", u"1中"}, {u"中", u"y"}, {u"zz", u"zz"}});
  TFormB5fix f(module, nullptr, kEmendBig5);
  f.edtSearch.SetText(u"中");
  f.btnSearch.Click();  // first column
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(f.SortGrid1.Filtered());
  EXPECT_EQ(f.Label4.Caption(), u"Total: 2 records");
  f.ComboBox1.SetItemIndex(2);  // all columns
  f.btnSearch.Click();
  EXPECT_EQ(f.Label4.Caption(), u"Total: 3 records");
  f.edtSearch.SetText(u"文x");
  f.btnSearch.Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Search string not found!");
  EXPECT_EQ(f.Label4.Caption(), u"Total: 4 records");  // all rows shown again
  f.edtSearch.SetText(u"中");
  f.btnSearch.Click();
  f.btnShowAll.Click();
  EXPECT_FALSE(f.SortGrid1.Filtered());
  EXPECT_EQ(f.Label4.Caption(), u"Total: 4 records");
}

TEST_F(EmendFormTest, DeletingTheLastPairLeavesAnEmptyRowAndOkWritesAnEmptyTable) {
  WriteTable({{u"中華", u"華夏"}});
  TFormB5fix f(module, nullptr, kEmendBig5);
  f.SortGrid1.Select(1);
  f.btnDel.Click();
  EXPECT_EQ(f.SortGrid1.RowCount(), 2);
  EXPECT_TRUE(f.SortGrid1.RowEmpty(1));
  EXPECT_EQ(f.Label4.Caption(), u"Total: 0 records");
  f.btnClose.Click();
  EXPECT_TRUE(f.Saved());
  EXPECT_TRUE(ReadEmendationTable(testing::ReadAll(File()), kCodePageBig5).empty());
}

TEST_F(EmendFormTest, DoubleClickCopiesThePairAndDeleteSelectsTheRowAbove) {
  WriteTable({{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}, {u"d", u"4"}});
  TFormB5fix f(module, nullptr, kEmendBig5);
  f.SortGrid1.Select(3);
  f.SortGrid1DblClick(f.SortGrid1);
  EXPECT_EQ(f.edtGB.Text(), u"c");
  EXPECT_EQ(f.edtB5.Text(), u"3");
  f.btnDel.Click();
  EXPECT_EQ(f.SortGrid1.RowCount(), 4);
  EXPECT_EQ(f.SortGrid1.Row(), 2);
  EXPECT_EQ(f.Label4.Caption(), u"Total: 3 records");
}

TEST_F(EmendFormTest, CharactersTheTablesCodePageCannotHoldAreRefused) {
  TFormB5fix big5(module, nullptr, kEmendBig5);
  Add(big5, u"软件来", u"軟體來");  // 软 and 来 are not in Big5
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"This table cannot hold these characters: 软来");
  EXPECT_TRUE(big5.SortGrid1.RowEmpty(1));
  EXPECT_FALSE(big5.Modified());

  boxes.clear();
  TFormB5fix gbk(module, nullptr, kEmendGbk);
  Add(gbk, u"软件来", u"軟體來");  // all in GBK
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(gbk.Label4.Caption(), u"Total: 1 records");
}

TEST_F(EmendFormTest, AFailedSaveKeepsTheEditorOpenWithItsChanges) {
  TFormB5fix f(module, nullptr, kEmendBig5);
  Add(f, u"中華", u"華夏");
  SetReplaceFileHookForTests([](const std::string&) { throw Error("disk full"); });
  f.btnClose.Click();
  EXPECT_EQ(f.ModalResult(), mrNone);
  EXPECT_FALSE(f.Saved());
  EXPECT_TRUE(f.Modified());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(u"Cannot save user_b5fix.dat: "), std::u16string::npos);
  EXPECT_FALSE(fs::exists(File()));
  SetReplaceFileHookForTests({});
  f.btnClose.Click();
  EXPECT_EQ(f.ModalResult(), mrOk);
  EXPECT_TRUE(f.Saved());
  EXPECT_TRUE(fs::exists(File()));
}

TEST_F(EmendFormTest, ClosingAnyOtherWayLeavesTheFileAsItWas) {
  WriteTable({{u"中華", u"華夏"}});
  const std::string before = testing::ReadAll(File());
  TFormB5fix f(module, nullptr, kEmendBig5);
  Add(f, u"頭發", u"頭髮");
  f.Close();
  EXPECT_FALSE(f.Saved());
  EXPECT_EQ(testing::ReadAll(File()), before);
}

TEST_F(EmendFormTest, TheLookFollowsTheModeAndTheInterfaceLanguage) {
  module.shared.page.uiCodePage = 950;
  TFormB5fix b5(module, nullptr, kEmendBig5);
  EXPECT_EQ(b5.Caption(), u"詞彙修正");
  EXPECT_EQ(b5.Label5.Caption(), u"簡體 > 繁體");
  EXPECT_EQ(b5.SortGrid1.Cell(0, 1), u"修正後");
  EXPECT_EQ(b5.Label4.Caption(), u"總共: 0 組修正詞");
  EXPECT_EQ(kit.GetInt(b5.Handle(), Prop::Color, 0), 14208763);
  EXPECT_EQ(kit.GetInt(b5.edtGB.Handle(), Prop::FontCharset, 0), 136);
  EXPECT_EQ(kit.GetInt(b5.btnDel.Handle(), Prop::FontCharset, 0), 136);
  EXPECT_EQ(b5.ComboBox1.ItemCount(), 3);
  EXPECT_EQ(b5.ComboBox1.ItemIndex(), 0);
  EXPECT_EQ(b5.ComboBox1.ItemImage(2), 2);

  module.shared.page.uiCodePage = 936;
  TFormB5fix gb(module, nullptr, kEmendGbk);
  EXPECT_EQ(gb.Label5.Caption(), u"繁体 > 简体");
  EXPECT_EQ(gb.SortGrid1.Cell(0, 1), u"修正后");
  EXPECT_EQ(gb.btnShowAll.Caption(), u"全部显示(&A)");
  EXPECT_EQ(gb.btnDel.FaceColor(), 13293221);
  EXPECT_EQ(gb.btnDel.HoverColor(), 14081722);
  EXPECT_EQ(kit.GetInt(gb.SortGrid1.Handle(), Prop::FontCharset, 0), 134);
}

}  // namespace
}  // namespace quillmer
