#include <gtest/gtest.h>

#include "engine/detect.h"
#include "platform/dialogs.h"
using namespace quillmer;
TEST(Smoke, ConvertsStandIn) {
  std::u16string out;
  ConvertWideText(u"中华人民共和国头发", cdToTrad, 5, out, false);
  EXPECT_EQ(ToUtf8(out), "中華人民共和國頭髮");
}
