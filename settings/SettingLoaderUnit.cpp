// Loading the symbol list from the settings file: creating a missing file and
// migrating the file of earlier versions after asking the user.
#include "SettingLoaderUnit.h"

#include <windows.h>

#include "Errors.h"
#include "FileNameUnit.h"
#include "FileUnit.h"
#include "SettingPathUnit.h"
#include "SettingRulesUnit.h"
#include "TextDecoding.h"
#include "WinString.h"

namespace {

TMigrationStepHook StepHook = nullptr;

void Step(char migration, int step) {
  if (StepHook) StepHook(migration, step);
}

// A failed step of migration A stops it before anything could overwrite or
// delete the only copy of a settings file.
void RequireDeleted(const std::u16string& path) {
  if (!DeleteFileOrLink(path)) throw EInOutError(u"Error:DeleteFile\r\n" + path);
}

void RequireMoved(const std::u16string& from, const std::u16string& to) {
  if (!MoveFileNoReplace(from, to)) throw EInOutError(u"Error:MoveFile\r\n" + from + u"\r\n" + to);
}

bool AskYesNo(const TSettingHost& host, const std::u16string& text) {
  const std::u16string caption(MigrationCaption);
  return MessageBoxW(host.QuestionOwner(), W(text), W(caption), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// A file saved with a byte order mark (UTF-8, UTF-16 LE or BE) is read in
// that encoding; any other file as ANSI text.
std::u16string DecodeSettingFile(std::string_view bytes) { return DecodeMarkedText(bytes, DecodeSettingsText); }

void SetListFromBytes(TCommonStringRecordList& list, std::string_view bytes) { list.SetText(DecodeSettingFile(bytes)); }

// Fills the list from bytes and writes those very bytes as the current
// settings file, so a migrated file keeps its encoding and every byte; on a
// failed write the list is left empty.
void SetAndWriteCurrent(const TSettingHost& host, TCommonStringRecordList& list, const std::string& bytes) {
  try {
    SetListFromBytes(list, bytes);
    SaveAnsiStringToFile(GetSettingFilePath(host), bytes);
  } catch (...) {
    list.Clear();
    throw;
  }
}

void LoadCurrent(const TSettingHost& host, TCommonStringRecordList& list) {
  SetListFromBytes(list, LoadAnsiStringFromFile(GetSettingFilePath(host)));
}

void EmptyStart(const TSettingHost& host, TCommonStringRecordList& list) { SetAndWriteCurrent(host, list, std::string()); }

// Both files, answer Yes: back up both, the old content becomes the current file.
void MigrateBoth(const TSettingHost& host, TCommonStringRecordList& list) {
  Step('A', 1);
  const std::string bytes = LoadAnsiStringFromFile(GetOldSettingFilePath(host));
  Step('A', 2);
  if (FileExists(GetBackupFilePath(GetOldSettingFilePath(host))))
    RequireDeleted(GetBackupFilePath(GetOldSettingFilePath(host)));
  Step('A', 3);
  RequireMoved(GetOldSettingFilePath(host), GetBackupFilePath(GetOldSettingFilePath(host)));
  Step('A', 4);
  if (FileExists(GetBackupFilePath(GetSettingFilePath(host))))
    RequireDeleted(GetBackupFilePath(GetSettingFilePath(host)));
  Step('A', 5);
  RequireMoved(GetSettingFilePath(host), GetBackupFilePath(GetSettingFilePath(host)));
  Step('A', 6);
  SetAndWriteCurrent(host, list, bytes);
}

// Only the old file, answer Yes: back up the old file, its content becomes the
// current file. No current file exists here, so a failed delete or move loses
// nothing: the write goes ahead, the old file stays, and the next command
// asks the two-file question (whose migration stops on such a failure).
void MigrateOld(const TSettingHost& host, TCommonStringRecordList& list) {
  Step('B', 1);
  const std::string bytes = LoadAnsiStringFromFile(GetOldSettingFilePath(host));
  Step('B', 2);
  if (FileExists(GetBackupFilePath(GetOldSettingFilePath(host))))
    DeleteFileOrLink(GetBackupFilePath(GetOldSettingFilePath(host)));
  Step('B', 3);
  MoveFileNoReplace(GetOldSettingFilePath(host), GetBackupFilePath(GetOldSettingFilePath(host)));
  Step('B', 4);
  SetAndWriteCurrent(host, list, bytes);
}

std::u16string TwoFileQuestion(const TSettingHost& host) {
  const std::u16string oldPath = GetOldSettingFilePath(host);
  const std::u16string curPath = GetSettingFilePath(host);
  return TwoFileQuestionText(ExtractFileName(oldPath), ExtractFileName(GetBackupFilePath(oldPath)),
                             ExtractFileName(curPath), ExtractFileName(GetBackupFilePath(curPath)));
}

std::u16string OldFileQuestion(const TSettingHost& host) {
  const std::u16string oldPath = GetOldSettingFilePath(host);
  return OldFileQuestionText(ExtractFileName(oldPath), ExtractFileName(GetBackupFilePath(oldPath)),
                             ExtractFileName(GetSettingFilePath(host)));
}

}  // namespace

void SetMigrationStepHook(TMigrationStepHook hook) { StepHook = hook; }

void LoadSettingList(TCommonStringRecordList& list, const TSettingHost& host) {
  const bool oldExists = FileExists(GetOldSettingFilePath(host));
  const bool currentExists = FileExists(GetSettingFilePath(host));
  if (oldExists && currentExists) {
    if (AskYesNo(host, TwoFileQuestion(host)))
      MigrateBoth(host, list);
    else
      LoadCurrent(host, list);
  } else if (oldExists) {
    if (AskYesNo(host, OldFileQuestion(host)))
      MigrateOld(host, list);
    else
      EmptyStart(host, list);
  } else if (currentExists) {
    LoadCurrent(host, list);
  } else {
    EmptyStart(host, list);
  }
}
