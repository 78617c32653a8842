// Every file call of loading, migrating and saving the settings failing in
// turn: the user's settings stay in the old place, the new place or a backup,
// a failure that stops the load reaches the user as the plug-in's own error,
// and no temporary file stays behind.
#include <gtest/gtest.h>

#include <map>

#include "Errors.h"
#include "FileCalls.h"
#include "OSVersionUnit.h"
#include "SettingLoaderUnit.h"
#include "ShellSpecialFolderPathUnit.h"
#include "SimHost.h"
#include "SpecialFolderKeys.h"
#include "TestSettingHost.h"
#include "WinString.h"
#include "WinTestUtil.h"

namespace {

int gCalls = 0;   // file calls made so far
int gFailAt = 0;  // the one that fails, from 1; 0: none

bool FailsNow() {
  if (++gCalls != gFailAt) return false;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

HANDLE WINAPI CreateFileOrFail(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templ) {
  return FailsNow() ? INVALID_HANDLE_VALUE : CreateFileW(path, access, share, security, disposition, flags, templ);
}
BOOL WINAPI ReadFileOrFail(HANDLE h, LPVOID p, DWORD n, LPDWORD done, LPOVERLAPPED o) {
  return FailsNow() ? FALSE : ReadFile(h, p, n, done, o);
}
BOOL WINAPI WriteFileOrFail(HANDLE h, LPCVOID p, DWORD n, LPDWORD done, LPOVERLAPPED o) {
  return FailsNow() ? FALSE : WriteFile(h, p, n, done, o);
}
BOOL WINAPI FlushOrFail(HANDLE h) { return FailsNow() ? FALSE : FlushFileBuffers(h); }
// The handle is closed even when the close reports a failure.
BOOL WINAPI CloseOrFail(HANDLE h) {
  const BOOL closed = CloseHandle(h);
  return FailsNow() ? FALSE : closed;
}
BOOL WINAPI MoveFileExOrFail(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return FailsNow() ? FALSE : MoveFileExW(from, to, flags);
}
BOOL WINAPI MoveFileOrFail(LPCWSTR from, LPCWSTR to) { return FailsNow() ? FALSE : MoveFileW(from, to); }
BOOL WINAPI DeleteFileOrFail(LPCWSTR path) { return FailsNow() ? FALSE : DeleteFileW(path); }
BOOL WINAPI RemoveDirectoryOrFail(LPCWSTR path) { return FailsNow() ? FALSE : RemoveDirectoryW(path); }
BOOL WINAPI CreateDirectoryOrFail(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
  return FailsNow() ? FALSE : CreateDirectoryW(path, security);
}

const TFileCalls kFailing{CreateFileOrFail, ReadFileOrFail,   WriteFileOrFail,  FlushOrFail,
                          CloseOrFail,      MoveFileExOrFail, MoveFileOrFail,   DeleteFileOrFail,
                          RemoveDirectoryOrFail, CreateDirectoryOrFail};

const std::u16string CurName = u"Marquill_Setting.txt", OldName = u"MarquillSetting.dat";
const std::u16string CurBakName = u"Marquill_Setting_txt.bak", OldBakName = u"MarquillSetting_dat.bak";
const std::string OldBytes = "old\tOld\r\n>\t\x88\xf8\x97\x70";  // CP932
const std::string CurBytes = "cur\tCurrent\r\n";
const std::vector<std::u16string> OldItems = {u"old\tOld\r\n", u">\t引用"};
const std::vector<std::u16string> CurItems = {u"cur\tCurrent\r\n"};

using TState = std::map<std::u16string, std::string>;

struct TRun {
  bool Foreign = false;  // an exception other than the plug-in's errors
  std::u16string Error;
  std::vector<std::u16string> Items;
};

class SettingFailures : public ::testing::Test {
protected:
  void SetUp() override { Settings.Owner = Host.Hwnd(); }

  // One load in folder, holding the files of before, with the answer given
  // to a question and call failAt failing.
  TRun Load(const std::u16string& folder, const TState& before, int answer, int failAt) {
    RemoveTree(folder);
    if (folder == Dir.Path()) MakeFolder(folder);  // the other is made by the load
    for (const auto& [name, bytes] : before) WriteBytes(folder + u"\\" + name, bytes);
    TDialogAnswerer answerer(Host.Hwnd(), answer ? std::vector<int>{answer} : std::vector<int>{});
    TCommonStringRecordList list;
    TRun run;
    gCalls = 0;
    gFailAt = failAt;
    SetFileCallsForTests(&kFailing);
    try {
      LoadSettingList(list, Settings);
    } catch (const EMarquillError& e) {
      run.Error = e.Message();
    } catch (...) {
      run.Foreign = true;
    }
    SetFileCallsForTests(nullptr);
    answerer.Finish();
    for (int32_t i = 0; i < list.Count(); ++i) run.Items.push_back(list.Items(i));
    return run;
  }

  static TState State(const std::u16string& folder) {
    TState state;
    for (const auto& name : FolderEntries(folder)) {
      const std::u16string path = folder + u"\\" + name;
      state[name] = IsFolder(path) ? std::string("<folder>") : ReadBytes(path).value_or("<unreadable>");
    }
    return state;
  }

  TTempFolder Dir;
  TSimHost Host;
  TTestSettingHost Settings;
};

TEST_F(SettingFailures, EveryFileCallFailingInTurnLosesNoSettings) {
  // A plug-in folder under Program Files has its settings in the same folder
  // made under the application data folder (on Windows 6 and later).
  const std::u16string unique = u"MarquillFailing" + U(std::to_wstring(GetCurrentProcessId()));
  const std::u16string moved = GetSpecialFolderPath(sfkAppData) + u"\\" + unique;
  const struct {
    const char* Name;
    TState Before;
    int Answer;  // to the migration question; 0: none is asked
    std::vector<std::u16string> Items;
    bool UnderProgramFiles;
  } cases[] = {
      {"load", {{CurName, CurBytes}, {CurBakName, "older"}}, 0, CurItems, false},
      {"first save", {}, 0, {}, false},
      {"first save, folder made", {}, 0, {}, true},
      {"both files, migrated", {{OldName, OldBytes}, {CurName, CurBytes}, {OldBakName, "o"}, {CurBakName, "c"}},
       IDYES, OldItems, false},
      {"both files, kept", {{OldName, OldBytes}, {CurName, CurBytes}}, IDNO, CurItems, false},
      {"old file, migrated", {{OldName, OldBytes}, {OldBakName, "o"}}, IDYES, OldItems, false},
      {"old file, kept", {{OldName, OldBytes}}, IDNO, {}, false},
  };
  for (const auto& c : cases) {
    if (c.UnderProgramFiles && GetOSVersion().Major < 6) continue;
    Settings.Folder = c.UnderProgramFiles ? GetSpecialFolderPath(sfkProgramFiles) + u"\\" + unique : Dir.Path();
    const std::u16string folder = c.UnderProgramFiles ? moved : Dir.Path();
    if (c.UnderProgramFiles) RemoveTree(moved);  // its folders are made by the load
    const TRun clean = Load(folder, c.Before, c.Answer, 0);
    ASSERT_EQ(clean.Error, u"") << c.Name;
    ASSERT_EQ(clean.Items, c.Items) << c.Name;
    const int calls = gCalls;
    for (int n = 1; n <= calls; ++n) {
      const std::string where = std::string(c.Name) + ", call " + std::to_string(n) + " of " + std::to_string(calls);
      const TRun run = Load(folder, c.Before, c.Answer, n);
      const TState after = IsFolder(folder) ? State(folder) : TState{};
      EXPECT_FALSE(run.Foreign) << where;
      if (run.Error.empty()) {
        // Done (a migration without an old file's backup goes on): the
        // list and the current file agree.
        EXPECT_EQ(run.Items, c.Items) << where;
        const std::string expected = c.Items == OldItems ? OldBytes : c.Items == CurItems ? CurBytes : "";
        EXPECT_TRUE(after.count(CurName) && after.at(CurName) == expected) << where;
      } else {
        EXPECT_TRUE(run.Items.empty()) << where;
      }
      // The user's settings are somewhere in the folder.
      for (const auto& [name, bytes] : c.Before) {
        if (name != OldName && name != CurName) continue;
        bool kept = false;
        for (const auto& [_, now] : after) kept = kept || now == bytes;
        EXPECT_TRUE(kept) << where << ": the content of " << QuotedVisible(name) << " is lost";
      }
      for (const auto& [name, _] : after) EXPECT_NE(name.substr(0, 3), u"~mq") << where << ": a temporary file";
      if (c.UnderProgramFiles) RemoveTree(moved);
    }
  }
}

// A settings file that another writer makes while the first save is under
// way, between the check that none exists and the temporary file's move.
std::u16string gMadeMeanwhile;
BOOL WINAPI MoveFileExAfterAnotherWriter(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (!gMadeMeanwhile.empty()) WriteBytes(gMadeMeanwhile, CurBytes);
  gMadeMeanwhile.clear();
  return MoveFileExW(from, to, flags);
}

TEST_F(SettingFailures, AFileMadeDuringTheFirstSaveIsNotWrittenOver) {
  Settings.Folder = Dir.Path();
  RemoveTree(Dir.Path());
  MakeFolder(Dir.Path());
  TFileCalls calls;
  calls.MoveFileEx = MoveFileExAfterAnotherWriter;
  gMadeMeanwhile = Dir.Path() + u"\\" + CurName;
  TCommonStringRecordList list;
  std::u16string error;
  SetFileCallsForTests(&calls);
  try {
    LoadSettingList(list, Settings);
  } catch (const EMarquillError& e) {
    error = e.Message();
  }
  SetFileCallsForTests(nullptr);
  const TState after = State(Dir.Path());
  EXPECT_TRUE(after.count(CurName) && after.at(CurName) == CurBytes) << "the other writer's file is lost";
  EXPECT_NE(error, u"");  // the failed save is told
  EXPECT_EQ(list.Count(), 0);
  for (const auto& [name, _] : after) EXPECT_NE(name.substr(0, 3), u"~mq") << "a temporary file";
}

}  // namespace
