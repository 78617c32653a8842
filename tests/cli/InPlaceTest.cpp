// In-place edits: the owner, mode, set-id bits and extended attributes of
// the file read survive; a write or a swap of the file while the edit ends
// stops it with both files as they were; names near the length limit work;
// an input that is also the output is found.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "Files.h"
#include "InPlace.h"
#include "Messages.h"
#include "ReadFile.h"

namespace {

constexpr uid_t kNobody = 65534;

std::string FreshDir() {
  static int n = 0;
  const std::string dir = "/tmp/marquill-inplace-" + std::to_string(getpid()) + "-" + std::to_string(++n);
  std::system(("rm -rf " + dir + " && mkdir " + dir).c_str());
  return dir;
}

// "" where the edit succeeded, else its message.
std::string EditInPlace(std::vector<std::string> args, const std::string& file) {
  args.push_back(file);
  try {
    RunCommand(ParseArguments(args));
  } catch (const TFailure& f) {
    return f.Message;
  }
  return "";
}

// An access control list as the kernel keeps it: version 2, then entries of
// tag, permissions and id, in the order of their tags.
std::string AccessList(std::initializer_list<std::array<uint32_t, 3>> entries) {
  std::string bytes("\x02\0\0\0", 4);
  for (const auto& [tag, perm, id] : entries) {
    const uint16_t head[2] = {static_cast<uint16_t>(tag), static_cast<uint16_t>(perm)};
    bytes.append(reinterpret_cast<const char*>(head), 4);
    bytes.append(reinterpret_cast<const char*>(&id), 4);
  }
  return bytes;
}
constexpr uint32_t kAny = 0xFFFFFFFF;
constexpr uint32_t kUserObj = 1, kUser = 2, kGroupObj = 4, kMask = 0x10, kOther = 0x20;

// Every extended attribute, name and value, as one text to compare.
std::string Attributes(const std::string& path) {
  char names[4096];
  const ssize_t n = listxattr(path.c_str(), names, sizeof names);
  std::vector<std::string> all;
  for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t v = getxattr(path.c_str(), names + at, value, sizeof value);
    all.push_back(std::string(names + at) + "=" + std::string(value, static_cast<size_t>(std::max<ssize_t>(v, 0))));
  }
  std::sort(all.begin(), all.end());
  std::string text;
  for (const std::string& a : all) text += a + ";";
  return text;
}

TEST(InPlace, KeepsOwnerModeSetIdBitsAndAttributes) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  const std::string list = AccessList(
      {{kUserObj, 6, kAny}, {kUser, 6, kNobody}, {kGroupObj, 4, kAny}, {kMask, 6, kAny}, {kOther, 4, kAny}});
  const struct {
    const char* Name;
    uid_t Owner;
    mode_t Mode;
    std::string Acl, User;  // attributes to set ("" none)
    bool FolderDefault;     // the folder gives new files a list the file lacks
  } cases[] = {
      {"root's 0600", 0, 0600, "", "", false},
      {"another user's 0600", kNobody, 0600, "", "", false},
      {"set-user-id 4755", kNobody, 04755, "", "", false},
      {"set-group-id 2775", 0, 02775, "", "", false},
      {"named user and mask", 0, 0664, list, "", false},
      {"user attribute", kNobody, 0640, "", "note", false},
      {"no list in a folder that gives one", 0, 0644, "", "", true},
  };
  for (const auto& c : cases)
    for (const char* option : {"-i", "-i.bak"}) {
      const std::string dir = FreshDir(), file = dir + "/f", where = std::string(c.Name) + " " + option;
      std::ofstream(file) << "one\n";
      ASSERT_EQ(chown(file.c_str(), c.Owner, c.Owner), 0);
      ASSERT_EQ(chmod(file.c_str(), c.Mode), 0);
      if ((!c.Acl.empty() && setxattr(file.c_str(), "system.posix_acl_access", c.Acl.data(), c.Acl.size(), 0) != 0) ||
          (!c.User.empty() && setxattr(file.c_str(), "user.note", c.User.data(), c.User.size(), 0) != 0) ||
          (c.FolderDefault &&
           setxattr(dir.c_str(), "system.posix_acl_default", list.data(), list.size(), 0) != 0)) {
        std::cout << where << ": skipped, the file system keeps no such attributes\n";
        continue;
      }
      struct stat before {};
      ASSERT_EQ(stat(file.c_str(), &before), 0);
      const std::string attributes = Attributes(file);
      EXPECT_EQ(EditInPlace({"insert", option, "> "}, file), "") << where;
      EXPECT_EQ(ReadFile(file), "> one\n") << where;
      struct stat after {};
      ASSERT_EQ(stat(file.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode, before.st_mode) << where;
      EXPECT_EQ(after.st_uid, before.st_uid) << where;
      EXPECT_EQ(after.st_gid, before.st_gid) << where;
      EXPECT_EQ(Attributes(file), attributes) << where;
      std::system(("rm -rf " + dir).c_str());
    }
}

TEST(InPlace, AnotherUsersFileBecomesTheEditorsWithoutSetIdBits) {
  // As sed does, a user who may write another's file edits it as their own;
  // a set-user-id bit would then name the editor, so it goes.
  if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string dir = FreshDir(), file = dir + "/f";
  chmod(dir.c_str(), 0777);
  std::ofstream(file) << "one\n";
  ASSERT_EQ(chown(file.c_str(), 0, kNobody), 0);
  ASSERT_EQ(chmod(file.c_str(), 04666), 0);
  const pid_t child = fork();
  if (child == 0) {
    const bool asNobody = setgid(kNobody) == 0 && setuid(kNobody) == 0;
    _exit(asNobody && EditInPlace({"insert", "-i", "> "}, file).empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(file), "> one\n");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  std::system(("rm -rf " + dir).c_str());
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::app | std::ios::binary) << bytes;
}

