// Windows shell special folders by folder key.
#pragma once

#include <cstdint>
#include <string>

#include "SpecialFolderKeys.h"

// The folder without a trailing backslash; empty when Windows cannot report
// it. The folder is never created. A key above 44 raises EAssertionFailed.
std::u16string GetSpecialFolderPath(uint32_t key);
