// Symbol entries: validity, symbol, caption and escapes.
#include "SymbolEntryUnit.h"

#include <gtest/gtest.h>

#include "Notation.h"

TEST(SymbolEntry, ValidityAndFields) {
  EXPECT_TRUE(IsValidEntry(N(u">␣→引用¶")));
  EXPECT_EQ(SymbolOfEntry(N(u">␣→引用¶")), N(u">␣"));
  EXPECT_EQ(CaptionOfEntry(N(u">␣→引用¶")), u"引用");

  EXPECT_FALSE(IsValidEntry(N(u">␣¶")));
  EXPECT_FALSE(IsValidEntry(N(u"x→y→z¶")));
  EXPECT_FALSE(IsValidEntry(N(u"¶")));
  EXPECT_FALSE(IsValidEntry(u""));

  EXPECT_TRUE(IsValidEntry(N(u"→>␣→→引用¶")));
  EXPECT_EQ(SymbolOfEntry(N(u"→>␣→→引用¶")), N(u">␣"));
  EXPECT_EQ(CaptionOfEntry(N(u"→>␣→→引用¶")), u"引用");

  EXPECT_FALSE(IsValidEntry(N(u">␣→引用→¶")));  // the break becomes a third field
  EXPECT_TRUE(IsValidEntry(N(u">␣→引用→")));
  EXPECT_EQ(CaptionOfEntry(N(u">␣→引用→")), u"引用");

  EXPECT_TRUE(IsValidEntry(N(u">␣→¶")));  // empty caption
  EXPECT_EQ(CaptionOfEntry(N(u">␣→¶")), u"");
  EXPECT_FALSE(IsValidEntry(N(u">␣→")));

  EXPECT_EQ(CaptionOfEntry(N(u">␣→引用␣␣¶")), u"引用");
  EXPECT_EQ(CaptionOfEntry(N(u">␣→␣引用\r")), N(u"␣引用"));  // leading spaces stay

  // Escapes are decoded in captions only, after the trimming.
  EXPECT_EQ(CaptionOfEntry(N(u">→引用\\t>¶")), u"引用\t>");
  EXPECT_EQ(CaptionOfEntry(N(u">→a\\n␣¶")), u"a\n");
  EXPECT_EQ(SymbolOfEntry(N(u"\\t→x¶")), u"\\t");

  // Entries without the field asked for give an empty string, not an error.
  EXPECT_EQ(SymbolOfEntry(u""), u"");
  EXPECT_EQ(SymbolOfEntry(u"\t\t"), u"");
  EXPECT_EQ(CaptionOfEntry(N(u">␣¶")), u"");
  EXPECT_EQ(SymbolOfEntry(N(u">␣¶")), N(u">␣¶"));  // first field of an invalid entry, verbatim
}

TEST(SymbolEntry, DecodeEscapes) {
  EXPECT_EQ(DecodeEscapes(u"a\\rb"), u"a\rb");
  EXPECT_EQ(DecodeEscapes(u"a\\Rb"), u"a\rb");
  EXPECT_EQ(DecodeEscapes(u"\\n\\N"), u"\n\n");
  EXPECT_EQ(DecodeEscapes(u"\\t\\T"), u"\t\t");
  EXPECT_EQ(DecodeEscapes(u"\\\\"), u"\\");
  EXPECT_EQ(DecodeEscapes(u"\\\\n"), u"\\n");  // replaced text is not read again
  EXPECT_EQ(DecodeEscapes(u"a\\b"), u"ab");
  EXPECT_EQ(DecodeEscapes(u"a\\"), u"a");
  EXPECT_EQ(DecodeEscapes(u"\\\\\\"), u"\\");
  EXPECT_EQ(DecodeEscapes(u"\\\\\\t"), u"\\\t");
  EXPECT_EQ(DecodeEscapes(u"\\&x"), u"&x");
  EXPECT_EQ(DecodeEscapes(u"\\ｔ"), u"ｔ");  // only ASCII letters fold
  EXPECT_EQ(DecodeEscapes(u""), u"");
  EXPECT_EQ(DecodeEscapes(std::u16string{u'\\', u'\0', u'\xD800'}), (std::u16string{u'\0', u'\xD800'}));
}
