// Every file call of an in-place edit failing in turn: the file keeps its
// content and mode, no temporary file stays beside it, and every failure
// reaches the user as an error. The calls are replaced at link time
// (-Wl,--wrap) in this test program only; each counts while armed and the
// chosen one fails.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ReadFile.h"
#include "Arguments.h"
#include "Commands.h"
#include "Messages.h"

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_mkstemp(char* name);
ssize_t __real_read(int fd, void* p, size_t n);
ssize_t __real_write(int fd, const void* p, size_t n);
int __real_fsync(int fd);
int __real_fchmod(int fd, mode_t mode);
int __real_close(int fd);
int __real_link(const char* from, const char* to);
int __real_unlink(const char* path);
int __real_rename(const char* from, const char* to);
}

namespace {

bool gArmed = false;
int gCalls = 0;   // calls made while armed
int gFailAt = 0;  // the call that fails, from 1; 0: none

// The temporary file's descriptor, and whether it went to the disk before
// it was renamed.
int gTempFd = -1;
bool gTempSynced = false;
bool gRenamedSynced = false;
// Writes that take at most a few bytes each, and reads interrupted by a
// signal every other time, as a full pipe and a handled signal give them.
bool gShortWrites = false;
bool gInterruptedReads = false;
bool gInterruptNext = false;

bool FailsNow(int error) {
  if (!gArmed || ++gCalls != gFailAt) return false;
  errno = error;
  return true;
}

}  // namespace

extern "C" {
int __wrap_open(const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(rest, int)) : 0;
  va_end(rest);
  return FailsNow(EACCES) ? -1 : __real_open(path, flags, mode);
}
int __wrap_mkstemp(char* name) {
  gTempSynced = false;
  return gTempFd = FailsNow(EACCES) ? -1 : __real_mkstemp(name);
}
ssize_t __wrap_read(int fd, void* p, size_t n) {
  if (gInterruptedReads && (gInterruptNext = !gInterruptNext)) {
    errno = EINTR;
    return -1;
  }
  return FailsNow(EIO) ? -1 : __real_read(fd, p, n);
}
ssize_t __wrap_write(int fd, const void* p, size_t n) {
  return FailsNow(ENOSPC) ? -1 : __real_write(fd, p, gShortWrites ? std::min<size_t>(n, 4093) : n);
}
int __wrap_fsync(int fd) {
  if (FailsNow(EIO)) return -1;
  gTempSynced = gTempSynced || fd == gTempFd;
  return __real_fsync(fd);
}
int __wrap_fchmod(int fd, mode_t mode) { return FailsNow(EPERM) ? -1 : __real_fchmod(fd, mode); }
// As Linux does: the descriptor is gone even when close reports an error.
int __wrap_close(int fd) {
  const int r = __real_close(fd);
  return FailsNow(EIO) ? -1 : r;
}
int __wrap_link(const char* from, const char* to) { return FailsNow(EPERM) ? -1 : __real_link(from, to); }
int __wrap_unlink(const char* path) { return FailsNow(EACCES) ? -1 : __real_unlink(path); }
int __wrap_rename(const char* from, const char* to) {
  if (std::string(from).find("/.marquill-") != std::string::npos) gRenamedSynced = gTempSynced;
  return FailsNow(EXDEV) ? -1 : __real_rename(from, to);
}
}

