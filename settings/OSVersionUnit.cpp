// The Windows version, as the Program Files redirection asks for it.
#include "OSVersionUnit.h"

#include <windows.h>

TOSVersion GetOSVersion() {
  TOSVersion version;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;  // the basic record, 276 bytes
  static_assert(sizeof(OSVERSIONINFOW) == 276);
  if (GetVersionExW(&info)) {
    version.Major = info.dwMajorVersion;
    version.Minor = info.dwMinorVersion;
    version.Build = info.dwBuildNumber;
  }
  return version;
}
