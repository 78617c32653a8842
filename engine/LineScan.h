// Fast line cutting and counting for the engine: the same cut as LineEndAt
// (CR LF, then a lone CR, then a lone LF), a vector at a time where SSE2 exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "LineBreaks.h"

#if defined(__SSE2__)
#include <emmintrin.h>

// The vector operations the line scans need, for each unit type: how many
// units a vector holds, how many vectors a lane can count before it
// overflows, and the sum of the lanes.
template <class C>
struct TBreakLanes;
template <>
struct TBreakLanes<char> {
  static constexpr size_t Units = 16;
  static constexpr size_t Blocks = 255;
  static __m128i Splat(char c) noexcept { return _mm_set1_epi8(c); }
  static __m128i Equal(__m128i a, __m128i b) noexcept { return _mm_cmpeq_epi8(a, b); }
  static __m128i Subtract(__m128i lanes, __m128i ones) noexcept { return _mm_sub_epi8(lanes, ones); }
  static size_t Sum(__m128i lanes) noexcept {
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
};
template <>
struct TBreakLanes<char16_t> {
  static constexpr size_t Units = 8;
  static constexpr size_t Blocks = 4096;
  static __m128i Splat(char16_t c) noexcept { return _mm_set1_epi16(static_cast<short>(c)); }
  static __m128i Equal(__m128i a, __m128i b) noexcept { return _mm_cmpeq_epi16(a, b); }
  static __m128i Subtract(__m128i lanes, __m128i ones) noexcept { return _mm_sub_epi16(lanes, ones); }
  static size_t Sum(__m128i lanes) noexcept {
    alignas(16) uint16_t sums[8] = {};
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), lanes);
    size_t total = 0;
    for (uint16_t sum : sums) total += sum;
    return total;
  }
};
#endif

// Index past the line break that starts at p[i], a CR or a LF.
template <class C>
inline size_t PastBreak(const C* p, size_t n, size_t i) noexcept {
  return (p[i] == C('\r') && i + 1 < n && p[i + 1] == C('\n')) ? i + 2 : i + 1;
}

// Index one past the end of the line that starts at `start`, in UTF-16
// units or in UTF-8 bytes alike: CR and LF never occur inside a multi-byte
// sequence, so the lines of the bytes are those of the decoded text.
template <class C>
inline size_t LineEndFrom(std::basic_string_view<C> s, size_t start) noexcept {
  const C* p = s.data();
  const size_t n = s.size();
  size_t i = start;
#if defined(__SSE2__)
  using L = TBreakLanes<C>;
  const __m128i cr = L::Splat(C('\r'));
  const __m128i lf = L::Splat(C('\n'));
  for (; i + L::Units <= n; i += L::Units) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_or_si128(L::Equal(v, cr), L::Equal(v, lf)));
    if (mask != 0) return PastBreak(p, n, i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(C));
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == C('\n') || p[i] == C('\r')) return PastBreak(p, n, i);
  }
  return n;
}
inline size_t FindLineEnd(std::u16string_view s, size_t start) noexcept { return LineEndFrom(s, start); }
inline size_t FindLineEnd(std::string_view s, size_t start) noexcept { return LineEndFrom(s, start); }

// Number of line breaks in `s` (CR LF, lone CR, LF), in UTF-16 units or in
// UTF-8 bytes alike; a CR at the very end counts as one.
template <class C>
size_t CountBreaks(std::basic_string_view<C> s) noexcept {
  const C* p = s.data();
  const size_t n = s.size();
  if (n == 0) return 0;
  size_t count = 0;
  size_t i = 0;
#if defined(__SSE2__)
  using L = TBreakLanes<C>;
  const __m128i cr = L::Splat(C('\r'));
  const __m128i lf = L::Splat(C('\n'));
  // Each lane counts its breaks (a match is -1, subtracted): a LF, or a CR
  // whose next unit is no LF. The lanes are added up before any of them can
  // overflow.
  while (i + L::Units + 1 <= n) {
    __m128i lanes = _mm_setzero_si128();
    for (size_t k = 0; k < L::Blocks && i + L::Units + 1 <= n; ++k, i += L::Units) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
      const __m128i loneCr = _mm_andnot_si128(L::Equal(next, lf), L::Equal(v, cr));
      lanes = L::Subtract(lanes, _mm_or_si128(L::Equal(v, lf), loneCr));
    }
    count += L::Sum(lanes);
  }
#endif
  for (; i + 1 < n; ++i) {
    count += static_cast<size_t>(p[i] == C('\n')) + static_cast<size_t>(p[i] == C('\r') && p[i + 1] != C('\n'));
  }
  return count + static_cast<size_t>(p[n - 1] == C('\n') || p[n - 1] == C('\r'));
}

// Number of lines of `s`: its breaks, and one more for a last line that ends
// with the text rather than with a break.
inline size_t CountLines(std::u16string_view s) noexcept {
  return CountBreaks(s) + static_cast<size_t>(BreakLength(s) == 0 && !s.empty());
}
