// Loading, creating and migrating the settings files, with the questions answered.
#include "SettingLoaderUnit.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "Errors.h"
#include "SettingPathUnit.h"
#include "SettingRulesUnit.h"
#include "SimHost.h"
#include "TestSettingHost.h"
#include "WinTestUtil.h"

namespace {

const std::string OldBytes(
    "\x3e\x20\x09\x88\xf8\x97\x70\x0d\x0a\x2f\x2f\x20\x09\x83\x52\x83\x81\x83\x93\x83\x67\x95\x5c\x8e\xa6\x0d"
    "\x0a\x27\x09\xb6\xc5\x94\xbc\x8a\x70\x0a\x23\x09\x87\x40\x83\x5c\x0d",
    43);
const std::vector<std::u16string> OldItems = {u"> \t引用\r\n", u"// \tコメント表示\r\n", u"'\tｶﾅ半角\n", u"#\t①ソ\r"};
// The bytes of a literal, NULs included.
template <size_t N>
std::string Raw(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

const std::string CurBytes = "cur\tCurrent\r\n>>\t\x88\xf8\x97\x70";
const std::vector<std::u16string> CurItems = {u"cur\tCurrent\r\n", u">>\t引用"};
const std::string OldBakBytes = "older old backup";
const std::string CurBakBytes = "older current backup";

const std::u16string TwoFileText = TwoFileQuestionText(u"MarquillSetting.dat", u"MarquillSetting_dat.bak",
                                                       u"Marquill_Setting.txt", u"Marquill_Setting_txt.bak");
const std::u16string OldFileText =
    OldFileQuestionText(u"MarquillSetting.dat", u"MarquillSetting_dat.bak", u"Marquill_Setting.txt");

std::function<void(char, int)> StepAction;
void CallStepAction(char migration, int step) {
  if (StepAction) StepAction(migration, step);
}

// What is in the folder: name -> bytes, "<folder>" for folders.
using TState = std::map<std::u16string, std::string>;

struct TLoadResult {
  std::vector<TSeenDialog> Seen;
  std::u16string Error;  // empty when the load succeeded
  std::vector<std::u16string> Items;
};

class SettingLoader : public ::testing::Test {
protected:
  void SetUp() override {
    Settings.Folder = Dir.Path();
    Settings.Owner = Host.Hwnd();
    SetMigrationStepHook(CallStepAction);
  }
  void TearDown() override {
    StepAction = nullptr;
    SetMigrationStepHook(nullptr);
  }

  TLoadResult Load(std::vector<int> answers = {}) {
    TLoadResult result;
    TCommonStringRecordList list;
    TDialogAnswerer answerer(Host.Hwnd(), std::move(answers));
    try {
      LoadSettingList(list, Settings);
    } catch (const EMarquillError& e) {
      result.Error = e.Message();
    }
    result.Seen = answerer.Finish();
    for (int32_t i = 0; i < list.Count(); ++i) result.Items.push_back(list.Items(i));
    return result;
  }

  TState State() const {
    TState state;
    for (const auto& name : FolderEntries(Dir.Path())) {
      const std::u16string path = Dir / name;
      state[name] = IsFolder(path) ? std::string("<folder>") : ReadBytes(path).value_or("<unreadable>");
    }
    return state;
  }

  void ExpectQuestion(const TSeenDialog& d, const std::u16string& text) {
    EXPECT_EQ(d.Caption, u"Marquill Plugin 設定ファイル移行");
    EXPECT_EQ(d.Text, text);
    EXPECT_TRUE(d.HasYes);
    EXPECT_TRUE(d.HasNo);
    EXPECT_FALSE(d.HasOther);
    EXPECT_TRUE(d.QuestionIcon);
  }

  TTempFolder Dir;
  TSimHost Host;  // owns the questions
  TTestSettingHost Settings;
  const std::u16string Cur = Dir / u"Marquill_Setting.txt";
  const std::u16string Old = Dir / u"MarquillSetting.dat";
  const std::u16string CurBak = Dir / u"Marquill_Setting_txt.bak";
  const std::u16string OldBak = Dir / u"MarquillSetting_dat.bak";
};

const std::u16string CurName = u"Marquill_Setting.txt";
const std::u16string OldName = u"MarquillSetting.dat";
const std::u16string CurBakName = u"Marquill_Setting_txt.bak";
const std::u16string OldBakName = u"MarquillSetting_dat.bak";

}  // namespace

TEST_F(SettingLoader, OnlyCurrentFileAndNoFile) {
  // No file at all: an empty current file, no question.
  TLoadResult r = Load();
  EXPECT_EQ(r.Error, u"");
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, ""}}));

  // Only the current file: loaded, nothing moved or written.
  WriteBytes(Cur, CurBytes);
  WriteBytes(CurBak, CurBakBytes);
  r = Load();
  EXPECT_EQ(r.Error, u"");
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_EQ(r.Items, CurItems);
  EXPECT_EQ(State(), (TState{{CurName, CurBytes}, {CurBakName, CurBakBytes}}));

  // Read-only is fine for loading.
  SetReadOnly(Cur, true);
  EXPECT_EQ(Load().Items, CurItems);
  SetReadOnly(Cur, false);

  // A folder at the current path is no current file; creating it fails.
  DeleteFileW(W(Cur));
  MakeFolder(Cur);
  r = Load();
  EXPECT_EQ(r.Error, u"Error:SaveAnsiStringToFile\r\n" + Cur);
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_TRUE(IsFolder(Cur));

  // A folder at the old path is no old file.
  RemoveDirectoryW(W(Cur));
  MakeFolder(Old);
  r = Load();
  EXPECT_EQ(r.Error, u"");
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_EQ(State(), (TState{{CurName, ""}, {CurBakName, CurBakBytes}, {OldName, "<folder>"}}));
}

