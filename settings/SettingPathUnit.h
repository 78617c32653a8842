// Where the settings files are, and the bytes-to-text format of their content.
#pragma once

#include <string>
#include <string_view>

#include "SettingHost.h"

// The host program file, the running process's own program file.
std::u16string GetHostProgramFile();

// The plug-in folder: the host's answer, else PlugIns beside the host program;
// relative folders resolved against the host program folder.
std::u16string GetPluginFolder(const TSettingHost& host);
// Full paths of "Marquill_Setting.txt" and "MarquillSetting.dat", redirected
// out of the Program Files folder. Worked out afresh at every call.
std::u16string GetSettingFilePath(const TSettingHost& host);
std::u16string GetOldSettingFilePath(const TSettingHost& host);

// Settings text <-> bytes in the system ANSI code page. Characters the code
// page cannot hold become its default character.
std::u16string DecodeSettingsText(std::string_view bytes);
std::string EncodeSettingsText(std::u16string_view text);
