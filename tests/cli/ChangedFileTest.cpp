// A file rewritten between the two passes of the edits that look at the
// whole text, on the same size and with its times set back: the output holds
// only checked bytes (the edit of a valid text, or what came before a clean
// error), whether the file's times prove the change or not; a file kept in
// memory from the first pass is edited as it was read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "ReadFile.h"
#include "Commands.h"
#include "EditUnit.h"
#include "Files.h"
#include "Messages.h"
#include "Pipeline.h"
#include "Utf.h"

namespace {

int64_t Ns(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

// Until a write would show a change time other than the file's: the
// rewrite must be one that the times can prove.
void WaitPastChangeTime(const std::string& path) {
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  for (timespec now{}; clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 && Ns(now) <= Ns(st.st_ctim);) usleep(1000);
}

// Writes bytes over the file from its start, then sets its times back to
// those it had: the same size unless bytes are longer, the same
// modification time. Without the wait, the
// rewrite may fall within the clock tick of the file's last change, which
// no time can show.
void RewriteKeepingTimes(const std::string& path, const std::string& bytes, bool wait) {
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  if (wait) WaitPastChangeTime(path);
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  close(fd);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  ASSERT_EQ(after.st_size, std::max<off_t>(before.st_size, static_cast<off_t>(bytes.size())));
  ASSERT_EQ(Ns(after.st_mtim), Ns(before.st_mtim));
}

struct TOutcome {
  std::string Out, Message;
  bool Failed = false;
};

TOutcome EditFile(const TEdit& edit, const std::string& text, const std::string* rewrite, bool wait) {
  char dir[] = "/tmp/marquill-changed-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  const std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out";
  std::ofstream(in, std::ios::binary) << text;
  const int fd = open(in.c_str(), O_RDONLY);
  const int sink = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (rewrite) SetBetweenPassesForTests([&] { RewriteKeepingTimes(in, *rewrite, wait); });
  TOutcome outcome;
  try {
    EditText(edit, TTextSource{fd, "in"}, TTextSink{sink, "output"}, false);
  } catch (const TFailure& f) {
    outcome.Failed = true;
    outcome.Message = f.Message;
  }
  SetBetweenPassesForTests(nullptr);
  close(sink);
  close(fd);
  outcome.Out = ReadFile(out);
  std::system((std::string("rm -rf ") + dir).c_str());
  return outcome;
}

std::string EngineEdit(const TEdit& edit, const std::string& text) {
  return *Utf16ToUtf8(ApplyEdit(*Utf8ToUtf16(text), edit));
}

bool CleanText(const std::string& bytes) {
  return Utf8ToUtf16(bytes).has_value() && bytes.find('\0') == std::string::npos;
}

TEST(ChangedFile, RewriteBetweenThePassesNeverYieldsUncheckedBytes) {
  // Several pieces of indented lines; each rewrite keeps the size and the
  // lines' indentation, and is valid text, or holds a bad byte or a NUL late
  // in it.
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += (i % 3 ? "  line " : "\tline ") + std::to_string(i) + "\n";
  std::string valid = text, badByte = text, nul = text;
  for (size_t i = valid.find("line"); i != std::string::npos; i = valid.find("line", i + 4000)) valid[i + 1] = 'a';
  badByte[text.size() - 20] = '\xFF';
  nul[text.size() - 20] = '\0';
  const struct {
    const char* Name;
    const std::string* Rewrite;
  } rewrites[] = {{"none", nullptr}, {"valid", &valid}, {"bad byte", &badByte}, {"NUL", &nul}};
  const TEdit edits[] = {{ekInsert, ipFirstChar, tlAll, u"> ", {}}, {ekInsert, ipLineHead, tlLeastIndent, u"> ", {}}};
  for (const TEdit& edit : edits)
    for (const auto& r : rewrites)
      // Times that prove a later write (the file looks an hour old), and
      // times too recent to prove it; in one thread and by a crew; the file
      // kept from the first pass, or read again.
      for (const bool old : {true, false})
        for (const int workers : {0, 2})
          for (const bool kept : {true, false}) {
            const std::string where = std::string(r.Name) + (old ? ", old file" : ", new file") + ", workers " +
                                      std::to_string(workers) + ", target " + std::to_string(edit.Target) +
                                      (kept ? ", kept" : ", read again");
            AdvanceClockForTests(old ? int64_t{3600} * 1000000000 : 0);
            ForceCrewWorkers(workers);
            KeepFilesUpToForTests(kept ? kKeptFileBytes : 0);
            const TOutcome o = EditFile(edit, text, r.Rewrite, old);
            KeepFilesUpToForTests(kKeptFileBytes);
            ForceCrewWorkers(-1);
            AdvanceClockForTests(0);
            EXPECT_TRUE(CleanText(o.Out)) << where;
            if (!o.Failed) {
              const std::string* now = r.Rewrite && !kept ? r.Rewrite : &text;
              EXPECT_TRUE(CleanText(*now)) << where << ": an edit of unchecked bytes";
              EXPECT_TRUE(o.Out == EngineEdit(edit, *now)) << where;
              continue;
            }
            EXPECT_TRUE(r.Rewrite && !kept) << where << ": " << o.Message;
            // Times that prove the change stop the edit before its second pass
            // writes anything.
            if (old) {
              EXPECT_EQ(o.Message, Quote("in") + " changed while being read") << where;
              EXPECT_EQ(o.Out, "") << where;
            }
          }
}

TEST(ChangedFile, AProvedChangeWritesNothingNotEvenTheMark) {
  // A file too large to keep, with a byte order mark, rewritten between the
  // passes with times that prove it: the error, and not a byte out.
  std::string text = "\xEF\xBB\xBF";
  for (int i = 0; text.size() < 300000; ++i) text += "  line " + std::to_string(i) + "\n";
  std::string rewrite = text;
  rewrite[text.size() / 2] = 'x';
  for (const int workers : {0, 2}) {
    AdvanceClockForTests(int64_t{3600} * 1000000000);
    ForceCrewWorkers(workers);
    KeepFilesUpToForTests(0);
    const TOutcome o = EditFile({ekInsert, ipFirstChar, tlAll, u"> ", {}}, text, &rewrite, true);
    KeepFilesUpToForTests(kKeptFileBytes);
    ForceCrewWorkers(-1);
    AdvanceClockForTests(0);
    EXPECT_EQ(o.Message, Quote("in") + " changed while being read") << workers;
    EXPECT_EQ(o.Out, "") << workers;
  }
}

// toggle -i on a file rewritten after the scan that chose the edit: the
// file's content after the run, and the error, if any.
struct TToggled {
  std::string File, Message;
};
TToggled ToggleInPlace(const std::string& text, const std::string* rewrite, bool old, TTargetLines target,
                       TInsertPosition position) {
  char dir[] = "/tmp/marquill-toggle-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  const std::string path = std::string(dir) + "/t.txt";
  std::ofstream(path, std::ios::binary) << text;
  TFilterOptions options;
  options.Verb = TVerb::Toggle;
  options.Symbols = {"# "};
  options.Target = target;
  options.Position = position;
  options.InPlace = true;
  options.Files = {path};
  bool rewritten = false;  // once: the passes of a whole-text edit call the hook again
  if (rewrite)
    SetBetweenPassesForTests([&] {
      if (!std::exchange(rewritten, true)) RewriteKeepingTimes(path, *rewrite, old);
    });
  AdvanceClockForTests(old ? int64_t{3600} * 1000000000 : 0);
  TToggled t;
  try {
    RunCommand(options);
  } catch (const TFailure& f) {
    t.Message = f.Message;
  }
  AdvanceClockForTests(0);
  SetBetweenPassesForTests(nullptr);
  t.File = ReadFile(path);
  std::system((std::string("rm -rf ") + dir).c_str());
  return t;
}

TEST(ChangedFile, ToggleEditsOnlyTheBytesItsScanSaw) {
  // Rewritten to the toggle's own result (so that a second scan would choose
  // otherwise), or on the same size: where the times prove the change, the
  // edit stops with the error and the file stays as rewritten; where they
  // cannot, the edit is that of the bytes the scan kept.
  std::string big;
  for (int i = 0; big.size() < 5000000; ++i) big += "  line " + std::to_string(i) + "\n";
  std::string bigRewrite = big;
  bigRewrite[big.size() - 3] = 'x';
  const struct {
    std::string Text, Rewrite;
  } rows[] = {{"a\nb\n", "# a\n# b\n"}, {"a\nb\n", "c\nd\n"}, {big, bigRewrite}};
  const struct {
    TTargetLines Target;
    TInsertPosition Position;
  } ways[] = {{tlAll, ipLineHead}, {tlLeastIndent, ipLineHead}, {tlAll, ipFirstChar}};
  for (const auto& row : rows)
    for (const auto& way : ways) {
      const std::string where = row.Text.substr(0, 8) + ", target " + std::to_string(way.Target) + ", position " +
                                std::to_string(way.Position);
      const TToggled unchanged = ToggleInPlace(row.Text, nullptr, true, way.Target, way.Position);
      ASSERT_EQ(unchanged.Message, "") << where;
      ASSERT_NE(unchanged.File, row.Text) << where;
      const TToggled proved = ToggleInPlace(row.Text, &row.Rewrite, true, way.Target, way.Position);
      const bool sameSize = row.Rewrite.size() == row.Text.size();
      EXPECT_TRUE(proved.Message.ends_with(sameSize ? " changed while being read" : " changed its size while being read"))
          << where << ": " << proved.Message;
      EXPECT_TRUE(proved.File == row.Rewrite) << where;
      // Too recent for the times: the edit of the kept bytes, unless the
      // replacement itself finds the file changed and leaves it be.
      const TToggled recent = ToggleInPlace(row.Text, &row.Rewrite, false, way.Target, way.Position);
      EXPECT_TRUE(recent.File == (recent.Message.empty() ? unchanged.File : row.Rewrite)) << where;
      EXPECT_TRUE(recent.Message.empty() || recent.Message.ends_with("changed while being read") ||
                  recent.Message.ends_with("changed its size while being read"))
          << where << ": " << recent.Message;
    }
}

TEST(ChangedFile, TimesProveWritesOnlyWhenOlderThanTheirGrain) {
  // The change time against the clock read before the file was looked at.
  const int64_t s = 1000000000;
  const struct {
    int64_t Changed, Now;
    bool Proves;
  } cases[] = {
      {100 * s, 200 * s, true},      {100 * s, 102 * s, true},          {100 * s, 102 * s - 1, false},
      {100 * s, 100 * s, false},     {100 * s + 5, 101 * s, false},     {200 * s, 100 * s, false},  // a time to come
      {0, 200 * s, false},                                                                          // no time kept
  };
  for (const auto& c : cases)
    EXPECT_EQ(TimesProveLaterWrites(c.Changed, c.Now), c.Proves) << c.Changed << " at " << c.Now;
}

}  // namespace

namespace {

TEST(ChangedFile, BytesPastWhereTheMeasureSettledAreChecked) {
  // A bad byte or a NUL late in an unchanged file whose times prove it
  // unchanged: the first pass may stop where the measure settles (an
  // unindented first line), and what it did not read is checked when read
  // again, or kept, or streamed on.
  std::string flat, indented;
  for (int i = 0; flat.size() < 300000; ++i) {
    flat += (i % 2 ? "  line " : "line ") + std::to_string(i) + "\n";
    indented += "  line " + std::to_string(i) + "\n";
  }
  const TEdit edit{ekInsert, ipLineHead, tlLeastIndent, u"> ", {}};
  for (const std::string* text : {&flat, &indented})
    for (const char fault : {'\xFF', '\0'})
      for (const bool kept : {true, false})
        for (const int workers : {0, 2}) {
          std::string bad = *text;
          bad[bad.size() - 30] = fault;
          const std::string where = std::string(text == &flat ? "settles early" : "settles never") +
                                    (fault ? ", bad byte" : ", NUL") + (kept ? ", kept" : ", read again") +
                                    ", workers " + std::to_string(workers);
          AdvanceClockForTests(int64_t{3600} * 1000000000);
          ForceCrewWorkers(workers);
          KeepFilesUpToForTests(kept ? kKeptFileBytes : 0);
          const TOutcome o = EditFile(edit, bad, nullptr, false);
          KeepFilesUpToForTests(kKeptFileBytes);
          ForceCrewWorkers(-1);
          AdvanceClockForTests(0);
          EXPECT_TRUE(o.Failed) << where;
          EXPECT_TRUE(CleanText(o.Out)) << where;
        }
}

TEST(ChangedFile, FileOfTheKeptSizeIsKeptAndOneByteMoreIsReadAgain) {
  // Rewritten between the passes: a file kept from the first pass is
  // edited as it was read; one a byte larger than what is kept is read
  // again, and its new times stop the edit.
  std::string text, rewrite;
  for (int i = 0; text.size() < 200000; ++i) {
    text += "  line " + std::to_string(i) + "\n";
    rewrite += "  LINE " + std::to_string(i) + "\n";
  }
  const TEdit edit{ekInsert, ipLineHead, tlLeastIndent, u"> ", {}};
  for (const uint64_t most : {uint64_t{text.size()}, uint64_t{text.size() - 1}}) {
    KeepFilesUpToForTests(most);
    const TOutcome o = EditFile(edit, text, &rewrite, true);
    KeepFilesUpToForTests(kKeptFileBytes);
    if (most >= text.size()) {
      EXPECT_FALSE(o.Failed) << most << ": " << o.Message;
      EXPECT_TRUE(o.Out == EngineEdit(edit, text)) << most;
    } else {
      EXPECT_EQ(o.Message, Quote("in") + " changed while being read") << most;
    }
  }
}

}  // namespace
