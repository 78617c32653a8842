// UTF-8 <-> UTF-16 with SSSE3 and SSE4.1, for x86-64 processors that have them.
#include "UtfRuns.h"

#ifdef MARQUILL_SCAN_X86
#include <array>

#include <immintrin.h>

namespace {

// Both directions work on small blocks and take a fast path only for the
// shapes that fill mail and code: ASCII, and ASCII mixed with three-byte
// characters (U+0800..U+FFFF outside the surrogates: kana, kanji, the
// ideographic space). A block of any other shape, or one with anything
// doubtful in it, goes through the portable code (UtfRuns.h), which therefore
// decides every failure and its offset.

// Shuffles that gather the 16-bit lanes of an 8-lane vector whose bit is
// set in the index, to the front; `Count` of them.
struct TGather {
  alignas(16) uint8_t Shuffle[16] = {};
  uint8_t Count = 0;
};
constexpr std::array<TGather, 256> MakeGatherTable() {
  std::array<TGather, 256> t{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned k = 0;
    for (unsigned lane = 0; lane < 8; ++lane) {
      if (!(m & (1u << lane))) continue;
      t[m].Shuffle[2 * k] = static_cast<uint8_t>(2 * lane);
      t[m].Shuffle[2 * k + 1] = static_cast<uint8_t>(2 * lane + 1);
      ++k;
    }
    for (unsigned j = 2 * k; j < 16; ++j) t[m].Shuffle[j] = 0x80;
    t[m].Count = static_cast<uint8_t>(k);
  }
  return t;
}
constexpr std::array<TGather, 256> kGather = MakeGatherTable();

// Shuffles that pack four 32-bit lanes holding the three bytes of a UTF-8
// character each: the lanes whose bit is set in the index hold ASCII and
// give their first byte only; `Count` bytes in all.
constexpr std::array<TGather, 16> MakePackTable() {
  std::array<TGather, 16> t{};
  for (unsigned m = 0; m < 16; ++m) {
    unsigned k = 0;
    for (unsigned lane = 0; lane < 4; ++lane) {
      const unsigned bytes = (m & (1u << lane)) ? 1 : 3;
      for (unsigned b = 0; b < bytes; ++b) t[m].Shuffle[k++] = static_cast<uint8_t>(4 * lane + b);
    }
    for (unsigned j = k; j < 16; ++j) t[m].Shuffle[j] = 0x80;
    t[m].Count = static_cast<uint8_t>(k);
  }
  return t;
}
constexpr std::array<TGather, 16> kPack = MakePackTable();

#define MARQUILL_SIMD_INLINE __attribute__((target("ssse3,sse4.1"), always_inline)) inline

// Eight positions, each read as the start of a character from its byte x0
// and the two after it (16-bit lanes): x0 when ASCII, else the code point of
// the three bytes.
MARQUILL_SIMD_INLINE __m128i Units(__m128i x0, __m128i x1, __m128i x2) {
  const __m128i three = _mm_or_si128(
      _mm_or_si128(_mm_slli_epi16(x0, 12), _mm_slli_epi16(_mm_and_si128(x1, _mm_set1_epi16(0x3F)), 6)),
      _mm_and_si128(x2, _mm_set1_epi16(0x3F)));
  const __m128i isAscii = _mm_cmplt_epi16(x0, _mm_set1_epi16(0x80));
  return _mm_or_si128(_mm_and_si128(isAscii, x0), _mm_andnot_si128(isAscii, three));
}

// Decodes the 16 bytes at s when they hold only ASCII and characters of
// three bytes, each lead followed by exactly two continuation bytes; false,
// with nothing written, for a block of any other shape. `carry` tells which
// of the first bytes continue a character begun in the block before (bit k:
// byte k), and then which bytes of the next block must.
MARQUILL_SIMD_INLINE bool DecodeBlock(const unsigned char* s, unsigned& carry, char16_t*& d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
  if ((high | carry) == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
    d += 16;
    return true;
  }
  const unsigned cont = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)))));
  const unsigned lead = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xF0))), _mm_set1_epi8(char(0xE0)))));
  const unsigned ascii = ~high & 0xFFFF;
  const unsigned due = (lead << 1) | (lead << 2) | carry;
  // E0 must be followed by A0..BF (else overlong), ED by 80..9F (else a
  // surrogate); bit 5 of the continuation byte tells which half it is in.
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 1));
  const __m128i upper = _mm_cmpeq_epi8(_mm_and_si128(v1, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x20));
  const __m128i bad = _mm_or_si128(_mm_andnot_si128(upper, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xE0)))),
                                   _mm_and_si128(upper, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xED)))));
  if ((ascii | cont | lead) != 0xFFFF || cont != (due & 0xFFFF) ||
      (static_cast<unsigned>(_mm_movemask_epi8(bad)) & lead) != 0) {
    return false;
  }
  const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2));
  const __m128i lo = Units(_mm_unpacklo_epi8(v, zero), _mm_unpacklo_epi8(v1, zero), _mm_unpacklo_epi8(v2, zero));
  const __m128i hi = Units(_mm_unpackhi_epi8(v, zero), _mm_unpackhi_epi8(v1, zero), _mm_unpackhi_epi8(v2, zero));
  const unsigned starts = ascii | lead;
  const TGather& gl = kGather[starts & 0xFF];
  const TGather& gh = kGather[starts >> 8];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_shuffle_epi8(lo, _mm_load_si128(reinterpret_cast<const __m128i*>(gl.Shuffle))));
  d += gl.Count;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_shuffle_epi8(hi, _mm_load_si128(reinterpret_cast<const __m128i*>(gh.Shuffle))));
  d += gh.Count;
  carry = due >> 16;
  return true;
}

