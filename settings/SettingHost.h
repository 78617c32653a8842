// What the settings code needs from the host editor, supplied by the command
// that runs it: the plug-in folder setting and the window owning the questions.
#pragma once

#include <windows.h>

#include <string>

class TSettingHost {
public:
  // The host's "PlugInsFolder" answer up to its first NUL; empty when the
  // host answers nothing.
  virtual std::u16string PlugInsFolderSetting() const = 0;
  // The window that owns the migration questions.
  virtual HWND QuestionOwner() const = 0;

protected:
  ~TSettingHost() = default;
};
