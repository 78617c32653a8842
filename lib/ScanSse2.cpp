// The SSE2 kernels (every x86-64 processor has SSE2): sixteen bytes at a
// time, with the comparisons turned into bit masks or counted in lanes.
#include "ScanKernels.h"

#ifdef MARQUILL_SCAN_X86
#include <emmintrin.h>

#include "UtfRuns.h"

namespace {

// A vector of one kind of unit: how many it holds, how many vectors a lane
// can count before it overflows, and the sum of the lanes. Byte lanes are
// summed with PSADBW against zero, as W. Muła, N. Kurz and D. Lemire sum
// their byte counters ("Faster Population Counts Using AVX2 Instructions",
// The Computer Journal 61(1), 2018).
template <class C>
struct TLanes;
template <>
struct TLanes<char> {
  static constexpr size_t Units = 16;
  static constexpr size_t Blocks = 255;
  static __m128i Splat(char c) noexcept { return _mm_set1_epi8(c); }
  static __m128i Equal(__m128i a, __m128i b) noexcept { return _mm_cmpeq_epi8(a, b); }
  static __m128i Subtract(__m128i lanes, __m128i ones) noexcept { return _mm_sub_epi8(lanes, ones); }
  static uint64_t Sum(__m128i lanes) noexcept {
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) + static_cast<uint64_t>(_mm_extract_epi16(sums, 4));
  }
};
template <>
struct TLanes<char16_t> {
  static constexpr size_t Units = 8;
  static constexpr size_t Blocks = 4096;
  static __m128i Splat(char16_t c) noexcept { return _mm_set1_epi16(static_cast<short>(c)); }
  static __m128i Equal(__m128i a, __m128i b) noexcept { return _mm_cmpeq_epi16(a, b); }
  static __m128i Subtract(__m128i lanes, __m128i ones) noexcept { return _mm_sub_epi16(lanes, ones); }
  static uint64_t Sum(__m128i lanes) noexcept {
    alignas(16) uint16_t sums[8] = {};
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), lanes);
    uint64_t total = 0;
    for (uint16_t sum : sums) total += sum;
    return total;
  }
};

template <class C>
inline __m128i Load(const C* at) noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Lanes of -1 where a line ends after the unit of v: a LF, or a CR whose
// next unit (in `next`, v moved on by one) is no LF.
template <class C>
inline __m128i BreakLanes(__m128i v, __m128i next) noexcept {
  using L = TLanes<C>;
  const __m128i lf = L::Splat(C('\n'));
  const __m128i loneCr = _mm_andnot_si128(L::Equal(next, lf), L::Equal(v, L::Splat(C('\r'))));
  return _mm_or_si128(L::Equal(v, lf), loneCr);
}

template <class C>
size_t FindLineEndAny(const C* p, size_t n, size_t i) noexcept {
  using L = TLanes<C>;
  const __m128i cr = L::Splat(C('\r'));
  const __m128i lf = L::Splat(C('\n'));
  for (; i + L::Units <= n; i += L::Units) {
    const __m128i v = Load(p + i);
    const int mask = _mm_movemask_epi8(_mm_or_si128(L::Equal(v, cr), L::Equal(v, lf)));
    if (mask != 0) return FindLineEndFrom(p, n, i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(C));
  }
  return FindLineEndFrom(p, n, i);
}

// Each lane counts its breaks (a match is -1, subtracted); the lanes are
// added up before any of them can overflow. The vectors stop one unit short
// of the end, as each looks at the unit after it.
template <class C>
uint64_t CountBreaksAny(const C* p, size_t n) noexcept {
  using L = TLanes<C>;
  uint64_t count = 0;
  size_t i = 0;
  while (i + L::Units + 1 <= n) {
    __m128i lanes = _mm_setzero_si128();
    for (size_t k = 0; k < L::Blocks && i + L::Units + 1 <= n; ++k, i += L::Units)
      lanes = L::Subtract(lanes, BreakLanes<C>(Load(p + i), Load(p + i + 1)));
    count += L::Sum(lanes);
  }
  return count + CountBreaksFrom(p, n, i);
}

