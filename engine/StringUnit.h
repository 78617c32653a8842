// String routines of the line-head engine.
#pragma once

#include <string>
#include <string_view>

// Replaces every tab by TabWidth - (Col mod TabWidth) spaces, Col being the
// width in bytes of everything written before it: in the system ANSI code
// page on Windows, in code page 932 (Cp932CharWidth) elsewhere. A TabWidth
// below 1 leaves the tabs as they are.
std::u16string ExpandTabs(std::u16string_view S, int TabWidth);

// Bytes of c as Windows converts it to code page 932: 2 for a double-byte
// character (best-fit look-alikes included), otherwise 1 (a character
// without a form becomes the one-byte default character).
int Cp932CharWidth(char16_t c) noexcept;

// Space, ideographic space and tab; nothing else is indentation.
constexpr bool IsIndentChar(char16_t c) noexcept { return c == u' ' || c == u'\t' || c == u'\u3000'; }

// Units of the indentation that S begins with.
constexpr size_t IndentLength(std::u16string_view S) noexcept {
  size_t n = 0;
  while (n < S.size() && IsIndentChar(S[n])) ++n;
  return n;
}
// The same on UTF-8 bytes, where the ideographic space is E3 80 80: bytes,
// whole characters only.
constexpr size_t IndentLength(std::string_view Utf8) noexcept {
  size_t n = 0;
  while (n < Utf8.size()) {
    if (Utf8[n] == ' ' || Utf8[n] == '\t') {
      ++n;
    } else if (Utf8.substr(n, 3) == "\xE3\x80\x80") {
      n += 3;
    } else {
      break;
    }
  }
  return n;
}

// Without trailing (or leading and trailing) characters of code U+0020 or less.
// An ideographic space is never trimmed.
std::u16string_view TrimRightView(std::u16string_view S) noexcept;
std::u16string_view TrimView(std::u16string_view S) noexcept;
