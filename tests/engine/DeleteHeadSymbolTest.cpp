// Head-symbol deletion against tables and a model.
#include "HeadSymbolDeletion.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>

#include "Notation.h"
#include "RandomText.h"
#include "StrRecListUnit.h"

namespace {

// A symbol list as the command holds it: one entry per line with its break.
void SetEntries(TCommonStringRecordList& list, std::initializer_list<std::u16string_view> symbols) {
  list.Clear();
  for (auto s : symbols) list.Add(N(s) + u"\t見出し\r\n");
}

std::u16string Entry(std::u16string_view symbol) { return N(symbol) + u"\tcaption\r\n"; }

std::u16string FromLine(std::u16string_view line, std::u16string_view symbol) {
  return DeleteHeadSymbolFromLine(N(line), Entry(symbol));
}

// "全て削除" as literally defined: passes until the result equals the input.
std::u16string RepeatOnce(std::u16string text, const TCommonStringRecordList& entries) {
  for (;;) {
    std::u16string next = DeleteHeadSymbolsOnce(text, entries);
    if (next == text) return next;
    text = std::move(next);
  }
}

}  // namespace

TEST(DeleteHeadSymbol, FromLine) {
  EXPECT_EQ(FromLine(u">␣␣␣␣foo¶", u">␣"), N(u"␣␣␣foo¶"));  // inserted before the indentation
  EXPECT_EQ(FromLine(u"␣␣>␣foo¶", u">␣"), N(u"␣␣foo¶"));   // after it: the indentation stays
  EXPECT_EQ(FromLine(u"␣␣>foo¶", u">␣"), N(u"␣␣foo¶"));    // trimmed form
  EXPECT_EQ(FromLine(u"␣␣//␣x¶", u"␣//"), N(u"␣␣␣x¶"));    // leading blank: only the trimmed form matches
  EXPECT_EQ(FromLine(u"␣␣x¶", u"␣␣"), N(u"␣␣x¶"));         // whitespace-only symbols never match
  EXPECT_EQ(FromLine(u"→x¶", u"→"), N(u"→x¶"));
  EXPECT_EQ(FromLine(u"rem␣x¶", u"REM␣"), N(u"rem␣x¶"));   // case-sensitive
  EXPECT_EQ(FromLine(u"a␣>␣x¶", u">␣"), N(u"a␣>␣x¶"));     // not right after the indentation
  EXPECT_EQ(FromLine(u"␣␣¶", u">␣"), N(u"␣␣¶"));           // blank line
  EXPECT_EQ(FromLine(u"␣/¶", u"//"), N(u"␣/¶"));           // too short for either form
  EXPECT_EQ(FromLine(u">", u">␣"), u"");                   // last line, trimmed form fits
  EXPECT_EQ(FromLine(u">¶", u">␣"), N(u"¶"));              // the break stays
  EXPECT_EQ(FromLine(u"□>␣x", u">␣"), N(u"□x"));           // ideographic space is indentation
  EXPECT_EQ(FromLine(u">␣>␣x", u">␣"), N(u">␣x"));         // one occurrence per call
  EXPECT_EQ(FromLine(u"□>□x", u"□>□"), N(u"□>□x"));        // □ is not trimmed: neither form fits at P
  EXPECT_EQ(FromLine(u"", u">"), u"");
  // A symbol that would reach into the break does not match as a whole (its
  // trimmed form still may): breaks are never touched.
  EXPECT_EQ(DeleteHeadSymbolFromLine(u"x\r\n", u"x\r\tc"), u"\r\n");
  EXPECT_EQ(DeleteHeadSymbolFromLine(u"x\r", u"x\r\tc"), u"\r");
  EXPECT_EQ(DeleteHeadSymbolFromLine(u"\x01\n", u"\x01\n\tc"), u"\x01\n");
  // An entry without any field removes nothing and raises nothing.
  EXPECT_EQ(DeleteHeadSymbolFromLine(u">x", u""), u">x");
  EXPECT_EQ(DeleteHeadSymbolFromLine(u">x", u"\t\t"), u">x");
  // NUL and lone surrogates are ordinary characters.
  EXPECT_EQ(DeleteHeadSymbolFromLine(std::u16string{u' ', u'\0', u'\xD800', u'z'}, std::u16string{u'\0', u'\t', u'c'}),
            (std::u16string{u' ', u'\xD800', u'z'}));
}

