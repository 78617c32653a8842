// The portable UTF-8 <-> UTF-16 loops, which every codec falls back on
// and which decide every failure, and the vector codec's entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ScanKernels.h"

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

// Decodes the characters that start before `stop` (the last one may run on
// up to `n`). False on a bad sequence, with `i` at its first byte: every
// failure is reported there. `d` has room for one unit per byte of s[i, n).
inline bool DecodeRun(const unsigned char* s, size_t n, size_t& i, size_t stop, char16_t*& d) {
  while (i < stop) {
    const unsigned c = s[i];
    if (c < 0x80) {
      if (i + 8 > n) {
        *d++ = static_cast<char16_t>(c);
        ++i;
        continue;
      }
      // Widen eight bytes, keep as many as are ASCII (at least this one).
      uint64_t w = 0;
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
inline bool EncodeRun(const char16_t* s, size_t n, size_t& i, size_t stop, unsigned char*& d) {
  while (i < stop) {
    unsigned c = s[i];
    if (c < 0x80 && i + 4 <= n) {
      // Narrow four units, keep as many as are ASCII (at least this one).
      uint64_t w = 0;
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

// The portable conversions of whole texts, as the kernels take them.
inline bool DecodeAll(const unsigned char* s, size_t n, size_t& i, char16_t*& d) { return DecodeRun(s, n, i, n, d); }
template <bool Lossy>
inline bool EncodeAll(const char16_t* s, size_t n, size_t& i, unsigned char*& d) {
  return EncodeRun<Lossy>(s, n, i, n, d);
}

#ifdef MARQUILL_SCAN_X86
// The same conversions of whole texts with SSSE3 and SSE4.1 (UtfSse.cpp);
// only for processors that have them.
bool DecodeSse(const unsigned char* s, size_t n, size_t& i, char16_t*& d);
bool EncodeSse(const char16_t* s, size_t n, size_t& i, unsigned char*& d);
bool EncodeSseLossy(const char16_t* s, size_t n, size_t& i, unsigned char*& d);
#endif
