// The filter as editors use it: toggle, captions as the menu shows them, the
// default settings file and messages in the user's language.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "FilterRun.h"

namespace {

#define IDSP "\xE3\x80\x80"  // ideographic space

struct TToggleRow {
  std::vector<std::string> args;
  std::string input, output;
};

const TToggleRow kToggleRows[] = {
    // Not every non-blank line has the symbol: inserted at the least indentation of the non-blank lines.
    {{"toggle", "-e", "// "}, "  a\r\n\r\n    b\r\n", "  // a\r\n\r\n  //   b\r\n"},
    {{"toggle", "-e", "// "}, "// a\nb", "// // a\n// b"},
    // Every one has it (or without its blanks): deleted once, as delete does.
    {{"toggle", "-e", "// "}, "  // a\r\n\r\n  //   b\r\n", "  a\r\n\r\n    b\r\n"},
    {{"toggle", "-e", "// "}, "//a\n\t// // b\n \n//", "a\n\t// b\n \n"},
    {{"toggle", "-e", "> "}, IDSP "> a\r" IDSP ">b", IDSP "a\r" IDSP "b"},
    // Blank lines only, or nothing: left as they are.
    {{"toggle", "-e", "> "}, " \n\t\n" IDSP, " \n\t\n" IDSP},
    {{"toggle", "--lines", "all", "-e", "> "}, "\n\n", "\n\n"},
    {{"toggle", "-e", "> "}, "", ""},
    // The insertion as asked for.
    {{"toggle", "--at", "head", "--lines", "all", "-e", "# "}, "  a\n\nb", "#   a\n# \n# b"},
    {{"toggle", "--lines", "least", "# "}, " a\n  b\n c", " # a\n  b\n # c"},
    // A byte order mark stays in front and is no part of the first line.
    {{"toggle", "-e", "> "}, "\xEF\xBB\xBF> a\n> b", "\xEF\xBB\xBF" "a\nb"},
    {{"toggle", "-e", "> "}, "\xEF\xBB\xBF" "a", "\xEF\xBB\xBF> a"},
    // The choice is made per FILE operand (here the same text twice).
    {{"toggle", "-e", "> ", "-", "-"}, "> a\n", "a\n"},
};

TEST(Toggle, Table) {
  for (const TToggleRow& row : kToggleRows) {
    std::string what;
    for (const std::string& a : row.args) what += "[" + a + "] ";
    EXPECT_EQ(Ok(row.args, row.input), row.output) << what;
  }
}

// Whatever the input is read from, the choice and the edit are the same;
// toggling twice gives the text back.
TEST(Toggle, FromEverySourceAndTwice) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += (i % 7 == 0 ? "\r\n" : "  line " + std::to_string(i) + "\n");
  const std::string once = Ok({"toggle", "-e", "# "}, text);
  ASSERT_NE(once, text);
  EXPECT_EQ(Ok({"toggle", "-e", "# "}, once), text);
  for (const std::string& input : {text, once}) {
    const std::string want = Ok({"toggle", "-e", "# "}, input);
    Result piped = RunFilter({"toggle", "-e", "# "}, input, nullptr, StdinFrom{true});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, want);
    // Standard input left at an offset of a regular file: read from there.
    off_t after = 0;
    Result offset = RunFilter({"toggle", "-e", "# "}, "# x\n" + input, nullptr, StdinFrom{false, 4, &after});
    EXPECT_EQ(offset.out, want);
    EXPECT_EQ(after, static_cast<off_t>(input.size() + 4));
    const std::string file = WriteTemp("toggle.txt", input);
    EXPECT_EQ(Ok({"toggle", "-e", "# ", file}, ""), want);
    EXPECT_EQ(Ok({"toggle", "-i", "-e", "# ", file}, ""), "");
    EXPECT_EQ(ReadFile(file), want);
  }
  // Blank lines only: the file is not even rewritten.
  const std::string blank = WriteTemp("blank.txt", " \n\n");
  struct stat before {};
  stat(blank.c_str(), &before);
  EXPECT_EQ(Ok({"toggle", "-i.bak", "-e", "# ", blank}, ""), "");
  struct stat after {};
  stat(blank.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(ReadFile(blank), " \n\n");
  // A bad byte after the lines that settle the choice is still refused, and
  // -i leaves the file as it was.
  const std::string bad = "a\nb\n\xFF\n";
  const std::string file = WriteTemp("bad.txt", bad);
  EXPECT_EQ(RunFilter({"toggle", "-i", "-e", "# ", file}).status, 2);
  EXPECT_EQ(ReadFile(file), bad);
  EXPECT_EQ(RunFilter({"toggle", "-e", "# "}, bad, nullptr, StdinFrom{true}).status, 2);
}

