// The command's side of the settings code: the current host window and the
// host's answers that the settings need.
#pragma once

#include <windows.h>

#include <string>

#include "SettingHost.h"

// The host window of the latest command (null until the first). The command
// writes it; the plug-in folder query and the migration questions read it.
HWND GetCurrentHostWindow();
void SetCurrentHostWindow(HWND hwnd);

// The host's "PlugInsFolder" answer, up to its first NUL (empty when the host
// answers nothing).
std::u16string ReadHostPluginFolderSetting(HWND hwnd);

// The settings' view of the host: asks the current host window.
class TCurrentHostSettings final : public TSettingHost {
public:
  std::u16string PlugInsFolderSetting() const override { return ReadHostPluginFolderSetting(GetCurrentHostWindow()); }
  HWND QuestionOwner() const override { return GetCurrentHostWindow(); }
};
