// Running the built filter as a child process (its environment is this
// process's), for the tests of the whole program.
#pragma once

#include "ReadFile.h"

#include <sys/types.h>

#include <string>
#include <vector>

struct Result {
  int status = -1;
  std::string out, err;
};

// How standard input is given: a file (read from `offset` on), or a pipe.
struct StdinFrom {
  bool pipe = false;
  off_t offset = 0;
  off_t* offsetAfter = nullptr;  // where the file was left
};

#define IDSP "\xE3\x80\x80"  // ideographic space

// Tab, two spaces, a blank line of one space, an ideographic space; CR LF.
inline const std::string kMixed = "\tfoo\r\n  bar\r\n \r\n" IDSP "baz";

// `symbol` before every line (CR LF, CR, LF), done on the bytes.
std::string PrefixLines(const std::string& text, const std::string& symbol);
// Several megabytes of lines with every kind of break, Japanese, ASCII and
// four-byte characters, long and empty lines.
std::string LargeText();

// A folder of this test program's files, removed when it ends.
const std::string& TempDir();
// Writes `bytes` to TempDir()/name; gives the path.
std::string WriteTemp(const std::string& name, const std::string& bytes);

// The program RunFilter runs: the built filter, or another copy of it while
// a TScopedProgram lives.
const std::string& FilterProgram();
class TScopedProgram {
 public:
  explicit TScopedProgram(const std::string& Path);
  ~TScopedProgram();
  TScopedProgram(const TScopedProgram&) = delete;
  TScopedProgram& operator=(const TScopedProgram&) = delete;

 private:
  std::string Former;
};

// Runs marquill with `args`, feeding `input` on stdin; stdout goes to a file
// (or to `stdoutPath` when given).
Result RunFilter(const std::vector<std::string>& args, const std::string& input = "", const char* stdoutPath = nullptr,
                 StdinFrom from = {});

// Output of a run that must succeed silently.
std::string Ok(const std::vector<std::string>& args, const std::string& input);

// A run that must be refused: `status` (2 by default), `out` on stdout (what
// a streaming edit wrote before the failure), a prefixed message that
// contains `fragment`; and the same again in Japanese, where the message
// must read as Japanese (NotJapanese).
void Refused(const std::vector<std::string>& args, const std::string& input, const std::string& fragment,
             int status = 2, const std::string& out = "");

// A run under LC_ALL=ja_JP.UTF-8.
Result RunInJapanese(const std::vector<std::string>& args, const std::string& input = "",
                     const char* stdoutPath = nullptr);
// Why messages do not read as Japanese: a line with no kana or kanji, with
// "??" (a system reason lost in conversion), or with an English word
// outside names, options, paths and quoted values; "" when they do.
std::string NotJapanese(const std::string& err);

// An environment variable set (or, with nullptr, unset) for the runs made
// while this lives; the former value comes back afterwards.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, const char* Value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string Name, Former;
  bool Had = false;
};
