// Runs the built marquill filter as a separate process and checks its output
// byte for byte, its exit status and its messages: the edits, settings files,
// encodings, operands and failures.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "EditUnit.h"
#include "FilterRun.h"
#include "Utf.h"

namespace {

// A settings file in code page 932: valid, invalid and odd entries.
const std::string kSettings =
    "> \t\x88\xf8\x97\x70\r\n"                 // "> " 引用
    "# \t\x83\x52\x83\x81\x83\x93\x83\x67  \r\n"  // "# " コメント, trailing blanks
    "no tab line\r\n"
    "x\ty\tz\r\n"
    "\r\n"
    "\t// \t\t\x95\x5c\x8e\xa6\r\n"  // leading and doubled tabs; 表示 has 0x5C as its second byte
    "REM \tcap\\tx\n"                // escape in the caption, LF break
    "\\t\ta\\b";                     // a symbol written like an escape; last line, no break

}  // namespace


TEST(Cli, InsertModes) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"insert", "> "}, "> \tfoo\r\n>   bar\r\n>  \r\n> " IDSP "baz"},
      {{"insert", "--at", "head", "--lines", "all", "> "}, "> \tfoo\r\n>   bar\r\n>  \r\n> " IDSP "baz"},
      {{"insert", "--lines", "nonblank", "> "}, "> \tfoo\r\n>   bar\r\n \r\n> " IDSP "baz"},
      {{"insert", "--lines=least", "> "}, "\tfoo\r\n>   bar\r\n \r\n> " IDSP "baz"},
      {{"insert", "--lines", "after-blank", "> "}, "> \tfoo\r\n  bar\r\n \r\n> " IDSP "baz"},
      {{"insert", "--at", "char", "> "}, "  >   foo\r\n  > bar\r\n  > \r\n  > baz"},
      {{"insert", "--at=char", "--lines", "nonblank", "> "}, "  >   foo\r\n  > bar\r\n \r\n  > baz"},
      {{"insert", "--lines", "least", "--at", "char", "> "}, "\tfoo\r\n  > bar\r\n \r\n  > baz"},
      {{"insert", "--at", "char", "--lines", "after-blank", "> "}, "  >   foo\r\n  bar\r\n \r\n  > baz"},
      {{"insert", "-e", "> "}, "> \tfoo\r\n>   bar\r\n>  \r\n> " IDSP "baz"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(Ok(args, kMixed), expected) << args[1];

  // Tabs only: the tabs stay; options after the symbol; the last option wins.
  EXPECT_EQ(Ok({"insert", "// ", "--at", "head", "--at", "char"}, "\t\ta\r\n\tb\r\n"), "\t// \ta\r\n\t// b\r\n");
  // Mixed breaks stay as they are; LF CR is two breaks; no line after a final break.
  EXPECT_EQ(Ok({"insert", "> "}, "x\ny\rz\r\n\n\r"), "> x\n> y\r> z\r\n> \n> \r");
  // Symbols are verbatim, dashes included; -- ends the options.
  EXPECT_EQ(Ok({"insert", "- "}, "a\n"), "- a\n");
  EXPECT_EQ(Ok({"insert", "-"}, "a\n"), "-a\n");
  EXPECT_EQ(Ok({"insert", "->"}, "a\n"), "->a\n");
  EXPECT_EQ(Ok({"insert", "--", "-x"}, "a\n"), "-xa\n");
  EXPECT_EQ(Ok({"insert", "--", "--help"}, "a\n"), "--helpa\n");
  EXPECT_EQ(Ok({"insert", "-e", "-x"}, "a\n"), "-xa\n");
  EXPECT_EQ(Ok({"insert", "\\t"}, "a\n"), "\\ta\n");
  EXPECT_EQ(Ok({"insert", "\xF0\x9F\x98\x80 "}, "a\nb"), "\xF0\x9F\x98\x80 a\n\xF0\x9F\x98\x80 b");
}

