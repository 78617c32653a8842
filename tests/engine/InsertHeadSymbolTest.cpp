// Head-symbol insertion against tables and a model.
#include "StrRecListUnit.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <vector>

#include "IndentKernel.h"
#include "LineBreaks.h"
#include "Notation.h"
#include "RandomText.h"
#include "StringRecordList.h"
#include "StringUnit.h"
#include "Utf.h"

namespace {

std::u16string Ins(std::u16string_view text, std::u16string_view symbol, TInsertPosition p, TTargetLines t) {
  return InsertHeadSymbol(N(text), N(symbol), p, t);
}

// The insertion written step by step over a line list, to check the
// single-pass implementation against.
std::u16string ReferenceInsert(std::u16string_view text, std::u16string_view symbol, TInsertPosition position,
                               TTargetLines target) {
  if (text.empty()) return std::u16string(symbol);
  TCommonStringRecordList list;
  list.SetText(text);
  const int32_t n = list.Count();
  std::vector<std::u16string> indent(n), rest(n);
  std::vector<bool> blank(n);
  std::u16string all;
  for (int32_t i = 0; i < n; ++i) {
    const std::u16string& line = list.Item(i);
    size_t k = 0;
    while (k < line.size() && IsIndentChar(line[k])) ++k;
    indent[i] = line.substr(0, k);
    rest[i] = line.substr(k);
    blank[i] = rest[i].empty() || rest[i] == u"\r\n" || rest[i] == u"\r" || rest[i] == u"\n";
    all += indent[i];
  }
  bool rewrite = true;
  for (char16_t kind : {u' ', u'\u3000', u'\t'}) {
    if (!all.empty() && all.find_first_not_of(kind) == std::u16string::npos) rewrite = false;
  }
  if (rewrite) {
    for (auto& s : indent) {
      std::u16string e = ExpandTabs(s, 4), r;
      for (char16_t c : e) r += c == u'\u3000' ? std::u16string(u"  ") : std::u16string(1, c);
      s = r;
    }
  }
  size_t least = SIZE_MAX;
  std::u16string leastString;
  for (int32_t i = 0; i < n; ++i) {
    if (!blank[i] && indent[i].size() < least) {
      least = indent[i].size();
      leastString = indent[i];
    }
  }
  if (least == SIZE_MAX) least = 0;
  std::u16string result;
  bool afterBlank = true;
  for (int32_t i = 0; i < n; ++i) {
    bool chosen = false;
    if (target == tlAll) chosen = true;
    if (target == tlNonBlank) chosen = !blank[i];
    if (target == tlLeastIndent) chosen = !blank[i] && indent[i].size() == least;
    if (target == tlAfterBlank) {
      if (blank[i]) {
        afterBlank = true;
      } else {
        chosen = afterBlank;
        afterBlank = false;
      }
    }
    const std::u16string& line = list.Item(i);
    if (!chosen) {
      result += line;
    } else if (position == ipLineHead) {
      result += std::u16string(symbol) + line;
    } else if (least <= indent[i].size()) {
      result += indent[i].substr(0, least) + std::u16string(symbol) + indent[i].substr(least) + rest[i];
    } else {
      result += leastString + std::u16string(symbol) + rest[i];
    }
  }
  return result;
}

}  // namespace

TEST(InsertHeadSymbol, WorkedExampleMixedIndentation) {
  const std::u16string text = u"→foo¶␣␣bar¶␣¶□baz";
  EXPECT_EQ(Ins(text, u">␣", ipLineHead, tlAll), N(u">␣→foo¶>␣␣␣bar¶>␣␣¶>␣□baz"));
  EXPECT_EQ(Ins(text, u">␣", ipFirstChar, tlAll), N(u"␣␣>␣␣␣foo¶␣␣>␣bar¶␣␣>␣¶␣␣>␣baz"));
  EXPECT_EQ(Ins(text, u">␣", ipFirstChar, tlNonBlank), N(u"␣␣>␣␣␣foo¶␣␣>␣bar¶␣¶␣␣>␣baz"));
  EXPECT_EQ(Ins(text, u">␣", ipFirstChar, tlLeastIndent), N(u"→foo¶␣␣>␣bar¶␣¶␣␣>␣baz"));
  EXPECT_EQ(Ins(text, u">␣", ipFirstChar, tlAfterBlank), N(u"␣␣>␣␣␣foo¶␣␣bar¶␣¶␣␣>␣baz"));
}