// Entries as a Windows settings file holds them: access keys, a tab part,
// a caption that is a number, captions that look alike.
const std::string kMenuSettings =
    "> \t\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8(&M)\\t>\r\n"  // メール引用(&M)\t>
    "# \tS&cript && shell\r\n"
    "1 \t2\r\n"
    "A \tSame(&A)\r\n"
    "B \tSame(&B)\r\n"
    "C \tLast (&L)\r\n";

TEST(Captions, AsTheMenuShowsThem) {
  const std::string settings = WriteTemp("menu.txt", kMenuSettings);
  struct TRow {
    std::string choice, symbol;
  };
  const TRow rows[] = {
      {"\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8(&M)\t>", "> "},  // as stored
      {"\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8(&M)\\t>", "> "},  // as entries lists it
      {"\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8(M)", "> "},       // without the & mark
      {"\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8", "> "},          // without the access key
      {"Script & shell", "# "},
      {"S&cript && shell", "# "},
      {"3", "1 "},  // a number is the entry's number: the caption "2" is entry 3
      {"2", "# "},
      {"Same(A)", "A "},
      {"Last", "C "},
      {"Last (L)", "C "},
  };
  for (const TRow& r : rows)
    EXPECT_EQ(Ok({"insert", "-s", settings, "--entry", r.choice}, "x\n"), r.symbol + "x\n") << r.choice;
  Refused({"insert", "-s", settings, "--entry", "Same"}, "x\n",
          "the caption 'Same' matches several entries: 4 'Same(&A)', 5 'Same(&B)'");
  Refused({"insert", "-s", settings, "--entry", "Script"}, "x\n", "no entry has the caption 'Script'");
}

TEST(DefaultSettings, FromTheEnvironment) {
  const std::string home = TempDir() + "/home";
  const std::string config = home + "/.config/marquill";
  mkdir(home.c_str(), 0700);
  mkdir((home + "/.config").c_str(), 0700);
  mkdir(config.c_str(), 0700);
  const std::string xdg = TempDir() + "/xdg";
  mkdir(xdg.c_str(), 0700);
  mkdir((xdg + "/marquill").c_str(), 0700);
  WriteTemp("home/.config/marquill/Marquill_Setting.txt", "H \thome\n");
  WriteTemp("xdg/marquill/Marquill_Setting.txt", "X \txdg\n");
  const std::string named = WriteTemp("named.txt", "N \tnamed\n");
  const TScopedEnv homeVariable("HOME", home.c_str());
  struct TRow {
    const char* settings;  // MARQUILL_SETTINGS, or nullptr
    const char* config;    // XDG_CONFIG_HOME, or nullptr
    std::string symbol;
  };
  const TRow rows[] = {
      {named.c_str(), xdg.c_str(), "N "},
      {"", xdg.c_str(), "X "},
      {nullptr, xdg.c_str(), "X "},
      {nullptr, "", "H "},
      {nullptr, nullptr, "H "},
  };
  for (const TRow& r : rows) {
    const TScopedEnv settingsVariable("MARQUILL_SETTINGS", r.settings);
    const TScopedEnv configVariable("XDG_CONFIG_HOME", r.config);
    EXPECT_EQ(Ok({"insert", "--entry", "1"}, "a"), r.symbol + "a");
    EXPECT_EQ(Ok({"toggle", "--entry", "1"}, "a"), r.symbol + "a");
    EXPECT_EQ(Ok({"delete-all"}, r.symbol + r.symbol + "a"), "a");
    EXPECT_EQ(Ok({"entries"}, ""), r.symbol + "\t" + Ok({"entries"}, "").substr(3));
    // --settings and -e still win.
    EXPECT_EQ(Ok({"insert", "--settings", named, "--entry", "1"}, "a"), "N a");
    EXPECT_EQ(Ok({"delete-all", "-e", "Q"}, "Qa"), "a");
  }
  const TScopedEnv configVariable("XDG_CONFIG_HOME", TempDir().c_str());
  Refused({"insert", "--entry", "1"}, "a",
          "no settings file (tried '" + TempDir() +
              "/marquill/Marquill_Setting.txt'); copy the starter list "
              "/usr/share/doc/marquill/examples/Marquill_Setting.txt there",
          1);
  Refused({"insert", "--settings-encoding", "cp932", "x"}, "", "goes with a settings file");
}