namespace {

struct TRun {
  bool Failed = false;
  std::string Message;
  int Calls = 0;
};

// One in-place edit of a fresh file "f" (with an older backup "f~" where
// asked) in dir, with call failAt failing.
TRun EditInPlace(const std::string& dir, const std::vector<std::string>& args, const std::string& text,
                 bool oldBackup, int failAt) {
  std::system(("rm -rf " + dir + " && mkdir " + dir).c_str());
  const std::string file = dir + "/f";
  std::ofstream(file, std::ios::binary) << text;
  if (oldBackup) std::ofstream(file + "~", std::ios::binary) << "older";
  chmod(file.c_str(), 0640);
  std::vector<std::string> all = args;
  all.push_back(file);
  const TFilterOptions options = ParseArguments(all);
  TRun run;
  gCalls = 0;
  gRenamedSynced = false;
  gFailAt = failAt;
  gArmed = true;
  try {
    RunCommand(options);
  } catch (const TFailure& f) {
    run.Failed = true;
    run.Message = f.Message;
  }
  gArmed = false;
  run.Calls = gCalls;
  return run;
}

TEST(FailingCalls, InPlaceEditKeepsTheFileAndLeavesNoTemporaryFile) {
  const std::string dir = "/tmp/marquill-failing-" + std::to_string(getpid());
  const std::string text = "  one\r\n\ttwo\n" + std::string(300000, 'x') + "\nthree\n";
  const struct {
    std::vector<std::string> Args;
    bool OldBackup;
    bool Changes;
  } cases[] = {
      {{"insert", "-i", "> "}, false, true},
      {{"insert", "-i~", "> "}, false, true},
      {{"insert", "-i~", "> "}, true, true},
      {{"insert", "-i", "--at", "char", "> "}, false, true},
      {{"delete", "-i", "# "}, false, false},  // nothing to delete: the file stays as it is
  };
  for (const auto& c : cases) {
    const std::string name = c.Args[0] + " " + c.Args[1] + (c.OldBackup ? ", older backup" : "");
    const TRun clean = EditInPlace(dir, c.Args, text, c.OldBackup, 0);
    ASSERT_FALSE(clean.Failed) << name << ": " << clean.Message;
    const std::string edited = ReadFile(dir + "/f");
    ASSERT_EQ(edited != text, c.Changes) << name;
    ASSERT_GT(clean.Calls, 4) << name;
    // On the disk before it takes the file's place.
    EXPECT_EQ(gRenamedSynced, c.Changes) << name;
    for (int n = 1; n <= clean.Calls; ++n) {
      const TRun run = EditInPlace(dir, c.Args, text, c.OldBackup, n);
      const std::string where = name + ", call " + std::to_string(n) + " of " + std::to_string(clean.Calls);
      struct stat st {};
      ASSERT_EQ(stat((dir + "/f").c_str(), &st), 0) << where;
      EXPECT_EQ(st.st_mode & 07777, 0640u) << where;
      const std::string now = ReadFile(dir + "/f");
      // The edit done, or the file as it was and the user told.
      EXPECT_TRUE(now == (run.Failed ? text : edited)) << where << ": " << run.Message;
      std::vector<std::string> expected{"f"};
      if (c.OldBackup || (c.Args[1] == "-i~" && !run.Failed)) expected.push_back("f~");
      // A backup made before the failure may stay: it holds the original.
      if (c.Args[1] == "-i~" && run.Failed && ReadFile(dir + "/f~") == text && !c.OldBackup) expected.push_back("f~");
      // A temporary file that could not be removed is named to the user.
      std::vector<std::string> names = Names(dir);
      std::erase_if(names, [&](const std::string& n) {
        return run.Failed && n.rfind(".marquill-", 0) == 0 && run.Message.find(n) != std::string::npos;
      });
      EXPECT_EQ(names, expected) << where << ": " << run.Message;
      if (c.Args[1] == "-i~" && !run.Failed) {
        EXPECT_EQ(ReadFile(dir + "/f~"), text) << where;
      }
    }
  }
  std::system(("rm -rf " + dir).c_str());
}

TEST(FailingCalls, ShortWritesAndInterruptedReadsLoseNothing) {
  const std::string dir = "/tmp/marquill-short-" + std::to_string(getpid());
  std::string text;
  for (int i = 0; text.size() < 400000; ++i) text += std::string(i % 4, ' ') + "line " + std::to_string(i) + "\n";
  for (const char* at : {"head", "char"}) {
    const std::vector<std::string> args{"insert", "-i", "--at", at, "> "};
    ASSERT_FALSE(EditInPlace(dir, args, text, false, 0).Failed) << at;
    const std::string edited = ReadFile(dir + "/f");
    gShortWrites = gInterruptedReads = true;
    const TRun run = EditInPlace(dir, args, text, false, 0);
    gShortWrites = gInterruptedReads = false;
    EXPECT_FALSE(run.Failed) << at << ": " << run.Message;
    EXPECT_TRUE(ReadFile(dir + "/f") == edited) << at;
  }
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
