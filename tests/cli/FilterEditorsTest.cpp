// The filter as editor plug-ins use it: a toggle that gives every text back,
// the tab width, and standard input only.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "FilterRun.h"

namespace {

// A line cut as the filter cuts lines, with its break.
struct TLine {
  std::string Body, Break;
};

std::vector<TLine> CutLines(const std::string& text) {
  std::vector<TLine> lines;
  TLine line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      line.Body += text[i];
      continue;
    }
    line.Break = text.compare(i, 2, "\r\n") == 0 ? "\r\n" : std::string(1, text[i]);
    i += line.Break.size() - 1;
    lines.push_back(std::move(line));
    line = TLine{};
  }
  if (!line.Body.empty()) lines.push_back(std::move(line));
  return lines;
}

// The length of each indentation character at the start of a line.
std::vector<size_t> IndentOf(const std::string& body) {
  std::vector<size_t> chars;
  for (size_t i = 0; i < body.size();) {
    const size_t n = body[i] == ' ' || body[i] == '\t' ? 1 : body.compare(i, 3, IDSP) == 0 ? 3 : 0;
    if (n == 0) break;
    chars.push_back(n);
    i += n;
  }
  return chars;
}

size_t Next(const std::string& body, size_t at, size_t width, size_t tabWidth) {
  return body[at] == ' ' ? width + 1 : body[at] == '\t' ? (width / tabWidth + 1) * tabWidth : width + 2;
}

size_t Sum(const std::vector<size_t>& v) { return std::accumulate(v.begin(), v.end(), size_t{0}); }

bool IsBlank(const std::string& body) { return Sum(IndentOf(body)) == body.size(); }

size_t WidthOf(const std::string& body, size_t tabWidth) {
  size_t width = 0, at = 0;
  for (size_t n : IndentOf(body)) width = Next(body, at, width, tabWidth), at += n;
  return width;
}

// The model: a text without a non-blank line stays; one whose every
// non-blank line has the symbol (or "#") after its indentation loses it;
// else every non-blank line takes the symbol after the last indentation
// character that ends at or before the least indentation, in columns.
std::string ToggleModel(const std::string& text, const std::string& symbol, size_t tabWidth) {
  const std::vector<TLine> lines = CutLines(text);
  size_t least = SIZE_MAX;
  bool holds = true, nonBlank = false;
  for (const TLine& l : lines) {
    if (IsBlank(l.Body)) continue;
    nonBlank = true;
    least = std::min(least, WidthOf(l.Body, tabWidth));
    holds = holds && l.Body.compare(Sum(IndentOf(l.Body)), 1, "#") == 0;
  }
  if (!nonBlank) return text;
  std::string out;
  for (const TLine& l : lines) {
    std::string body = l.Body;
    const size_t indent = Sum(IndentOf(body));
    if (IsBlank(body)) {
    } else if (holds) {
      body.erase(indent, body.compare(indent, symbol.size(), symbol) == 0 ? symbol.size() : 1);
    } else {
      size_t at = 0, width = 0;
      for (size_t n : IndentOf(body)) {
        const size_t next = Next(body, at, width, tabWidth);
        if (next > least) break;
        width = next;
        at += n;
      }
      body.insert(at, symbol);
    }
    out += body + l.Break;
  }
  return out;
}

// Random texts of mostly indented lines, toggled in place as files at tab
// widths 1 to 8: each against the model, and toggled again back to itself
// when the first toggle inserted.
TEST(Toggle, KeepsEveryBlankAtEveryTabWidth) {
  std::mt19937 rng(20261207);
  static const char* const kIndents[] = {" ", "\t", IDSP, "  ", "\t "};
  static const char* const kWords[] = {"a", "x y", "#", "# z", IDSP "b", "\t"};
  static const char* const kBreaks[] = {"\n", "\r\n", "\r", ""};
  for (size_t tabWidth = 1; tabWidth <= 8; ++tabWidth) {
    std::vector<std::string> texts, files, args{"toggle", "-i", "--tab-width", std::to_string(tabWidth), "# "};
    for (int k = 0; k < 40; ++k) {
      std::string text;
      for (size_t lines = rng() % 8; lines > 0; --lines) {
        for (size_t n = rng() % 5; n > 0; --n) text += kIndents[rng() % 5];
        if (rng() % 6) text += kWords[rng() % 6];
        text += kBreaks[lines == 1 ? rng() % 4 : rng() % 3];
      }
      texts.push_back(text);
      files.push_back(WriteTemp("toggle-" + std::to_string(k) + ".txt", text));
      args.push_back(files.back());
    }
    Ok(args, "");
    std::vector<size_t> inserted;
    for (size_t k = 0; k < texts.size(); ++k) {
      const std::string once = ReadFile(files[k]);
      EXPECT_EQ(once, ToggleModel(texts[k], "# ", tabWidth)) << "tab width " << tabWidth << ": [" << texts[k] << "]";
      if (once.size() > texts[k].size()) inserted.push_back(k);
    }
    Ok(args, "");
    for (size_t k : inserted)
      EXPECT_EQ(ReadFile(files[k]), texts[k]) << "toggled twice, tab width " << tabWidth << ": [" << texts[k] << "]";
  }
}

