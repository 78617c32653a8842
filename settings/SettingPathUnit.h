// Where the settings files are, and the bytes-to-text format of their content.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The host window of the latest command (null until the first). The command
// writes it; the plug-in folder query and the migration questions use it.
HWND GetCurrentHostWindow();
void SetCurrentHostWindow(HWND hwnd);

// The host program file, the running process's own program file.
std::u16string GetHostProgramFile();

// The host's "PlugInsFolder" answer, up to its first NUL (empty when the host
// answers nothing).
std::u16string ReadHostPluginFolderSetting();

// The plug-in folder: the host's answer, else PlugIns beside the host program;
// relative folders resolved against the host program folder.
std::u16string GetPluginFolder();
// Full paths of "Marquill_Setting.txt" and "MarquillSetting.dat", redirected
// out of the Program Files folder. Worked out afresh at every call.
std::u16string GetSettingFilePath();
std::u16string GetOldSettingFilePath();

// Settings text <-> bytes in the system ANSI code page (GetACP). Characters
// the code page cannot hold become its default character.
std::u16string DecodeSettingsText(std::string_view bytes);
std::string EncodeSettingsText(std::u16string_view text);
