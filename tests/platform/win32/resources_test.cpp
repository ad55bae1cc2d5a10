#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

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

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The toolbar picks its 16 button images by these names; each must be a
// 16 x 16 PNG that can be drawn transparently.
TEST(ModuleResources, ToolbarImagesAreSixteenTransparentPngs) {
  constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
  for (int i = 0; i < 16; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "toolbar_%02d", i);
    SCOPED_TRACE(name);
    auto png = LoadModuleResource(name, RT_RCDATA);
    ASSERT_TRUE(png);
    // Signature, then IHDR as the first chunk: length 13, width, height,
    // bit depth, colour type.
    ASSERT_GE(png->size(), 8u + 8u + 13u + 4u);
    EXPECT_EQ(png->substr(0, 8), kSignature);
    EXPECT_EQ(BigEndian32(*png, 8), 13u);
    EXPECT_EQ(png->substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(*png, 16), 16u) << "width";
    EXPECT_EQ(BigEndian32(*png, 20), 16u) << "height";
    int colour_type = static_cast<unsigned char>((*png)[25]);
    EXPECT_TRUE(colour_type == 4 || colour_type == 6) << "no alpha channel: colour type " << colour_type;
  }
  EXPECT_FALSE(LoadModuleResource("toolbar_16", RT_RCDATA));
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