TEST(InsertHeadSymbol, WorkedExampleTabsOnly) {
  EXPECT_EQ(Ins(u"→→a¶→b¶", u"//␣", ipFirstChar, tlAll), N(u"→//␣→a¶→//␣b¶"));
  EXPECT_EQ(Ins(u"→→a¶→b¶␣␣¶", u"//␣", ipFirstChar, tlAll), N(u"␣␣␣␣//␣␣␣␣␣a¶␣␣␣␣//␣b¶␣␣␣␣//␣¶"));
}

TEST(InsertHeadSymbol, EdgeCases) {
  // Empty text: the symbol alone, whatever position and target.
  for (auto p : {ipLineHead, ipFirstChar})
    for (auto t : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) EXPECT_EQ(Ins(u"", u">␣", p, t), N(u">␣"));

  // No extra line after a final break; a last line without one stays without.
  EXPECT_EQ(Ins(u"a¶b¶", u">␣", ipLineHead, tlAll), N(u">␣a¶>␣b¶"));
  EXPECT_EQ(Ins(u"a¶b", u">␣", ipLineHead, tlAll), N(u">␣a¶>␣b"));
  // Mixed breaks survive; LF CR is two breaks, the lone CR a blank line.
  EXPECT_EQ(Ins(u"x\ny\rz¶", u">", ipLineHead, tlAll), u">x\n>y\r>z\r\n");
  EXPECT_EQ(Ins(u"x\n\ry", u">", ipLineHead, tlAll), u">x\n>\r>y");
  EXPECT_EQ(Ins(u"x\n\ry", u">", ipLineHead, tlNonBlank), u">x\n\r>y");

  // Blank lines: indentation and a break only.
  EXPECT_EQ(Ins(u"␣→□¶a¶", u">", ipLineHead, tlNonBlank), N(u"␣→□¶>a¶"));
  EXPECT_EQ(Ins(u"␣.¶a¶", u">", ipLineHead, tlNonBlank), N(u">␣.¶>a¶"));

  // All lines blank: tlAll puts the symbol at column 0, the others change nothing.
  const std::u16string blanks = u"␣␣¶→¶¶␣";
  EXPECT_EQ(Ins(blanks, u">", ipLineHead, tlAll), N(u">␣␣¶>→¶>¶>␣"));
  EXPECT_EQ(Ins(blanks, u">", ipFirstChar, tlAll), N(u">␣␣¶>␣␣␣␣¶>¶>␣"));
  for (auto p : {ipLineHead, ipFirstChar})
    for (auto t : {tlNonBlank, tlLeastIndent, tlAfterBlank}) EXPECT_EQ(Ins(blanks, u">", p, t), N(blanks));

  // One kind of indentation is never rewritten: widths count characters.
  EXPECT_EQ(Ins(u"□□a¶□b¶", u">", ipFirstChar, tlAll), N(u"□>□a¶□>b¶"));
  EXPECT_EQ(Ins(u"␣␣␣a¶␣b¶", u">", ipFirstChar, tlAll), N(u"␣>␣␣a¶␣>b¶"));
  EXPECT_EQ(Ins(u"→a¶→→b¶", u">", ipFirstChar, tlLeastIndent), N(u"→>a¶→→b¶"));

  // One stray space on a blank line of a tab-indented text turns rewriting on.
  EXPECT_EQ(Ins(u"→a¶␣¶→→b¶", u">", ipFirstChar, tlNonBlank), N(u"␣␣␣␣>a¶␣¶␣␣␣␣>␣␣␣␣b¶"));

  // Rewritten widths: □→ and ␣→ are four columns, →␣→ eight.
  EXPECT_EQ(Ins(u"□→a¶␣→b¶→␣→c¶", u">", ipFirstChar, tlAll), N(u"␣␣␣␣>a¶␣␣␣␣>b¶␣␣␣␣>␣␣␣␣c¶"));

  // A non-blank line without indentation: column 0, rewritten indentation after it.
  EXPECT_EQ(Ins(u"a¶→□b¶", u">", ipFirstChar, tlAll), N(u">a¶>␣␣␣␣␣␣b¶"));

  // Blank lines under ipFirstChar/tlAll: narrow ones take the least string,
  // wide ones keep their surplus after the symbol.
  EXPECT_EQ(Ins(u"␣␣␣a¶␣¶␣␣␣␣␣¶", u">", ipFirstChar, tlAll), N(u"␣␣␣>a¶␣␣␣>¶␣␣␣>␣␣¶"));
  EXPECT_EQ(Ins(u"→→a¶→", u">", ipFirstChar, tlAll), N(u"→→>a¶→→>"));  // last blank line, no break

  // tlAfterBlank: start of text counts as after a blank; runs of blanks count
  // once; the column stays the least width of the whole text.
  EXPECT_EQ(Ins(u"␣␣␣␣a¶␣␣␣␣b¶¶¶␣␣␣␣c¶␣␣d¶", u">", ipFirstChar, tlAfterBlank),
            N(u"␣␣>␣␣a¶␣␣␣␣b¶¶¶␣␣>␣␣c¶␣␣d¶"));

  // tlLeastIndent with ipLineHead: before the indentation of least lines only.
  EXPECT_EQ(Ins(u"␣a¶␣␣b¶␣c", u"#", ipLineHead, tlLeastIndent), N(u"#␣a¶␣␣b¶#␣c"));
  // Under rewriting one □ and two spaces are both least (width 2).
  EXPECT_EQ(Ins(u"□a¶␣␣b¶→c¶", u"#", ipLineHead, tlLeastIndent), N(u"#□a¶#␣␣b¶→c¶"));
  EXPECT_EQ(Ins(u"□a¶␣␣b¶→c¶", u"#", ipFirstChar, tlLeastIndent), N(u"␣␣#a¶␣␣#b¶→c¶"));

  // The symbol is used verbatim: no trimming, no decoding.
  EXPECT_EQ(Ins(u"a", u"␣\\t␣", ipLineHead, tlAll), N(u"␣\\t␣a"));
  // An empty symbol changes nothing but the rewritten indentation of chosen lines.
  EXPECT_EQ(Ins(u"→a¶␣b", u"", ipLineHead, tlAll), N(u"→a¶␣b"));
  EXPECT_EQ(Ins(u"→a¶␣b", u"", ipFirstChar, tlAll), N(u"␣␣␣␣a¶␣b"));

  // NUL and lone surrogates pass through untouched.
  const std::u16string odd{u'\0', u'\xD800', u'\n', u' ', u'\xDC00'};
  EXPECT_EQ(InsertHeadSymbol(odd, u">", ipFirstChar, tlAll), (std::u16string{u'>', u'\0', u'\xD800', u'\n', u'>', u' ', u'\xDC00'}));

  // Values outside the enumerations choose no line.
  EXPECT_EQ(InsertHeadSymbol(u"a\nb", u">", static_cast<TInsertPosition>(7), tlAll), u"a\nb");
  EXPECT_EQ(InsertHeadSymbol(u"a\nb", u">", ipLineHead, static_cast<TTargetLines>(9)), u"a\nb");
}

