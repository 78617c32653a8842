// Pure settings decisions: file names, plug-in folder, redirection and question texts.
#include "SettingRulesUnit.h"

#include <initializer_list>

#include "FileNameUnit.h"

namespace {

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool MatchesAt(std::u16string_view text, size_t pos, std::u16string_view what) {
  if (what.empty() || what.size() > text.size() - pos) return false;
  for (size_t i = 0; i < what.size(); ++i)
    if (AsciiLower(text[pos + i]) != AsciiLower(what[i])) return false;
  return true;
}

void Append(std::u16string& text, std::initializer_list<std::u16string_view> parts) {
  for (std::u16string_view part : parts) text += part;
}

// One backup the migration makes: the file of a version and its backup name.
struct TBackupStep {
  std::u16string_view Version, Name, Backup;
};

// The migration question: what was found, the backups, and the move of the old
// file to the current name.
std::u16string MigrationQuestion(std::u16string_view found, std::initializer_list<TBackupStep> backups,
                                 std::u16string_view oldName, std::u16string_view curName) {
  std::u16string text;
  Append(text, {u"設定ファイル名が変更になっています。\r\n", found,
                u"移行しますか？\r\n--------------------\r\n処理内容\r\n  バックアップ\r\n"});
  for (const TBackupStep& b : backups) Append(text, {u"    ", b.Version, u":", b.Name, u" >> ", b.Backup, u"\r\n"});
  Append(text, {u"  移行\r\n    ", oldName, u" >> ", curName});
  return text;
}

}  // namespace

std::u16string ExtractFileDir(std::u16string_view path) {
  std::u16string dir = ExtractFilePath(path);
  if (dir.size() >= 2 && dir.back() == u'\\' && dir[dir.size() - 2] != u'\\' && dir[dir.size() - 2] != u':')
    dir.pop_back();
  else if (dir.size() == 1 && dir[0] == u'\\')
    dir.clear();
  return dir;
}

std::u16string PluginFolderFromHostAnswer(std::u16string_view answer, std::u16string_view hostProgramFile) {
  std::u16string folder(answer);
  if (folder.empty()) {
    folder = ExtractFilePath(hostProgramFile);
    folder += DefaultPluginFolderName;
  }
  if (IsRelativePath(folder)) folder = CombinePath(ExtractFileDir(hostProgramFile), folder);
  return folder;
}

std::u16string SettingPathInFolder(std::u16string_view folder, std::u16string_view fileName) {
  std::u16string path = IncludeTrailingBackslash(folder);
  path += fileName;
  return path;
}

bool BeginsWithAsciiNoCase(std::u16string_view path, std::u16string_view prefix) {
  return MatchesAt(path, 0, prefix);
}

std::u16string ReplaceProgramFiles(std::u16string_view path, std::u16string_view programFiles,
                                   std::u16string_view appData) {
  if (programFiles.empty()) return std::u16string(path);
  std::u16string x86(programFiles);
  x86 += u"(x86)";
  std::u16string result;
  size_t pos = 0;
  while (pos < path.size()) {
    if (MatchesAt(path, pos, x86)) {
      result += appData;
      pos += x86.size();
    } else if (MatchesAt(path, pos, programFiles)) {
      result += appData;
      pos += programFiles.size();
    } else {
      result += path[pos++];
    }
  }
  return result;
}

bool IsRedirected(std::u16string_view path, std::u16string_view programFiles, uint32_t major) {
  return BeginsWithAsciiNoCase(path, programFiles) && major >= 6;
}

std::u16string RedirectPath(std::u16string_view path, std::u16string_view programFiles, std::u16string_view appData,
                            uint32_t major) {
  if (!IsRedirected(path, programFiles, major)) return std::u16string(path);
  return ReplaceProgramFiles(path, programFiles, appData);
}

std::u16string TwoFileQuestionText(std::u16string_view oldName, std::u16string_view oldBackup,
                                   std::u16string_view curName, std::u16string_view curBackup) {
  return MigrationQuestion(u"旧バージョン/新バージョン、両方の設定ファイルが存在します。\r\n",
                           {{u"旧バージョン", oldName, oldBackup}, {u"新バージョン", curName, curBackup}}, oldName, curName);
}

std::u16string OldFileQuestionText(std::u16string_view oldName, std::u16string_view oldBackup,
                                   std::u16string_view curName) {
  return MigrationQuestion(u"旧バージョンの設定ファイルが存在します。\r\n", {{u"旧バージョン", oldName, oldBackup}},
                           oldName, curName);
}
