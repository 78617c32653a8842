// String routines of the line-head engine.
#pragma once

#include <string>
#include <string_view>

#include "IndentKernel.h"

// Replaces every tab by TabWidth - (Col mod TabWidth) spaces, Col being the
// width in bytes of everything written before it: in the system ANSI code
// page on Windows, in code page 932 (Cp932CharWidth) elsewhere. A TabWidth
// below 1 leaves the tabs as they are.
std::u16string ExpandTabs(std::u16string_view S, int TabWidth);

// Bytes of c as Windows converts it to code page 932: 2 for a double-byte
// character (best-fit look-alikes included), otherwise 1 (a character
// without a form becomes the one-byte default character).
int Cp932CharWidth(char16_t c) noexcept;

// Space, ideographic space and tab (the blanks of IndentKernel.h); nothing
// else is indentation.
constexpr bool IsIndentChar(char16_t c) noexcept { return BlankAt(&c, 0, 1) != 0; }

// Units of the indentation that S begins with: UTF-16 units, or UTF-8
// bytes of whole characters.
template <class C>
constexpr size_t IndentLength(std::basic_string_view<C> S) noexcept {
  size_t n = 0;
  while (n < S.size()) {
    const uint8_t kind = BlankAt(S.data(), n, S.size());
    if (kind == 0) break;
    n += BlankLength<C>(kind);
  }
  return n;
}
constexpr size_t IndentLength(std::u16string_view S) noexcept { return IndentLength<char16_t>(S); }
constexpr size_t IndentLength(std::string_view Utf8) noexcept { return IndentLength<char>(Utf8); }

// A unit that trimming takes off a symbol's ends: any code U+0020 or less
// (controls and the space). Not the indentation blanks of IsIndentChar: an
// ideographic space is never trimmed, and controls never indent.
constexpr bool IsTrimmedUnit(char16_t c) noexcept { return c <= u' '; }

// Without trailing (or leading and trailing) IsTrimmedUnit units.
std::u16string_view TrimRightView(std::u16string_view S) noexcept;
std::u16string_view TrimView(std::u16string_view S) noexcept;
