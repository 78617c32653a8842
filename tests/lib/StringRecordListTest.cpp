// The string list: lines that keep their breaks, splitting styles.
#include "StringRecordList.h"

#include <gtest/gtest.h>

#include "Errors.h"
#include "StringSplitterUnit.h"

namespace {
using Items = std::vector<std::u16string>;

Items ItemsOf(const TRecordList& l) {
  Items v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Items(i));
  return v;
}

Items SplitWith(std::u16string_view s, const TStringDynArray& delims, TDelimitStyle style) {
  TStringRecordListAccess l;
  l.Split(s, delims, style);
  return ItemsOf(l);
}
}  // namespace

TEST(StringRecordList, TextCutsLinesKeepingBreaks) {
  struct Case {
    std::u16string text;
    Items items;
  } cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\nb", {u"a\r\n", u"b"}},
      {u"a\n", {u"a\n"}},
      {u"a\n\nb", {u"a\n", u"\n", u"b"}},
      {u"\r\r\n", {u"\r", u"\r\n"}},
      {u"\n\r", {u"\n", u"\r"}},
      {u"x\ny\rz\r\n", {u"x\n", u"y\r", u"z\r\n"}},
  };
  for (const auto& c : cases) {
    TCommonStringRecordList l;
    l.SetText(c.text);
    EXPECT_EQ(ItemsOf(l), c.items);
    EXPECT_EQ(l.Text(), c.text);
    // The direct scan gives the pieces of the general split.
    EXPECT_EQ(SplitWith(c.text, LineBreakDelimiters(), dsAttachDelimiter), c.items);
  }
}

TEST(StringRecordList, SplitStyles) {
  const TStringDynArray comma = {u","};
  EXPECT_EQ(SplitWith(u"a,,b,", comma, dsAttachDelimiter), (Items{u"a,", u",", u"b,"}));
  EXPECT_EQ(SplitWith(u"a,,b,", comma, dsKeepEmpty), (Items{u"a", u"", u"b", u""}));
  EXPECT_EQ(SplitWith(u"a,,b,", comma, dsSkipEmpty), (Items{u"a", u"b"}));
  EXPECT_EQ(SplitWith(u"a,,b,", comma, dsDelimiterKeepEmpty), (Items{u"a", u",", u"", u",", u"b", u",", u""}));
  EXPECT_EQ(SplitWith(u"a,,b,", comma, dsDelimiterSkipEmpty), (Items{u"a", u",", u",", u"b", u","}));
  EXPECT_EQ(SplitWith(u"", comma, dsAttachDelimiter), Items{});
  EXPECT_EQ(SplitWith(u"", comma, dsSkipEmpty), Items{});
  EXPECT_EQ(SplitWith(u"", comma, dsDelimiterSkipEmpty), Items{});
  EXPECT_EQ(SplitWith(u"", comma, dsDelimiterKeepEmpty), Items{u""});
  // The first matching delimiter wins; empty delimiters never match.
  EXPECT_EQ(SplitWith(u"a,b;d", {u",", u",b"}, dsKeepEmpty), (Items{u"a", u"b;d"}));
  EXPECT_EQ(SplitWith(u"a,b", {u"", u","}, dsKeepEmpty), (Items{u"a", u"b"}));
}

TEST(StringRecordList, DelimitedText) {
  TCommonStringRecordList l;
  l.SetDelimitedText(u"", {u","});
  EXPECT_EQ(ItemsOf(l), Items{u""});
  l.SetDelimitedText(u",", {u","});
  EXPECT_EQ(ItemsOf(l), (Items{u"", u""}));
  l.SetDelimitedText(u"a,,b,", {u","});
  EXPECT_EQ(l.GetDelimitedText(u","), u"a,,b,");
  EXPECT_EQ(l.GetDelimitedText(u""), u"ab");
  TCommonStringRecordList xy;
  xy.Add(u"x");
  xy.Add(u"y");
  EXPECT_EQ(xy.Text(), u"xy");
}

TEST(StringRecordList, ItemsCountAndErrors) {
  TCommonStringRecordList l;
  l.Add(u"abc");
  EXPECT_EQ(l.IndexOf(u"ABC"), -1);
  EXPECT_EQ(l.IndexOf(u"abc"), 0);
  l.SetCount(3);
  EXPECT_EQ(ItemsOf(l), (Items{u"abc", u"", u""}));
  l.SetCount(1);
  EXPECT_EQ(ItemsOf(l), Items{u"abc"});
  l.SetItems(0, u"z");
  l.Insert(0, u"y");
  l.Insert(2, u"w");
  EXPECT_EQ(ItemsOf(l), (Items{u"y", u"z", u"w"}));
  l.Move(0, 2);
  l.Exchange(0, 1);
  EXPECT_EQ(ItemsOf(l), (Items{u"w", u"z", u"y"}));
  const std::u16string listError = u"Listエラー (ListClone\\ListClone, 127 行)";
  for (auto f : std::vector<std::function<void()>>{[&] { l.Items(3); }, [&] { l.Delete(-1); },
                                                    [&] { l.Insert(4, u"q"); }, [&] { l.SetItems(3, u"q"); },
                                                    [&] { l.SetCount(-1); }}) {
    try {
      f();
      ADD_FAILURE() << "no error";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Message(), listError);
    }
  }
  EXPECT_EQ(ItemsOf(l), (Items{u"w", u"z", u"y"}));
  TCommonStringRecordList copy;
  copy.Assign(&l);
  copy.Assign(nullptr);
  EXPECT_EQ(ItemsOf(copy), ItemsOf(l));
}
