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

// A file, not a folder, at the path; a symbolic link counts by its target.
bool SettingFileExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  HANDLE h = CreateFileW(W(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// DeleteFileW; a link to a folder is removed as a folder. True on success.
bool DeleteSettingFile(const std::u16string& path) {
  if (DeleteFileW(W(path))) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return RemoveDirectoryW(W(path)) != 0;
  SetLastError(error);
  return false;
}

// MoveFileW, which never overwrites. True on success.
bool MoveSettingFile(const std::u16string& from, const std::u16string& to) { return MoveFileW(W(from), W(to)) != 0; }

// A failed step of migration A stops it before anything could overwrite or
// delete the only copy of a settings file.
void RequireDeleted(const std::u16string& path) {
  if (!DeleteSettingFile(path)) throw EInOutError(u"Error:DeleteFile\r\n" + path);
}

void RequireMoved(const std::u16string& from, const std::u16string& to) {
  if (!MoveSettingFile(from, to)) throw EInOutError(u"Error:MoveFile\r\n" + from + u"\r\n" + to);
}

bool AskYesNo(const std::u16string& text) {
  const std::u16string caption(MigrationCaption);
  return MessageBoxW(GetCurrentHostWindow(), W(text), W(caption), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// A file saved with a byte order mark (UTF-8, UTF-16 LE or BE) is read in
// that encoding; any other file as ANSI text.
std::u16string DecodeSettingFile(std::string_view bytes) { return DecodeMarkedText(bytes, DecodeSettingsText); }

void SetListFromBytes(TCommonStringRecordList& list, std::string_view bytes) { list.SetText(DecodeSettingFile(bytes)); }

// Fills the list from bytes and writes those very bytes as the current
// settings file, so a migrated file keeps its encoding and every byte; on a
// failed write the list is left empty.
void SetAndWriteCurrent(TCommonStringRecordList& list, const std::string& bytes) {
  try {
    SetListFromBytes(list, bytes);
    SaveAnsiStringToFile(GetSettingFilePath(), bytes);
  } catch (...) {
    list.Clear();
    throw;
  }
}

void LoadCurrent(TCommonStringRecordList& list) { SetListFromBytes(list, LoadAnsiStringFromFile(GetSettingFilePath())); }

void EmptyStart(TCommonStringRecordList& list) { SetAndWriteCurrent(list, std::string()); }

// Both files, answer Yes: back up both, the old content becomes the current file.
void MigrateBoth(TCommonStringRecordList& list) {
  Step('A', 1);
  const std::string bytes = LoadAnsiStringFromFile(GetOldSettingFilePath());
  Step('A', 2);
  if (SettingFileExists(GetBackupFilePath(GetOldSettingFilePath())))
    RequireDeleted(GetBackupFilePath(GetOldSettingFilePath()));
  Step('A', 3);
  RequireMoved(GetOldSettingFilePath(), GetBackupFilePath(GetOldSettingFilePath()));
  Step('A', 4);
  if (SettingFileExists(GetBackupFilePath(GetSettingFilePath())))
    RequireDeleted(GetBackupFilePath(GetSettingFilePath()));
  Step('A', 5);
  RequireMoved(GetSettingFilePath(), GetBackupFilePath(GetSettingFilePath()));
  Step('A', 6);
  SetAndWriteCurrent(list, bytes);
}

// Only the old file, answer Yes: back up the old file, its content becomes the
// current file. No current file exists here, so a failed delete or move loses
// nothing: the write goes ahead, the old file stays, and the next command
// asks the two-file question (whose migration stops on such a failure).
void MigrateOld(TCommonStringRecordList& list) {
  Step('B', 1);
  const std::string bytes = LoadAnsiStringFromFile(GetOldSettingFilePath());
  Step('B', 2);
  if (SettingFileExists(GetBackupFilePath(GetOldSettingFilePath())))
    DeleteSettingFile(GetBackupFilePath(GetOldSettingFilePath()));
  Step('B', 3);
  MoveSettingFile(GetOldSettingFilePath(), GetBackupFilePath(GetOldSettingFilePath()));
  Step('B', 4);
  SetAndWriteCurrent(list, bytes);
}

std::u16string TwoFileQuestion() {
  const std::u16string oldPath = GetOldSettingFilePath();
  const std::u16string curPath = GetSettingFilePath();
  return TwoFileQuestionText(ExtractFileName(oldPath), ExtractFileName(GetBackupFilePath(oldPath)),
                             ExtractFileName(curPath), ExtractFileName(GetBackupFilePath(curPath)));
}

std::u16string OldFileQuestion() {
  const std::u16string oldPath = GetOldSettingFilePath();
  return OldFileQuestionText(ExtractFileName(oldPath), ExtractFileName(GetBackupFilePath(oldPath)),
                             ExtractFileName(GetSettingFilePath()));
}

}  // namespace

void SetMigrationStepHook(TMigrationStepHook hook) { StepHook = hook; }

void LoadSettingList(TCommonStringRecordList& list) {
  const bool oldExists = SettingFileExists(GetOldSettingFilePath());
  const bool currentExists = SettingFileExists(GetSettingFilePath());
  if (oldExists && currentExists) {
    if (AskYesNo(TwoFileQuestion()))
      MigrateBoth(list);
    else
      LoadCurrent(list);
  } else if (oldExists) {
    if (AskYesNo(OldFileQuestion()))
      MigrateOld(list);
    else
      EmptyStart(list);
  } else if (currentExists) {
    LoadCurrent(list);
  } else {
    EmptyStart(list);
  }
}
