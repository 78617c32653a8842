// The filter's pieces without a process: the command line as parsed, the
// piecewise edit against the whole-text edit, and the byte scanners.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Arguments.h"
#include "EditUnit.h"
#include "Messages.h"
#include "Translate.h"
#include "SettingsFile.h"
#include "TextBytes.h"
#include "TextScan.h"
#include "Utf.h"

namespace {

// "ok" and the parsed options, or the usage message.
std::string Parse(const std::vector<std::string>& args, TFilterOptions& o) {
  try {
    o = ParseArguments(args);
    return "ok";
  } catch (const TFailure& f) {
    return f.Message;
  }
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += "[" + x + "]";
  return s;
}

TEST(FilterArguments, Table) {
  struct TRow {
    std::vector<std::string> args;
    TVerb verb;
    std::string symbols, files;  // joined
    TInsertPosition position = ipLineHead;
    TTargetLines target = tlAll;
    bool inPlace = false;
    std::string suffix;
  };
  const std::vector<TRow> rows = {
      {{"insert", "> "}, TVerb::Insert, "[> ]", ""},
      {{"insert", "> ", "a", "-", "b"}, TVerb::Insert, "[> ]", "[a][-][b]"},
      {{"insert", "--at=char", "a", "--lines", "least", "-i.bak", "b"},
       TVerb::Insert,
       "[a]",
       "[b]",
       ipFirstChar,
       tlLeastIndent,
       true,
       ".bak"},
      {{"insert", "-ie", "x", "f"}, TVerb::Insert, "[x]", "[f]", ipLineHead, tlAll, true, "e"},  // -i takes what is
                                                                                                 // joined
      {{"insert", "-e", "x", "-i", "f"}, TVerb::Insert, "[x]", "[f]", ipLineHead, tlAll, true, ""},
      {{"insert", "--in-place", "--", "-x", "-f"}, TVerb::Insert, "[-x]", "[-f]", ipLineHead, tlAll, true, ""},
      {{"insert", "- ", "-"}, TVerb::Insert, "[- ]", "[-]"},
      {{"insert", "->", "--lines=after-blank"}, TVerb::Insert, "[->]", "", ipLineHead, tlAfterBlank},
      {{"delete", "-e", "- ", "f"}, TVerb::Delete, "[- ]", "[f]"},
      {{"insert", "-1. ", "-2"}, TVerb::Insert, "[-1. ]", "[-2]"},  // a dash and a digit: no option
      {{"delete-once", "-e", "a", "-eb", "--symbol", "c", "f", "g"}, TVerb::DeleteOnce, "[a][b][c]", "[f][g]"},
      {{"delete-all", "f", "-e", "> ", "--in-place=~"}, TVerb::DeleteAll, "[> ]", "[f]", ipLineHead, tlAll, true, "~"},
      {{"delete-all", "-s", "set.txt", "f"}, TVerb::DeleteAll, "", "[f]"},
      {{"entries", "-zs", "set.txt"}, TVerb::Entries, "", ""},
      {{"entries"}, TVerb::Entries, "", ""},  // the default settings file
      {{"delete-all", "f"}, TVerb::DeleteAll, "", "[f]"},
      {{"toggle", "> ", "f"}, TVerb::Toggle, "[> ]", "[f]", ipFirstChar, tlNonBlank},
      {{"toggle", "--at", "head", "-e", "#", "-i", "f"}, TVerb::Toggle, "[#]", "[f]", ipLineHead, tlNonBlank, true, ""},
      {{"toggle", "--lines=all", "--entry", "2", "f"}, TVerb::Toggle, "", "[f]", ipFirstChar, tlAll},
  };
  for (const TRow& r : rows) {
    TFilterOptions o;
    ASSERT_EQ(Parse(r.args, o), "ok") << Join(r.args);
    EXPECT_EQ(o.Verb, r.verb) << Join(r.args);
    EXPECT_EQ(Join(o.Symbols), r.symbols) << Join(r.args);
    EXPECT_EQ(Join(o.Files), r.files) << Join(r.args);
    EXPECT_EQ(o.Position, r.position) << Join(r.args);
    EXPECT_EQ(o.Target, r.target) << Join(r.args);
    EXPECT_EQ(o.InPlace, r.inPlace) << Join(r.args);
    EXPECT_EQ(o.BackupSuffix, r.suffix) << Join(r.args);
  }
  // --help and --version win over any error; the command line can be parsed
  // again (getopt's state is reset).
  TFilterOptions o;
  EXPECT_EQ(Parse({"insert", "--bogus", "--help"}, o), "ok");
  EXPECT_TRUE(o.Help);
  EXPECT_EQ(Parse({"-V"}, o), "ok");
  EXPECT_TRUE(o.Version);
  EXPECT_NE(Parse({"insert", "--bogus"}, o).find("unknown option '--bogus'"), std::string::npos);
  EXPECT_NE(Parse({"insert", "-q", "x"}, o).find("unknown option '-q'"), std::string::npos);
  EXPECT_NE(Parse({"entries", "-s"}, o).find("needs a value"), std::string::npos);
  EXPECT_NE(Parse({"toggle", "-e", "x", "--entry", "1"}, o).find("not both"), std::string::npos);
  EXPECT_NE(Parse({"toggle", "-s", "f", "x"}, o).find("together with --entry"), std::string::npos);
  EXPECT_NE(Parse({"delete-all", "--entry", "1"}, o).find("not for delete-all"), std::string::npos);
  ASSERT_EQ(Parse({"insert", "--entry", "1"}, o), "ok");
  EXPECT_TRUE(o.FromSettings);
  EXPECT_FALSE(o.Settings);
}

TEST(FilterArguments, EditOfOptions) {
  TFilterOptions o;
  ASSERT_EQ(Parse({"insert", "--at", "char", "--lines", "nonblank", "x"}, o), "ok");
  TEdit e = EditOfOptions(o, {u"> "});
  EXPECT_EQ(e.Kind, ekInsert);
  EXPECT_EQ(e.Symbol, u"> ");
  EXPECT_EQ(ApplyEdit(u"  a\n\n   b", e), u"  > a\n\n  >  b");
  ASSERT_EQ(Parse({"delete-once", "-e", "a", "-e", "b"}, o), "ok");
  e = EditOfOptions(o, {u"> ", u"# "});
  EXPECT_EQ(e.Kind, ekDeleteOnce);
  EXPECT_EQ(ApplyEdit(u"> # x\n# > y", e), u"x\n> y");
}

// Texts of a few lines: indentation of every kind, blank lines, all breaks.
std::u16string RandomLines(std::mt19937& rng, size_t lines) {
  static const std::u16string parts[] = {u" ", u"\t", u"\u3000", u"> ", u"# ", u"a", u"\u3042", u"\U0001F600", u">"};
  static const std::u16string breaks[] = {u"\n", u"\r\n", u"\r"};
  std::u16string text;
  for (size_t i = 0; i < lines; ++i) {
    for (size_t n = rng() % 6; n > 0; --n) text += parts[rng() % 9];
    if (i + 1 < lines || rng() % 2) text += breaks[rng() % 3];
  }
  return text;
}

TEST(FilterPieces, PiecewiseEditMatchesWholeText) {
  // The text cut where the reader cuts it, each piece edited with the
  // blankness of the line before it (and the measure of the whole text where
  // the edit needs it), gives the edit of the whole text.
  std::mt19937 rng(20240607);
  const std::vector<TEdit> edits = {
      {ekInsert, ipLineHead, tlAll, u"> ", {}},        {ekInsert, ipLineHead, tlNonBlank, u"> ", {}},
      {ekInsert, ipLineHead, tlAfterBlank, u"> ", {}}, {ekInsert, ipLineHead, tlAfterBlank, u"\u3000", {}},
      {ekDeleteGiven, ipLineHead, tlAll, u"> ", {}},   {ekDeleteOnce, ipLineHead, tlAll, {}, {u"> ", u"# "}},
      {ekDeleteAll, ipLineHead, tlAll, {}, {u"# ", u">"}},
      // These look at the whole text: measured first, piece by piece.
      {ekInsert, ipFirstChar, tlAll, u"> ", {}},       {ekInsert, ipFirstChar, tlNonBlank, u"// ", {}},
      {ekInsert, ipFirstChar, tlLeastIndent, u"# ", {}}, {ekInsert, ipFirstChar, tlAfterBlank, u"\u3000", {}},
      {ekInsert, ipLineHead, tlLeastIndent, u"> ", {}},
  };
  for (int round = 0; round < 400; ++round) {
    const std::u16string text = RandomLines(rng, 1 + rng() % 12);
    if (text.empty()) continue;  // the filter writes nothing for no bytes
    const std::string bytes = *Utf16ToUtf8(text);
    for (const TEdit& edit : edits) {
      std::vector<std::string_view> cuts;
      for (size_t done = 0; done < bytes.size();) {
        const size_t end = done + 1 + rng() % (bytes.size() - done);
        size_t cut =
            end == bytes.size() ? end - done : WholeLinesLength(std::string_view(bytes).substr(done, end - done));
        if (cut == 0) cut = bytes.size() - done;
        cuts.push_back(std::string_view(bytes).substr(done, cut));
        done += cut;
      }
      TIndentMeasure whole;
      for (std::string_view piece : cuts) MeasureIndentation(*Utf8ToUtf16(piece), whole);
      std::u16string pieces;
      bool afterNonBlank = false;
      for (std::string_view piece : cuts) {
        pieces += EditWorksPieceByPiece(edit) ? ApplyEditToPiece(*Utf8ToUtf16(piece), edit, afterNonBlank)
                                            : ApplyEditToMeasuredPiece(*Utf8ToUtf16(piece), edit, whole, afterNonBlank);
        afterNonBlank = !LastLineIsBlank(piece);
      }
      ASSERT_EQ(pieces, ApplyEdit(text, edit)) << bytes << " kind " << int(edit.Kind) << " target " << int(edit.Target);
    }
  }
}

TEST(FilterPieces, ByteScanners) {
  // Line breaks counted as the engine cuts lines.
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const std::u16string text = RandomLines(rng, rng() % 10);
    size_t lines = 0;
    for (size_t i = 0; i < text.size(); ++i)
      lines += text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
    EXPECT_EQ(CountBreaks(*Utf16ToUtf8(text)), lines);
  }
  const std::vector<std::pair<std::string, size_t>> whole = {
      {"", 0}, {"abc", 0}, {"a\n", 2}, {"a\nb", 2}, {"a\r", 0}, {"a\rb", 2}, {"a\r\n", 3}, {"a\nb\r", 2}};
  for (const auto& [bytes, length] : whole) EXPECT_EQ(WholeLinesLength(bytes), length) << bytes;
  const std::vector<std::pair<std::string, bool>> blank = {
      {"\n", true}, {"a\n \t\xE3\x80\x80\r\n", true}, {" x\n", false}, {"\n\xC2\xA0\n", false}, {" \r", true},
      {"a\n \t", true}, {"\r\nx", false}, {"", true}};
  for (const auto& [bytes, isBlank] : blank) EXPECT_EQ(LastLineIsBlank(bytes), isBlank) << bytes;
  const std::vector<std::pair<std::string, size_t>> complete = {
      {"ab", 2}, {"a\xE3", 1}, {"a\xE3\x81", 1}, {"a\xE3\x81\x82", 4}, {"\xF0\x9F\x98", 0}, {"\xF0\x9F\x98\x80", 4},
      {"\x80\x80", 2}};
  for (const auto& [bytes, length] : complete) EXPECT_EQ(CompleteUtf8Length(bytes), length) << bytes;
}

