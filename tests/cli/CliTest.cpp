// Runs the built marquill filter as a separate process and checks its output
// byte for byte, its exit status and its messages.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

const std::string& TempDir() {
  static std::string dir = [] {
    std::string t = "/tmp/marquill-cli-XXXXXX";
    if (!mkdtemp(t.data())) std::abort();
    return t;
  }();
  return dir;
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// How standard input is given: a file (read from `offset` on), or a pipe.
struct StdinFrom {
  bool pipe = false;
  off_t offset = 0;
  off_t* offsetAfter = nullptr;  // where the file was left
};

// Runs marquill with `args`, feeding `input` on stdin; stdout goes to a file
// (or to `stdoutPath` when given).
Result RunFilter(const std::vector<std::string>& args, const std::string& input = "", const char* stdoutPath = nullptr,
                 StdinFrom from = {}) {
  const std::string in = WriteTemp("stdin", input);
  const std::string out = stdoutPath ? stdoutPath : TempDir() + "/stdout";
  const std::string err = TempDir() + "/stderr";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  int fds[2] = {-1, -1};
  if (from.pipe) {
    if (pipe(fds) != 0) std::abort();
    posix_spawn_file_actions_adddup2(&fa, fds[0], 0);
    posix_spawn_file_actions_addclose(&fa, fds[1]);
  } else {
    fds[0] = open(in.c_str(), O_RDONLY);
    lseek(fds[0], from.offset, SEEK_SET);
    posix_spawn_file_actions_adddup2(&fa, fds[0], 0);
  }
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  std::string exe = MARQUILL_EXE;
  argv.push_back(exe.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  Result r;
  if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) {
    ADD_FAILURE() << "cannot start " << exe;
    return r;
  }
  posix_spawn_file_actions_destroy(&fa);
  if (from.pipe) {
    // No SIGPIPE, should the filter stop reading early.
    signal(SIGPIPE, SIG_IGN);
    close(fds[0]);
    for (size_t done = 0; done < input.size();) {
      const ssize_t w = write(fds[1], input.data() + done, input.size() - done);
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    close(fds[1]);
  } else {
    if (from.offsetAfter) *from.offsetAfter = -1;
  }
  int ws = 0;
  waitpid(pid, &ws, 0);
  if (!from.pipe) {
    if (from.offsetAfter) *from.offsetAfter = lseek(fds[0], 0, SEEK_CUR);
    close(fds[0]);
  }
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
  if (!stdoutPath) r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

// Output of a run that must succeed silently.
std::string Ok(const std::vector<std::string>& args, const std::string& input) {
  Result r = RunFilter(args, input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  return r.out;
}

// A run that must be refused: status 2, nothing on stdout, a prefixed message
// that contains `fragment`.
void Refused(const std::vector<std::string>& args, const std::string& input, const std::string& fragment) {
  Result r = RunFilter(args, input);
  std::string what;
  for (auto& a : args) what += "[" + a + "] ";
  EXPECT_EQ(r.status, 2) << what;
  EXPECT_EQ(r.out, "") << what;
  EXPECT_EQ(r.err.rfind("marquill: ", 0), 0u) << what << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << what << r.err;
}

#define IDSP "\xE3\x80\x80"  // ideographic space

// Tab, two spaces, a blank line of one space, an ideographic space; CR LF.
const std::string kMixed = "\tfoo\r\n  bar\r\n \r\n" IDSP "baz";

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

// `symbol` before every line (CR LF, CR, LF), done on the bytes.
std::string PrefixLines(const std::string& text, const std::string& symbol) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    end = end == std::string::npos ? text.size() : end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    out += symbol + text.substr(start, end - start);
    start = end;
  }
  return out;
}

// Several megabytes of lines with every kind of break, Japanese, ASCII and
// four-byte characters, long and empty lines.
std::string LargeText() {
  std::string t;
  uint32_t seed = 7;
  const char* parts[] = {"abc ", "\xE6\x97\xA5\xE6\x9C\xAC ", "\xF0\x9F\x98\x80", "\t", IDSP, "> ", "x"};
  const char* breaks[] = {"\r\n", "\n", "\r"};
  while (t.size() < (size_t{3} << 20)) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t len = (seed >> 16) % 40 == 0 ? 5000 : (seed >> 16) % 12;
    for (uint32_t i = 0; i < len; ++i) t += parts[(seed >> (i % 16)) % 7];
    t += breaks[(seed >> 8) % 3];
  }
  return t;
}

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
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(Ok(args, kMixed), expected) << args[1];

  // Tabs only: the tabs stay; options after the symbol; the last option wins.
  EXPECT_EQ(Ok({"insert", "// ", "--at", "head", "--at", "char"}, "\t\ta\r\n\tb\r\n"), "\t// \ta\r\n\t// b\r\n");
  // Mixed breaks stay as they are; LF CR is two breaks; no line after a final break.
  EXPECT_EQ(Ok({"insert", "> "}, "x\ny\rz\r\n\n\r"), "> x\n> y\r> z\r\n> \n> \r");
  // An empty text gives the symbol alone.
  EXPECT_EQ(Ok({"insert", "--at", "char", "--lines", "least", "> "}, ""), "> ");
  // Symbols are verbatim, dashes included; -- ends the options.
  EXPECT_EQ(Ok({"insert", "- "}, "a\n"), "- a\n");
  EXPECT_EQ(Ok({"insert", "-"}, "a\n"), "-a\n");
  EXPECT_EQ(Ok({"insert", "--", "-x"}, "a\n"), "-xa\n");
  EXPECT_EQ(Ok({"insert", "--", "--help"}, "a\n"), "--helpa\n");
  EXPECT_EQ(Ok({"insert", "\\t"}, "a\n"), "\\ta\n");
  EXPECT_EQ(Ok({"insert", "\xF0\x9F\x98\x80 "}, "a\nb"), "\xF0\x9F\x98\x80 a\n\xF0\x9F\x98\x80 b");
}

