// A host for the settings tests: a fixed plug-in folder answer and question owner.
#pragma once

#include "SettingHost.h"

struct TTestSettingHost final : TSettingHost {
  std::u16string Folder;  // the "PlugInsFolder" answer; empty: none
  HWND Owner = nullptr;
  std::u16string PlugInsFolderSetting() const override { return Folder; }
  HWND QuestionOwner() const override { return Owner; }
};
