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

// The two migrations, named for the step hook by their letters.
enum TMigration : char { mgBothFiles = 'A', mgOldFileOnly = 'B' };

void Step(TMigration migration, int step) {
  if (StepHook) StepHook(static_cast<char>(migration), step);
}

// A failed delete or move stops migration A before anything could overwrite
// or delete the only copy of a settings file; migration B passes over it.
enum TOnFailure { ofStop, ofGoOn };

void DeleteOrStop(const std::u16string& path, TOnFailure onFailure) {
  if (!DeleteFileOrLink(path) && onFailure == ofStop) throw EInOutError(u"Error:DeleteFile\r\n" + path);
}

void MoveOrStop(const std::u16string& from, const std::u16string& to, TOnFailure onFailure) {
  if (!MoveFileNoReplace(from, to) && onFailure == ofStop)
    throw EInOutError(u"Error:MoveFile\r\n" + from + u"\r\n" + to);
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
void SetAndWriteCurrent(TSettingFiles& files, TCommonStringRecordList& list, const std::string& bytes,
                        bool replace = true) {
  try {
    SetListFromBytes(list, bytes);
    SaveAnsiStringToFile(files.Current().Path, bytes, replace);
  } catch (...) {
    list.Clear();
    throw;
  }
}

void LoadCurrent(TSettingFiles& files, TCommonStringRecordList& list) {
  SetListFromBytes(list, LoadAnsiStringFromFile(files.Current().Path));
}

// The empty current file is only created, never written over: where the
// existence check failed for another reason than a missing file, the user's
// file stays and the save error tells them.
void EmptyStart(TSettingFiles& files, TCommonStringRecordList& list) {
  SetAndWriteCurrent(files, list, std::string(), false);
}

// The steps that put one settings file aside, numbered from firstStep: an
// older backup is deleted, then the file is moved to its backup path. Each
// use of a path asks the host again, as it always has (TSettingFiles).
void MoveToBackup(TSettingFiles& files, TSettingFileKind kind, TMigration migration, int firstStep,
                  TOnFailure onFailure) {
  Step(migration, firstStep);
  if (FileExists(files.Of(kind).Backup)) DeleteOrStop(files.Of(kind).Backup, onFailure);
  Step(migration, firstStep + 1);
  const std::u16string from = files.Of(kind).Path;
  MoveOrStop(from, files.Of(kind).Backup, onFailure);
}

// Both files (migration A) or only the old one (B), answer Yes: the old
// file's bytes are read, every file that exists is backed up, and the old
// content becomes the current file. In B no current file exists, so a failed
// delete or move loses nothing: the write goes ahead, the old file stays, and
// the next command asks the two-file question (whose migration stops on such
// a failure).
void Migrate(TSettingFiles& files, TCommonStringRecordList& list, TMigration migration) {
  const bool both = migration == mgBothFiles;
  Step(migration, 1);
  const std::string bytes = LoadAnsiStringFromFile(files.Old().Path);
  MoveToBackup(files, sfOld, migration, 2, both ? ofStop : ofGoOn);
  if (both) MoveToBackup(files, sfCurrent, migration, 4, ofStop);
  Step(migration, both ? 6 : 4);
  SetAndWriteCurrent(files, list, bytes);
}

std::u16string TwoFileQuestion(TSettingFiles& files) {
  const TSettingFile old = files.Old();
  const TSettingFile current = files.Current();
  return TwoFileQuestionText(ExtractFileName(old.Path), ExtractFileName(old.Backup), ExtractFileName(current.Path),
                             ExtractFileName(current.Backup));
}

std::u16string OldFileQuestion(TSettingFiles& files) {
  const TSettingFile old = files.Old();
  return OldFileQuestionText(ExtractFileName(old.Path), ExtractFileName(old.Backup),
                             ExtractFileName(files.Current().Path));
}

}  // namespace

void SetMigrationStepHook(TMigrationStepHook hook) { StepHook = hook; }

void LoadSettingList(TCommonStringRecordList& list, const TSettingHost& host) {
  TSettingFiles files(host);
  const bool oldExists = FileExists(files.Old().Path);
  const bool currentExists = FileExists(files.Current().Path);
  if (oldExists && currentExists) {
    if (AskYesNo(host, TwoFileQuestion(files)))
      Migrate(files, list, mgBothFiles);
    else
      LoadCurrent(files, list);
  } else if (oldExists) {
    if (AskYesNo(host, OldFileQuestion(files)))
      Migrate(files, list, mgOldFileOnly);
    else
      EmptyStart(files, list);
  } else if (currentExists) {
    LoadCurrent(files, list);
  } else {
    EmptyStart(files, list);
  }
}
