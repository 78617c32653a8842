// UTF-8 checks: a portable one that walks the sequences, one that skips runs
// of ASCII sixteen bytes at a time (SSE2), and one that checks thirty-two
// bytes at a time by looking up each pair of neighbouring bytes' nibbles in
// three small tables (AVX2).
#include "Utf8Check.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "Utf.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARQUILL_CHECK_X86 1
#include <immintrin.h>
#endif

namespace {

// Length of the valid sequence at p[0] (1 to 4), or 0 for a bad one, a NUL,
// or one cut off by the end at p + n.
inline size_t SequenceAt(const unsigned char* p, size_t n) noexcept {
  const unsigned c = p[0];
  if (c < 0x80) return c != 0 ? 1 : 0;
  // The second byte's allowed range depends on the lead (no overlong form,
  // no surrogate, nothing above U+10FFFF); the others are 80..BF.
  size_t len = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) len = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len || p[1] < lo || p[1] > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return len;
}

// Checks from p[i] on until a sequence ends at or after `until`; false on a
// fault. i is left at the end of the last sequence.
inline bool CheckSequences(const unsigned char* p, size_t n, size_t& i, size_t until) noexcept {
  while (i < until) {
    const size_t len = SequenceAt(p + i, n - i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

bool CheckScalar(const unsigned char* p, size_t n) noexcept {
  size_t i = 0;
  return CheckSequences(p, n, i, n);
}

#ifdef MARQUILL_CHECK_X86
// Sixteen bytes at a time while they are ASCII without a NUL; the rest a
// sequence at a time until the next block.
bool CheckSse2(const unsigned char* p, size_t n) noexcept {
  size_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero))) == 0) {
      i += 16;
      continue;
    }
    if (!CheckSequences(p, n, i, i + 16)) return false;
  }
  return CheckSequences(p, n, i, n);
}

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
  __m256i Faults, Previous, Open;  // Open: the previous block's unfinished end

  MARQUILL_AVX2 void Step(__m256i block) {
    const __m256i zero = _mm256_setzero_si256();
    Faults = _mm256_or_si256(Faults, _mm256_cmpeq_epi8(block, zero));
    if (_mm256_movemask_epi8(block) == 0) {
      // ASCII: only a sequence left open by the block before is wrong.
      Faults = _mm256_or_si256(Faults, Open);
      Open = zero;
    } else {
      Faults = _mm256_or_si256(Faults, BlockFaults(block, Previous));
      Open = Unfinished(block);
    }
    Previous = block;
  }
};

MARQUILL_AVX2 bool CheckAvx2(const unsigned char* p, size_t n) noexcept {
  TAvx2Check c{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    c.Step(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
    if ((i & 4095) == 0 && !_mm256_testz_si256(c.Faults, c.Faults)) return false;
  }
  // The rest padded with spaces, which also end any sequence left open.
  alignas(32) unsigned char last[32];
  std::memset(last, ' ', sizeof last);
  std::memcpy(last, p + i, n - i);
  c.Step(_mm256_load_si256(reinterpret_cast<const __m256i*>(last)));
  return _mm256_testz_si256(c.Faults, c.Faults);
}
#endif

bool Supported(TUtf8Check check) noexcept {
  switch (check) {
    case TUtf8Check::Scalar: return true;
#ifdef MARQUILL_CHECK_X86
    case TUtf8Check::Sse2: return true;
    case TUtf8Check::Avx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
#endif
    default: return false;
  }
}

TUtf8Check Best() noexcept {
  if (Supported(TUtf8Check::Avx2)) return TUtf8Check::Avx2;
  if (Supported(TUtf8Check::Sse2)) return TUtf8Check::Sse2;
  return TUtf8Check::Scalar;
}

std::atomic<TUtf8Check> gCheck{Best()};

}  // namespace

bool IsCleanUtf8(std::string_view Bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
  switch (gCheck.load(std::memory_order_relaxed)) {
#ifdef MARQUILL_CHECK_X86
    case TUtf8Check::Avx2: return CheckAvx2(p, Bytes.size());
    case TUtf8Check::Sse2: return CheckSse2(p, Bytes.size());
#endif
    default: return CheckScalar(p, Bytes.size());
  }
}

std::optional<TByteFault> FirstByteFault(std::string_view Bytes) {
  // The decoder's verdict, a window of whole characters at a time so that a
  // long text needs no decoded copy of its size.
  constexpr size_t kWindow = size_t{64} << 10;
  std::u16string units;
  size_t bad = Bytes.size();
  for (size_t at = 0; at < Bytes.size();) {
    size_t n = std::min(kWindow, Bytes.size() - at);
    while (at + n < Bytes.size() && n > 0 && (static_cast<unsigned char>(Bytes[at + n]) & 0xC0) == 0x80) --n;
    if (n == 0) n = std::min(kWindow, Bytes.size() - at);  // no boundary in the window: the decoder refuses it
    units.resize(n);
    size_t offset = 0;
    if (!DecodeUtf8To(Bytes.substr(at, n), units.data(), &offset)) {
      bad = at + offset;
      break;
    }
    at += n;
  }
  const size_t nul = Bytes.substr(0, bad).find('\0');
  if (nul != std::string_view::npos) return TByteFault{nul, true};
  if (bad < Bytes.size()) return TByteFault{bad, false};
  return std::nullopt;
}

TUtf8Check Utf8Check() noexcept { return gCheck.load(); }

bool SetUtf8Check(TUtf8Check Check) noexcept {
  if (!Supported(Check)) return false;
  gCheck.store(Check);
  return true;
}
