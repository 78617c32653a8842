// Cutting a text into lines that keep their own breaks: at each position
// CR LF is tried first, then a lone CR, then a lone LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Index one past the end of the line that starts at `start` (past its break,
// or the text's end when the line has none).
inline size_t LineEndAt(std::u16string_view s, size_t start) noexcept {
  const char16_t* p = s.data();
  const size_t n = s.size();
  for (size_t i = start; i < n; ++i) {
    char16_t c = p[i];
    if (c > u'\r') continue;
    if (c == u'\n') return i + 1;
    if (c == u'\r') return (i + 1 < n && p[i + 1] == u'\n') ? i + 2 : i + 1;
  }
  return n;
}

enum TLineBreakKind : uint8_t { lbCrLf = 0, lbCr = 1, lbLf = 2, lbNone = 3 };

// The kind of line break that ends `text`.
inline TLineBreakKind LineBreakKindAtEnd(std::u16string_view text) noexcept {
  const size_t n = text.size();
  if (n >= 2 && text[n - 2] == u'\r' && text[n - 1] == u'\n') return lbCrLf;
  if (n >= 1 && text[n - 1] == u'\n') return lbLf;
  if (n >= 1 && text[n - 1] == u'\r') return lbCr;
  return lbNone;
}

// Length of the line break at the end of `line` (0, 1 or 2), in UTF-16
// units or in UTF-8 bytes alike.
template <class C>
constexpr size_t BreakLength(std::basic_string_view<C> line) noexcept {
  const size_t n = line.size();
  if (n == 0) return 0;
  if (line[n - 1] == C('\n')) return (n >= 2 && line[n - 2] == C('\r')) ? 2 : 1;
  return line[n - 1] == C('\r') ? 1 : 0;
}
// The same for anything that is read as UTF-16 (a std::u16string).
inline size_t BreakLength(std::u16string_view line) noexcept { return BreakLength<char16_t>(line); }

// Calls fn(line) for every line of `s`, each line a view with its break.
template <class Fn>
void ForEachLine(std::u16string_view s, Fn&& fn) {
  size_t start = 0;
  while (start < s.size()) {
    size_t end = LineEndAt(s, start);
    fn(s.substr(start, end - start));
    start = end;
  }
}