TEST(Cli, Delete) {
  EXPECT_EQ(Ok({"delete", "> "}, ">     foo\r\n  > foo\r\n  >foo\n> x > y\r>"), "    foo\r\n  foo\r\n  foo\nx > y\r");
  EXPECT_EQ(Ok({"delete", "REM "}, "rem x\nREM x\n"), "rem x\nx\n");
  EXPECT_EQ(Ok({"delete", " //"}, "  // x\r\n"), "   x\r\n");
  EXPECT_EQ(Ok({"delete", "  "}, "    x\n"), "    x\n");  // a blank symbol is never removed
  // One pass: every symbol once, in the order given.
  EXPECT_EQ(Ok({"delete-once", "-e", "> ", "-e", "# "}, "> # x\r\n# > x\r\n"), "x\r\n> x\r\n");
  EXPECT_EQ(Ok({"delete-all", "-e> ", "--symbol=# "}, "> # x\r\n# > x\r\n"), "x\r\nx\r\n");
  EXPECT_EQ(Ok({"delete-once", "-e", "> "}, "> > > x\n"), "> > x\n");
  EXPECT_EQ(Ok({"delete-all", "-e", "> "}, "> > > x\n"), "x\n");
  EXPECT_EQ(Ok({"delete-all", "-e", "-", "-e", "- "}, "- - -x\n"), " x\n");
  // Inserted then deleted: the text comes back.
  const std::string text = "a\r\n\r\n  b\n\tc\r" IDSP "d";
  EXPECT_EQ(Ok({"delete", "// "}, Ok({"insert", "--at", "char", "// "}, "\t\ta\r\n\tb\r\n")), "\t\ta\r\n\tb\r\n");
  EXPECT_EQ(Ok({"delete-all", "-e", "> "}, Ok({"insert", "> "}, Ok({"insert", "> "}, text))), text);
}

TEST(Cli, EmptyInput) {
  // Zero bytes in, zero bytes out, in every mode; one line break is one line.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"insert", "> "},
                                             {"insert", "--at", "char", "--lines", "least", "> "},
                                             {"insert", "--lines", "after-blank", "> "},
                                             {"delete", "> "},
                                             {"delete-once", "-e", "> "},
                                             {"delete-all", "-e", "> "}}) {
    EXPECT_EQ(Ok(args, ""), "") << args[1];
    StdinFrom pipe;
    pipe.pipe = true;
    EXPECT_EQ(RunFilter(args, "", nullptr, pipe).out, "") << args[1];
  }
  EXPECT_EQ(Ok({"insert", "> "}, "\n"), "> \n");
  EXPECT_EQ(Ok({"insert", "--at", "char", "> "}, "\r\n"), "> \r\n");
  const std::string empty = WriteTemp("empty-input.txt", "");
  EXPECT_EQ(Ok({"insert", "> ", empty, "-", empty}, "a\n"), "> a\n");
}

TEST(Cli, ByteOrderMarks) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
      {{"insert", "> "}, bom + "a\r\nb", bom + "> a\r\n> b"},
      {{"delete", "> "}, bom + "> a\n> b\n", bom + "a\nb\n"},
      {{"delete-all", "-e", "# "}, bom + "# # a\n", bom + "a\n"},
      {{"insert", "--at", "char", "> "}, bom + "  a\n    b\n", bom + "  > a\n  >   b\n"},
      {{"insert", "--lines", "least", "> "}, bom + " a\n  b\n", bom + ">  a\n  b\n"},
      {{"insert", "> "}, bom, bom},  // a mark alone: no line
      {{"insert", "> "}, "a" + bom + "\n", "> a" + bom + "\n"},  // elsewhere a character like any other
  };
  for (const auto& [args, input, expected] : cases) {
    EXPECT_EQ(Ok(args, input), expected) << args[1] << " " << input;
    StdinFrom pipe;
    pipe.pipe = true;
    EXPECT_EQ(RunFilter(args, input, nullptr, pipe).out, expected) << args[1] << " " << input;
  }
  // UTF-16 is refused, saying so.
  Refused({"insert", "> "}, std::string("\xFF\xFE" "a\0\n\0", 6), "UTF-16");
  Refused({"insert", "--at", "char", "> "}, std::string("\xFE\xFF\0a\0\n", 6), "UTF-16");
}

