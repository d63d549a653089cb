#include "platform/wide_string.h"

#include <gtest/gtest.h>

using namespace mivora::platform;

TEST(WideString, RoundTripsAsciiAccentsAndSurrogatePairs) {
  const std::u16string text = u"movie \u00e9t\u00e9 \u4e2d \U0001F3AC.avi";
  EXPECT_EQ(ToUtf8(text), "movie \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x8E\xAC.avi");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(WideLength(text.c_str()), text.size());
  EXPECT_EQ(WideLength(nullptr), 0u);
}

TEST(WideString, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("a\xFF"
                     "b"),
            u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xE4\xB8"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
