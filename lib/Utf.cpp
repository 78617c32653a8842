// UTF-8 <-> UTF-16 conversions, portable and with SSE4.1 fast paths chosen at start-up.
#include "Utf.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARQUILL_UTF_X86 1
#include <immintrin.h>
#endif

namespace {

// Number of whole bytes, in memory order, before the first set bit of `mask`
// (which was loaded from memory); `all` when it is zero.
inline size_t LeadingClearBytes(uint64_t mask, size_t all) {
  if (mask == 0) return all;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return static_cast<size_t>(__builtin_clzll(mask)) / 8;
#else
  return static_cast<size_t>(__builtin_ctzll(mask)) / 8;
#endif
}

// ---------------------------------------------------------------- portable

// Decodes the characters that start before `stop` (the last one may run on
// up to `n`). False on a bad sequence, with `i` at its first byte: every
// failure is reported there. `d` has room for one unit per byte of s[i, n).
bool DecodeRun(const unsigned char* s, size_t n, size_t& i, size_t stop, char16_t*& d) {
  while (i < stop) {
    const unsigned c = s[i];
    if (c < 0x80) {
      if (i + 8 > n) {
        *d++ = static_cast<char16_t>(c);
        ++i;
        continue;
      }
      // Widen eight bytes, keep as many as are ASCII (at least this one).
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      for (int k = 0; k < 8; ++k) d[k] = s[i + k];
      const size_t ascii = LeadingClearBytes(w & 0x8080808080808080ULL, 8);
      d += ascii;
      i += ascii;
    } else if (c >= 0xE0 && c <= 0xEF) {  // three bytes: most of CJK
      if (i + 3 > n) return false;
      const unsigned c1 = s[i + 1], c2 = s[i + 2];
      if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80) return false;
      const unsigned cp = ((c & 0x0F) << 12) | ((c1 & 0x3F) << 6) | (c2 & 0x3F);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
      *d++ = static_cast<char16_t>(cp);
      i += 3;
    } else if (c >= 0xC2 && c <= 0xDF) {
      if (i + 2 > n || (s[i + 1] & 0xC0) != 0x80) return false;
      *d++ = static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      if (i + 4 > n) return false;
      const unsigned c1 = s[i + 1], c2 = s[i + 2], c3 = s[i + 3];
      if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80 || (c3 & 0xC0) != 0x80) return false;
      unsigned cp = ((c & 0x07) << 18) | ((c1 & 0x3F) << 12) | ((c2 & 0x3F) << 6) | (c3 & 0x3F);
      if (cp < 0x10000 || cp > 0x10FFFF) return false;
      cp -= 0x10000;
      *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

// Encodes the units from `i` until at least `stop` (a surrogate pair may take
// one more). False on a lone surrogate when not `Lossy`, with `i` past it.
// `d` has room for three bytes per unit of s[i, n).
template <bool Lossy>
bool EncodeRun(const char16_t* s, size_t n, size_t& i, size_t stop, unsigned char*& d) {
  while (i < stop) {
    unsigned c = s[i];
    if (c < 0x80 && i + 4 <= n) {
      // Narrow four units, keep as many as are ASCII (at least this one).
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      for (int k = 0; k < 4; ++k) d[k] = static_cast<unsigned char>(s[i + k]);
      const size_t ascii = LeadingClearBytes(w & 0xFF80FF80FF80FF80ULL, 8) / 2;
      d += ascii;
      i += ascii;
      continue;
    }
    ++i;
    if (c < 0x80) {
      *d++ = static_cast<unsigned char>(c);
      continue;
    }
    if (c < 0x800) {
      *d++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *d++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
        const unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (s[i] - 0xDC00);
        ++i;
        *d++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
        *d++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        continue;
      }
      if (!Lossy) return false;
      c = 0xFFFD;
    }
    *d++ = static_cast<unsigned char>(0xE0 | (c >> 12));
    *d++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *d++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  return true;
}

bool DecodeScalar(const unsigned char* s, size_t n, size_t& i, char16_t*& d) { return DecodeRun(s, n, i, n, d); }

template <bool Lossy>
bool EncodeScalar(const char16_t* s, size_t n, size_t& i, unsigned char*& d) {
  return EncodeRun<Lossy>(s, n, i, n, d);
}

#ifdef MARQUILL_UTF_X86
// ---------------------------------------------------------------- x86-64
//
// Both directions work on small blocks and take a fast path only for the
// shapes that fill mail and code: ASCII, and ASCII mixed with three-byte
// characters (U+0800..U+FFFF outside the surrogates: kana, kanji, the
// ideographic space). A block of any other shape, or one with anything
// doubtful in it, goes through the portable code above, which therefore
// decides every failure and its offset.

// Shuffles that gather the 16-bit lanes of an 8-lane vector whose bit is
// set in the index, to the front; `Count` of them.
struct TGather {
  alignas(16) uint8_t Shuffle[16];
  uint8_t Count;
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

// Decodes from s[i] on, 16 bytes at a time, and the rest with the portable
// code. Each block gives a unit for each ASCII byte and each lead of three
// bytes in it; a character that begins in the last two bytes of a block
// takes its continuation bytes from the next one, which checks them.
MARQUILL_SIMD_INLINE bool DecodeBlocks(const unsigned char* s, size_t n, size_t& io, char16_t*& dio) {
  size_t i = io;
  char16_t* d = dio;
  const __m128i zero = _mm_setzero_si128();
  // Continuation bytes due at the start of this block (bit k: byte k) for a
  // character begun at byte 14 (1) or 15 (3) of the last one.
  unsigned carry = 0;
  // Units never outnumber the bytes before them, so d + 16 stays within the
  // output while 16 bytes are left; the loads reach s[i + 17].
  while (i + 18 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
    if ((high | carry) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
      d += 16;
      i += 16;
      continue;
    }
    const unsigned cont = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)))));
    const unsigned lead = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xF0))), _mm_set1_epi8(char(0xE0)))));
    const unsigned ascii = ~high & 0xFFFF;
    const unsigned due = (lead << 1) | (lead << 2) | carry;
    // E0 must be followed by A0..BF (else overlong), ED by 80..9F (else a
    // surrogate); bit 5 of the continuation byte tells which half it is in.
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
    const __m128i upper = _mm_cmpeq_epi8(_mm_and_si128(v1, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x20));
    const __m128i bad = _mm_or_si128(_mm_andnot_si128(upper, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xE0)))),
                                     _mm_and_si128(upper, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xED)))));
    // Only ASCII, leads of three bytes and continuation bytes, each lead
    // followed by exactly two continuation bytes.
    if ((ascii | cont | lead) == 0xFFFF && cont == (due & 0xFFFF) &&
        (static_cast<unsigned>(_mm_movemask_epi8(bad)) & lead) == 0) {
      const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 2));
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
      i += 16;
      continue;
    }
    // The portable code from the start of the character that runs into this
    // block (taking back its unit, the last one given), to the end of it.
    const size_t stop = i + 16;
    if (carry) {
      i -= carry == 1 ? 2 : 1;
      --d;
      carry = 0;
    }
    if (!DecodeRun(s, n, i, stop, d)) {
      io = i;
      dio = d;
      return false;
    }
  }
  if (carry) {
    i -= carry == 1 ? 2 : 1;
    --d;
  }
  const bool ok = DecodeRun(s, n, i, n, d);
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

