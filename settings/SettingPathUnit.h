// Where the settings files are, and the bytes-to-text format of their content.
#pragma once

#include <optional>
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

enum TSettingFileKind { sfCurrent, sfOld };

// A settings file and the backup path beside it.
struct TSettingFile {
  std::u16string Path;
  std::u16string Backup;
};

// The two settings files for the span of one command. Every use asks the
// host for its plug-in folder, as each settings path always has (the host
// sees the same messages); the paths, and the folders that the Program Files
// redirection creates, are worked out again only when that answer changes.
class TSettingFiles {
public:
  explicit TSettingFiles(const TSettingHost& host) : FHost(host) {}
  TSettingFiles(const TSettingFiles&) = delete;
  TSettingFiles& operator=(const TSettingFiles&) = delete;

  const TSettingFile& Of(TSettingFileKind kind) { return kind == sfOld ? Refreshed().Old : Refreshed().Current; }
  const TSettingFile& Current() { return Of(sfCurrent); }
  const TSettingFile& Old() { return Of(sfOld); }

private:
  struct TBoth {
    TSettingFile Current;
    TSettingFile Old;
  };
  const TBoth& Refreshed();

  const TSettingHost& FHost;
  std::optional<std::u16string> FAnswer;  // the answer FFiles were worked out from
  TBoth FFiles;
};

// Settings text <-> bytes in the system ANSI code page. Characters the code
// page cannot hold become its default character.
std::u16string DecodeSettingsText(std::string_view bytes);
std::string EncodeSettingsText(std::u16string_view text);