TEST(DeleteHeadSymbol, TextsAndLists) {
  EXPECT_EQ(DeleteSpecifiedHeadSymbol(N(u">␣a¶␣␣>␣b\n>c\r>␣"), Entry(u">␣")), N(u"a¶␣␣b\nc\r"));
  EXPECT_EQ(DeleteSpecifiedHeadSymbol(N(u">␣>␣a¶"), Entry(u">␣")), N(u">␣a¶"));
  EXPECT_EQ(DeleteSpecifiedHeadSymbol(N(u">␣a¶"), u"no fields? \r\n"), N(u">␣a¶"));

  TCommonStringRecordList list;
  SetEntries(list, {u">␣", u"#␣"});
  EXPECT_EQ(DeleteHeadSymbolsOnce(N(u">␣#␣x¶"), list), N(u"x¶"));
  EXPECT_EQ(DeleteHeadSymbolsOnce(N(u"#␣>␣x¶"), list), N(u">␣x¶"));
  EXPECT_EQ(DeleteHeadSymbolsAll(N(u"#␣>␣x¶"), list), N(u"x¶"));
  // The indentation uncovered by a removal is skipped before the next entry.
  EXPECT_EQ(DeleteHeadSymbolsOnce(N(u"␣>␣␣#␣x¶"), list), N(u"␣␣x¶"));
  EXPECT_EQ(DeleteHeadSymbolsOnce(N(u"␣>␣→#x¶"), list), N(u"␣→x¶"));

  SetEntries(list, {u">␣"});
  EXPECT_EQ(DeleteHeadSymbolsOnce(N(u">␣>␣>␣x¶"), list), N(u">␣>␣x¶"));
  EXPECT_EQ(DeleteHeadSymbolsAll(N(u">␣>␣>␣x¶"), list), N(u"x¶"));
  EXPECT_EQ(DeleteHeadSymbolsAll(N(u">>>␣>x¶>␣y\r\n\n"), list), N(u"x¶y\r\n\n"));

  // Empty texts and empty lists.
  EXPECT_EQ(DeleteSpecifiedHeadSymbol(u"", Entry(u">")), u"");
  EXPECT_EQ(DeleteHeadSymbolsOnce(u"", list), u"");
  EXPECT_EQ(DeleteHeadSymbolsAll(u"", list), u"");
  TCommonStringRecordList empty;
  EXPECT_EQ(DeleteHeadSymbolsAll(N(u">␣x¶"), empty), N(u">␣x¶"));
}

TEST(DeleteHeadSymbol, PropertiesOnGeneratedTexts) {
  std::mt19937 rng(77);
  const std::u16string symbols[] = {u"> ", u">", u"//", u"# ", u"\u3042 ", std::u16string{u'\0', u'!'}};
  TCommonStringRecordList list;
  SetEntries(list, {u">␣", u"#", u"//␣", u"␣>"});
  for (int round = 0; round < 400; ++round) {
    const std::u16string text = RandomText(rng, 40);
    // Deleting what ipLineHead/tlAll inserted gives the text back.
    const std::u16string& symbol = symbols[round % 6];
    const std::u16string inserted = InsertHeadSymbol(text, symbol, ipLineHead, tlAll);
    ASSERT_EQ(DeleteSpecifiedHeadSymbol(inserted, symbol + u"\tcaption"), text) << "round " << round;
    // The per-line fixed point equals whole-text passes until no change.
    ASSERT_EQ(DeleteHeadSymbolsAll(text, list), RepeatOnce(text, list)) << "round " << round;
    ASSERT_EQ(DeleteHeadSymbolsAll(inserted, list), RepeatOnce(inserted, list)) << "round " << round;
  }
}