TEST(Cli, NulBytes) {
  using namespace std::string_literals;
  // UTF-16 without a byte order mark passes as UTF-8 holding NULs: refused
  // in every mode, at the first NUL, with the lines before it edited and
  // written as if the text ended there.
  const std::string utf16 = std::string("h\0e\0\n\0", 6);
  const std::string hint = "NUL byte in the input; convert UTF-16 files to UTF-8";
  Refused({"insert", "> "}, utf16, hint);
  Refused({"insert", "> "}, "ok\nab\0c\n"s, "marquill:-:2:3: " + hint, 2, "> ok\n");
  Refused({"delete-all", "-e", "> "}, "> a\r\n\0"s, "-:2:1: ", 2, "a\r\n");
  Refused({"insert", "--at", "char", "> "}, " a\n \0\n"s, "-:2:2: ", 2, " > a\n");
  Refused({"insert", "--lines", "after-blank", "> "}, "a\n\nb\0"s, "-:3:2: ", 2, "> a\n\n");
  // A NUL before a bad byte is the first fault, and the other way round.
  Refused({"insert", "> "}, std::string("a\0\xFF", 3), hint);
  Refused({"insert", "> "}, std::string("a\xFF\0", 3), "not valid UTF-8");
  // In the head of a long line, in its streamed rest, across a piece's end.
  const std::string longLine(5 << 20, 'x');
  Refused({"insert", "> "}, "\0"s + longLine, "-:1:1: ");
  const Result streamed = RunFilter({"delete", "> "}, longLine + "\0\n"s);
  EXPECT_EQ(streamed.status, 2);
  EXPECT_NE(streamed.err.find("-:1:" + std::to_string(longLine.size() + 1) + ": "), std::string::npos)
      << streamed.err;
  Refused({"insert", "> "}, std::string(size_t{128} << 10, '\n') + "\0"s, hint, 2,
          PrefixLines(std::string(size_t{128} << 10, '\n'), "> "));
  // With -i the file stays as it was.
  const std::string path = WriteTemp("nul.txt", "> a\n" + utf16);
  for (const char* verb : {"insert", "delete"}) {
    const Result r = RunFilter({verb, "-i", "> ", path});
    EXPECT_EQ(r.status, 2) << verb;
    EXPECT_NE(r.err.find(hint), std::string::npos) << r.err;
    EXPECT_TRUE(ReadFile(path) == "> a\n" + utf16) << verb;
  }
}

TEST(Cli, Settings) {
  const std::string settings = WriteTemp("Marquill_Setting.txt", kSettings);
  EXPECT_EQ(Ok({"entries", "--settings", settings}, ""),
            "> \t引用\n# \tコメント\n// \t表示\nREM \tcap\\tx\n\\\\t\tab\n");
  EXPECT_EQ(Ok({"entries", "-z", "-s", settings}, ""),
            std::string("> \t引用\0# \tコメント\0// \t表示\0REM \tcap\\tx\0\\\\t\tab\0", 56));
  EXPECT_EQ(Ok({"delete-all", "--settings", settings}, "> # x\r\n  // y\n\\tz\r# > w"), "x\r\n  y\nz\rw");
  EXPECT_EQ(Ok({"delete-once", "--settings=" + settings}, "> # x\r\n# > w\n"), "x\r\n> w\n");
  // One entry picked by number or by caption, as the menu does.
  EXPECT_EQ(Ok({"insert", "--settings", settings, "--entry", "3"}, "a\n"), "// a\n");
  EXPECT_EQ(Ok({"insert", "--settings", settings, "--entry", "コメント", "--at", "char"}, " a\n"), " # a\n");
  EXPECT_EQ(Ok({"delete", "-s", settings, "--entry=引用"}, "> # a\n"), "# a\n");
  // A caption with a tab, as the menu shows it or as entries lists it.
  EXPECT_EQ(Ok({"insert", "--settings", settings, "--entry", "cap\tx"}, "a\n"), "REM a\n");
  EXPECT_EQ(Ok({"insert", "--settings", settings, "--entry", "cap\\tx"}, "a\n"), "REM a\n");
  Refused({"insert", "--settings", settings, "--entry", "6"}, "a\n", "no entry 6");
  Refused({"insert", "--settings", settings, "--entry", "nothing"}, "a\n", "no entry has the caption 'nothing'");
  // Escapes: CR, LF, backslash and tab in captions come out escaped.
  const std::string odd = WriteTemp("odd.txt", "a\\\tx\\ry\\nz\\\\w\\tv\r\n");
  EXPECT_EQ(Ok({"entries", "--settings", odd}, ""), "a\\\\\tx\\ry\\nz\\\\w\\tv\n");
  // No valid entry is an error, whatever the verb.
  for (const std::string& content : {std::string(), std::string("no tab\r\nx\ty\tz\r\n")}) {
    const std::string none = WriteTemp("none.txt", content);
    Refused({"entries", "--settings", none}, "", "no valid entry");
    Refused({"delete-all", "--settings", none}, "> x\n", "no valid entry");
  }
}

