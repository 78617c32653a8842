// Tab expansion, code page 932 widths and trimming.
#include "StringUnit.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "LineScan.h"
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

TEST(StringUnit, LineScanCutsLikeLineEndAt) {
  // Texts of every length around the eight-character blocks, with breaks
  // placed at block edges and a CR LF split across two blocks.
  std::mt19937 rng(5);
  const char16_t pool[] = {u'a', u'\r', u'\n', u'\u0d0a', u'\u0a0d', u'\xD800', u'\0', u'\t'};
  for (int round = 0; round < 3000; ++round) {
    std::u16string s(static_cast<size_t>(round % 41), u'x');
    for (char16_t& c : s) c = pool[rng() % 8];
    size_t lines = 0;
    for (size_t start = 0; start < s.size(); ++lines) {
      ASSERT_EQ(FindLineEnd(s, start), LineEndAt(s, start)) << round;
      start = LineEndAt(s, start);
    }
    ASSERT_EQ(CountLines(s), lines) << round;
  }
  // Long enough for the per-lane counters to be added up several times.
  std::u16string longText;
  while (longText.size() < 200000) longText += u"ab\r\ncd\re\n\n";
  size_t longLines = 0;
  ForEachLine(longText, [&](std::u16string_view) { ++longLines; });
  EXPECT_EQ(CountLines(longText), longLines);
  EXPECT_EQ(CountLines(u""), 0u);
  EXPECT_EQ(CountLines(u"abcdefg\r\nh"), 2u);
  EXPECT_EQ(CountLines(u"abcdefgh\r\n"), 1u);
  EXPECT_EQ(CountLines(u"\n\r\r\n\r"), 4u);
}

TEST(StringUnit, LineScanOfBytesMatchesUnits) {
  // UTF-8 bytes cut and counted as their UTF-16 units are: lengths around
  // the sixteen-byte blocks, bytes that differ from CR or LF in the high bit
  // only, and runs of breaks long enough for a lane to reach its limit.
  std::mt19937 rng(11);
  const char pool[] = {'a', '\r', '\n', '\x8A', '\x8D', '\xE3', '\0', '\t'};
  std::vector<std::string> texts = {"", "\r", "\n", "\r\n", "a\r", std::string(20000, '\n'), std::string(20000, '\r'),
                                    std::string(4081, '\r') + "\n"};
  for (int round = 0; round < 3000; ++round) {
    std::string s(static_cast<size_t>(round % 81), 'x');
    for (char& c : s) c = pool[rng() % 8];
    texts.push_back(s);
  }
  for (const std::string& s : texts) {
    const std::u16string units(s.begin(), s.end());  // one unit per byte
    size_t breaks = 0;
    for (size_t start = 0; start < s.size();) {
      const size_t end = LineEndAt(units, start);
      ASSERT_EQ(FindLineEnd(std::string_view(s), start), end) << s.size();
      breaks += BreakLength(std::u16string_view(units).substr(start, end - start)) != 0;
      start = end;
    }
    ASSERT_EQ(CountBreaks(std::string_view(s)), breaks) << s.size();
    ASSERT_EQ(CountBreaks(std::u16string_view(units)), breaks) << s.size();
  }
}
