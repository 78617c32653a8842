// Where the first fault of a text lies that is not clean UTF-8
// (IsCleanUtf8, TextScan.h): the strict decoder's verdict, and no NUL byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "TextScan.h"

// The first NUL or the first byte the strict decoder refuses, whichever
// comes first; nothing for clean text. Slow (it decodes): for text that
// IsCleanUtf8 refused.
struct TByteFault {
  size_t At = 0;
  bool Nul = false;
};
std::optional<TByteFault> FirstByteFault(std::string_view Bytes);
