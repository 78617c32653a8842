// Running the built filter as a child process, with its input from a file
// or a pipe and its output and messages collected.
#include "FilterRun.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include <cstdint>

extern char** environ;

namespace {

// The folder and everything in it go when the test program ends.
struct TTempFolder {
  std::string Path;
  TTempFolder() {
    const char* base = std::getenv("TMPDIR");
    Path = std::string(base && *base ? base : "/tmp") + "/marquill-cli-XXXXXX";
    if (!mkdtemp(Path.data())) std::abort();
  }
  ~TTempFolder() {
    nftw(Path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
};

}  // namespace

const std::string& TempDir() {
  static TTempFolder folder;
  return folder.Path;
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

namespace {
std::string gProgram = MARQUILL_EXE;
}  // namespace

const std::string& FilterProgram() { return gProgram; }

TScopedProgram::TScopedProgram(const std::string& Path) : Former(gProgram) { gProgram = Path; }
TScopedProgram::~TScopedProgram() { gProgram = Former; }

// Runs marquill with `args`, feeding `input` on stdin; stdout goes to a file
// (or to `stdoutPath` when given).
Result RunFilter(const std::vector<std::string>& args, const std::string& input, const char* stdoutPath,
                 StdinFrom from) {
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
  std::string exe = FilterProgram();
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

// A run that must be refused: `status` (2 by default), `out` on stdout (what
// a streaming edit wrote before the failure), a prefixed message that
// contains `fragment`.
void Refused(const std::vector<std::string>& args, const std::string& input, const std::string& fragment,
             int status, const std::string& out) {
  Result r = RunFilter(args, input);
  std::string what;
  for (auto& a : args) what += "[" + a + "] ";
  EXPECT_EQ(r.status, status) << what << r.err;
  EXPECT_EQ(r.out, out) << what;
  EXPECT_EQ(r.err.rfind("marquill:", 0), 0u) << what << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << what << r.err;
  // The same failure in Japanese: the same outcome, every word translated.
  const Result ja = RunInJapanese(args, input);
  EXPECT_EQ(ja.status, status) << what << ja.err;
  EXPECT_EQ(ja.out, out) << what;
  EXPECT_EQ(NotJapanese(ja.err), "") << what;
}

Result RunInJapanese(const std::vector<std::string>& args, const std::string& input, const char* stdoutPath) {
  const TScopedEnv all("LC_ALL", "ja_JP.UTF-8");
  const TScopedEnv language("LANGUAGE", nullptr);
  return RunFilter(args, input, stdoutPath);
}

namespace {

// ASCII words a Japanese message may hold: names of the program, its
// commands, operands and values, of encodings and of variables.
bool IsName(const std::string& word) {
  static const char* const kNames[] = {
      "marquill", "insert", "delete", "toggle", "delete-once", "delete-all", "entries", "head", "char",
      "all", "nonblank", "least", "after-blank", "auto", "utf-8", "cp932", "SYMBOL", "FILE", "CAPTION",
      "SUFFIX", "N", "UTF-8", "UTF-16", "NUL", "BOM", "Unicode", "MARQUILL_SETTINGS", "HOME",
      "CR", "LF", "json", "JSON", "&M", "\\t", "\\r", "\\n", "\\xHH", "MiB", "FIFO"};
  for (const char* name : kNames)
    if (word == name) return true;
  return false;
}

}  // namespace

std::string NotJapanese(const std::string& err) {
  if (err.empty()) return "no message";
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("??") != std::string::npos) return "question marks in: " + line;
    // A space between full-width characters: lead bytes E3 to E9, or EF for
    // full-width forms, three bytes each.
    for (size_t i = 3; i + 1 < line.size(); ++i) {
      const auto lead = [&](size_t at) { return static_cast<unsigned char>(line[at]) >= 0xE3; };
      if (line[i] == ' ' && lead(i - 3) && lead(i + 1)) return "a space between Japanese characters in: " + line;
    }
    // The program's name and the place of a fault, then quoted values.
    std::string text = line.rfind("marquill:", 0) == 0 ? line.substr(line.find(": ") + 2) : line;
    for (size_t open; (open = text.find('\'')) != std::string::npos;) {
      const size_t close = text.find('\'', open + 1);
      text.erase(open, close == std::string::npos ? std::string::npos : close - open + 1);
    }
    for (size_t open; (open = text.find("\xE3\x80\x8C")) != std::string::npos;) {  // 「 to 」
      const size_t close = text.find("\xE3\x80\x8D", open + 3);
      text.erase(open, close == std::string::npos ? std::string::npos : close - open + 3);
    }
    bool japanese = false;  // a kana or kanji: lead bytes E3 to E9
    std::string word;
    text += ' ';
    for (const char c : text) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (u >= 0xE3 && u <= 0xE9) japanese = true;
      if (u < 0x80 && !std::strchr(" ()|+,;:", c)) {
        word += c;
        continue;
      }
      while (!word.empty() && word.back() == '.') word.pop_back();
      const bool option = !word.empty() && (word[0] == '-' || word[0] == '$' || word.find('/') != std::string::npos);
      if (!option && word.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") != std::string::npos &&
          !IsName(word))
        return "English word '" + word + "' in: " + line;
      word.clear();
    }
    if (!japanese) return "no Japanese in: " + line;
  }
  return "";
}


TScopedEnv::TScopedEnv(const char* Name, const char* Value) : Name(Name) {
  if (const char* v = std::getenv(Name)) {
    Had = true;
    Former = v;
  }
  if (Value) setenv(Name, Value, 1);
  else unsetenv(Name);
}

TScopedEnv::~TScopedEnv() {
  if (Had) setenv(Name.c_str(), Former.c_str(), 1);
  else unsetenv(Name.c_str());
}

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
