// Platform.h off Windows: code-unit comparison with simple case folding, and
// no ANSI code page.
#include <cwctype>

#include "Platform.h"

bool PlatformWordsEqual(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  if (!ignoreCase) return a == b;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  return true;
}

std::optional<uint64_t> PlatformAnsiByteCount(std::u16string_view) { return std::nullopt; }

std::optional<std::u16string> AnsiToUtf16(std::string_view, uint32_t) { return std::nullopt; }

std::optional<std::string> Utf16ToAnsi(std::u16string_view, uint32_t) { return std::nullopt; }