TEST_F(SettingLoader, BothFiles) {
  WriteBytes(Old, OldBytes);
  WriteBytes(Cur, CurBytes);
  const TState before = State();

  // No: nothing changes; the current file is loaded.
  TLoadResult r = Load({IDNO});
  EXPECT_EQ(r.Error, u"");
  ASSERT_EQ(r.Seen.size(), 1u);
  ExpectQuestion(r.Seen[0], TwoFileText);
  EXPECT_EQ(r.Items, CurItems);
  EXPECT_EQ(State(), before);

  // Yes, with older backups of both: those are replaced.
  WriteBytes(OldBak, OldBakBytes);
  WriteBytes(CurBak, CurBakBytes);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, u"");
  ASSERT_EQ(r.Seen.size(), 1u);
  ExpectQuestion(r.Seen[0], TwoFileText);
  EXPECT_EQ(r.Items, OldItems);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {CurBakName, CurBytes}, {OldBakName, OldBytes}}));

  // Steady state afterwards.
  r = Load();
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_EQ(r.Items, OldItems);
}

TEST_F(SettingLoader, OnlyOldFile) {
  WriteBytes(Old, OldBytes);

  // No: an empty current file beside the old one...
  TLoadResult r = Load({IDNO});
  EXPECT_EQ(r.Error, u"");
  ASSERT_EQ(r.Seen.size(), 1u);
  ExpectQuestion(r.Seen[0], OldFileText);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, ""}, {OldName, OldBytes}}));
  // ...so the next command asks the two-file question.
  r = Load({IDNO});
  ASSERT_EQ(r.Seen.size(), 1u);
  EXPECT_EQ(r.Seen[0].Text, TwoFileText);
  EXPECT_TRUE(r.Items.empty());

  // Yes: the old content becomes the current file, the old file its backup.
  DeleteFileW(W(Cur));
  WriteBytes(OldBak, OldBakBytes);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, u"");
  ASSERT_EQ(r.Seen.size(), 1u);
  ExpectQuestion(r.Seen[0], OldFileText);
  EXPECT_EQ(r.Items, OldItems);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {OldBakName, OldBytes}}));
}

