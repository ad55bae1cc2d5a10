#include "page/context_menu.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_REGISTRY", (dir_ / "registry").c_str(), 1);
    ::setenv("QUILLMER_ACP", "1252", 1);
  }
  void TearDown() override {
    SetRegistryFaultHook({});
    ::unsetenv("QUILLMER_REGISTRY");
    ::unsetenv("QUILLMER_ACP");
  }
  std::string Caption(int n) const {
    std::string c = "unchanged";
    GetMenuCaption(n, c, uiCodePage);
    return c;
  }
  static std::string Value(const std::string& caption, const std::string& name) {
    RegKey k;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, std::string(kMenuExtKey) + caption, 0, KEY_READ, k.put()) !=
        ERROR_SUCCESS)
      return "<no key>";
    std::string data;
    DWORD type = 0;
    RegQueryValueEx(k.get(), name, &type, &data);
    return std::to_string(type) + ":" + data;
  }

  UINT uiCodePage = 1252;
  testing::TempDir dir_;
};

TEST_F(ContextMenuTest, CaptionsFollowTheInterfaceLanguage) {
  EXPECT_EQ("Display:  Traditional Chinese", Caption(1));
  EXPECT_EQ("Clipboard: Trad > Simp Chinese", Caption(4));
  EXPECT_EQ("unchanged", Caption(0));
  EXPECT_EQ("unchanged", Caption(5));
  uiCodePage = 936;
  EXPECT_EQ(EncodeCodePage(936, u"网页:  [简体] 显示"), Caption(2));
  uiCodePage = 54936;
  EXPECT_EQ(EncodeCodePage(936, u"剪贴板文字:  简 > 繁"), Caption(3));
  uiCodePage = 950;
  EXPECT_EQ(EncodeCodePage(950, u"剪貼簿文字:  繁 > 簡"), Caption(4));
}

TEST_F(ContextMenuTest, AnEntryIsWrittenWithItsPageContextAndFlagsAndDeletedOnce) {
  RegisterMenuExt("Display:  Traditional Chinese", "res:///m/Q.so/RT_HTML/PageToTrad", 1, 0);
  EXPECT_EQ(std::string("1:res:///m/Q.so/RT_HTML/PageToTrad") + '\0',
            Value("Display:  Traditional Chinese", ""));
  EXPECT_EQ(std::string("3:\x01\0\0\0", 6), Value("Display:  Traditional Chinese", "Context"));
  EXPECT_EQ(std::string("3:\0\0\0\0", 6), Value("Display:  Traditional Chinese", "Flags"));
  EXPECT_TRUE(UnregisterMenuExt("display:  traditional chinese"));
  EXPECT_EQ("<no key>", Value("Display:  Traditional Chinese", ""));
  EXPECT_FALSE(UnregisterMenuExt("Display:  Traditional Chinese"));
}

TEST_F(ContextMenuTest, ACaptionNamesOneKeyUnderMenuExtAndNothingElse) {
  RegisterMenuExt("Other", "res:///m/Q.so/x", 1, 0);
  EXPECT_FALSE(UnregisterMenuExt(""));
  EXPECT_FALSE(UnregisterMenuExt("\\"));
  EXPECT_THROW(RegisterMenuExt("a\\b", "u", 1, 0), Error);
  EXPECT_NE("<no key>", Value("Other", ""));
}

TEST_F(ContextMenuTest, ARegistryThatWillNotTakeTheEntryRaises) {
  SetRegistryFaultHook([](RegOp op, std::string_view) {
    return op == RegOp::Write ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  });
  EXPECT_THROW(RegisterMenuExt("Display:  Simplified Chinese", "u", 1, 0), Error);
}

}  // namespace
}  // namespace quillmer
