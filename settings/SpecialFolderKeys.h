// Folder keys of GetSpecialFolderPath and their shell folder identifiers.
#pragma once

#include <cstdint>

inline constexpr uint32_t sfkAppData = 2;        // the user's roaming application-data folder
inline constexpr uint32_t sfkProgramFiles = 32;  // the Program Files folder

// The shell special-folder identifier (CSIDL) of a folder key; only the low
// seven bits of the key count. A key above 44 raises EAssertionFailed.
int SHGetSpecialFolderKeyIndex(uint32_t key);