TEST(Cli, SettingsEncodings) {
  // "※ " and 引用 in UTF-8: bytes that are valid code page 932 too.
  const std::string utf8 = "\xE2\x80\xBB \t\xE5\xBC\x95\xE7\x94\xA8\r\n";
  const std::string cp932 = "\x81\xA6 \t\x88\xf8\x97\x70\r\n";
  auto utf16 = [](bool big) {
    const std::u16string text = u"\u203B \t\u5F15\u7528\r\n";
    std::string b = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
      const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
      b += big ? std::string{hi, lo} : std::string{lo, hi};
    }
    return b;
  };
  const std::string expected = "\xE2\x80\xBB \t\xE5\xBC\x95\xE7\x94\xA8\n";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {utf8, "auto", expected},
      {utf8, "utf-8", expected},
      {cp932, "auto", expected},
      {cp932, "cp932", expected},
      {"\xEF\xBB\xBF" + utf8, "cp932", expected},  // a mark decides
      {utf16(false), "auto", expected},
      {utf16(true), "utf-8", expected},
  };
  int n = 0;
  for (const auto& [bytes, encoding, listing] : cases) {
    const std::string path = WriteTemp("enc" + std::to_string(n++) + ".txt", bytes);
    EXPECT_EQ(Ok({"entries", "--settings", path, "--settings-encoding", encoding}, ""), listing) << n;
    EXPECT_EQ(Ok({"delete-all", "--settings", path, "--settings-encoding=" + encoding}, "\xE2\x80\xBB x\n"), "x\n")
        << n;
  }
  // Forced to code page 932, the UTF-8 bytes give other characters.
  const std::string path = WriteTemp("utf8.txt", utf8);
  EXPECT_NE(Ok({"entries", "--settings", path, "--settings-encoding", "cp932"}, ""), expected);
  Refused({"entries", "--settings", WriteTemp("cp.txt", cp932), "--settings-encoding", "utf-8"}, "",
          "not valid UTF-8 (byte 1)");
  Refused({"entries", "--settings", WriteTemp("bad1.txt", "> \tok\r\n\x81\x20\r\n")}, "",
          "neither UTF-8 nor code page 932 text (byte 8)");
  Refused({"entries", "--settings", WriteTemp("bad2.txt", "> \tok\x81"), "--settings-encoding", "cp932"}, "",
          "not code page 932 text (byte 6)");
  // UTF-16 without a mark: ASCII in it reads as UTF-8 holding NULs.
  // Line and character counted from 1; CR LF, CR and LF end lines.
  const std::vector<std::pair<std::string, std::string>> nuls = {
      {std::string(">\0 \0\t\0x\0", 8), "(line 1, character 2)"},
      {std::string("\0> \tx", 6), "(line 1, character 1)"},
      {std::string("> \tx\r\n# \ty\rab\0", 14), "(line 3, character 3)"},
      {std::string("> \tx\n\r\n\0", 9), "(line 3, character 1)"},
  };
  for (const auto& [bytes, where] : nuls)
    Refused({"delete-all", "--settings", WriteTemp("u16.txt", bytes)}, "> a\n",
            "holds a NUL character " + where + "; convert UTF-16 files to UTF-8");
}

TEST(Cli, BytesPassThrough) {
  // Unchanged lines come out byte for byte: control characters, a four-byte
  // character, trailing blanks, every kind of break (a NUL is refused).
  const std::vector<std::string> lines = {"head\r\n", "\x01mid\x7F  \r", "\r\n", "\n",
                                          "\xF0\x9F\x98\x80 \t\r", IDSP "\n"};
  std::string text, quoted;
  for (const auto& l : lines) {
    text += l;
    quoted += "> " + l;
  }
  EXPECT_EQ(Ok({"delete-all", "-e", "> ", "-e", "# "}, text), text);
  EXPECT_EQ(Ok({"insert", "> "}, text), quoted);
  EXPECT_EQ(Ok({"delete", "> "}, quoted), text);

  // Inputs larger than one read buffer, with a character across the buffer end.
  const size_t chunk = size_t{128} << 10;
  for (size_t back : {1, 2, 3}) {
    std::string big(chunk - back, 'a');
    big += "\xF0\x9F\x98\x80\n\xE3\x81\x82 \r\nz";
    std::string out = Ok({"insert", "> "}, big);
    EXPECT_TRUE(out == "> " + big.substr(0, chunk - back + 5) + "> \xE3\x81\x82 \r\n> z") << back;
  }
}