TEST(InsertHeadSymbol, MatchesLineListDefinitionOnGeneratedTexts) {
  std::mt19937 rng(20240611);
  const std::u16string symbols[] = {u"> ", u"", u" #", u"\t", u"\u3000x", u"//"};
  for (int round = 0; round < 400; ++round) {
    const std::u16string text = RandomText(rng, 40);
    const std::u16string& symbol = symbols[round % 6];
    for (auto p : {ipLineHead, ipFirstChar})
      for (auto t : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank})
        ASSERT_EQ(InsertHeadSymbol(text, symbol, p, t), ReferenceInsert(text, symbol, p, t))
            << "round " << round << " position " << int(p) << " target " << int(t);
  }
}

// A measure that MeasureIsSettled calls settled decides the insertion for
// good: the lines of a text come out the same whatever lines follow them.
// The model is the insertion of the longer text itself.
TEST(InsertHeadSymbol, SettledMeasureHoldsWhateverLinesFollow) {
  std::mt19937 rng(20261208);
  int settled = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::u16string text = RandomText(rng, 30) + u"\n";
    const std::u16string more = RandomText(rng, 30);
    for (const TIndentWay way : {TIndentWay{}, TIndentWay{4, true}, TIndentWay{3, false}}) {
      TIndentMeasure measure;
      MeasureIndentation(text, measure, way.TabWidth);
      for (auto p : {ipLineHead, ipFirstChar}) {
        if (!MeasureIsSettled(measure, p, way)) continue;
        ++settled;
        for (auto t : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) {
          const std::u16string alone = InsertHeadSymbol(text, u"> ", p, t, way);
          const std::u16string followed = InsertHeadSymbol(text + more, u"> ", p, t, way);
          ASSERT_EQ(followed.substr(0, alone.size()), alone)
              << "round " << round << " position " << int(p) << " target " << int(t) << " keep " << way.Keep;
        }
      }
    }
  }
  EXPECT_GT(settled, 1000);
}