TEST(Messages, InTheUsersLanguage) {
  const TScopedEnv all("LC_ALL", nullptr);
  const TScopedEnv language("LANGUAGE", nullptr);
  const TScopedEnv messages("LC_MESSAGES", nullptr);
  {
    const TScopedEnv lang("LANG", "ja_JP.UTF-8");
    const Result help = RunFilter({"--help"});
    EXPECT_NE(help.out.find("\xE4\xBD\xBF\xE3\x81\x84\xE6\x96\xB9"), std::string::npos) << help.out;  // 使い方
    EXPECT_NE(help.out.find("\xE6\x96\x87\xE5\xAD\x97\xE5\x85\x88\xE9\xA0\xAD\xE4\xBD\x8D\xE7\xBD\xAE"),
              std::string::npos);  // 文字先頭位置
    const Result bad = RunFilter({"insert", "--at", "middle", "x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.find("invalid value"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("\xE3\x80\x8Cmiddle\xE3\x80\x8D"), std::string::npos) << bad.err;  // 「middle」
  }
  {
    // A Japanese UTF-8 locale that is not installed still gives Japanese.
    const TScopedEnv lang("LANG", "ja_JP.utf8@x");
    const TScopedEnv noLocales("LOCPATH", "/nonexistent");
    EXPECT_EQ(RunFilter({"--help"}).out.rfind("\xE4\xBD\xBF\xE3\x81\x84\xE6\x96\xB9", 0), 0u);
  }
  for (const char* english : {"C", "en_US.UTF-8", "C.UTF-8"}) {
    const TScopedEnv lang("LANG", english);
    EXPECT_EQ(RunFilter({"--help"}).out.rfind("Usage: marquill", 0), 0u) << english;
  }
  const TScopedEnv lang("LANG", "C");
  const TScopedEnv messagesJapanese("LC_MESSAGES", "ja_JP.UTF-8");
  EXPECT_EQ(RunFilter({"--help"}).out.rfind("Usage", 0), std::string::npos);
}

// Columns a line takes in a terminal: two for a wide character.
size_t Columns(const std::string& line) {
  size_t columns = 0;
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    char32_t code = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len && i + k < line.size(); ++k) code = code << 6 | (line[i + k] & 0x3F);
    columns += code >= 0x2E80 && !(code >= 0xFF61 && code <= 0xFFDC) ? 2 : 1;
    i += len;
  }
  return columns;
}

TEST(Messages, JapaneseHelpFitsEightyColumns) {
  const Result help = RunInJapanese({"--help"});
  ASSERT_EQ(help.status, 0);
  std::istringstream lines(help.out);
  for (std::string line, next; std::getline(lines, line);) {
    EXPECT_LE(Columns(line), 80u) << line;
    // An option in a sentence is never cut from what follows it: no line of
    // Japanese ends with one.
    const std::string last = line.substr(line.find_last_of(' ') + 1);
    const bool prose = std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; });
    EXPECT_FALSE(prose && last.size() > 1 && last[0] == '-' && last != "--") << line;
  }
}

// Failures that no other test provokes through Refused: the output, a file
// edited in place and its backup. Each must fail the same in English and in
// Japanese, and read as Japanese there.
TEST(Messages, EveryFailureInJapanese) {
  const std::string fifo = TempDir() + "/ja-fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string edited = WriteTemp("ja-edited.txt", "a\n");
  ASSERT_EQ(mkdir((edited + ".bak").c_str(), 0700), 0);  // a backup that cannot be replaced
  struct TRow {
    std::vector<std::string> args;
    const char* stdoutPath;
    int status;
    std::string english;
  };
  std::vector<TRow> rows = {
      {{"insert", "-i", "> ", fifo}, nullptr, 1, "in place: not a regular file"},
      {{"insert", "-i", "> ", TempDir()}, nullptr, 1, "in place: not a regular file"},
      {{"insert", "-i", "> ", TempDir() + "/ja-missing.txt"}, nullptr, 1, "cannot open"},
      {{"insert", "-i.bak", "> ", edited}, nullptr, 1, "cannot replace '" + edited + ".bak': "},
  };
  if (access("/dev/full", W_OK) == 0) {
    rows.push_back({{"insert", "> "}, "/dev/full", 1, "cannot write output: "});
    rows.push_back({{"insert", "--at", "char", "> "}, "/dev/full", 1, "cannot write output: "});
    rows.push_back({{"entries", "-s", WriteTemp("ja-settings.txt", "> \tq\n")}, "/dev/full", 1, "cannot write"});
    rows.push_back({{"--help"}, "/dev/full", 1, "cannot write output: "});
  }
  for (const TRow& row : rows) {
    const Result english = RunFilter(row.args, "a\n", row.stdoutPath);
    EXPECT_EQ(english.status, row.status) << english.err;
    EXPECT_NE(english.err.find(row.english), std::string::npos) << english.err;
    const Result japanese = RunInJapanese(row.args, "a\n", row.stdoutPath);
    EXPECT_EQ(japanese.status, row.status) << japanese.err;
    EXPECT_EQ(NotJapanese(japanese.err), "");
  }
  EXPECT_EQ(ReadFile(edited), "a\n");
}

}  // namespace