TEST(Cli, Delete) {
  EXPECT_EQ(Ok({"delete", "> "}, ">     foo\r\n  > foo\r\n  >foo\n> x > y\r>"), "    foo\r\n  foo\r\n  foo\nx > y\r");
  EXPECT_EQ(Ok({"delete", "REM "}, "rem x\nREM x\n"), "rem x\nx\n");
  EXPECT_EQ(Ok({"delete", " //"}, "  // x\r\n"), "   x\r\n");
  EXPECT_EQ(Ok({"delete", "  "}, "    x\n"), "    x\n");  // a blank symbol is never removed
  EXPECT_EQ(Ok({"delete", "> "}, ""), "");
  // One pass: every symbol once, in the order given.
  EXPECT_EQ(Ok({"delete-once", "> ", "# "}, "> # x\r\n# > x\r\n"), "x\r\n> x\r\n");
  EXPECT_EQ(Ok({"delete-all", "> ", "# "}, "> # x\r\n# > x\r\n"), "x\r\nx\r\n");
  EXPECT_EQ(Ok({"delete-once", "> "}, "> > > x\n"), "> > x\n");
  EXPECT_EQ(Ok({"delete-all", "> "}, "> > > x\n"), "x\n");
  EXPECT_EQ(Ok({"delete-all", "--", "-", "- "}, "- - -x\n"), " x\n");
  // Inserted then deleted: the text comes back.
  const std::string text = "a\r\n\r\n  b\n\tc\r" IDSP "d";
  EXPECT_EQ(Ok({"delete", "// "}, Ok({"insert", "--at", "char", "// "}, "\t\ta\r\n\tb\r\n")), "\t\ta\r\n\tb\r\n");
  EXPECT_EQ(Ok({"delete-all", "> "}, Ok({"insert", "> "}, Ok({"insert", "> "}, text))), text);
}

TEST(Cli, Settings) {
  const std::string settings = WriteTemp("Marquill_Setting.txt", kSettings);
  EXPECT_EQ(Ok({"entries", "--settings", settings}, ""),
            "> \t引用\n# \tコメント\n// \t表示\nREM \tcap\tx\n\\t\tab\n");
  EXPECT_EQ(Ok({"delete-all", "--settings", settings}, "> # x\r\n  // y\n\\tz\r# > w"), "x\r\n  y\nz\rw");
  EXPECT_EQ(Ok({"delete-once", "--settings=" + settings}, "> # x\r\n# > w\n"), "x\r\n> w\n");
  // An empty settings file: no entries, nothing deleted.
  const std::string empty = WriteTemp("empty.txt", "");
  EXPECT_EQ(Ok({"entries", "--settings", empty}, ""), "");
  EXPECT_EQ(Ok({"delete-all", "--settings", empty}, "> x\n"), "> x\n");
}

