// Keeping writable files out of the Program Files folder on Windows Vista
// and later.
#pragma once

#include <string>
#include <string_view>

// A path under the Program Files folder, on Windows 6.0 or later, moved to
// the same relative place under the roaming application-data folder, whose
// folder part is then created with every missing parent. Any other path is
// returned unchanged.
std::u16string RedirectFromProgramFiles(std::u16string_view path);

// Creates the folder and every missing parent, outermost first. Failures are
// not reported.
void ForceFolders(std::u16string_view folder);
