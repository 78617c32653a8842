// The AVX2 kernels: the UTF-8 check of Utf8Avx2.h, alone or with the line
// breaks counted or the line ends collected in the same pass, sixty-four
// bytes at a time. The short scans are the SSE2 ones.
#include "ScanKernels.h"

#ifdef MARQUILL_SCAN_X86
#include <immintrin.h>

#include "Utf8Avx2.h"
#include "UtfRuns.h"

using namespace utf8avx2;

namespace {

#define MARQUILL_SCAN_AVX2 __attribute__((target("avx2,bmi,popcnt")))

// The check looks at its collected faults once in this many bytes, so
// that a bad text stops early without a test for every block.
constexpr size_t kFaultTestBytes = 4096;

// Bit k set where byte k of lo then hi is c.
MARQUILL_SCAN_AVX2 inline uint64_t BytesEqual(__m256i lo, __m256i hi, char c) {
  const __m256i cs = _mm256_set1_epi8(c);
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, cs))) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, cs)))) << 32;
}

// The line breaks of 64 bytes, blocks lo then hi, a bit each (set at the
// break's last byte); next is the byte after them.
MARQUILL_SCAN_AVX2 inline uint64_t BreakBits(__m256i lo, __m256i hi, char next) {
  const uint64_t lfs = BytesEqual(lo, hi, '\n');
  const uint64_t crs = BytesEqual(lo, hi, '\r');
  const uint64_t nextIsLf = (lfs >> 1) | (static_cast<uint64_t>(next == '\n') << 63);
  return lfs | (crs & ~nextIsLf);
}

// The line ends of the 64 bytes at p[i], blocks a and b, into e (with room
// for four more than there are). The set bits are turned into positions as
// simdjson does (G. Langdale and D. Lemire, "Parsing Gigabytes of JSON per
// Second", VLDB Journal 28(6), 2019): the first four ends are written
// whether they exist or not and the count moves e on, so the usual run of
// lines takes no branch.
MARQUILL_SCAN_AVX2 inline size_t* PutEnds(__m256i a, __m256i b, char next, size_t i, size_t* e) {
  uint64_t m = BreakBits(a, b, next);
  const int count = __builtin_popcountll(m);
  const size_t base = i + 1;
  for (int k = 0; k < 4; ++k) {
    e[k] = base + _tzcnt_u64(m);
    m = _blsr_u64(m);
  }
  for (size_t* f = e + 4; m != 0; m = _blsr_u64(m)) *f++ = base + _tzcnt_u64(m);
  return e + count;
}

MARQUILL_SCAN_AVX2 size_t* CollectEndsAvx2(const char* p, size_t n, size_t* e) noexcept {
  size_t i = 0;
  for (; i + 65 <= n; i += 64) e = PutEnds(LoadBlock(p + i), LoadBlock(p + i + 32), p[i + 64], i, e);
  return CollectEndsFrom(p, n, i, e);
}

// The bytes from p[i] on checked, whole blocks, then fewer than 32 padded.
MARQUILL_SCAN_AVX2 inline bool CheckRest(TAvx2Check& c, const unsigned char* p, size_t n, size_t i) {
  for (; n - i >= 32; i += 32) c.Step(LoadBlock(p + i));
  c.Step(LastBlock(p + i, n - i));
  return !Failed(c);
}

// The check of 128 bytes at a time, and the breaks of each block counted
// where asked.
template <bool Count>
MARQUILL_SCAN_AVX2 bool CheckAvx2(const unsigned char* p, size_t n, uint64_t* breaks) noexcept {
  TAvx2Check c = StartCheck();
  uint64_t count = 0;
  size_t i = 0;
  for (; i + 129 <= n; i += 128) {
    const __m256i a = LoadBlock(p + i), b = LoadBlock(p + i + 32), c2 = LoadBlock(p + i + 64), d = LoadBlock(p + i + 96);
    c.Step4(a, b, c2, d);
    if constexpr (Count) {
      count += static_cast<uint64_t>(__builtin_popcountll(BreakBits(a, b, static_cast<char>(p[i + 64]))));
      count += static_cast<uint64_t>(__builtin_popcountll(BreakBits(c2, d, static_cast<char>(p[i + 128]))));
    }
    if (i % kFaultTestBytes == 0 && Failed(c)) return false;
  }
  if (!CheckRest(c, p, n, i)) return false;
  if constexpr (Count) *breaks = count + CountBreaksSse2(reinterpret_cast<const char*>(p) + i, n - i);
  return true;
}

bool CheckUtf8Avx2(const unsigned char* p, size_t n) noexcept { return CheckAvx2<false>(p, n, nullptr); }
bool CheckCountingAvx2(const unsigned char* p, size_t n, uint64_t& breaks) noexcept {
  return CheckAvx2<true>(p, n, &breaks);
}

// The check and the line ends of 128 bytes at a time.
MARQUILL_SCAN_AVX2 bool CollectCleanEndsAvx2(const char* s, size_t n, size_t*& e) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  TAvx2Check c = StartCheck();
  size_t* f = e;
  size_t i = 0;
  for (; i + 129 <= n; i += 128) {
    const __m256i a = LoadBlock(p + i), b = LoadBlock(p + i + 32), c2 = LoadBlock(p + i + 64), d = LoadBlock(p + i + 96);
    c.Step4(a, b, c2, d);
    f = PutEnds(a, b, s[i + 64], i, f);
    f = PutEnds(c2, d, s[i + 128], i + 64, f);
    if (i % kFaultTestBytes == 0 && Failed(c)) return false;
  }
  if (!CheckRest(c, p, n, i)) return false;
  e = CollectEndsFrom(s, n, i, f);
  return true;
}

}  // namespace

constinit const TScanKernels kAvx2Kernels = {
    .CheckUtf8 = CheckUtf8Avx2,
    .CheckUtf8Counting = CheckCountingAvx2,
    .FindLineEnd8 = FindLineEndSse2,
    .FindLineEnd16 = FindLineEndSse2,
    .CountBreaks8 = CountBreaksSse2,
    .CountBreaks16 = CountBreaksSse2,
    .CountBreaksFinding = CountBreaksFindingSse2,
    .CollectEnds = CollectEndsAvx2,
    .CollectCleanEnds = CollectCleanEndsAvx2,
    // 256-bit versions of the conversions measured slower than these.
    .Decode = DecodeSse,
    .Encode = EncodeSse,
    .EncodeLossy = EncodeSseLossy,
};
#endif