TEST(FilterSettings, MenuCaption) {
  struct TRow {
    const char16_t* stored;
    const char16_t* shown;       // as the menu shows it
    const char16_t* withoutKey;  // and without its access key
  };
  const TRow rows[] = {
      {u"\u30E1\u30FC\u30EB\u5F15\u7528(&M)\t>", u"\u30E1\u30FC\u30EB\u5F15\u7528(M)",
       u"\u30E1\u30FC\u30EB\u5F15\u7528"},  // メール引用
      {u"&Open", u"Open", u"Open"},
      {u"Save && quit", u"Save & quit", u"Save & quit"},
      {u"Last (&L)", u"Last (L)", u"Last"},
      {u"(&X)", u"(X)", u""},
      {u"Trailing &", u"Trailing &", u"Trailing &"},  // a lone & at the end stays
      {u"Tab\tonly", u"Tab", u"Tab"},
      {u"Two (&A) (&B)", u"Two (A) (B)", u"Two (A)"},  // only the trailing group goes
      {u"", u"", u""},
  };
  for (const TRow& r : rows) {
    EXPECT_EQ(Utf16ToUtf8Lossy(MenuCaption(r.stored, false)), Utf16ToUtf8Lossy(r.shown)) << Utf16ToUtf8Lossy(r.stored);
    EXPECT_EQ(Utf16ToUtf8Lossy(MenuCaption(r.stored, true)), Utf16ToUtf8Lossy(r.withoutKey))
        << Utf16ToUtf8Lossy(r.stored);
  }
}