TEST_F(SettingLoader, FailedStepsOfTheTwoFileMigrationLoseNothing) {
  const auto setup = [&] {
    for (const auto& name : FolderEntries(Dir.Path())) RemoveTree(Dir / name);
    WriteBytes(Old, OldBytes);
    WriteBytes(Cur, CurBytes);
    WriteBytes(OldBak, OldBakBytes);
    WriteBytes(CurBak, CurBakBytes);
  };
  const TState all = {{CurName, CurBytes}, {CurBakName, CurBakBytes}, {OldName, OldBytes}, {OldBakName, OldBakBytes}};
  const std::u16string deleteError = u"Error:DeleteFile\r\n";
  const std::u16string moveError = u"Error:MoveFile\r\n";
  TLoadResult r;

  // Step 1: the old file cannot be read.
  setup();
  {
    TFileLock lock(Old, 0);
    r = Load({IDYES});
  }
  EXPECT_EQ(r.Error, u"Error:LoadAnsiStringFromFile\r\n" + Old);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), all);

  // Step 2: the old backup cannot be deleted (read-only, or held open).
  setup();
  SetReadOnly(OldBak, true);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, deleteError + OldBak);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), all);
  // Asked again, it still stops before touching anything.
  r = Load({IDYES});
  EXPECT_EQ(r.Error, deleteError + OldBak);
  EXPECT_EQ(State(), all);
  SetReadOnly(OldBak, false);
  {
    TFileLock lock(OldBak, 0);
    r = Load({IDYES});
  }
  EXPECT_EQ(r.Error, deleteError + OldBak);
  EXPECT_EQ(State(), all);

  // Step 3: the old file cannot be moved (a folder in the way, or held open).
  setup();
  DeleteFileW(W(OldBak));
  MakeFolder(OldBak);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, moveError + Old + u"\r\n" + OldBak);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(),
            (TState{{CurName, CurBytes}, {CurBakName, CurBakBytes}, {OldName, OldBytes}, {OldBakName, "<folder>"}}));
  r = Load({IDYES});  // a repeated migration does not delete the current file's backup
  EXPECT_EQ(r.Error, moveError + Old + u"\r\n" + OldBak);
  EXPECT_EQ(State(),
            (TState{{CurName, CurBytes}, {CurBakName, CurBakBytes}, {OldName, OldBytes}, {OldBakName, "<folder>"}}));
  // With the obstacle gone, the migration goes through.
  RemoveDirectoryW(W(OldBak));
  r = Load({IDYES});
  EXPECT_EQ(r.Error, u"");
  EXPECT_EQ(r.Items, OldItems);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {CurBakName, CurBytes}, {OldBakName, OldBytes}}));

  setup();
  {
    TFileLock lock(Old, FILE_SHARE_READ);
    ASSERT_TRUE(lock.Held());
    r = Load({IDYES});
  }
  EXPECT_EQ(r.Error, moveError + Old + u"\r\n" + OldBak);
  EXPECT_EQ(State(), (TState{{CurName, CurBytes}, {CurBakName, CurBakBytes}, {OldName, OldBytes}}));

  // Step 4: the current backup cannot be deleted.
  setup();
  SetReadOnly(CurBak, true);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, deleteError + CurBak);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, CurBytes}, {CurBakName, CurBakBytes}, {OldBakName, OldBytes}}));
  SetReadOnly(CurBak, false);

  // Step 5: the current file cannot be moved (a folder in the way, or held open).
  setup();
  DeleteFileW(W(CurBak));
  MakeFolder(CurBak);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, moveError + Cur + u"\r\n" + CurBak);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, CurBytes}, {CurBakName, "<folder>"}, {OldBakName, OldBytes}}));
  // The next command finds only the current file, untouched.
  r = Load();
  EXPECT_TRUE(r.Seen.empty());
  EXPECT_EQ(r.Items, CurItems);

  setup();
  {
    TFileLock lock(Cur, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(lock.Held());
    r = Load({IDYES});
  }
  EXPECT_EQ(r.Error, moveError + Cur + u"\r\n" + CurBak);
  EXPECT_EQ(State(), (TState{{CurName, CurBytes}, {OldBakName, OldBytes}}));

  // Step 6: the current file cannot be written; both contents are in the backups.
  setup();
  StepAction = [&](char m, int step) {
    if (m == 'A' && step == 6) MakeFolder(Cur);
  };
  r = Load({IDYES});
  StepAction = nullptr;
  EXPECT_EQ(r.Error, u"Error:SaveAnsiStringToFile\r\n" + Cur);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, "<folder>"}, {CurBakName, CurBytes}, {OldBakName, OldBytes}}));
}