TEST(Cli, BytesPassThrough) {
  // Unchanged lines come out byte for byte: BOM, NUL, a four-byte character,
  // trailing blanks, every kind of break.
  const std::vector<std::string> lines = {"\xEF\xBB\xBFhead\r\n", std::string("\0mid  \r", 7), "\r\n", "\n",
                                          "\xF0\x9F\x98\x80 \t\r", IDSP "\n"};
  std::string text, quoted;
  for (const auto& l : lines) {
    text += l;
    quoted += "> " + l;
  }
  ASSERT_EQ(text.size(), 30u);
  EXPECT_EQ(Ok({"delete-all", "> ", "# "}, text), text);
  EXPECT_EQ(Ok({"insert", "> "}, text), quoted);
  EXPECT_EQ(Ok({"delete", "> "}, quoted), text);
  // The BOM is an ordinary character of the first line.
  EXPECT_EQ(Ok({"insert", "> "}, "\xEF\xBB\xBF" "a\r\nb"), "> \xEF\xBB\xBF" "a\r\n> b");

  // Inputs larger than one read buffer, with a character across the buffer end.
  const size_t chunk = size_t{4} << 20;
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
  EXPECT_TRUE(Ok({"delete-all", "> "}, PrefixLines(quoted, "> ")) == Ok({"delete-all", "> "}, text));
  // Only CR breaks: no LF to cut at, one piece.
  std::string crOnly(2 << 20, 'a');
  for (size_t i = 100; i < crOnly.size(); i += 101) crOnly[i] = '\r';
  EXPECT_TRUE(Ok({"insert", "--lines", "nonblank", "# "}, crOnly) == PrefixLines(crOnly, "# "));

  // The first bad byte is reported, wherever it is.
  std::string bad = text;
  size_t late = bad.size() - 1000;
  while (static_cast<unsigned char>(bad[late]) >= 0x80) --late;  // not inside a sequence
  bad[late] = '\xFF';
  Refused({"insert", "> "}, bad, "byte offset " + std::to_string(late));
  size_t early = 1000;
  while (static_cast<unsigned char>(bad[early]) >= 0x80) --early;
  bad[early] = '\xC0';
  Refused({"delete-all", "> "}, bad, "byte offset " + std::to_string(early) + ")");
}

TEST(Cli, InputFileOrPipe) {
  // A regular file is read in ranges by several threads, a pipe whole: the
  // same bytes either way. One line of 1 MB lies across the middle.
  std::string text = LargeText();
  text.insert(text.find('\n', text.size() / 2 - 300000) + 1, std::string(1 << 20, 'L') + "\r\n");
  const std::string quoted = PrefixLines(text, "> ");
  StdinFrom pipe;
  pipe.pipe = true;
  EXPECT_TRUE(RunFilter({"insert", "> "}, text).out == quoted);
  EXPECT_TRUE(RunFilter({"insert", "> "}, text, nullptr, pipe).out == quoted);
  EXPECT_TRUE(RunFilter({"delete", "> "}, quoted, nullptr, pipe).out == text);
  // Bad bytes at the start, the middle and the end, through either.
  for (size_t at : {size_t{0}, text.size() / 2, text.size() / 2 + 1, text.size() - 1}) {
    std::string bad = text;
    while (static_cast<unsigned char>(bad[at]) >= 0x80) --at;
    bad[at] = '\xFE';
    for (bool viaPipe : {false, true}) {
      StdinFrom from;
      from.pipe = viaPipe;
      Result r = RunFilter({"insert", "> "}, bad, nullptr, from);
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find("(byte offset " + std::to_string(at) + ")"), std::string::npos) << r.err;
    }
  }
  // Small and empty texts through a pipe; a whole-text command through one.
  EXPECT_EQ(RunFilter({"insert", "> "}, "", nullptr, pipe).out, "> ");
  EXPECT_EQ(RunFilter({"insert", "> "}, "a\r\nb", nullptr, pipe).out, "> a\r\n> b");
  EXPECT_EQ(RunFilter({"delete-all", "> "}, "> > a\n> b\n", nullptr, pipe).out, "a\nb\n");
  EXPECT_EQ(RunFilter({"insert", "--lines", "least", "# "}, " a\n  b\n c", nullptr, pipe).out, "#  a\n  b\n#  c");
  EXPECT_TRUE(RunFilter({"insert", "--at", "char", "> "}, text, nullptr, pipe).out ==
              RunFilter({"insert", "--at", "char", "> "}, text).out);
  // A file already read in part: the rest is filtered, offsets count from
  // where reading began, and the file is left at its end.
  StdinFrom later;
  off_t after = 0;
  later.offset = 6;
  later.offsetAfter = &after;
  Result r = RunFilter({"insert", "> "}, "first\nsecond\nthird", nullptr, later);
  EXPECT_EQ(r.out, "> second\n> third");
  EXPECT_EQ(after, 18);
  r = RunFilter({"insert", "> "}, "first\nsecond\n\xFF", nullptr, later);
  EXPECT_NE(r.err.find("(byte offset 7)"), std::string::npos) << r.err;
  const std::string big = text.substr(0, text.rfind('\n', 3 << 20) + 1);
  later.offset = static_cast<off_t>(big.find('\n') + 1);
  r = RunFilter({"insert", "> "}, big, nullptr, later);
  EXPECT_TRUE(r.out == PrefixLines(big.substr(static_cast<size_t>(later.offset)), "> ")) << r.status << r.err;
  EXPECT_EQ(after, static_cast<off_t>(big.size()));
  // At its end already: an empty text, which insertion turns into the symbol.
  later.offset = 18;
  EXPECT_EQ(RunFilter({"insert", "> "}, "first\nsecond\nthird", nullptr, later).out, "> ");
}

