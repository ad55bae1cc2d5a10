#include "engine/clipboard.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/detect.h"
#include "platform/win32/clipboard.h"
#include "platform/win32/codepage.h"
#include "tests/engine/table_fixture.h"

namespace quillmer {
namespace {

using testing::Big5;
using testing::CharLine;
using testing::Gbk;

constexpr UINT kHtmlFormat = 49350;  // a registered format, as browsers use for HTML
constexpr UINT CF_DIB = 8;

std::string Unicode(std::u16string_view text) {
  std::string bytes;
  for (char16_t u : text) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes + std::string(2, '\0');
}

// Small tables, an in-memory clipboard, and a chosen system code page.
class ClipboardConversion : public testing::SmallTables {
 protected:
  void SetUp() override {
    SmallTables::SetUp();
    InstallCommon();
    auto memory = std::make_unique<MemoryClipboard>();
    clip = memory.get();
    previous_ = SetClipboardBackend(std::move(memory));
    if (const char* v = std::getenv("QUILLMER_ACP")) savedAcp_ = v;
    SetAcp("950");
  }
  void TearDown() override {
    SetGlobalAllocFailure({});
    SetClipboardBackend(std::move(previous_));
    if (savedAcp_)
      setenv("QUILLMER_ACP", savedAcp_->c_str(), 1);
    else
      unsetenv("QUILLMER_ACP");
    SmallTables::TearDown();
  }
  static void SetAcp(const char* cp) { setenv("QUILLMER_ACP", cp, 1); }

  MemoryClipboard* clip = nullptr;

 private:
  std::unique_ptr<ClipboardBackend> previous_;
  std::optional<std::string> savedAcp_;
};

TEST_F(ClipboardConversion, UnicodeTextComesBackInBothFormats) {
  clip->formats = {{CF_UNICODETEXT, Unicode(u"中华人民共和国")},
                   {kHtmlFormat, "<b>中华</b>"},
                   {CF_TEXT, Gbk(u"中华人民共和国") + '\0'}};
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"中華人民共和國"));
  EXPECT_EQ(clip->formats[CF_TEXT], Big5(u"中華人民共和國") + '\0');
  EXPECT_EQ(clip->formats.count(kHtmlFormat), 0u);  // emptying drops the rest
  // Read, then written in one opening; never open while converting.
  EXPECT_EQ(clip->log, (std::vector<std::string>{"open", "get 13", "close", "open", "empty",
                                                 "set 13", "set 1", "close"}));
  EXPECT_FALSE(clip->IsOpen());
}

TEST_F(ClipboardConversion, AnsiTextGetsQuestionMarksWhereTheCodePageLacksCharacters) {
  SetAcp("1252");
  clip->formats = {{CF_UNICODETEXT, Unicode(u"a中华b")}};
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"a中華b"));
  EXPECT_EQ(clip->formats[CF_TEXT], std::string("a??b") + '\0');
}

TEST_F(ClipboardConversion, ClipboardWithoutTextIsLeftAlone) {
  clip->formats = {{CF_DIB, std::string("\x28\0\0\0", 4)}};
  EXPECT_FALSE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats.size(), 1u);
  EXPECT_EQ(clip->log, (std::vector<std::string>{"open", "close"}));
}

TEST_F(ClipboardConversion, AnsiOnlyTextIsWidenedWithTheSystemCodePage) {
  SetAcp("936");
  clip->formats = {{CF_TEXT, Gbk(u"中华 头发") + '\0' + "tail"}};
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"中華 頭髮"));
  // 華, 頭 and 髮 are in GBK too: the system code page takes them.
  EXPECT_EQ(clip->formats[CF_TEXT], Gbk(u"中華 頭髮") + '\0');
}