// Sixteen bytes at a time while they are ASCII without a NUL; the rest a
// sequence at a time until the next block.
bool CheckSse2(const unsigned char* p, size_t n) noexcept {
  size_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= n) {
    const __m128i v = Load(p + i);
    if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero))) == 0) {
      i += 16;
      continue;
    }
    if (!CheckSequences(p, n, i, i + 16)) return false;
  }
  return CheckSequences(p, n, i, n);
}

bool CheckCountingSse2(const unsigned char* p, size_t n, uint64_t& breaks) noexcept {
  if (!CheckSse2(p, n)) return false;
  breaks = CountBreaksSse2(reinterpret_cast<const char*>(p), n);
  return true;
}

// One bit per line end of the sixteen bytes, written out as positions.
size_t* CollectEndsSse2(const char* p, size_t n, size_t* e) noexcept {
  size_t i = 0;
  for (; i + 17 <= n; i += 16) {
    for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(BreakLanes<char>(Load(p + i), Load(p + i + 1))));
         m != 0; m &= m - 1)
      *e++ = i + static_cast<size_t>(__builtin_ctz(m)) + 1;
  }
  return CollectEndsFrom(p, n, i, e);
}

bool CollectCleanEndsSse2(const char* p, size_t n, size_t*& e) noexcept {
  if (!CheckSse2(reinterpret_cast<const unsigned char*>(p), n)) return false;
  e = CollectEndsSse2(p, n, e);
  return true;
}

}  // namespace

size_t FindLineEndSse2(const char* p, size_t n, size_t start) noexcept { return FindLineEndAny(p, n, start); }
size_t FindLineEndSse2(const char16_t* p, size_t n, size_t start) noexcept { return FindLineEndAny(p, n, start); }
uint64_t CountBreaksSse2(const char* p, size_t n) noexcept { return CountBreaksAny(p, n); }
uint64_t CountBreaksSse2(const char16_t* p, size_t n) noexcept { return CountBreaksAny(p, n); }

// The breaks counted as CountBreaksAny does, and the bytes of `wanted` found
// by comparing each block with each of them, in the same pass.
uint64_t CountBreaksFindingSse2(const char* p, size_t n, std::string_view wanted, std::vector<size_t>& at) {
  assert(!wanted.empty() && wanted.size() <= 4);
  __m128i want[4];
  for (size_t k = 0; k < 4; ++k) want[k] = _mm_set1_epi8(wanted[k < wanted.size() ? k : 0]);
  using L = TLanes<char>;
  uint64_t count = 0;
  size_t i = 0;
  while (i + L::Units + 1 <= n) {
    __m128i lanes = _mm_setzero_si128();
    for (size_t k = 0; k < L::Blocks && i + L::Units + 1 <= n; ++k, i += L::Units) {
      const __m128i v = Load(p + i);
      lanes = L::Subtract(lanes, BreakLanes<char>(v, Load(p + i + 1)));
      const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, want[0]), _mm_cmpeq_epi8(v, want[1])),
                                        _mm_or_si128(_mm_cmpeq_epi8(v, want[2]), _mm_cmpeq_epi8(v, want[3])));
      for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits)); m != 0; m &= m - 1)
        at.push_back(i + static_cast<size_t>(__builtin_ctz(m)));
    }
    count += L::Sum(lanes);
  }
  return count + CountBreaksFindingFrom(p, n, i, wanted, at);
}

// The conversions are the portable ones here; the dispatch puts in the
// SSSE3 and SSE4.1 ones where the processor has them.
constinit const TScanKernels kSse2Kernels = {
    .CheckUtf8 = CheckSse2,
    .CheckUtf8Counting = CheckCountingSse2,
    .FindLineEnd8 = FindLineEndSse2,
    .FindLineEnd16 = FindLineEndSse2,
    .CountBreaks8 = CountBreaksSse2,
    .CountBreaks16 = CountBreaksSse2,
    .CountBreaksFinding = CountBreaksFindingSse2,
    .CollectEnds = CollectEndsSse2,
    .CollectCleanEnds = CollectCleanEndsSse2,
    .Decode = DecodeAll,
    .Encode = EncodeAll<false>,
    .EncodeLossy = EncodeAll<true>,
};
#endif
