// String routines of the engine: tab expansion by ANSI width and trimming.
#include "StringUnit.h"

#include <cstdint>
#include <optional>

#include "Cp932Table.h"
#include "IndentKernel.h"
#include "Platform.h"

int Cp932CharWidth(char16_t c) noexcept {
  return ((Cp932DoubleByteBits[c >> 5] >> (c & 31)) & 1u) ? 2 : 1;
}

namespace {

// Bytes that the text between two tabs takes in the ANSI code page. The runs
// end at tabs, so a surrogate pair is never cut; the spaces written for the
// tabs count one byte each and are added by the caller.
uint64_t AnsiWidth(std::u16string_view run) {
  if (const std::optional<uint64_t> bytes = PlatformAnsiByteCount(run)) return *bytes;
  uint64_t bytes = 0;
  for (char16_t c : run) bytes += static_cast<uint64_t>(Cp932CharWidth(c));
  return bytes;
}

}  // namespace

std::u16string ExpandTabs(std::u16string_view S, int TabWidth) {
  std::u16string result;
  if (TabWidth < 1) {
    result.assign(S);
    return result;
  }
  result.reserve(S.size());
  const uint64_t width = static_cast<uint64_t>(TabWidth);
  uint64_t col = 0;  // 64-bit: a long line must not wrap the column
  size_t start = 0;
  for (;;) {
    const size_t tab = S.find(u'\t', start);
    const std::u16string_view run = S.substr(start, tab == std::u16string_view::npos ? S.npos : tab - start);
    result.append(run);
    if (tab == std::u16string_view::npos) break;
    col += AnsiWidth(run);
    // The tab stop of the indentation rules, at a column counted in bytes.
    const uint64_t n = NextTabStop(col, width) - col;
    result.append(static_cast<size_t>(n), u' ');
    col += n;
    start = tab + 1;
  }
  return result;
}

std::u16string_view TrimRightView(std::u16string_view S) noexcept {
  size_t n = S.size();
  while (n > 0 && IsTrimmedUnit(S[n - 1])) --n;
  return S.substr(0, n);
}

std::u16string_view TrimView(std::u16string_view S) noexcept {
  size_t b = 0;
  while (b < S.size() && IsTrimmedUnit(S[b])) ++b;
  return TrimRightView(S.substr(b));
}
