// The string splitter and its flags.
#include "StringSplitterUnit.h"

#include <gtest/gtest.h>

#include "Errors.h"

TEST(StringSplitter, CountAndItem) {
  const TStringDynArray tab = {u"\t"};
  EXPECT_EQ(SplitCount(u"a\tb", tab, DefaultSplitFlags), 2);
  EXPECT_EQ(SplitItem(u"a\tb", tab, 1, DefaultSplitFlags), u"b");
  EXPECT_EQ(SplitCount(u"a\t\tb\t", tab, DefaultSplitFlags), 2);
  EXPECT_EQ(SplitCount(u"a\t\tb\t", tab, {sfWithEmpty}), 4);
  EXPECT_EQ(SplitCount(u"", tab, DefaultSplitFlags), 0);
  EXPECT_EQ(SplitCount(u"", tab, {sfWithEmpty}), 1);
  EXPECT_THROW(SplitItem(u"a\tb", tab, 2, DefaultSplitFlags), EAssertionFailed);
}

TEST(StringSplitter, FlagsMapToStyles) {
  EXPECT_EQ(SplitFlagsToDelimitStyle(TSplitFlags(0)), dsSkipEmpty);
  EXPECT_EQ(SplitFlagsToDelimitStyle(TSplitFlags(1)), dsDelimiterSkipEmpty);
  EXPECT_EQ(SplitFlagsToDelimitStyle(TSplitFlags(2)), dsKeepEmpty);
  EXPECT_EQ(SplitFlagsToDelimitStyle(TSplitFlags(3)), dsDelimiterKeepEmpty);
  try {
    SplitFlagsToDelimitStyle(TSplitFlags(4));
    ADD_FAILURE();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), u"Error SplitFlagsToDelimitStyle (StringSplitterUnit\\StringSplitterUnit, 128 行)");
  }
}

TEST(StringSplitter, SplitterPiecesAndLookup) {
  TStringSplitter s(u"\\\\srv\\x", {u"\\"}, {sfWithEmpty});
  ASSERT_EQ(s.Count(), 4);
  EXPECT_EQ(s.Words(0), u"");
  EXPECT_EQ(s.Words(1), u"");
  EXPECT_EQ(s.Words(2), u"srv");
  EXPECT_EQ(s.Words(3), u"x");
  EXPECT_EQ(s.Words(4), u"");
  EXPECT_EQ(s.Words(-1), u"");
  EXPECT_EQ(s.Sentence(), u"\\\\srv\\x");
  EXPECT_EQ(s.Delimiters(), TStringDynArray{u"\\"});

  TStringSplitter w(u"a,,b", {u","}, {sfWithDelimiters});
  ASSERT_EQ(w.Count(), 4);
  EXPECT_EQ(w.Words(1), u",");
  EXPECT_EQ(w.Words(2), u",");
  EXPECT_EQ(w.Words(3), u"b");

  TStringSplitter c(u"x abc", {u" "});
  EXPECT_EQ(c.IndexOf(u"ABC", true), 1);
  EXPECT_EQ(c.IndexOf(u"ABC", false), -1);
  EXPECT_EQ(c.IndexOf(u"abc", false), 1);
}