// Steps back to the start of a character that runs on from the block before
// into the next bytes, taking back its unit (the last one given), so that
// the portable code decodes it whole.
inline void TakeBackCarry(unsigned& carry, size_t& i, char16_t*& d) {
  if (carry == 0) return;
  i -= carry == 1 ? 2 : 1;
  --d;
  carry = 0;
}

// Decodes from s[i] on, 16 bytes at a time, and the rest with the portable
// code. Each block gives a unit for each ASCII byte and each lead of three
// bytes in it; a character that begins in the last two bytes of a block
// takes its continuation bytes from the next one, which checks them.
MARQUILL_SIMD_INLINE bool DecodeBlocks(const unsigned char* s, size_t n, size_t& io, char16_t*& dio) {
  size_t i = io;
  char16_t* d = dio;
  // Continuation bytes due at the start of this block for a character begun
  // at byte 14 (1) or 15 (3) of the last one.
  unsigned carry = 0;
  bool ok = true;
  // Units never outnumber the bytes before them, so d + 16 stays within the
  // output while 16 bytes are left; the loads reach s[i + 17].
  while (ok && i + 18 <= n) {
    if (DecodeBlock(s + i, carry, d)) {
      i += 16;
      continue;
    }
    // The portable code from the start of the character that runs into this
    // block to the end of it.
    const size_t stop = i + 16;
    TakeBackCarry(carry, i, d);
    ok = DecodeRun(s, n, i, stop, d);
  }
  if (ok) {
    TakeBackCarry(carry, i, d);
    ok = DecodeRun(s, n, i, n, d);
  }
  io = i;
  dio = d;
  return ok;
}

// Encodes eight units at s into d. Returns false, with
// nothing written, when they are not all ASCII or three-byte characters.
// `d` has room for 28 bytes.
MARQUILL_SIMD_INLINE bool EncodeBlock8(const char16_t* s, unsigned char*& d) {
  const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800)));
  const __m128i isAscii = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
  // Two-byte characters (top bits clear but not ASCII) and surrogates.
  const __m128i other = _mm_or_si128(_mm_andnot_si128(isAscii, _mm_cmpeq_epi16(top, zero)),
                                     _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800))));
  if (_mm_movemask_epi8(other)) return false;
  // Lanes of four bytes: E0|u>>12 (or the ASCII byte), 80|(u>>6)&3F, 80|u&3F, 0.
  const __m128i b0 = _mm_or_si128(_mm_and_si128(isAscii, u),
                                  _mm_andnot_si128(isAscii, _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0))));
  const __m128i b1 = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
  const __m128i b2 = _mm_or_si128(_mm_and_si128(u, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
  const __m128i first = _mm_or_si128(b0, _mm_slli_epi16(b1, 8));
  const unsigned asciiBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(isAscii, zero)));
  const TGather& p0 = kPack[asciiBits & 15];
  const TGather& p1 = kPack[asciiBits >> 4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_shuffle_epi8(_mm_unpacklo_epi16(first, b2),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(p0.Shuffle))));
  d += p0.Count;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_shuffle_epi8(_mm_unpackhi_epi16(first, b2),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(p1.Shuffle))));
  d += p1.Count;
  return true;
}

template <bool Lossy>
MARQUILL_SIMD_INLINE bool EncodeBlocks(const char16_t* s, size_t n, size_t& io, unsigned char*& dio) {
  size_t i = io;
  unsigned char* d = dio;
  bool ok = true;
  // Bytes never exceed three per unit, so while 16 units are left there is
  // room for 48 bytes at d.
  while (i + 16 <= n) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
    const __m128i mask = _mm_set1_epi16(static_cast<short>(0xFF80));
    if (_mm_testz_si128(_mm_or_si128(a, b), mask)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
      d += 16;
      i += 16;
      continue;
    }
    if (EncodeBlock8(s + i, d)) {
      i += 8;
      continue;
    }
    if (!EncodeRun<Lossy>(s, n, i, i + 8, d)) {
      ok = false;
      break;
    }
  }
  if (ok) ok = EncodeRun<Lossy>(s, n, i, n, d);
  io = i;
  dio = d;
  return ok;
}

}  // namespace

__attribute__((target("ssse3,sse4.1"))) bool DecodeSse(const unsigned char* s, size_t n, size_t& i, char16_t*& d) {
  return DecodeBlocks(s, n, i, d);
}
__attribute__((target("ssse3,sse4.1"))) bool EncodeSse(const char16_t* s, size_t n, size_t& i, unsigned char*& d) {
  return EncodeBlocks<false>(s, n, i, d);
}
__attribute__((target("ssse3,sse4.1"))) bool EncodeSseLossy(const char16_t* s, size_t n, size_t& i,
                                                            unsigned char*& d) {
  return EncodeBlocks<true>(s, n, i, d);
}
#endif  // MARQUILL_SCAN_X86
