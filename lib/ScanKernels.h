// The scans' kernels: one table of them per instruction set (ScanScalar.cpp,
// ScanSse2.cpp, ScanAvx2.cpp), and the portable loops that every table ends
// its vector loops with. Only TextScan.cpp and Utf.cpp choose among them.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "LineBreaks.h"
#include "TextScan.h"

struct TScanKernels {
  // Valid UTF-8 without a NUL.
  bool (*CheckUtf8)(const unsigned char* p, size_t n) noexcept = nullptr;
  // The same, counting the line breaks of clean bytes into breaks.
  bool (*CheckUtf8Counting)(const unsigned char* p, size_t n, uint64_t& breaks) noexcept = nullptr;
  size_t (*FindLineEnd8)(const char* p, size_t n, size_t start) noexcept = nullptr;
  size_t (*FindLineEnd16)(const char16_t* p, size_t n, size_t start) noexcept = nullptr;
  uint64_t (*CountBreaks8)(const char* p, size_t n) noexcept = nullptr;
  uint64_t (*CountBreaks16)(const char16_t* p, size_t n) noexcept = nullptr;
  // Breaks counted, and the places of the bytes of `wanted` (one to four)
  // noted in order.
  uint64_t (*CountBreaksFinding)(const char* p, size_t n, std::string_view wanted, std::vector<size_t>& at) = nullptr;
  // One past each line break written from e on (which has room for n + 4
  // ends); returns where they stop.
  size_t* (*CollectEnds)(const char* p, size_t n, size_t* e) noexcept = nullptr;
  // The same while checking as CheckUtf8 does; false when the bytes are not
  // clean, and then the ends are unknown.
  bool (*CollectCleanEnds)(const char* p, size_t n, size_t*& e) noexcept = nullptr;
  // UTF-8 <-> UTF-16 (UtfRuns.h tells what they promise).
  bool (*Decode)(const unsigned char* s, size_t n, size_t& i, char16_t*& d) = nullptr;
  bool (*Encode)(const char16_t* s, size_t n, size_t& i, unsigned char*& d) = nullptr;
  bool (*EncodeLossy)(const char16_t* s, size_t n, size_t& i, unsigned char*& d) = nullptr;
};

// The kernels chosen (TextScan.cpp), for the conversions of Utf.cpp.
const TScanKernels& ScanKernelsInUse() noexcept;

extern const TScanKernels kScalarKernels;
#ifdef MARQUILL_SCAN_X86
extern const TScanKernels kSse2Kernels;
extern const TScanKernels kAvx2Kernels;
#endif

// The portable loops, from p[i] on.

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

template <class C>
inline size_t FindLineEndFrom(const C* p, size_t n, size_t i) noexcept {
  for (; i < n; ++i)
    if (p[i] == C('\n') || p[i] == C('\r')) return EndsLine(p, n, i) ? i + 1 : i + 2;
  return n;
}

template <class C>
inline uint64_t CountBreaksFrom(const C* p, size_t n, size_t i) noexcept {
  uint64_t count = 0;
  for (; i < n; ++i) count += EndsLine(p, n, i);
  return count;
}

inline size_t* CollectEndsFrom(const char* p, size_t n, size_t i, size_t* e) noexcept {
  for (; i < n; ++i)
    if (EndsLine(p, n, i)) *e++ = i + 1;
  return e;
}

inline uint64_t CountBreaksFindingFrom(const char* p, size_t n, size_t i, std::string_view wanted,
                                       std::vector<size_t>& at) {
  uint64_t count = 0;
  for (; i < n; ++i) {
    count += EndsLine(p, n, i);
    if (wanted.find(p[i]) != std::string_view::npos) at.push_back(i);
  }
  return count;
}

#ifdef MARQUILL_SCAN_X86
// The SSE2 kernels that the AVX2 table shares: a line is mostly shorter than
// a 256-bit block, and the counts measured no faster with one.
size_t FindLineEndSse2(const char* p, size_t n, size_t start) noexcept;
size_t FindLineEndSse2(const char16_t* p, size_t n, size_t start) noexcept;
uint64_t CountBreaksSse2(const char* p, size_t n) noexcept;
uint64_t CountBreaksSse2(const char16_t* p, size_t n) noexcept;
uint64_t CountBreaksFindingSse2(const char* p, size_t n, std::string_view wanted, std::vector<size_t>& at);
#endif
