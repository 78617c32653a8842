// What a line break is, once for every scan: CR LF, a lone CR or a LF. Texts
// are cut into lines that keep their own breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Whether a unit belongs to a line break: CR or LF, which begin one
// wherever a line's text stops.
template <class C>
constexpr bool IsBreakUnit(C c) noexcept {
  return c == C('\n') || c == C('\r');
}

// True when a line ends after p[i] (of n units): p[i] is a LF, or a CR that
// no LF follows. The same in UTF-16 units and in UTF-8 bytes, as CR and LF
// never occur inside a multi-byte sequence. Every vector scan finds exactly
// these positions.
template <class C>
constexpr bool EndsLine(const C* p, size_t n, size_t i) noexcept {
  return p[i] == C('\n') || (p[i] == C('\r') && (i + 1 == n || p[i + 1] != C('\n')));
}

// Index one past the end of the line that starts at `start` (past its break,
// or the text's end when the line has none), one unit at a time.
template <class C>
constexpr size_t LineEndAt(std::basic_string_view<C> s, size_t start) noexcept {
  for (size_t i = start; i < s.size(); ++i)
    if (s[i] <= C('\r') && EndsLine(s.data(), s.size(), i)) return i + 1;
  return s.size();
}
inline size_t LineEndAt(std::u16string_view s, size_t start) noexcept { return LineEndAt<char16_t>(s, start); }

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
