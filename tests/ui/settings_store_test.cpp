#include "ui/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/error.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

SettingsStore FromText(std::string_view text, UINT cp = 1252) {
  return SettingsStore("/nonexistent/Quillmer.ini", text, cp);
}

TEST(SettingsStore, ReadsTypedValuesWithoutRegardToCase) {
  auto s = FromText(
      "[Interface]\r\nCaption=My bar \r\nShowClipBtn=0\r\nBKColor=-2147483633\r\n"
      "[text_convert]\r\n autoconvert = 2\r\nUserFix=7\r\nConvertOnSubmit=yes\r\n"
      "AgeUserB5fix=99999999999\r\nAlterWBCharset=\r\n");
  EXPECT_EQ("My bar ", s.ReadString("INTERFACE", "caption", "x")) << "the raw text after '='";
  EXPECT_FALSE(s.ReadBool("Interface", "ShowClipBtn", true));
  EXPECT_EQ(static_cast<std::int32_t>(0x8000000F), s.ReadInteger("Interface", "BKColor", 0));
  EXPECT_EQ(2, s.ReadInteger("Text_Convert", "AutoConvert", 0));
  EXPECT_TRUE(s.ReadBool("Text_Convert", "UserFix", false)) << "any integer but 0 is true";
  EXPECT_TRUE(s.ReadBool("Text_Convert", "ConvertOnSubmit", true)) << "not a number: default";
  EXPECT_FALSE(s.ReadBool("Text_Convert", "ConvertOnSubmit", false));
  EXPECT_EQ(5, s.ReadInteger("Text_Convert", "AgeUserB5fix", 5)) << "beyond 32 bits: default";
  EXPECT_EQ(3, s.ReadInteger("Text_Convert", "AlterWBCharset", 3));
  EXPECT_EQ("", s.ReadString("Text_Convert", "AlterWBCharset", "d")) << "present but empty";
  EXPECT_EQ("d", s.ReadString("Zoom", "AutoZoom", "d"));
  EXPECT_TRUE(s.ValueExists("interface", "SHOWCLIPBTN"));
  EXPECT_FALSE(s.ValueExists("Interface", "ShowZoomBtn"));
}

TEST(SettingsStore, IntegersAcceptSignsAndHexColoursOnly) {
  auto s =
      FromText("[Z]\na=-17\nb=+4\nc=0x8000000F\nd=$FF\ne=2147483648\nf=-2147483648\ng=1e3\nh=0x\n");
  EXPECT_EQ(-17, s.ReadInteger("Z", "a", 0));
  EXPECT_EQ(4, s.ReadInteger("Z", "b", 0));
  EXPECT_EQ(static_cast<std::int32_t>(0x8000000F), s.ReadInteger("Z", "c", 0));
  EXPECT_EQ(255, s.ReadInteger("Z", "d", 0));
  EXPECT_EQ(9, s.ReadInteger("Z", "e", 9));
  EXPECT_EQ(INT32_MIN, s.ReadInteger("Z", "f", 0));
  EXPECT_EQ(9, s.ReadInteger("Z", "g", 9));
  EXPECT_EQ(9, s.ReadInteger("Z", "h", 9));
}

TEST(SettingsStore, AHandEditedFileKeepsItsCommentsOrderAndLineEnds) {
  const std::string text =
      "; Quillmer settings\r\n\r\n[Interface]\r\n; the bar\r\nCaption=Bar\r\nUnknown=keep me\r\n"
      "\r\n; zoom follows\r\n[Zoom]\r\nZoomIncrement=10\r\n";
  auto s = FromText(text);
  EXPECT_EQ(text, s.Text()) << "nothing changes by reading";
  EXPECT_FALSE(s.Modified());

  s.WriteInteger("zoom", "zoomincrement", 25);  // keeps the key's spelling and place
  s.WriteBool("Interface", "ShowClipBtn", false);
  s.WriteString("HotKeys", "Key3", "16451");
  s.DeleteKey("Interface", "Unknown");
  s.DeleteKey("Interface", "NotThere");
  EXPECT_TRUE(s.Modified());
  EXPECT_EQ(
      "; Quillmer settings\r\n\r\n[Interface]\r\n; the bar\r\nCaption=Bar\r\nShowClipBtn=0\r\n"
      "\r\n; zoom follows\r\n[Zoom]\r\nZoomIncrement=25\r\n[HotKeys]\r\nKey3=16451\r\n",
      s.Text());
  EXPECT_EQ(16451, s.ReadInteger("HotKeys", "key3", 0));
}

TEST(SettingsStore, TextIsInTheAnsiCodePage) {
  // 繁簡轉換 in Big5 under code page 950.
  const std::string big5 = "\xC1\x63\xC2\xB2\xC2\xE0\xB4\xAB";
  auto s = FromText("[Interface]\nCaption=" + big5 + "\n", 950);
  EXPECT_EQ(u"繁簡轉換", s.ReadText("Interface", "Caption", u""));
  s.WriteText("Interface", "Caption", u"繁簡 \u00E9");
  EXPECT_EQ("\xC1\x63\xC2\xB2 ?", s.ReadString("Interface", "Caption", "")) << "é is not in 950";
  // A trail byte that looks like a letter does not make two names equal.
  s.WriteString("S", "\xA5\x41", "1");
  EXPECT_FALSE(s.ValueExists("S", "\xA5\x61"));

  // A file saved with a UTF-8 signature is read and written as UTF-8.
  auto u = FromText("\xEF\xBB\xBF[Interface]\nCaption=\xE7\xB9\x81\n", 936);
  EXPECT_EQ(u"繁", u.ReadText("Interface", "Caption", u""));
  u.WriteText("Interface", "Caption", u"简");
  EXPECT_EQ("\xEF\xBB\xBF[Interface]\nCaption=\xE7\xAE\x80\n", u.Text());
}

