#include "SettingPathUnit.h"

#include <climits>
#include <vector>

#include "Errors.h"
#include "SettingRulesUnit.h"
#include "VistaUnit.h"
#include "plugin.h"

namespace {

HWND CurrentHostWindow = nullptr;

// Room offered for the host's answer: a full Windows path.
constexpr uint32_t SettingBufferUnits = MAX_PATH;

std::u16string SettingFilePath(std::u16string_view fileName) {
  return RedirectFromProgramFiles(SettingPathInFolder(GetPluginFolder(), fileName));
}

int CheckedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw EInOutError(u"Error:settings text too long");
  return static_cast<int>(size);
}

}  // namespace

HWND GetCurrentHostWindow() { return CurrentHostWindow; }

void SetCurrentHostWindow(HWND hwnd) { CurrentHostWindow = hwnd; }

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

std::u16string ReadHostPluginFolderSetting() {
  wchar_t buffer[SettingBufferUnits] = {};
  uint32_t bufferBytes = sizeof buffer;
  Host_ReadSetting(GetCurrentHostWindow(), 0x7FFFFF00u, 0, L"PlugInsFolder", 1, buffer, &bufferBytes, 0);
  size_t length = 0;
  while (length < SettingBufferUnits && buffer[length] != L'\0') ++length;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::u16string GetPluginFolder() { return PluginFolderFromHostAnswer(ReadHostPluginFolderSetting(), GetHostProgramFile()); }

std::u16string GetSettingFilePath() { return SettingFilePath(SettingFileName); }

std::u16string GetOldSettingFilePath() { return SettingFilePath(OldSettingFileName); }

std::u16string DecodeSettingsText(std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  const UINT codePage = GetACP();
  const int length = CheckedLength(bytes.size());
  const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) throw EInOutError(u"Error:MultiByteToWideChar");
  std::u16string text(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), units);
  return text;
}

std::string EncodeSettingsText(std::u16string_view text) {
  if (text.empty()) return std::string();
  const UINT codePage = GetACP();
  const int length = CheckedLength(text.size());
  const wchar_t* source = reinterpret_cast<const wchar_t*>(text.data());
  // No best-fit look-alikes: what the code page cannot hold becomes its default character.
  const DWORD flags = (codePage == CP_UTF8 || codePage == CP_UTF7) ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(codePage, flags, source, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) throw EInOutError(u"Error:WideCharToMultiByte");
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, source, length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}