__attribute__((target("ssse3,sse4.1"))) bool DecodeSse(const unsigned char* s, size_t n, size_t& i, char16_t*& d) {
  return DecodeBlocks(s, n, i, d);
}
template <bool Lossy>
__attribute__((target("ssse3,sse4.1"))) bool EncodeSse(const char16_t* s, size_t n, size_t& i, unsigned char*& d) {
  return EncodeBlocks<Lossy>(s, n, i, d);
}
#endif  // MARQUILL_UTF_X86

// ---------------------------------------------------------------- dispatch

struct TCodec {
  bool (*Decode)(const unsigned char*, size_t, size_t&, char16_t*&);
  bool (*Encode)(const char16_t*, size_t, size_t&, unsigned char*&);
  bool (*EncodeLossy)(const char16_t*, size_t, size_t&, unsigned char*&);
};

bool Supported(TUtfCodec codec) {
  switch (codec) {
    case TUtfCodec::Scalar: return true;
#ifdef MARQUILL_UTF_X86
    case TUtfCodec::Sse41: return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
#endif
    default: return false;
  }
}

TCodec CodecFor(TUtfCodec codec) {
  switch (codec) {
#ifdef MARQUILL_UTF_X86
    case TUtfCodec::Sse41: return {DecodeSse, EncodeSse<false>, EncodeSse<true>};
#endif
    default: return {DecodeScalar, EncodeScalar<false>, EncodeScalar<true>};
  }
}