// The columns of --at char and --lines least follow the tab width, with the
// indentation rewritten (the plug-in's way) or kept.
TEST(TabWidth, MovesTheColumn) {
  const std::string text = "\tfoo\n        bar\n  " IDSP "baz\n";
  struct TRow {
    std::vector<std::string> args;
    std::string output;
  };
  const TRow rows[] = {
      // Columns 8, 8 and 4: mixed kinds are rewritten as spaces.
      {{"insert", "--at", "char", "--tab-width", "8", "# "}, "    #     foo\n    #     bar\n    # baz\n"},
      {{"insert", "--at", "char", "# "}, "    # foo\n    #     bar\n    # baz\n"},
      {{"insert", "--at", "char", "--tab-width", "2", "--keep-indentation", "# "},
       "\t# foo\n  # " "      bar\n  # " IDSP "baz\n"},
      {{"insert", "--at", "char", "--tab-width", "8", "--keep-indentation", "# "},
       "# \tfoo\n    # " "    bar\n  " IDSP "# baz\n"},
      // Columns 3, 8 and 4: the ideographic space spans column 3.
      {{"toggle", "--tab-width", "3", "# "}, "\t# foo\n   # " "     bar\n  # " IDSP "baz\n"},
      {{"insert", "--lines", "least", "--tab-width", "8", "# "}, "\tfoo\n        bar\n# " "  " IDSP "baz\n"},
      {{"insert", "--lines", "least", "--tab-width", "4", "# "}, "# \tfoo\n        bar\n# " "  " IDSP "baz\n"},
      {{"toggle", "--lines", "least", "--tab-width", "1", "# "}, "\t# foo\n        bar\n  " IDSP "baz\n"},
  };
  for (const TRow& r : rows) {
    std::string what;
    for (const std::string& a : r.args) what += "[" + a + "] ";
    EXPECT_EQ(Ok(r.args, text), r.output) << what;
  }
  for (const char* bad : {"0", "65", "-1", "4x", "", "0x8", "99999999999999999999"})
    Refused({"insert", "--at", "char", "--tab-width", bad, "# "}, "a\n", "--tab-width");
  Refused({"delete", "--tab-width", "8", "# "}, "a\n", "option --tab-width is not for delete");
  Refused({"toggle", "--keep-indentation", "# "}, "a\n", "option --keep-indentation is not for toggle");
}

// --stdin-only refuses every other source and -i before anything is read
// or written, and leaves out the hint written for the shell.
TEST(StdinOnly, ReadsNothingElse) {
  const std::string file = WriteTemp("stdin-only.txt", "a\n");
  const std::vector<std::vector<std::string>> refused = {
      {"insert", "--stdin-only", "# ", file},
      {"insert", "--stdin-only", "# ", "-"},
      {"toggle", "--stdin-only", "-i", "# ", file},
      {"delete-all", "--stdin-only", "-e", "#", "--in-place=.bak", file},
  };
  for (const auto& args : refused) {
    const Result r = RunFilter(args, "b\n");
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--stdin-only"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("--help"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(file), "a\n");
  }
  EXPECT_EQ(Ok({"toggle", "--stdin-only", "# "}, "b\n"), "# b\n");
  EXPECT_EQ(RunFilter({"insert", "--stdin-only", "--at", "nowhere", "x"}).err.find("--help"), std::string::npos);
  EXPECT_NE(RunFilter({"insert", "--at", "nowhere", "x"}).err.find("--help"), std::string::npos);
}

}  // namespace
