// The filter as a child process on files, pipes and in place: where input
// comes from, long lines, streaming, closed pipes and files that change.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "EditUnit.h"
#include "FilterRun.h"
#include "Utf.h"

extern char** environ;

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct stat StatOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st;
}

// Runs marquill with its stdin and stdout on pipes; `talk` writes to the
// first and reads from the second. Returns the exit status.
template <class Talk>
int Converse(const std::vector<std::string>& args, Talk talk) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) std::abort();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, in[1]);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> copy = args;
  std::string exe = MARQUILL_EXE;
  std::vector<char*> argv{exe.data()};
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) std::abort();
  posix_spawn_file_actions_destroy(&fa);
  close(in[0]);
  close(out[1]);
  signal(SIGPIPE, SIG_IGN);
  talk(in[1], out[0]);
  close(in[1]);
  close(out[0]);
  int ws = 0;
  waitpid(pid, &ws, 0);
  return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
}

// What arrives on fd within a minute (a guard against a hang, not a timing).
std::string ReadLineFrom(int fd) {
  std::string got;
  pollfd p{fd, POLLIN, 0};
  while (got.empty() || got.back() != '\n') {
    if (poll(&p, 1, 60000) <= 0) break;
    char c;
    if (read(fd, &c, 1) != 1) break;
    got += c;
  }
  return got;
}

}  // namespace

TEST(Cli, InputFileOrPipe) {
  // The same bytes from a file, a pipe and a file operand. One line of 1 MB
  // lies across the middle.
  std::string text = LargeText();
  text.insert(text.find('\n', text.size() / 2 - 300000) + 1, std::string(1 << 20, 'L') + "\r\n");
  const std::string quoted = PrefixLines(text, "> ");
  StdinFrom pipe;
  pipe.pipe = true;
  EXPECT_TRUE(RunFilter({"insert", "> "}, text).out == quoted);
  EXPECT_TRUE(RunFilter({"insert", "> "}, text, nullptr, pipe).out == quoted);
  EXPECT_TRUE(RunFilter({"insert", "> ", WriteTemp("large.txt", text)}).out == quoted);
  EXPECT_TRUE(RunFilter({"delete", "> "}, quoted, nullptr, pipe).out == text);
  EXPECT_TRUE(RunFilter({"insert", "--at", "char", "> "}, text, nullptr, pipe).out ==
              RunFilter({"insert", "--at", "char", "> "}, text).out);
  // The whole-text edits write the lines before bad input, edited as if the
  // text ended there, from a file or a pipe.
  for (bool viaPipe : {false, true}) {
    StdinFrom from;
    from.pipe = viaPipe;
    Result bad = RunFilter({"insert", "--at", "char", "> "}, " a\n b\r\n\xC3(", nullptr, from);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, " > a\n > b\r\n");
    EXPECT_NE(bad.err.find("marquill:-:3:1: not valid UTF-8"), std::string::npos) << bad.err;
  }
  // A file already read in part: the rest is filtered, offsets count from
  // where reading began, and the file is left at its end.
  StdinFrom later;
  off_t after = 0;
  later.offset = 6;
  later.offsetAfter = &after;
  Result r = RunFilter({"insert", "> "}, "first\nsecond\nthird", nullptr, later);
  EXPECT_EQ(r.out, "> second\n> third");
  EXPECT_EQ(after, 18);
  // The whole-text edits read a file from where reading began.
  r = RunFilter({"insert", "--at", "char", "> "}, "first\n  second\n    third", nullptr, later);
  EXPECT_EQ(r.out, "  > second\n  >   third");
  EXPECT_EQ(after, 24);
  r = RunFilter({"insert", "> "}, "first\nsecond\n\xFF", nullptr, later);
  EXPECT_NE(r.err.find("marquill:-:2:1: "), std::string::npos) << r.err;
  later.offset = 18;
  EXPECT_EQ(RunFilter({"insert", "> "}, "first\nsecond\nthird", nullptr, later).out, "");
}