TEST(Cli, LargeInputs) {
  // Large inputs are handled in pieces, on several threads: the result must be
  // the same as for the whole text.
  const std::string text = LargeText();
  const std::string quoted = PrefixLines(text, "> ");
  EXPECT_TRUE(Ok({"insert", "> "}, text) == quoted);
  EXPECT_TRUE(Ok({"delete", "> "}, quoted) == text);
  EXPECT_TRUE(Ok({"delete-all", "-e", "> "}, PrefixLines(quoted, "> ")) == Ok({"delete-all", "-e", "> "}, text));
  // Only CR breaks.
  std::string crOnly(2 << 20, 'a');
  for (size_t i = 100; i < crOnly.size(); i += 101) crOnly[i] = '\r';
  EXPECT_TRUE(Ok({"insert", "--lines", "nonblank", "# "}, crOnly) == PrefixLines(crOnly, "# "));
}

TEST(Cli, EveryInstructionSetGivesTheSameResults) {
  // The filter with each scan implementation forced (one the processor
  // lacks falls back to the best it has): the same output, or the same
  // refusal, for edits that check, count, collect and measure.
  const std::string text = LargeText();
  std::string bad = text;
  bad[bad.size() / 2 + 1] = '\xFF';
  const std::vector<std::vector<std::string>> commands = {
      {"insert", "> "}, {"insert", "--at", "char", "> "}, {"delete", "> "}, {"toggle", "> "}, {"delete-all", "-e", "> "}};
  std::vector<Result> expected;
  {
    const TScopedEnv isa("MARQUILL_FORCE_ISA", "scalar");
    for (const auto& args : commands) {
      expected.push_back(RunFilter(args, PrefixLines(text, "> ")));
      expected.push_back(RunFilter(args, bad));
    }
  }
  for (const char* name : {"sse2", "avx2"}) {
    const TScopedEnv isa("MARQUILL_FORCE_ISA", name);
    for (size_t k = 0; k < commands.size(); ++k) {
      for (const auto& [got, want] : {std::pair{RunFilter(commands[k], PrefixLines(text, "> ")), expected[2 * k]},
                                      std::pair{RunFilter(commands[k], bad), expected[2 * k + 1]}}) {
        EXPECT_EQ(got.status, want.status) << name << " " << commands[k][0];
        EXPECT_TRUE(got.out == want.out) << name << " " << commands[k][0];
        EXPECT_EQ(got.err, want.err) << name << " " << commands[k][0];
      }
    }
  }
  EXPECT_NE(expected[1].status, 0);  // the bad byte was found
}

