// What the strict decoder says of bytes, as the filter's check must say it.
#pragma once

#include <optional>
#include <string_view>

#include "Utf.h"
#include "Utf8Check.h"

// The decoder's verdict, and the first NUL before its first bad byte.
inline std::optional<TByteFault> ReferenceFault(std::string_view bytes) {
  size_t bad = 0;
  const bool valid = Utf8ToUtf16(bytes, &bad).has_value();
  const size_t end = valid ? bytes.size() : bad;
  const size_t nul = bytes.substr(0, end).find('\0');
  if (nul != std::string_view::npos) return TByteFault{nul, true};
  if (!valid) return TByteFault{bad, false};
  return std::nullopt;
}