TEST(Cli, BadInput) {
  const std::string settings = WriteTemp("good.txt", kSettings);
  Refused({"insert", "> "}, "ok\n\xE3\x81", "byte offset 3");
  Refused({"insert", "> "}, "abc\xFF", "byte offset 3");
  Refused({"delete-all", "> "}, "\xC0\xAF", "not valid UTF-8");
  Refused({"delete", "> "}, "\xED\xA0\x80", "byte offset 0");  // an encoded surrogate
  // A bad sequence just after the first read buffer, and one cut by its end.
  const size_t chunk = size_t{4} << 20;
  Refused({"insert", "> "}, std::string(chunk, 'a') + "\x80", "byte offset 4194304");
  Refused({"insert", "> "}, std::string(chunk - 1, 'a') + "\xE3\x81" "b", "byte offset 4194303");
  Refused({"insert", "> "}, std::string(chunk - 2, 'a') + "\xE3\x81", "byte offset 4194302");

  Refused({"insert", ""}, "x", "empty");
  Refused({"insert", "a\tb"}, "x", "tab");
  Refused({"delete", "a\r"}, "x", "line break");
  Refused({"delete-once", "> ", "a\n"}, "x", "line break");
  Refused({"insert", "\xFF"}, "x", "UTF-8");

  Refused({"delete-all", "--settings", TempDir() + "/missing.txt"}, "x", "cannot read settings file");
  Refused({"entries", "--settings", TempDir()}, "", "cannot read settings file");
  Refused({"entries", "--settings", WriteTemp("bad1.txt", "> \tok\r\n\x81\x20\r\n")}, "", "code page 932");
  Refused({"delete-once", "--settings", WriteTemp("bad2.txt", "> \tok\x81")}, "x", "code page 932");

  Refused({}, "", "missing command");
  Refused({"frobnicate"}, "", "unknown command");
  Refused({"--lines", "all"}, "", "unknown option");
  Refused({"insert", "--bogus", "> "}, "", "unknown option");
  Refused({"insert", "-x"}, "", "unknown option");
  Refused({"insert", "--settings", settings, "> "}, "", "unknown option");
  Refused({"delete", "--at", "char", "> "}, "", "unknown option");
  Refused({"insert", "--at", "middle", "> "}, "", "--at");
  Refused({"insert", "--lines", "some", "> "}, "", "--lines");
  Refused({"insert", "> ", "--at"}, "", "needs a value");
  Refused({"insert"}, "", "missing SYMBOL");
  Refused({"insert", "a", "b"}, "", "too many");
  Refused({"delete"}, "", "missing SYMBOL");
  Refused({"delete-all"}, "", "missing SYMBOL");
  Refused({"delete-once", "--settings", settings, "> "}, "", "not both");
  Refused({"entries"}, "", "missing --settings");
  Refused({"entries", "--settings", settings, "x"}, "", "unexpected argument");
  Refused({"entries", "--settings"}, "", "needs a value");
}

TEST(Cli, HelpAndWriteErrors) {
  for (const char* h : {"--help", "-h"}) {
    Result r = RunFilter({h});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: marquill", 0), 0u);
    EXPECT_NE(r.out.find("delete-all"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
  Result r = RunFilter({"insert", "--help"}, "ignored");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: marquill", 0), 0u);
  r = RunFilter({"insert"});
  EXPECT_NE(r.err.find("--help"), std::string::npos);

  // A full disk: exit 1 with a message.
  if (access("/dev/full", W_OK) == 0) {
    r = RunFilter({"insert", "> "}, "a\n", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("marquill: cannot write output"), std::string::npos) << r.err;
    r = RunFilter({"--help"}, "", "/dev/full");
    EXPECT_EQ(r.status, 1);
  }
}
