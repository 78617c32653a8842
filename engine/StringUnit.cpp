#include "StringUnit.h"

#include <cstdint>

#include "Cp932Table.h"

int Cp932CharWidth(char16_t c) noexcept {
  return ((Cp932DoubleByteBits[c >> 5] >> (c & 31)) & 1u) ? 2 : 1;
}

std::u16string ExpandTabs(std::u16string_view S, int TabWidth) {
  std::u16string result;
  if (TabWidth < 1) {
    result.assign(S);
    return result;
  }
  result.reserve(S.size());
  const uint64_t width = static_cast<uint64_t>(TabWidth);
  uint64_t col = 0;  // 64-bit: a long line must not wrap the column
  for (char16_t c : S) {
    if (c == u'\t') {
      const uint64_t n = width - col % width;
      result.append(static_cast<size_t>(n), u' ');
      col += n;
    } else {
      result.push_back(c);
      col += static_cast<uint64_t>(Cp932CharWidth(c));
    }
  }
  return result;
}

std::u16string_view TrimRightView(std::u16string_view S) noexcept {
  size_t n = S.size();
  while (n > 0 && S[n - 1] <= u' ') --n;
  return S.substr(0, n);
}

std::u16string_view TrimView(std::u16string_view S) noexcept {
  size_t b = 0;
  while (b < S.size() && S[b] <= u' ') ++b;
  return TrimRightView(S.substr(b));
}
