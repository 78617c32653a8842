// An in-place edit ended by SIGINT, SIGTERM or SIGHUP while it writes: the
// temporary file goes, the file keeps its bytes, and the filter ends by the
// signal (the shell shows 128 + n).
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "ReadFile.h"

extern char** environ;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The temporary file beside `name`, or "" while there is none.
std::string TempFileOf(const std::string& dir, const std::string& name) {
  for (const std::string& n : Listing(dir))
    if (n.rfind(".marquill-", 0) == 0) return dir + "/" + n;
  return "";
}

// About 24 MiB of mail-like lines, and the same lines with "> " before each.
void BigText(std::string& text, std::string& quoted) {
  const char* const words[] = {"reply", "引用", "the", "テキスト", "\tcode", "x = 1;", "", "お世話になっております。"};
  std::string block, quotedBlock;
  for (unsigned i = 0; block.size() < (1u << 20); ++i) {
    const std::string line = std::string(i % 3, ' ') + words[i % 8] + " " + std::to_string(i) + "\n";
    block += line;
    quotedBlock += "> " + line;
  }
  for (int i = 0; i < 24; ++i) {
    text += block;
    quoted += quotedBlock;
  }
}

struct TCase {
  int signal;
  bool ignored;  // ignored by whoever starts the filter (nohup)
  const char* inPlace;
};

}  // namespace

TEST(CliInterrupt, SignalWhileWritingLeavesNothingBehind) {
  std::string dir = "/tmp/marquill-interrupt-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/big.txt";
  std::string text, quoted;
  BigText(text, quoted);

  const TCase cases[] = {
      {SIGINT, false, "-i"},
      {SIGTERM, false, "-i.bak"},  // no backup is made either
      {SIGHUP, false, "-i"},
      {SIGHUP, true, "-i"},  // the edit goes on to the end
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.ignored ? ", ignored" : "") + " " + c.inPlace);
    // The filter may finish before it is caught; the machine may be slow or
    // fast, so a few tries are allowed to catch it mid-write.
    bool caught = false;
    int ws = 0;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
      for (const std::string& n : Listing(dir)) std::remove((dir + "/" + n).c_str());
      WriteFile(path, text);
      std::string exe = MARQUILL_EXE, verb = "insert", option = c.inPlace, symbol = "> ", file = path;
      char* argv[] = {exe.data(), verb.data(), option.data(), symbol.data(), file.data(), nullptr};
      if (c.ignored) signal(c.signal, SIG_IGN);
      pid_t pid = 0;
      const int spawned = posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ);
      if (c.ignored) signal(c.signal, SIG_DFL);
      ASSERT_EQ(spawned, 0);
      // Once the temporary file exists the filter is stopped, and caught if
      // the file is still shorter than the edited text.
      std::string temp;
      bool ended = false;
      while (!ended && (temp = TempFileOf(dir, "big.txt")).empty()) {
        ended = waitpid(pid, &ws, WNOHANG) == pid;
        usleep(500);
      }
      if (!ended) {
        kill(pid, SIGSTOP);
        ASSERT_EQ(waitpid(pid, &ws, WUNTRACED), pid);
        ended = !WIFSTOPPED(ws);
      }
      struct stat st {};
      caught = !ended && stat(temp.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) < quoted.size();
      if (!ended) {
        if (caught) kill(pid, c.signal);
        kill(pid, SIGCONT);
        ASSERT_EQ(waitpid(pid, &ws, 0), pid);
      }
    }
    ASSERT_TRUE(caught) << "the filter always finished before it was caught writing";

    EXPECT_EQ(Listing(dir), std::vector<std::string>{"big.txt"});
    if (c.ignored) {
      EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0) << ws;
      EXPECT_TRUE(ReadFile(path) == quoted) << "the edit did not finish";
    } else {
      EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == c.signal) << ws;
      EXPECT_TRUE(ReadFile(path) == text) << "the file was changed";
    }
  }
  for (const std::string& n : Listing(dir)) std::remove((dir + "/" + n).c_str());
  rmdir(dir.c_str());
}