TEST(SettingsStore, RefusesWhatTheFileCouldNotHold) {
  auto s = FromText("");
  EXPECT_THROW(s.WriteString("A", "k", "two\nlines"), Error);
  EXPECT_THROW(s.WriteString("A]", "k", "v"), Error);
  EXPECT_THROW(s.WriteString("A", "k=", "v"), Error);
  EXPECT_THROW(s.WriteString("A", " k", "v"), Error);
  EXPECT_THROW(s.WriteString("", "k", "v"), Error);
  EXPECT_FALSE(s.Modified());
  EXPECT_EQ("", s.Text());
}

TEST(SettingsStore, FlushReplacesTheFileAndAMissingFileIsEmpty) {
  TempDir dir;
  std::string path = (dir / "Quillmer.ini").string();
  SettingsStore s(path);
  EXPECT_EQ(7, s.ReadInteger("Zoom", "ZoomIncrement", 7));
  EXPECT_FALSE(std::filesystem::exists(path)) << "reading creates nothing";
  s.WriteInteger("Zoom", "ZoomIncrement", 20);
  s.Flush();
  EXPECT_FALSE(s.Modified());
  EXPECT_EQ("[Zoom]\nZoomIncrement=20\n", ReadAll(path));
  ::chmod(path.c_str(), 0640);
  s.WriteInteger("Zoom", "ZoomIncrement", 30);
  s.Flush();
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(0640u, st.st_mode & 0777) << "the file keeps its permissions";
  EXPECT_EQ(30, SettingsStore(path).ReadInteger("Zoom", "ZoomIncrement", 0));
  // Only the file itself is left: no temporary beside it.
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

TEST(SettingsStore, AFailedFlushThrowsAndKeepsTheChange) {
  auto s = FromText("[A]\nk=1\n");
  s.WriteInteger("A", "k", 2);
  EXPECT_THROW(s.Flush(), Error) << "the directory does not exist";
  EXPECT_TRUE(s.Modified()) << "the change is still to be written";
}

TEST(SettingsStore, AReadOnlyFileIsNotReplacedByAFlush) {
  TempDir dir;
  std::string path = (dir / "Quillmer.ini").string();
  WriteAll(path, "[A]\nk=1\n");
  ::chmod(path.c_str(), 0444);
  SettingsStore t(path);
  t.WriteInteger("A", "k", 2);
  EXPECT_THROW(t.Flush(), Error);
  EXPECT_TRUE(t.Modified());
  EXPECT_EQ("[A]\nk=1\n", ReadAll(path));
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(0444u, st.st_mode & 0777);
}

TEST(SettingsStore, AFlushIntoAReadOnlyDirectoryLeavesTheFileWhole) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  TempDir dir;
  std::string path = (dir / "Quillmer.ini").string();
  WriteAll(path, "[A]\nk=1\n");
  SettingsStore t(path);
  t.WriteInteger("A", "k", 2);
  std::filesystem::permissions(
      dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_THROW(t.Flush(), Error);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ("[A]\nk=1\n", ReadAll(path));
}

TEST(SettingsStore, AFileThatExistsButCannotBeReadIsAnError) {
  TempDir dir;
  std::filesystem::create_directory(dir / "Quillmer.ini");
  EXPECT_THROW(SettingsStore((dir / "Quillmer.ini").string()), Error);
}

// Two processes over one file: what one flushed, the other reads at its next
// refresh, unless it has changes of its own pending.
TEST(SettingsStore, ARefreshReadsWhatAnotherProcessWrote) {
  TempDir dir;
  const std::string path = (dir.path() / "Quillmer.ini").string();
  SettingsStore helper(path, 1252);
  EXPECT_FALSE(helper.Refresh());  // no file, and still none

  SettingsStore toolbar(path, 1252);
  toolbar.WriteInteger("Text_Convert", "AutoConvert", 2);
  toolbar.Flush();
  EXPECT_TRUE(helper.Refresh());
  EXPECT_EQ(helper.ReadInteger("Text_Convert", "AutoConvert", 0), 2);
  EXPECT_FALSE(helper.Refresh());  // unchanged since

  helper.WriteInteger("Zoom", "AutoZoom", 1);  // pending here
  toolbar.WriteInteger("Text_Convert", "AutoConvert", 1);
  toolbar.Flush();
  EXPECT_FALSE(helper.Refresh());
  EXPECT_EQ(helper.ReadInteger("Text_Convert", "AutoConvert", 0), 2);
  helper.Flush();  // what the helper wrote wins, as the last writer does
  EXPECT_FALSE(helper.Refresh());
  toolbar.Flush();
  EXPECT_TRUE(helper.Refresh());
  EXPECT_EQ(helper.ReadInteger("Text_Convert", "AutoConvert", 0), 1);
  EXPECT_EQ(helper.ReadInteger("Zoom", "AutoZoom", 0), 0);
}

}  // namespace
}  // namespace quillmer
