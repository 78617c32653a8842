// The pure rules behind the settings paths and the migration questions:
// file names, the plug-in folder from the host's answer, the redirection out
// of the Program Files folder and the texts of the two questions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::u16string_view SettingFileName = u"Marquill_Setting.txt";
inline constexpr std::u16string_view OldSettingFileName = u"MarquillSetting.dat";
inline constexpr std::u16string_view MigrationCaption = u"Marquill Plugin 設定ファイル移行";
// The fallback plug-in folder beside the host program.
inline constexpr std::u16string_view DefaultPluginFolderName = u"PlugIns";

// The plug-in folder from the host's "PlugInsFolder" answer (empty when the
// host has none) and the host program file: the answer, or the PlugIns folder
// beside the host program; a relative folder is resolved against the host
// program folder (empty when that fails); anything else is used unchanged.
std::u16string PluginFolderFromHostAnswer(std::u16string_view answer, std::u16string_view hostProgramFile);

// The folder part of a file path without its trailing backslash; a root such
// as C:\ keeps it.
std::u16string ExtractFileDir(std::u16string_view path);

// Folder, trailing backslash ensured, then the file name.
std::u16string SettingPathInFolder(std::u16string_view folder, std::u16string_view fileName);

// True when path begins with prefix, ignoring the case of ASCII letters only.
// An empty prefix never matches.
bool BeginsWithAsciiNoCase(std::u16string_view path, std::u16string_view prefix);

// Every occurrence of programFiles + "(x86)", else of programFiles (ASCII case
// ignored), replaced by appData, scanning from left to right.
std::u16string ReplaceProgramFiles(std::u16string_view path, std::u16string_view programFiles,
                                   std::u16string_view appData);

// Whether path moves out of the Program Files folder: it lies under
// programFiles (the prefix may run to its end) and the Windows major version
// is 6 or more.
bool IsRedirected(std::u16string_view path, std::u16string_view programFiles, uint32_t major);

// The whole redirection, as RedirectFromProgramFiles does it: unchanged unless
// IsRedirected, else ReplaceProgramFiles.
std::u16string RedirectPath(std::u16string_view path, std::u16string_view programFiles, std::u16string_view appData,
                            uint32_t major);

// The migration questions; names are file names without folders.
std::u16string TwoFileQuestionText(std::u16string_view oldName, std::u16string_view oldBackup,
                                   std::u16string_view curName, std::u16string_view curBackup);
std::u16string OldFileQuestionText(std::u16string_view oldName, std::u16string_view oldBackup,
                                   std::u16string_view curName);
