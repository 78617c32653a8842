// The toggle's choice: a table of texts, the byte scan against the UTF-16
// model on random texts fed in random parts, and toggling twice.
#include <gtest/gtest.h>

#include <random>

#include "EditModels.h"
#include "EditUnit.h"
#include "Utf.h"

namespace {

struct TChoiceCase {
  const char16_t* Text;
  const char16_t* Symbol;
  TToggleChoice Want;
};

const TChoiceCase kChoices[] = {
    {u"", u"> ", tcKeep},
    {u"  \r\n\t\n\u3000", u"> ", tcKeep},
    {u"> a\n> b", u"> ", tcDelete},
    {u"> a\n\n  >b\r\n", u"> ", tcDelete},          // blank lines skipped; the symbol without its blank
    {u"\t> a\n\u3000> b\r", u"> ", tcDelete},        // after any indentation
    {u"> a\nb\n> c", u"> ", tcInsert},               // one line without
    {u"a> b", u"> ", tcInsert},                      // not at the head
    {u">", u"> ", tcDelete},                         // the trimmed symbol is the whole line
    {u"> ", u">> ", tcInsert},                       // the line ends inside the symbol
    {u"// a\n//b", u"// ", tcDelete},
    {u"  a", u"  ", tcInsert},                       // a symbol of blanks never stands after indentation
    {u" > a", u" > ", tcDelete},                     // a leading blank: its trimmed form
    {u"\uFF1E a\n\uFF1E b", u"\uFF1E ", tcDelete},  // full-width
};

TEST(ChooseToggle, Table) {
  for (const TChoiceCase& c : kChoices) {
    EXPECT_EQ(ChooseToggle(c.Text, c.Symbol), c.Want) << Utf16ToUtf8Lossy(c.Text);
    TToggleScan scan(c.Symbol);
    scan.Feed(*Utf16ToUtf8(c.Text));
    EXPECT_EQ(scan.Finish(), c.Want) << "bytes: " << Utf16ToUtf8Lossy(c.Text);
  }
}

const std::u16string kSymbols[] = {u"> ", u">", u"// ", u"#", u" >", u"\u3000\u3042", u"\u3042\u3044 ", u"  "};

// Lines made of indentation, pieces of the symbols, breaks and letters.
std::u16string TextAround(std::mt19937& rng, const std::u16string& symbol) {
  static const std::u16string pieces[] = {u" ", u"\t", u"\u3000", u"\r", u"\n", u"\r\n", u"a", u">", u"/", u"\u3042"};
  std::u16string text;
  const size_t n = rng() % 14;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t r = rng() % 16;
    if (r < 4) text += symbol;
    else if (r < 6) text += symbol.substr(0, rng() % (symbol.size() + 1));
    else text += pieces[r - 6];
  }
  return text;
}

TEST(TToggleScan, AgreesWithTheModelInAnyParts) {
  std::mt19937 rng(16);
  for (const std::u16string& symbol : kSymbols) {
    for (int round = 0; round < 4000; ++round) {
      const std::u16string text = TextAround(rng, symbol);
      const std::string bytes = *Utf16ToUtf8(text);
      const bool mark = rng() % 4 == 0;
      const std::string fed = (mark ? "\xEF\xBB\xBF" : "") + bytes;
      TToggleScan scan(symbol);
      for (size_t at = 0; at < fed.size();) {
        const size_t n = 1 + rng() % 4;
        scan.Feed(std::string_view(fed).substr(at, n));
        at += n;
      }
      ASSERT_EQ(scan.Finish(), ChooseToggle(text, symbol))
          << "symbol [" << Utf16ToUtf8Lossy(symbol) << "] text [" << bytes << "] mark " << mark;
    }
  }
}

std::u16string Toggle(const std::u16string& text, const std::u16string& symbol) {
  switch (ChooseToggle(text, symbol)) {
    case tcKeep: return text;
    case tcDelete: return ApplyEdit(text, TEdit{ekDeleteGiven, ipLineHead, tlAll, symbol, {}, {}});
    case tcInsert: return ApplyEdit(text, TEdit{ekInsert, ipFirstChar, tlNonBlank, symbol, {}, {}});
  }
  return text;
}

// The kinds of indentation characters that begin the lines of text.
int IndentKinds(const std::u16string& text) {
  bool space = false, tab = false, ideographic = false, lineStart = true;
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n') lineStart = true;
    else if (!lineStart) continue;
    else if (c == u' ') space = true;
    else if (c == u'\t') tab = true;
    else if (c == u'\u3000') ideographic = true;
    else lineStart = false;
  }
  return space + tab + ideographic;
}

// For a symbol that does not begin with a blank, on a text where no line
// holds it: the second toggle gives back a text where no line holds it, the
// text itself when its indentation is of one kind (an insertion at the
// column of the least indentation writes a mixture as spaces).
TEST(ChooseToggle, TwiceGivesTheTextBack) {
  std::mt19937 rng(61);
  for (const std::u16string& symbol : kSymbols) {
    if (symbol[0] <= u' ' || symbol[0] == u'\u3000') continue;
    const TEdit remove{ekDeleteGiven, ipLineHead, tlAll, symbol, {}, {}};
    int tried = 0;
    for (int round = 0; round < 4000; ++round) {
      const std::u16string text = TextAround(rng, symbol);
      if (ApplyEdit(text, remove) != text) continue;  // some line holds the symbol
      ++tried;
      const std::u16string once = Toggle(text, symbol);
      EXPECT_EQ(ChooseToggle(text, symbol) == tcKeep, once == text);
      const std::u16string twice = Toggle(once, symbol);
      ASSERT_EQ(ApplyEdit(twice, remove), twice) << Utf16ToUtf8Lossy(text);
      if (IndentKinds(text) <= 1) {
        ASSERT_EQ(Utf16ToUtf8Lossy(twice), Utf16ToUtf8Lossy(text))
            << "symbol [" << Utf16ToUtf8Lossy(symbol) << "] once [" << Utf16ToUtf8Lossy(once) << "]";
      }
    }
    EXPECT_GT(tried, 100);
  }
}

}  // namespace
