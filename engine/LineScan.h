// Fast line cutting for the engine: the same cut as LineEndAt (CR LF, then a
// lone CR, then a lone LF), eight characters at a time where SSE2 exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "LineBreaks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Index one past the end of the line that starts at `start`.
inline size_t FindLineEnd(std::u16string_view s, size_t start) noexcept {
#if defined(__SSE2__)
  const char16_t* p = s.data();
  const size_t n = s.size();
  const __m128i cr = _mm_set1_epi16(u'\r');
  const __m128i lf = _mm_set1_epi16(u'\n');
  size_t i = start;
  while (i + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)));
    if (mask != 0) {
      i += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
      if (p[i] == u'\n') return i + 1;
      return (i + 1 < n && p[i + 1] == u'\n') ? i + 2 : i + 1;
    }
    i += 8;
  }
  return LineEndAt(s, i);
#else
  return LineEndAt(s, start);
#endif
}

// The same on UTF-8 bytes, sixteen at a time where SSE2 exists: CR and LF
// never occur inside a multi-byte sequence, so the lines are those of the
// decoded text.
inline size_t FindLineEnd(std::string_view s, size_t start) noexcept {
  const char* p = s.data();
  const size_t n = s.size();
  size_t i = start;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (mask != 0) {
      i += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
      break;
    }
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == '\n') return i + 1;
    if (p[i] == '\r') return (i + 1 < n && p[i + 1] == '\n') ? i + 2 : i + 1;
  }
  return n;
}

// Number of lines of `s`: every LF, every CR not followed by LF, and one more
// for the last line (which ends either with its break or with the text).
inline size_t CountLines(std::u16string_view s) noexcept {
  const char16_t* p = s.data();
  const size_t n = s.size();
  if (n == 0) return 0;
  size_t count = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi16(u'\r');
  const __m128i lf = _mm_set1_epi16(u'\n');
  // Each lane counts its breaks (a match is -1, subtracted); the lanes are
  // added up before any of them can overflow.
  while (i + 9 <= n) {
    __m128i lanes = _mm_setzero_si128();
    for (int k = 0; k < 4096 && i + 9 <= n; ++k, i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
      const __m128i loneCr = _mm_andnot_si128(_mm_cmpeq_epi16(next, lf), _mm_cmpeq_epi16(v, cr));
      lanes = _mm_sub_epi16(lanes, _mm_or_si128(_mm_cmpeq_epi16(v, lf), loneCr));
    }
    alignas(16) uint16_t sums[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), lanes);
    for (uint16_t sum : sums) count += sum;
  }
#endif
  for (; i + 1 < n; ++i) {
    count += static_cast<size_t>(p[i] == u'\n') + static_cast<size_t>(p[i] == u'\r' && p[i + 1] != u'\n');
  }
  return count + 1;
}
