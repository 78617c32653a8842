// The thirty-two-bytes-at-a-time UTF-8 check (AVX2), shared by the check
// alone and by the scans that count breaks or find line ends as they check.
// It is the lookup method of J. Keiser and D. Lemire, "Validating UTF-8 In
// Less Than One Instruction Per Byte", Software: Practice and Experience
// 51(5), 2021: the faults of each pair of neighbouring bytes are looked up by
// the first byte's two nibbles and the second byte's high nibble, and a
// fault is a bit that all three lookups share; a lead's later continuation
// bytes are checked against the leads two and three bytes back. Only for
// processors with AVX2, which the dispatch (TextScan.cpp) makes sure of.
#pragma once

#include "ScanKernels.h"

#ifdef MARQUILL_SCAN_X86
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace utf8avx2 {

// The faults one byte pair can show, a bit each. A pair is bad when its
// three lookups (the first byte's high and low nibble, the second byte's
// high nibble) share a bit.
constexpr uint8_t kTooShort = 1 << 0;   // a lead not followed by a continuation
constexpr uint8_t kTooLong = 1 << 1;    // ASCII followed by a continuation
constexpr uint8_t kOverlong3 = 1 << 2;  // E0 80..9F
constexpr uint8_t kTooLarge = 1 << 3;   // F4 90..BF, F5..FF 90..BF
constexpr uint8_t kSurrogate = 1 << 4;  // ED A0..BF
constexpr uint8_t kOverlong2 = 1 << 5;  // C0, C1 followed by a continuation
constexpr uint8_t kOver4 = 1 << 6;      // F0 80..8F (overlong), F5..FF 80..8F (too large)
constexpr uint8_t kTwoConts = 1 << 7;   // a continuation after a continuation
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

#define MARQUILL_AVX2 __attribute__((target("avx2")))

MARQUILL_AVX2 inline __m256i Table(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4, uint8_t a5, uint8_t a6,
                                   uint8_t a7, uint8_t a8, uint8_t a9, uint8_t a10, uint8_t a11, uint8_t a12,
                                   uint8_t a13, uint8_t a14, uint8_t a15) {
  return _mm256_setr_epi8(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a0, a1, a2, a3, a4,
                          a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15);
}

// The block's bytes shifted by `back` places, the previous block's last
// bytes coming in at the front.
template <int back>
MARQUILL_AVX2 inline __m256i Before(__m256i block, __m256i previous) {
  return _mm256_alignr_epi8(block, _mm256_permute2x128_si256(previous, block, 0x21), 16 - back);
}

// The faults of a block that holds non-ASCII bytes, given the block before.
MARQUILL_AVX2 inline __m256i BlockFaults(__m256i block, __m256i previous) {
  const __m256i low4 = _mm256_set1_epi8(0x0F);
  const __m256i prev1 = Before<1>(block, previous);
  const __m256i firstHigh = _mm256_shuffle_epi8(
      Table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTwoConts, kTwoConts,
            kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
            kTooShort | kTooLarge | kOver4),
      _mm256_and_si256(_mm256_srli_epi16(prev1, 4), low4));
  const __m256i firstLow = _mm256_shuffle_epi8(
      Table(kCarry | kOverlong3 | kOverlong2 | kOver4, kCarry | kOverlong2, kCarry, kCarry, kCarry | kTooLarge,
            kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4,
            kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4,
            kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4 | kSurrogate,
            kCarry | kTooLarge | kOver4, kCarry | kTooLarge | kOver4),
      _mm256_and_si256(prev1, low4));
  const __m256i secondHigh = _mm256_shuffle_epi8(
      Table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
            kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kOver4, kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
            kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
            kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort),
      _mm256_and_si256(_mm256_srli_epi16(block, 4), low4));
  const __m256i pair = _mm256_and_si256(_mm256_and_si256(firstHigh, firstLow), secondHigh);
  // Two continuations in a row are right exactly where a lead two or three
  // bytes back asks for them.
  const __m256i third = _mm256_subs_epu8(Before<2>(block, previous), _mm256_set1_epi8(char(0xE0 - 0x80)));
  const __m256i fourth = _mm256_subs_epu8(Before<3>(block, previous), _mm256_set1_epi8(char(0xF0 - 0x80)));
  const __m256i expected = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
  return _mm256_xor_si256(pair, expected);
}

// Nonzero where the block's last bytes begin a sequence that needs more.
MARQUILL_AVX2 inline __m256i Unfinished(__m256i block) {
  const __m256i most = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, char(0xF0 - 1), char(0xE0 - 1),
                                        char(0xC0 - 1));
  return _mm256_subs_epu8(block, most);
}

// What the check carries from one block to the next.
struct TAvx2Check {
  __m256i Faults, Previous;

  MARQUILL_AVX2 void Step(__m256i block) {
    Faults = _mm256_or_si256(Faults, _mm256_cmpeq_epi8(block, _mm256_setzero_si256()));
    Faults = _mm256_or_si256(Faults, BlockFaults(block, Previous));
    Previous = block;
  }
  // Four blocks in a row. Where they are all ASCII, as whole runs of
  // mostly English text are, only a NUL or a sequence left open by the
  // block before is wrong; in mixed text a test per block would be
  // mispredicted too often.
  MARQUILL_AVX2 void Step4(__m256i a, __m256i b, __m256i c, __m256i d) {
    if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))) == 0) {
      const __m256i least = _mm256_min_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(c, d));
      Faults = _mm256_or_si256(Faults, _mm256_cmpeq_epi8(least, _mm256_setzero_si256()));
      Faults = _mm256_or_si256(Faults, Unfinished(Previous));
      Previous = d;
    } else {
      Step(a);
      Step(b);
      Step(c);
      Step(d);
    }
  }
};

// The bytes after the last whole block (fewer than 32) padded with spaces,
// which also end any sequence left open and hold no line break.
MARQUILL_AVX2 inline __m256i LastBlock(const unsigned char* p, size_t n) {
  alignas(32) unsigned char last[32];
  std::memset(last, ' ', sizeof last);
  // An empty text has no bytes, and its pointer may be null.
  if (n > 0) std::memcpy(last, p, n);
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(last));
}

MARQUILL_AVX2 inline __m256i LoadBlock(const void* at) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(at));
}

MARQUILL_AVX2 inline TAvx2Check StartCheck() {
  return TAvx2Check{_mm256_setzero_si256(), _mm256_setzero_si256()};
}

MARQUILL_AVX2 inline bool Failed(const TAvx2Check& c) { return !_mm256_testz_si256(c.Faults, c.Faults); }

}  // namespace utf8avx2

#endif
