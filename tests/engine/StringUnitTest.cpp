// Tab expansion, code page 932 widths and trimming.
#include "StringUnit.h"

#include <gtest/gtest.h>

#include <string>

#include "Notation.h"

TEST(StringUnit, ExpandTabsMeasuresCodePage932Columns) {
  EXPECT_EQ(ExpandTabs(N(u"□→"), 4), N(u"□␣␣"));  // □ is two columns
  EXPECT_EQ(ExpandTabs(N(u"␣→"), 4), N(u"␣␣␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"→␣→"), 4), N(u"␣␣␣␣␣␣␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"あ→"), 4), N(u"あ␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"ｱ→"), 4), N(u"ｱ␣␣␣"));  // half-width katakana: one byte
  EXPECT_EQ(ExpandTabs(N(u"ab→c→"), 4), N(u"ab␣␣c␣␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"abcd→"), 4), N(u"abcd␣␣␣␣"));  // a full tab at a tab stop
  EXPECT_EQ(ExpandTabs(N(u"a→"), 8), N(u"a␣␣␣␣␣␣␣"));
  EXPECT_EQ(ExpandTabs(u"", 4), u"");
  EXPECT_EQ(ExpandTabs(u"abc", 4), u"abc");
  // Characters without a code page 932 form count one byte (the default char).
  EXPECT_EQ(ExpandTabs(N(u"\u00e9→"), 4), N(u"\u00e9␣␣␣"));
  // Widths are those of the Windows conversion: best-fit look-alikes count
  // their two bytes (« is written as ≪), and the JIS forms that code page 932
  // does not map (wave dash, minus sign, double vertical line) one byte.
  EXPECT_EQ(ExpandTabs(N(u"«→"), 4), N(u"«␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"\u00b7→"), 4), N(u"\u00b7␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"〜→"), 4), N(u"〜␣␣␣"));
  EXPECT_EQ(ExpandTabs(N(u"\u2212→"), 4), N(u"\u2212␣␣␣"));
  // NUL and lone surrogates pass through and count one column each.
  const std::u16string odd{u'\0', u'\xD800', u'\t', u'\xDC00'};
  EXPECT_EQ(ExpandTabs(odd, 4), (std::u16string{u'\0', u'\xD800', u' ', u' ', u'\xDC00'}));
  // A tab width below 1 leaves the tabs alone instead of dividing by zero.
  EXPECT_EQ(ExpandTabs(N(u"a→b"), 0), N(u"a→b"));
  EXPECT_EQ(ExpandTabs(N(u"a→b"), -3), N(u"a→b"));
}

TEST(StringUnit, Cp932Widths) {
  EXPECT_EQ(Cp932CharWidth(u'A'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\0'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\u0080'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\u3000'), 2);
  EXPECT_EQ(Cp932CharWidth(u'あ'), 2);
  EXPECT_EQ(Cp932CharWidth(u'漢'), 2);
  EXPECT_EQ(Cp932CharWidth(u'ｱ'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\uff5e'), 2);  // fullwidth tilde
  EXPECT_EQ(Cp932CharWidth(u'\u2460'), 2);  // circled one (NEC extension)
  EXPECT_EQ(Cp932CharWidth(u'\ue000'), 2);  // user-defined area
  EXPECT_EQ(Cp932CharWidth(u'\u00a5'), 1);  // no double-byte form
  EXPECT_EQ(Cp932CharWidth(u'\u00e9'), 1);
  for (char16_t c : std::u16string_view(u"\u00ab\u00af\u00b5\u00b7\u00b8\u00bb")) EXPECT_EQ(Cp932CharWidth(c), 2) << int(c);
  for (char16_t c : std::u16string_view(u"\u2016\u2212\u301c")) EXPECT_EQ(Cp932CharWidth(c), 1) << int(c);
  EXPECT_EQ(Cp932CharWidth(u'\xD800'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\xDFFF'), 1);
  EXPECT_EQ(Cp932CharWidth(u'\uffff'), 1);
}

TEST(StringUnit, IndentAndTrim) {
  EXPECT_TRUE(IsIndentChar(u' '));
  EXPECT_TRUE(IsIndentChar(u'\t'));
  EXPECT_TRUE(IsIndentChar(u'\u3000'));
  EXPECT_FALSE(IsIndentChar(u'\u00a0'));
  EXPECT_FALSE(IsIndentChar(u'\u2003'));
  EXPECT_FALSE(IsIndentChar(u'\r'));
  EXPECT_FALSE(IsIndentChar(u'\n'));

  EXPECT_EQ(TrimView(N(u"␣→\x01>␣\r\n")), u">");
  EXPECT_EQ(TrimRightView(N(u"␣a␣→¶")), N(u"␣a"));
  EXPECT_EQ(TrimView(N(u"□a□")), N(u"□a□"));  // ideographic space stays
  EXPECT_EQ(TrimView(N(u"␣→¶")), u"");
  EXPECT_EQ(TrimView(u""), u"");
  EXPECT_EQ(TrimRightView(std::u16string{u'a', u'\0'}), u"a");  // NUL is below U+0020
}