TEST_F(SettingLoader, FailedStepsOfTheOldFileMigrationLoseNothing) {
  const auto setup = [&] {
    for (const auto& name : FolderEntries(Dir.Path())) RemoveTree(Dir / name);
    WriteBytes(Old, OldBytes);
    WriteBytes(OldBak, OldBakBytes);
  };
  TLoadResult r;

  // Step 1: the old file cannot be read; no current file is made.
  setup();
  {
    TFileLock lock(Old, 0);
    r = Load({IDYES});
  }
  EXPECT_EQ(r.Error, u"Error:LoadAnsiStringFromFile\r\n" + Old);
  EXPECT_EQ(State(), (TState{{OldName, OldBytes}, {OldBakName, OldBakBytes}}));

  // Step 2 or 3 fails: the current file is still written, the old file
  // stays, and the next command asks the two-file question.
  setup();
  SetReadOnly(OldBak, true);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, u"");
  EXPECT_EQ(r.Items, OldItems);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {OldName, OldBytes}, {OldBakName, OldBakBytes}}));
  r = Load({IDYES});
  ASSERT_EQ(r.Seen.size(), 1u);
  EXPECT_EQ(r.Seen[0].Text, TwoFileText);
  EXPECT_EQ(r.Error, u"Error:DeleteFile\r\n" + OldBak);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {OldName, OldBytes}, {OldBakName, OldBakBytes}}));
  SetReadOnly(OldBak, false);

  setup();
  DeleteFileW(W(OldBak));
  MakeFolder(OldBak);
  r = Load({IDYES});
  EXPECT_EQ(r.Error, u"");
  EXPECT_EQ(r.Items, OldItems);
  EXPECT_EQ(State(), (TState{{CurName, OldBytes}, {OldName, OldBytes}, {OldBakName, "<folder>"}}));

  // Step 4: the write fails; the old content is in its backup.
  setup();
  StepAction = [&](char m, int step) {
    if (m == 'B' && step == 4) MakeFolder(Cur);
  };
  r = Load({IDYES});
  StepAction = nullptr;
  EXPECT_EQ(r.Error, u"Error:SaveAnsiStringToFile\r\n" + Cur);
  EXPECT_TRUE(r.Items.empty());
  EXPECT_EQ(State(), (TState{{CurName, "<folder>"}, {OldBakName, OldBytes}}));
}

// Files saved with a byte order mark: read in their encoding, U+10FFFF (the
// pair whose low half is 0xDFFF) among the characters, and migrated byte for
// byte, mark included.
TEST_F(SettingLoader, FilesWithAByteOrderMark) {
  const struct {
    const char* Encoding;
    std::string Bytes;  // "> \tU+10FFFF\r\n" then "U+10FFFF\tmax"
  } cases[] = {
      {"UTF-8", Raw("\xEF\xBB\xBF> \t\xF4\x8F\xBF\xBF\r\n\xF4\x8F\xBF\xBF\tmax")},
      {"UTF-16 LE", Raw("\xFF\xFE>\0 \0\t\0\xFF\xDB\xFF\xDF\r\0\n\0\xFF\xDB\xFF\xDF\t\0m\0a\0x\0")},
      {"UTF-16 BE", Raw("\xFE\xFF\0>\0 \0\t\xDB\xFF\xDF\xFF\0\r\0\n\xDB\xFF\xDF\xFF\0\t\0m\0a\0x")},
  };
  const std::vector<std::u16string> items = {u"> \t\U0010FFFF\r\n", u"\U0010FFFF\tmax"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Encoding);
    for (const auto& name : FolderEntries(Dir.Path())) RemoveTree(Dir / name);
    WriteBytes(Cur, c.Bytes);
    EXPECT_EQ(Load().Items, items);

    // Only the old file, then both files: answered Yes, the current file
    // holds the old file's very bytes.
    DeleteFileW(W(Cur));
    WriteBytes(Old, c.Bytes);
    TLoadResult r = Load({IDYES});
    EXPECT_EQ(r.Error, u"");
    EXPECT_EQ(r.Items, items);
    EXPECT_EQ(State(), (TState{{CurName, c.Bytes}, {OldBakName, c.Bytes}}));
    WriteBytes(Cur, CurBytes);
    WriteBytes(Old, c.Bytes);
    r = Load({IDYES});
    EXPECT_EQ(r.Items, items);
    EXPECT_EQ(State(), (TState{{CurName, c.Bytes}, {CurBakName, CurBytes}, {OldBakName, c.Bytes}}));
  }
}