#ifdef MARQUILL_UTF_X86
TUtfCodec BestCodec() {
  __builtin_cpu_init();
  // 256-bit versions of these loops measured slower than these: none.
  return Supported(TUtfCodec::Sse41) ? TUtfCodec::Sse41 : TUtfCodec::Scalar;
}
#endif

// The portable code until start-up has chosen (so that conversions in
// other static initialisers work too); changed afterwards only by tests.
TUtfCodec gCodecId = TUtfCodec::Scalar;
TCodec gCodec = {DecodeScalar, EncodeScalar<false>, EncodeScalar<true>};

template <bool Lossy>
bool Encode(std::u16string_view in, std::string& out) {
  const size_t base = out.size();
  out.resize(base + in.size() * 3);  // at most three bytes per unit
  auto* start = reinterpret_cast<unsigned char*>(out.data() + base);
  unsigned char* d = start;
  size_t i = 0;
  const bool ok = (Lossy ? gCodec.EncodeLossy : gCodec.Encode)(in.data(), in.size(), i, d);
  out.resize(base + static_cast<size_t>(d - start));
  return ok;
}

}  // namespace

TUtfCodec UtfCodec() { return gCodecId; }

bool SetUtfCodec(TUtfCodec codec) {
  if (!Supported(codec)) return false;
  gCodecId = codec;
  gCodec = CodecFor(codec);
  return true;
}

#ifdef MARQUILL_UTF_X86
// Only where there is a choice: elsewhere (the 32-bit Windows library among
// them) loading runs nothing for it.
namespace {
const bool gChosen = SetUtfCodec(BestCodec());
}
#endif

std::optional<size_t> DecodeUtf8To(std::string_view in, char16_t* out, size_t* badOffset) {
  size_t i = 0;
  char16_t* d = out;
  if (!gCodec.Decode(reinterpret_cast<const unsigned char*>(in.data()), in.size(), i, d)) {
    if (badOffset) *badOffset = i;
    return std::nullopt;
  }
  return static_cast<size_t>(d - out);
}

std::optional<size_t> EncodeUtf8To(std::u16string_view in, char* out) {
  size_t i = 0;
  auto* d = reinterpret_cast<unsigned char*>(out);
  if (!gCodec.Encode(in.data(), in.size(), i, d)) return std::nullopt;
  return static_cast<size_t>(d - reinterpret_cast<unsigned char*>(out));
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view in, size_t* badOffset) {
  std::u16string out;
  out.resize(in.size());  // never more units than bytes
  auto units = DecodeUtf8To(in, out.data(), badOffset);
  if (!units) return std::nullopt;
  out.resize(*units);
  return out;
}


std::optional<std::string> Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  if (!Encode<false>(in, out)) return std::nullopt;
  return out;
}

std::string Utf16ToUtf8Lossy(std::u16string_view in) {
  std::string out;
  Encode<true>(in, out);
  return out;
}