// The edit of UTF-8 bytes against the edit of the decoded text, on texts cut
// into pieces of whole lines: the same measure, the same result bytes.
TEST(InsertHeadSymbol, Utf8PiecesMatchDecodedPieces) {
  std::mt19937 rng(20240612);
  // Neighbours of the ideographic space in UTF-8 (E3 80 81, E3 81 80) and a
  // surrogate pair, which are no indentation.
  static const char16_t alphabet[] = {u' ', u' ', u'\t', u'\u3000', u'\u3000', u'\r', u'\n', u'\n', u'a',
                                      u'>', u'\u3001', u'\u3040', u'\0', u'\xD83D', u'\xDE00', u'\x85'};
  const std::u16string symbols[] = {u"> ", u"", u"\u3000x", u"\t#", u"\xD83D\xDE00"};
  for (int round = 0; round < 600; ++round) {
    std::u16string text(rng() % (round % 10 == 0 ? 400 : 60), u'a');
    for (char16_t& c : text) c = alphabet[rng() % std::size(alphabet)];
    // Only whole surrogate pairs: a lone one is no valid UTF-8.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\xD83D' && (i + 1 == text.size() || text[i + 1] != u'\xDE00')) text[i] = u'b';
      if (text[i] == u'\xDE00' && (i == 0 || text[i - 1] != u'\xD83D')) text[i] = u'b';
    }
    // Whole lines in each piece, and whether its last line is non-blank.
    std::vector<std::u16string_view> pieces;
    std::vector<bool> endsNonBlank;
    for (size_t start = 0; start < text.size();) {
      size_t end = start, last = start;
      for (int lines = 1 + rng() % 4; lines > 0 && end < text.size(); --lines) last = end, end = LineEndAt(text, end);
      pieces.push_back(std::u16string_view(text).substr(start, end - start));
      const std::u16string_view line = std::u16string_view(text).substr(last, end - last);
      endsNonBlank.push_back(line.find_first_not_of(u" \t\u3000") < line.size() - BreakLength(line));
      start = end;
    }
    TIndentMeasure units, bytes;
    for (std::u16string_view piece : pieces) {
      MeasureIndentation(piece, units);
      MeasureIndentation(*Utf16ToUtf8(piece), bytes);
    }
    ASSERT_EQ(bytes.Kinds, units.Kinds) << round;
    ASSERT_EQ(bytes.LeastLength, units.LeastLength) << round;
    ASSERT_EQ(bytes.LeastWidth, units.LeastWidth) << round;
    const std::u16string& symbol = symbols[round % std::size(symbols)];
    for (auto p : {ipLineHead, ipFirstChar})
      for (auto t : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) {
        std::string joined;
        bool afterNonBlank = false;
        for (size_t k = 0; k < pieces.size(); ++k) {
          const std::u16string_view piece = pieces[k];
          const std::string edited =
              InsertHeadSymbolInUtf8Piece(*Utf16ToUtf8(piece), *Utf16ToUtf8(symbol), p, t, units, afterNonBlank);
          ASSERT_EQ(edited, *Utf16ToUtf8(InsertHeadSymbolInPiece(piece, symbol, p, t, units, afterNonBlank)))
              << "round " << round << " position " << int(p) << " target " << int(t);
          joined += edited;
          afterNonBlank = endsNonBlank[k];
        }
        if (!text.empty()) {
          ASSERT_EQ(joined, *Utf16ToUtf8(InsertHeadSymbol(text, symbol, p, t))) << round;
        }
      }
  }
}