TEST(Cli, LongLines) {
  // Lines longer than the filter holds at once: edited by their head, the
  // rest streamed. The result must be the engine's edit of the whole text,
  // also where the head does not tell (an indentation, or a run of symbols,
  // as long as the head).
  const std::string body = std::string(9 << 19, 'x') + "\xE6\x97\xA5";
  std::string symbols;
  for (int i = 0; i < (9 << 18); ++i) symbols += "> ";
  const std::vector<std::string> texts = {
      "a\n\n" + body + "\nb\n\nc\n",
      "  > " + body + "\r\n> next\r",
      "\t" + body + "\r" + body,
      std::string(9 << 19, ' ') + "> x\n\n" + body,
      symbols + "x\n> y\n",
      "\n" + body + "\r\n",
      [] {  // a long mixed indentation, an ideographic space across the window's end, then symbols
        std::string t(3 << 19, '\t');
        for (int i = 0; i < (1 << 19); ++i) t += "\xE3\x80\x80 ";
        return t + "# > y\n";
      }(),
      std::string(9 << 19, ' ') + "\r\n> z",  // a long line of nothing but indentation
      "x\n" + std::string(9 << 19, '\t') + "\n" + std::string(9 << 19, ' ') + "\r\nw\n",  // two long blank lines
  };
  const std::vector<std::pair<std::vector<std::string>, TEdit>> edits = {
      {{"insert", "> "}, {ekInsert, ipLineHead, tlAll, u"> ", {}, {}}},
      {{"insert", "--lines", "after-blank", "# "}, {ekInsert, ipLineHead, tlAfterBlank, u"# ", {}, {}}},
      {{"insert", "--lines", "nonblank", "# "}, {ekInsert, ipLineHead, tlNonBlank, u"# ", {}, {}}},
      {{"delete", "> "}, {ekDeleteGiven, ipLineHead, tlAll, u"> ", {}, {}}},
      {{"delete-all", "-e", "> ", "-e", "# "}, {ekDeleteAll, ipLineHead, tlAll, {}, {u"> ", u"# "}, {}}},
  };
  StdinFrom pipe;
  pipe.pipe = true;
  for (size_t t = 0; t < texts.size(); ++t) {
    for (const auto& [args, edit] : edits) {
      const std::string expected = *Utf16ToUtf8(ApplyEdit(*Utf8ToUtf16(texts[t]), edit));
      EXPECT_TRUE(Ok(args, texts[t]) == expected) << "text " << t << " " << args[0] << " " << args[1];
      if (args[0] == "delete") {
        EXPECT_TRUE(RunFilter(args, texts[t], nullptr, pipe).out == expected) << "text " << t;
      }
    }
  }
  // A bad byte in the rest of a long line: its head is written already.
  Result r = RunFilter({"insert", "> "}, "a\n" + body + "\xFF\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("marquill:-:2:" + std::to_string(body.size() + 1) + ": "), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.substr(0, 7) == "> a\n> x") << r.out.substr(0, 10);
}

TEST(Cli, Operands) {
  // Each FILE is its own text: its own least indentation; outputs one after
  // another; - is standard input.
  const std::string one = WriteTemp("one.txt", "  a\n    b\n");
  const std::string two = WriteTemp("two.txt", "\tc\n");
  EXPECT_EQ(Ok({"insert", "--at", "char", "> ", one, "-", two}, " s\n"), "  > a\n  >   b\n > s\n\t> c\n");
  EXPECT_EQ(Ok({"delete-all", "-e", "> ", one, two}, ""), "  a\n    b\n\tc\n");
  EXPECT_EQ(Ok({"insert", "--", "-x", one}, ""), "-x  a\n-x    b\n");
  const std::string dashed = WriteTemp("-dash.txt", "d\n");
  EXPECT_EQ(Ok({"insert", "> ", "--", dashed.substr(0, 0) + "-" + dashed.substr(dashed.size() - 0)}, "s\n"), "> s\n");
  // A missing file stops the run there, after the output of the files before.
  Refused({"insert", "> ", one, TempDir() + "/missing.txt", two}, "", "cannot open", 1, ">   a\n>     b\n");
}

TEST(Cli, InPlace) {
  auto write = [](const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = WriteTemp(name, text);
    chmod(path.c_str(), mode);
    return path;
  };
  const std::string a = write("ip-a.txt", "a\n", 0640);
  const std::string b = write("ip-b.txt", "> b\r\n", 0604);
  Result r = RunFilter({"insert", "-i", "> ", a, b});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(a), "> a\n");
  EXPECT_EQ(ReadFile(b), "> > b\r\n");
  EXPECT_EQ(StatOf(a).st_mode & 0777, 0640u);
  EXPECT_EQ(StatOf(b).st_mode & 0777, 0604u);

  // A suffix keeps the original; both option forms.
  EXPECT_EQ(RunFilter({"delete", "-i.bak", "> ", a}).status, 0);
  EXPECT_EQ(ReadFile(a), "a\n");
  EXPECT_EQ(ReadFile(a + ".bak"), "> a\n");
  EXPECT_EQ(RunFilter({"delete", "--in-place=.orig", "> ", b}).status, 0);
  EXPECT_EQ(ReadFile(b), "> b\r\n");
  EXPECT_EQ(ReadFile(b + ".orig"), "> > b\r\n");

  // Only the first line of a file of several pieces changes: the file is
  // rewritten all the same, whatever its later pieces say.
  std::string rest;
  while (rest.size() <= (size_t{300} << 10)) rest += "unquoted line " + std::to_string(rest.size()) + "\r\n";
  const std::string early = write("ip-early.txt", "> first\n" + rest, 0600);
  r = RunFilter({"delete", "-i", "> ", early});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(early) == "first\n" + rest);

  // A file that does not change is not rewritten, nor backed up.
  const struct stat before = StatOf(a);
  EXPECT_EQ(RunFilter({"delete", "-i~", "# ", a}).status, 0);
  EXPECT_EQ(StatOf(a).st_ino, before.st_ino);
  EXPECT_FALSE(Exists(a + "~"));

  // On an error the file is untouched and the next ones are not edited; no
  // temporary file is left behind.
  const std::string bad = write("ip-bad.txt", "x\n\xFF\n", 0600);
  const std::string next = write("ip-next.txt", "n\n", 0600);
  r = RunFilter({"insert", "--in-place", "> ", a, bad, next});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("ip-bad.txt:2:1: not valid UTF-8\n"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(a), "> a\n");
  EXPECT_EQ(ReadFile(bad), "x\n\xFF\n");
  EXPECT_EQ(ReadFile(next), "n\n");
  for (const std::string& whole : {std::string("--at=char"), std::string("--lines=after-blank")}) {
    EXPECT_EQ(RunFilter({"insert", "-i", whole, "> ", bad}).status, 2);
    EXPECT_EQ(ReadFile(bad), "x\n\xFF\n");
  }
  r = RunFilter({"insert", "-i", "> ", TempDir() + "/missing.txt"});
  EXPECT_EQ(r.status, 1);
  std::string listing;
  if (std::FILE* ls = popen(("ls -A " + TempDir()).c_str(), "r")) {
    char buf[4096];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, ls)) > 0;) listing.append(buf, got);
    pclose(ls);
  }
  EXPECT_EQ(listing.find(".marquill-"), std::string::npos) << listing;

  // Only regular files are replaced: a FIFO (not waited on) or a folder is
  // refused and stays what it was.
  const std::string fifo = TempDir() + "/ip-fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& odd : {fifo, TempDir()}) {
    r = RunFilter({"insert", "-i", "> ", odd, next});
    EXPECT_EQ(r.status, 1) << odd;
    EXPECT_NE(r.err.find("in place: not a regular file"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
  EXPECT_EQ(ReadFile(next), "n\n");

  Refused({"insert", "-i", "> "}, "a\n", "needs a FILE");
  Refused({"insert", "-i", "> ", "-"}, "a\n", "standard input");
}

TEST(Cli, Streaming) {
  // A slow writer gets each line back before it writes the next, in every
  // mode that works line by line; a lone CR at the end waits for the next
  // byte (it may begin a CR LF) or the end.
  struct TCase {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> exchange;  // written, answered
    std::string last, lastAnswer;                               // written before the end
  };
  const std::vector<TCase> cases = {
      {{"insert", "> "}, {{"# one\n", "> # one\n"}, {"\n", "> \n"}, {"# two\r\n", "> # two\r\n"}}, "3\r", "> 3\r"},
      {{"insert", "--lines", "after-blank", "> "},
       {{"# one\n", "> # one\n"}, {"\n", "\n"}, {"# two\r\n", "> # two\r\n"}, {"x\n", "x\n"}}, "3\r", "3\r"},
      {{"delete-all", "-e", "# "}, {{"# one\n", "one\n"}, {"\n", "\n"}, {"# # two\r\n", "two\r\n"}}, "# 3\r", "3\r"},
  };
  for (const TCase& c : cases) {
    const int status = Converse(c.args, [&](int in, int out) {
      for (const auto& [line, answer] : c.exchange) {
        ASSERT_EQ(write(in, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        EXPECT_EQ(ReadLineFrom(out), answer) << c.args[1];
      }
      ASSERT_EQ(write(in, c.last.data(), c.last.size()), static_cast<ssize_t>(c.last.size()));
      close(in);
      std::string rest;
      char buf[256];
      for (ssize_t got; (got = read(out, buf, sizeof buf)) > 0;) rest.append(buf, static_cast<size_t>(got));
      EXPECT_EQ(rest, c.lastAnswer) << c.args[1];
    });
    EXPECT_EQ(status, 0) << c.args[1];
  }
  // Bad input stops the reading at once, though the writer goes on and on;
  // the lines before it stay written.
  std::string seen;
  const int status = Converse({"insert", "> "}, [&](int in, int out) {
    const std::string head = "ok\n\xFF\n";
    ASSERT_EQ(write(in, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    seen = ReadLineFrom(out);
    const std::string more(1 << 16, '\n');
    for (int i = 0; i < 1000 && write(in, more.data(), more.size()) > 0; ++i) {
    }
  });
  EXPECT_EQ(seen, "> ok\n");
  EXPECT_EQ(status, 2);
}

TEST(Cli, BrokenPipe) {
  // Ended by SIGPIPE and silent, as sed is, when the reader goes away.
  const std::string big = WriteTemp("big.txt", LargeText());
  for (const char* mode : {"head", "char"}) {
    const std::string err = TempDir() + "/pipe-err";
    // The filter's own status through pipefail, with SIGPIPE ignored by the
    // shell that starts it.
    const std::string script = "set -o pipefail; (trap '' PIPE; exec " + std::string(MARQUILL_EXE) + " insert --at " +
                               mode + " x " + big + " 2>" + err + ") | head -c 10 >/dev/null";
    const int ws = system(("bash -c \"" + script + "\"").c_str());
    EXPECT_EQ(WEXITSTATUS(ws), 128 + SIGPIPE) << mode;
    EXPECT_EQ(ReadFile(err), "") << mode;
  }
}

TEST(Cli, FileChangingWhileRead) {
  // The output pipe is not read at first, so the filter is held inside the
  // file while it grows, shrinks or is written over; all are errors, in
  // either kind of edit. A text whose least indentation is settled by its
  // first lines is read once, as the streaming edits read it; one indented
  // throughout, too large to keep, is read twice, and the second reading
  // finds the change by the file's size and times, compared after each read.
  enum TChange { kGrow, kShrink, kOverwrite };
  const struct {
    const char* At;
    bool Indented;
    TChange Change;
    int Status;
    const char* Message;
  } cases[] = {
      {"head", false, kGrow, 1, "standard input changed its size while being read"},
      {"head", false, kShrink, 1, "standard input changed its size while being read"},
      {"head", false, kOverwrite, 2, "not valid UTF-8"},
      {"char", false, kGrow, 1, "standard input changed its size while being read"},
      {"char", false, kShrink, 1, "standard input changed its size while being read"},
      {"char", false, kOverwrite, 2, "not valid UTF-8"},
      {"char", true, kGrow, 1, "standard input changed its size while being read"},
      {"char", true, kShrink, 1, "standard input changed its size while being read"},
      {"char", true, kOverwrite, 1, "standard input changed while being read"},
  };
  std::string indented;
  for (int i = 0; indented.size() < (size_t{6} << 20); ++i) indented += "\t" + std::to_string(i) + "\n";
  for (const auto& c : cases) {
    const std::string& text = c.Indented ? indented : LargeText();
    const std::string path = WriteTemp("changing.txt", text);
    // An old time, so that any write shows a new one.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    int out[2];
    if (pipe(out) != 0) std::abort();
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const std::string err = TempDir() + "/changing-err";
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string exe = MARQUILL_EXE, verb = "insert", option = "--at", where = c.At, symbol = "> ";
    char* argv[] = {exe.data(), verb.data(), option.data(), where.data(), symbol.data(), nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    // The first output shows that the size has been taken (and that the
    // first pass of --at char is over); the filter then waits on the full
    // pipe, with most of the file still unread.
    pollfd p{out[0], POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 60000), 1);
    if (c.Change == kGrow) {
      std::ofstream(path, std::ios::binary | std::ios::app) << "more\n";
    } else if (c.Change == kShrink) {
      ASSERT_EQ(truncate(path.c_str(), 1000), 0);
    } else {
      const int fd = open(path.c_str(), O_WRONLY);
      ASSERT_EQ(pwrite(fd, "\xFF", 1, static_cast<off_t>(text.size() - 100)), 1);
      close(fd);
    }
    char buf[65536];
    while (read(out[0], buf, sizeof buf) > 0) {
    }
    close(out[0]);
    int ws = 0;
    waitpid(pid, &ws, 0);
    EXPECT_EQ(WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, c.Status) << c.At << c.Indented << c.Change;
    EXPECT_NE(ReadFile(err).find(c.Message), std::string::npos) << c.At << c.Indented << c.Change << ReadFile(err);
  }
}

TEST(Cli, KernelFilesAndOwnOutput) {
  // Files of /proc and /sys report a size (0, a page) unlike what they hold:
  // read to their end, in either kind of edit.
  for (const char* kernel : {"/proc/self/status", "/proc/self/mountinfo", "/sys/devices/system/cpu/online"}) {
    if (access(kernel, R_OK) != 0) continue;
    for (const char* at : {"head", "char"}) {
      const Result r = RunFilter({"insert", "--at", at, "> ", kernel});
      EXPECT_EQ(r.status, 0) << kernel << " " << at << ": " << r.err;
      EXPECT_FALSE(r.out.empty()) << kernel;
      EXPECT_EQ(r.out.back(), '\n') << kernel;
      for (size_t at = 0; at < r.out.size(); at = r.out.find('\n', at) + 1)
        EXPECT_EQ(r.out.compare(at, 2, "> "), 0) << kernel << " at " << at;
    }
  }
  // Appended to its own input, the output would be read again without end:
  // refused, as cat refuses it, with the file as it was; emptied first by
  // the shell, there is nothing to read.
  const std::string own = WriteTemp("own.txt", "one\ntwo\n");
  const std::string exe = MARQUILL_EXE;
  for (const char* redirect : {">>", "1<>"}) {
    const std::string command =
        "timeout 20 " + exe + " insert '> ' " + own + " " + redirect + own + " 2>" + TempDir() + "/own-err";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << redirect;
    EXPECT_NE(ReadFile(TempDir() + "/own-err").find("'" + own + "' is the output file too"), std::string::npos)
        << ReadFile(TempDir() + "/own-err");
    EXPECT_EQ(ReadFile(own), "one\ntwo\n") << redirect;
  }
  EXPECT_EQ(std::system(("timeout 20 " + exe + " insert '> ' < " + own + " >> " + own + " 2>/dev/null").c_str()) >> 8, 1);
  EXPECT_EQ(ReadFile(own), "one\ntwo\n");
  EXPECT_EQ(std::system(("timeout 20 " + exe + " insert '> ' " + own + " > " + own).c_str()), 0);
  EXPECT_EQ(ReadFile(own), "");
}
