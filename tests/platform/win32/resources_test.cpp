#include <gtest/gtest.h>

#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

namespace quillmer {
namespace {

TEST(ModuleResources, FoundByNameAndTypeWithoutRegardToCase) {
  auto builtin = LoadModuleResource("STRTBL", "rcdata");
  ASSERT_TRUE(builtin);
  EXPECT_FALSE(builtin->empty());
  EXPECT_FALSE(LoadModuleResource("strtbl", RT_HTML));
  EXPECT_FALSE(LoadModuleResource("no-such-resource"));

  SetResourceOverride("strtbl", RT_RCDATA, std::string("abc"));
  EXPECT_EQ(*LoadModuleResource("StrTbl"), "abc");
  SetResourceOverride("strtbl", RT_RCDATA, std::nullopt);
  EXPECT_FALSE(LoadModuleResource("strtbl"));
  ClearResourceOverrides();
  EXPECT_EQ(LoadModuleResource("strtbl")->size(), builtin->size());
}

TEST(MessageBoxes, HandlersCaptureAndAnswer) {
  std::vector<MessageBoxCall> seen;
  auto previous = SetMessageBoxHandler([&](const MessageBoxCall& c) {
    seen.push_back(c);
    return IDNO;
  });
  EXPECT_EQ(MessageBox(u"Convert?", u"Quillmer", MB_YESNO | MB_ICONQUESTION), IDNO);
  SetMessageBoxHandler(std::move(previous));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"Convert?");
  EXPECT_EQ(seen[0].flags, MB_YESNO | MB_ICONQUESTION);
  // The terminal takes the default button.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(PrintMessageBox({u"中文", u"Quillmer", MB_YESNO}), IDYES);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Quillmer: 中文\n");
}

}  // namespace
}  // namespace quillmer
