// UTF-8 checks: a portable one that walks the sequences, one that skips runs
// of ASCII sixteen bytes at a time (SSE2), and one that checks thirty-two
// bytes at a time by looking up each pair of neighbouring bytes' nibbles in
// three small tables (AVX2).
#include "Utf8Check.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "TextBytes.h"
#include "Utf.h"
#include "Utf8CheckAvx2.h"

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

using namespace utf8avx2;

// The line breaks of the blocks (a CR, or a LF after no CR: the same count
// as CountLineBreaks), one block after another.
struct TBreakCount {
  uint64_t Breaks = 0;
  uint32_t CrBefore = 0;  // the block before ended in a CR

  __attribute__((target("avx2,popcnt"))) void Add(__m256i block) {
    const uint32_t lfs = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, _mm256_set1_epi8('\n'))));
    const uint32_t crs = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, _mm256_set1_epi8('\r'))));
    Breaks += static_cast<uint64_t>(__builtin_popcount(crs) + __builtin_popcount(lfs & ~((crs << 1) | CrBefore)));
    CrBefore = crs >> 31;
  }
};

// The check, counting the line breaks into *breaks as it goes where asked.
template <bool Count>
__attribute__((target("avx2,popcnt"))) bool CheckAvx2(const unsigned char* p, size_t n, uint64_t* breaks) noexcept {
  TAvx2Check c = StartCheck();
  TBreakCount count;
  size_t i = 0;
  for (; i + 128 <= n; i += 128) {
    const __m256i a = LoadBlock(p + i), b = LoadBlock(p + i + 32), c2 = LoadBlock(p + i + 64), d = LoadBlock(p + i + 96);
    c.Step4(a, b, c2, d);
    if constexpr (Count) {
      count.Add(a);
      count.Add(b);
      count.Add(c2);
      count.Add(d);
    }
    if ((i & 4095) == 0 && Failed(c)) return false;
  }
  for (; i + 32 <= n; i += 32) {
    const __m256i block = LoadBlock(p + i);
    c.Step(block);
    if constexpr (Count) count.Add(block);
  }
  const __m256i last = LastBlock(p + i, n - i);
  c.Step(last);
  if constexpr (Count) {
    count.Add(last);
    *breaks = count.Breaks;
  }
  return !Failed(c);
}
#endif

bool Supported(TUtf8Check check) noexcept {
  switch (check) {
    case TUtf8Check::Scalar: return true;
#ifdef MARQUILL_CHECK_X86
    case TUtf8Check::Sse2: return true;
    case TUtf8Check::Avx2: return ProcessorRunsAvx2Scans();
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
    case TUtf8Check::Avx2: return CheckAvx2<false>(p, Bytes.size(), nullptr);
    case TUtf8Check::Sse2: return CheckSse2(p, Bytes.size());
#endif
    default: return CheckScalar(p, Bytes.size());
  }
}

bool IsCleanUtf8(std::string_view Bytes, uint64_t& Breaks) noexcept {
#ifdef MARQUILL_CHECK_X86
  if (gCheck.load(std::memory_order_relaxed) == TUtf8Check::Avx2)
    return CheckAvx2<true>(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), &Breaks);
#endif
  if (!IsCleanUtf8(Bytes)) return false;
  Breaks = CountLineBreaks(Bytes);
  return true;
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
