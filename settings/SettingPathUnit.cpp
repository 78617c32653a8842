// Where the settings files are (from the host's plug-in folder answer) and how their bytes become text.
#include "SettingPathUnit.h"

#include <windows.h>

#include <climits>
#include <vector>

#include "Errors.h"
#include "FileNameUnit.h"
#include "Platform.h"
#include "SettingRulesUnit.h"
#include "VistaUnit.h"

namespace {

std::u16string PluginFolderOf(std::u16string_view hostAnswer) {
  return PluginFolderFromHostAnswer(hostAnswer, GetHostProgramFile());
}

std::u16string SettingFilePath(std::u16string_view hostAnswer, std::u16string_view fileName) {
  return RedirectFromProgramFiles(SettingPathInFolder(PluginFolderOf(hostAnswer), fileName));
}

TSettingFile SettingFile(std::u16string_view hostAnswer, std::u16string_view fileName) {
  std::u16string path = SettingFilePath(hostAnswer, fileName);
  std::u16string backup = GetBackupFilePath(path);
  return TSettingFile{std::move(path), std::move(backup)};
}

}  // namespace

std::u16string GetHostProgramFile() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::u16string();
    if (length < buffer.size()) return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
    if (buffer.size() >= 32768) return std::u16string();
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string GetPluginFolder(const TSettingHost& host) { return PluginFolderOf(host.PlugInsFolderSetting()); }

std::u16string GetSettingFilePath(const TSettingHost& host) {
  return SettingFilePath(host.PlugInsFolderSetting(), SettingFileName);
}

std::u16string GetOldSettingFilePath(const TSettingHost& host) {
  return SettingFilePath(host.PlugInsFolderSetting(), OldSettingFileName);
}

const TSettingFiles::TBoth& TSettingFiles::Refreshed() {
  std::u16string answer = FHost.PlugInsFolderSetting();
  if (FAnswer != answer) {
    FFiles = TBoth{SettingFile(answer, SettingFileName), SettingFile(answer, OldSettingFileName)};
    FAnswer = std::move(answer);
  }
  return FFiles;
}

std::u16string DecodeSettingsText(std::string_view bytes) {
  std::optional<std::u16string> text = AnsiToUtf16(bytes, AnsiCodePage);
  if (!text) throw EInOutError(bytes.size() > INT_MAX ? u"Error:settings text too long" : u"Error:MultiByteToWideChar");
  return std::move(*text);
}

std::string EncodeSettingsText(std::u16string_view text) {
  std::optional<std::string> bytes = Utf16ToAnsi(text, AnsiCodePage);
  if (!bytes) throw EInOutError(text.size() > INT_MAX ? u"Error:settings text too long" : u"Error:WideCharToMultiByte");
  return std::move(*bytes);
}
