// Moving writable paths out of Program Files and creating their folders.
#include "VistaUnit.h"

#include <windows.h>

#include <vector>

#include "OSVersionUnit.h"
#include "SettingRulesUnit.h"
#include "FileCalls.h"
#include "FileNameUnit.h"
#include "FileUnit.h"
#include "ShellSpecialFolderPathUnit.h"
#include "WinString.h"

void ForceFolders(std::u16string_view folder) {
  std::u16string dir(folder);
  if (dir.size() > 1 && dir.back() == u'\\' && dir[dir.size() - 2] != u':') dir.pop_back();
  std::vector<std::u16string> missing;
  while (!dir.empty() && !FolderExists(dir)) {
    missing.push_back(dir);
    std::u16string parent = ExtractFileDir(dir);
    if (parent.size() >= dir.size()) break;  // a root
    dir = std::move(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    FileCalls().CreateDirectory(W(*it), nullptr);
}

std::u16string RedirectFromProgramFiles(std::u16string_view path) {
  const std::u16string programFiles = GetSpecialFolderPath(sfkProgramFiles);
  const uint32_t major = GetOSVersion().Major;
  if (!IsRedirected(path, programFiles, major)) return std::u16string(path);
  std::u16string result = ReplaceProgramFiles(path, programFiles, GetSpecialFolderPath(sfkAppData));
  ForceFolders(ExtractFileDir(result));
  return result;
}
