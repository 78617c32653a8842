// The current host window and the host's plug-in folder answer.
#include "CommandHost.h"

#include <cstdint>

#include "plugin.h"

namespace {

HWND CurrentHostWindow = nullptr;

// Room offered for the host's answer: a full Windows path.
constexpr uint32_t SettingBufferUnits = MAX_PATH;

}  // namespace

HWND GetCurrentHostWindow() { return CurrentHostWindow; }

void SetCurrentHostWindow(HWND hwnd) { CurrentHostWindow = hwnd; }

std::u16string ReadHostPluginFolderSetting(HWND hwnd) {
  wchar_t buffer[SettingBufferUnits] = {};
  uint32_t bufferBytes = sizeof buffer;
  Host_ReadSetting(hwnd, HOST_PLUGINS_FOLDER_WORD1, 0, HOST_PLUGINS_FOLDER_NAME, HOST_PLUGINS_FOLDER_KIND, buffer,
                   &bufferBytes, 0);
  size_t length = 0;
  while (length < SettingBufferUnits && buffer[length] != L'\0') ++length;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}
