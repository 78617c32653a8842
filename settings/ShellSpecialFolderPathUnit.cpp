// Special folder paths from the shell.
#include "ShellSpecialFolderPathUnit.h"

#include <windows.h>
#include <shlobj.h>

std::u16string GetSpecialFolderPath(uint32_t key) {
  const int csidl = SHGetSpecialFolderKeyIndex(key);
  wchar_t buffer[262] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::u16string();
  size_t length = 0;
  while (length < 261 && buffer[length] != L'\0') ++length;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}
