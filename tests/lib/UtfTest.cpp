#include "Utf.h"

#include <gtest/gtest.h>


TEST(Utf, RoundTripAndRejects) {
  const std::string text = "a\r\n日本語 \xF0\x9F\x98\x80 end of a longer ascii run";
  auto u = Utf8ToUtf16(text);
  ASSERT_TRUE(u);
  EXPECT_EQ(*u, u"a\r\n日本語 \U0001F600 end of a longer ascii run");
  EXPECT_EQ(Utf16ToUtf8(*u), text);
  size_t bad = 0;
  for (std::string s : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81", "\x80", "ok\xFF"}) {
    EXPECT_FALSE(Utf8ToUtf16(s, &bad)) << s;
  }
  EXPECT_FALSE(Utf8ToUtf16("abcdefghij\xFF", &bad));
  EXPECT_EQ(bad, 10u);
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
  EXPECT_EQ(Utf16ToUtf8Lossy(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}