TEST(Cli, Failures) {
  const std::string settings = WriteTemp("good.txt", kSettings);
  // Bad input: file, line and column in bytes; the lines before it are
  // edited as if the text ended there and written, also by the edits that
  // look at the whole text while its least indentation is not settled (as
  // here: every line indented).
  Refused({"insert", "> "}, "ok\n\xE3\x81", "marquill:-:2:1: not valid UTF-8", 2, "> ok\n");
  Refused({"insert", "> "}, "abc\xFF", "-:1:4: ");
  Refused({"delete-all", "-e", "> "}, "\r\n\r\xC0\xAF", "-:3:1: ", 2, "\r\n\r");
  Refused({"delete", "> "}, "\xED\xA0\x80", "-:1:1: ");  // an encoded surrogate
  Refused({"insert", "--at", "char", "> "}, "a\r\nb\n\xFF", "-:3:1: ", 2, "> a\r\n> b\n");
  Refused({"insert", "--lines", "least", "> "}, " a\r b\r\n\xF0\x9F", "-:3:1: ", 2, ">  a\r>  b\r\n");
  const size_t chunk = size_t{128} << 10;
  Refused({"insert", "> "}, std::string(chunk, 'a') + "\x80", "-:1:131073: ");
  // A file operand is named as given, its control characters escaped.
  for (const std::string name : {"plain.txt", "tab\tand\nbreak.txt"}) {
    const std::string path = WriteTemp(name, "x\n  y\xFF\n");
    const Result r = RunFilter({"delete", "> ", path});
    const std::string shown = path.substr(0, path.size() - name.size()) +
                              (name == "plain.txt" ? name : std::string("tab\\tand\\nbreak.txt"));
    EXPECT_EQ(r.err, "marquill:" + shown + ":2:4: not valid UTF-8\n");
  }
  Refused({"insert", "> "}, std::string(chunk - 1, '\n') + "\xE3\x81" "b",
          "-:131072:1: ", 2, PrefixLines(std::string(chunk - 1, '\n'), "> "));
  // More breaks than a byte counts, each in the same place of 16 bytes.
  std::string lines, deleted;
  for (int i = 0; i < 300; ++i) lines += "> 0123456789abc\n", deleted += " 0123456789abc\n";
  Refused({"delete", "-e", ">"}, lines + "\xFF\n", "marquill:-:301:1: ", 2, deleted);

  // Arguments and file names are shown with their control characters escaped.
  Refused({"insert", ""}, "x", "empty");
  Refused({"insert", "a\tb"}, "x", "'a\\tb' holds a tab");
  Refused({"delete", "a\r"}, "x", "line break");
  Refused({"delete-once", "-e", "> ", "-e", "a\n"}, "x", "'a\\n' holds");
  Refused({"insert", "\xFF"}, "x", "'\\xFF' is not valid UTF-8");
  Refused({"insert", "> ", "\x1B[31mred"}, "", "cannot open '\\x1B[31mred'", 1);
  Refused({"frob\x07"}, "", "unknown command 'frob\\x07'");

  // Files: exit 1.
  Refused({"delete-all", "--settings", TempDir() + "/missing.txt"}, "x", "cannot open", 1);
  Refused({"entries", "--settings", TempDir()}, "", "cannot read", 1);
  Refused({"insert", "> ", TempDir()}, "", "cannot read", 1);

  // Usage errors.
  Refused({}, "", "missing command");
  Refused({"frobnicate"}, "", "unknown command");
  Refused({"--lines", "all"}, "", "missing command");
  Refused({"insert", "--bogus", "> "}, "", "unknown option '--bogus'");
  Refused({"insert", "-x"}, "", "unknown option '-x'");
  Refused({"insert", "--settings", settings, "> "}, "", "--entry");
  Refused({"delete", "--at", "char", "> "}, "", "not for delete");
  Refused({"delete-all", "--null", "-e", "> "}, "", "not for delete-all");
  Refused({"insert", "--at", "middle", "> "}, "", "--at");
  Refused({"insert", "--lines", "some", "> "}, "", "--lines");
  Refused({"insert", "> ", "--at"}, "", "needs a value");
  Refused({"insert"}, "", "missing SYMBOL");
  Refused({"insert", "-e", "a", "-e", "b"}, "", "one SYMBOL");
  Refused({"delete"}, "", "missing SYMBOL");
  {
    // Without -e or --settings the default settings file is read.
    const TScopedEnv settingsVariable("MARQUILL_SETTINGS", (TempDir() + "/no-such-settings.txt").c_str());
    Refused({"delete-all"}, "",
            "no settings file (tried '" + TempDir() + "/no-such-settings.txt', named by MARQUILL_SETTINGS)", 1);
    Refused({"entries"}, "", "copy the starter list", 1);
  }
  Refused({"delete-once", "--settings", settings, "-e", "> "}, "", "not both");
  Refused({"entries", "--settings", settings, "x"}, "", "unexpected argument");
  Refused({"entries", "--settings"}, "", "needs a value");
  Refused({"entries", "--settings", settings, "--settings-encoding", "latin1"}, "", "--settings-encoding");
}

TEST(Cli, HelpVersionAndWriteErrors) {
  for (const char* h : {"--help", "-h"}) {
    Result r = RunFilter({h});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: marquill", 0), 0u);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
  for (const char* v : {"--version", "-V"}) EXPECT_EQ(RunFilter({v}).out, "marquill " MARQUILL_VERSION "\n");
  Result r = RunFilter({"insert", "--help"}, "ignored");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: marquill", 0), 0u);
  r = RunFilter({"insert"});
  EXPECT_NE(r.err.find("--help"), std::string::npos);

  // A full disk: exit 1 with a message.
  if (access("/dev/full", W_OK) == 0) {
    for (const char* at : {"head", "char"}) {
      r = RunFilter({"insert", "--at", at, "> "}, "a\n", "/dev/full");
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("marquill: cannot write output"), std::string::npos) << r.err;
    }
    r = RunFilter({"--help"}, "", "/dev/full");
    EXPECT_EQ(r.status, 1);
  }
}