TEST(InPlace, ChangeBeforeTheRenameStopsTheEdit) {
  // What happens to the file after it was read and the new one is on the
  // disk: the same writes as `>>`, `dd conv=notrunc`, truncate, and another
  // user's file moved into its place.
  const struct {
    const char* Name;
    std::function<void(const std::string&)> Change;
    std::string After;  // the file as the change leaves it
  } cases[] = {
      {"nothing", [](const std::string&) {}, "> one\n> two\n"},
      {"append", [](const std::string& f) { Append(f, "appended\n"); }, "one\ntwo\nappended\n"},
      {"overwrite",
       [](const std::string& f) {
         usleep(20000);  // past the clock tick of the file's last change
         const int fd = open(f.c_str(), O_WRONLY);
         EXPECT_EQ(pwrite(fd, "ONE", 3, 0), 3);
         close(fd);
       },
       "ONE\ntwo\n"},
      {"truncate", [](const std::string& f) { EXPECT_EQ(truncate(f.c_str(), 0), 0); }, ""},
      {"swap",
       [](const std::string& f) {
         std::ofstream(f + ".new") << "theirs\n";
         chmod((f + ".new").c_str(), 0644);
         EXPECT_EQ(rename((f + ".new").c_str(), f.c_str()), 0);
       },
       "theirs\n"},
  };
  for (const auto& c : cases)
    for (const bool backup : {false, true}) {
      const std::string dir = FreshDir(), file = dir + "/f", where = std::string(c.Name) + (backup ? ", backup" : "");
      std::ofstream(file) << "one\ntwo\n";
      chmod(file.c_str(), 0600);
      if (backup) std::ofstream(file + "~") << "older\n";
      SetBeforeReplaceForTests([&] { c.Change(file); });
      const std::string message = EditInPlace({"insert", backup ? "-i~" : "-i", "> "}, file);
      SetBeforeReplaceForTests(nullptr);
      const bool changed = std::string(c.Name) != "nothing";
      EXPECT_EQ(message, changed ? "'" + file + "' changed while being read" : "") << where;
      EXPECT_EQ(ReadFile(file), c.After) << where;
      if (backup) EXPECT_EQ(ReadFile(file + "~"), changed ? "older\n" : "one\ntwo\n") << where;
      std::vector<std::string> expected{"f"};
      if (backup) expected.push_back("f~");
      EXPECT_EQ(Names(dir), expected) << where;
      std::system(("rm -rf " + dir).c_str());
    }
}

TEST(InPlace, NamesUpToTheLongestAllowed) {
  std::string japanese80;
  for (int i = 0; i < 80; ++i) japanese80 += "\xE3\x81\x82";  // 240 bytes
  std::string japanese85 = japanese80 + "\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82";
  for (const std::string& name : {japanese80, japanese85, std::string(255, 'n'), std::string(".") + std::string(254, 'd')}) {
    const std::string dir = FreshDir(), file = dir + "/" + name;
    std::ofstream(file) << "a\n";
    EXPECT_EQ(EditInPlace({"insert", "-i", "> "}, file), "") << name.size();
    EXPECT_EQ(ReadFile(file), "> a\n") << name.size();
    EXPECT_EQ(Names(dir), std::vector<std::string>{name});
    std::system(("rm -rf " + dir).c_str());
  }
}

TEST(InPlace, InputThatIsTheOutputIsFound) {
  const std::string dir = FreshDir(), file = dir + "/f", other = dir + "/g";
  std::ofstream(file) << "one\ntwo\n";
  std::ofstream(other) << "x\n";
  int pipeFds[2] = {-1, -1};
  ASSERT_EQ(pipe(pipeFds), 0);
  const struct {
    const char* Name;
    std::string In;
    int OutFlags;  // -1: the pipe
    off_t InOffset;
    bool Refused;
  } cases[] = {
      {"appended to", file, O_WRONLY | O_APPEND, 0, true},
      {"written over from its start", file, O_WRONLY, 0, true},
      {"read from its middle", file, O_WRONLY | O_APPEND, 4, true},
      {"read to its end", file, O_WRONLY | O_APPEND, 8, false},
      {"another file", other, O_WRONLY | O_APPEND, 0, false},
      {"a pipe", file, -1, 0, false},
  };
  for (const auto& c : cases) {
    const int in = open(c.In.c_str(), O_RDONLY);
    lseek(in, c.InOffset, SEEK_SET);
    const int out = c.OutFlags < 0 ? dup(pipeFds[1]) : open(file.c_str(), c.OutFlags);
    EXPECT_EQ(ReadsItsOwnOutput(in, out), c.Refused) << c.Name;
    close(in);
    close(out);
  }
  // Truncated by the shell before the run: nothing to read, nothing refused.
  const int out = open(file.c_str(), O_WRONLY | O_TRUNC), in = open(file.c_str(), O_RDONLY);
  EXPECT_FALSE(ReadsItsOwnOutput(in, out));
  close(in);
  close(out);
  close(pipeFds[0]);
  close(pipeFds[1]);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