TEST_F(ClipboardConversion, TextEndsAtTheFirstZeroUnitAndLosesASignature) {
  std::string block = Unicode(u"\uFEFF国") + Unicode(u"发");  // zero unit inside
  block += 'x';                                               // odd last byte
  clip->formats = {{CF_UNICODETEXT, block}};
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"國"));
  // A block without any zero unit is taken whole.
  clip->formats = {{CF_UNICODETEXT, Unicode(u"國").substr(0, 2)}};
  EXPECT_TRUE(ConvertClipboard(cdToSim));
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"国"));
  // Empty text is still written back.
  clip->formats = {{CF_UNICODETEXT, Unicode(u"")}, {kHtmlFormat, "x"}};
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats,
            (std::map<UINT, std::string>{{CF_UNICODETEXT, Unicode(u"")}, {CF_TEXT, {'\0'}}}));
}

TEST_F(ClipboardConversion, AClipboardThatCannotBeOpenedKeepsItsText) {
  const std::map<UINT, std::string> original = {{CF_UNICODETEXT, Unicode(u"中华")},
                                                {kHtmlFormat, "<i>x</i>"}};
  for (int failing : {1, 2}) {
    clip->formats = original;
    const int before = clip->Opens();
    clip->failOpen = [=](int n) { return n - before == failing; };
    clip->log.clear();
    try {
      ConvertClipboard(cdToTrad);
      ADD_FAILURE() << "open " << failing << " failed silently";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), CLIPBRD_E_CANT_OPEN);
      EXPECT_STREQ(e.what(), "cannot open the clipboard: the clipboard is held by another program");
    }
    EXPECT_EQ(clip->formats, original) << "open " << failing;
    EXPECT_FALSE(clip->IsOpen());
    clip->failOpen = {};
  }
}

TEST_F(ClipboardConversion, TablesThatFailToLoadLeaveTheTextInPlace) {
  SetResourceOverride("strtbl", RT_RCDATA, std::nullopt);
  ResetTables();
  clip->formats = {{CF_UNICODETEXT, Unicode(u"中华")}};
  EXPECT_THROW(ConvertClipboard(cdToTrad), Error);
  EXPECT_EQ(clip->formats[CF_UNICODETEXT], Unicode(u"中华"));
  EXPECT_FALSE(clip->IsOpen());
}

TEST_F(ClipboardConversion, AFormatWhoseBlockCannotBeAllocatedIsSkipped) {
  clip->formats = {{CF_UNICODETEXT, Unicode(u"中华")}};
  const std::size_t unicodeBlock = Unicode(u"中華").size();
  SetGlobalAllocFailure([&](std::size_t bytes) { return bytes == unicodeBlock; });
  EXPECT_TRUE(ConvertClipboard(cdToTrad));
  EXPECT_EQ(clip->formats.count(CF_UNICODETEXT), 0u);
  EXPECT_EQ(clip->formats[CF_TEXT], Big5(u"中華") + '\0');
}

TEST_F(ClipboardConversion, ARefusedBlockIsAnError) {
  clip->formats = {{CF_UNICODETEXT, Unicode(u"中华")}};
  clip->refuse = {CF_UNICODETEXT};
  try {
    ConvertClipboard(cdToTrad);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), CLIPBRD_E_CANT_SET);
  }
  EXPECT_FALSE(clip->IsOpen());
}

TEST_F(ClipboardConversion, ReadAndWriteOneFormat) {
  clip->formats = {{CF_TEXT, "abc"}};
  TextStream s("x");
  EXPECT_TRUE(ReadClipboardFormat(CF_TEXT, s));
  EXPECT_EQ(s.data, "xabc");  // appended
  EXPECT_FALSE(ReadClipboardFormat(CF_UNICODETEXT, s));
  EXPECT_EQ(s.data, "xabc");

  s.position = 1;
  WriteClipboardFormat(kHtmlFormat, s, 2);  // from the position, at most count
  EXPECT_EQ(clip->formats[kHtmlFormat], "ab");
  WriteClipboardFormat(kHtmlFormat, s, 100);  // what is left
  EXPECT_EQ(clip->formats[kHtmlFormat], "c");
  EXPECT_EQ(clip->formats[CF_TEXT], "abc");  // written without emptying
  EXPECT_FALSE(clip->IsOpen());
}

}  // namespace
}  // namespace quillmer