TEST(FilterMessages, Fill) {
  struct TRow {
    std::string templ;
    std::vector<std::string> values;
    std::string filled;
  };
  const std::vector<TRow> rows = {
      {"cannot open %s: %s", {"'a'", "gone"}, "cannot open 'a': gone"},
      {"%2$s の値 %1$s", {"'x'", "--at"}, "--at の値 'x'"},
      {"100%% %s", {"a"}, "100% a"},
      {"%s %s %s", {"a"}, "a %s %s"},  // a missing value leaves the placeholder
      // Between full-width characters no space; beside anything else it stays.
      {"%s に書き込めません: %s", {"出力", "理由"}, "出力に書き込めません: 理由"},
      {"%s に書き込めません", {"'a.txt'"}, "'a.txt' に書き込めません"},
      {"%s をもう一度読めません", {"一時ファイル"}, "一時ファイルをもう一度読めません"},
      {"設定ファイル %s は", {"'引用'"}, "設定ファイル '引用' は"},
      {"（%s）", {"標準入力"}, "（標準入力）"},
      {"cannot read %s at", {"標準入力"}, "cannot read 標準入力 at"},
      {"%s 番目", {"2"}, "2 番目"},
  };
  for (const TRow& r : rows) {
    std::vector<std::string_view> v(r.values.begin(), r.values.end());
    std::string filled;
    switch (v.size()) {
      case 1: filled = Fill(r.templ, {v[0]}); break;
      case 2: filled = Fill(r.templ, {v[0], v[1]}); break;
    }
    EXPECT_EQ(filled, r.filled) << r.templ;
  }
}

TEST(FilterMessages, QuoteEscapesControls) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"a b", "'a b'"},           {"a\tb\r\n", "'a\\tb\\r\\n'"}, {"\x1B[2J", "'\\x1B[2J'"},
      {"\x7F", "'\\x7F'"},        {"\xC2\x9B", "'\\xC2\\x9B'"},  {"\xE5\xBC\x95", "'\xE5\xBC\x95'"},
      {"\xFF\xE5", "'\\xFF\\xE5'"}, {"a\\b", "'a\\\\b'"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Quote(in), out);
}

}  // namespace
