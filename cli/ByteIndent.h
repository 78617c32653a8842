// A line's indentation on UTF-8 bytes, for the byte edits' loops: from bit
// masks of sixteen bytes where the scans run vectors (TextScan's choice),
// else unit by unit; every rule is IndentKernel.h's. The loops are built
// once per way and chosen once per piece, never per line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ByteCopy.h"
#include "IndentKernel.h"
#include "TextScan.h"

#ifdef MARQUILL_SCAN_X86
#include <emmintrin.h>
#endif

// Calls f with std::true_type where the scans run vectors, else with
// std::false_type, so that a loop is built both ways.
template <class F>
decltype(auto) WithVectorLines(F&& f) {
#ifdef MARQUILL_SCAN_X86
  if (ScanIsa() != TIsa::Scalar) return f(std::true_type{});
#endif
  return f(std::false_type{});
}

namespace byteindent {

#ifdef MARQUILL_SCAN_X86
// The set bits of a mask of at most fourteen, by table: cheaper here than a
// popcount instruction, which SSE2 does not have.
constexpr auto kBitsOf = [] {
  std::array<uint8_t, 128> bits{};
  for (size_t i = 1; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(bits[i >> 1] + (i & 1));
  return bits;
}();
inline unsigned BitsOf(unsigned m) noexcept { return kBitsOf[m & 0x7F] + kBitsOf[m >> 7]; }

// The blanks among sixteen bytes, a bit each: spaces, tabs, where an
// ideographic space (E3 80 80) begins, and the length of the run of blanks
// that begins them; from 14 on the length is not settled, as one that
// begins in the last two bytes is not seen.
struct TBlankBits {
  unsigned Spaces, Tabs, Ideographic, Length;
};

// The ideographic space's last two bytes are one continuation byte.
static_assert(TBlanks<char>::Ideographic.size() == 3 && TBlanks<char>::Ideographic[1] == TBlanks<char>::Ideographic[2]);

inline TBlankBits BlankBitsAt(const char* at) noexcept {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const auto bits = [&](char c) { return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)))); };
  TBlankBits b;
  b.Spaces = bits(TBlanks<char>::Space[0]);
  b.Tabs = bits(TBlanks<char>::Tab[0]);
  const unsigned conts = bits(TBlanks<char>::Ideographic[1]);
  b.Ideographic = bits(TBlanks<char>::Ideographic[0]) & (conts >> 1) & (conts >> 2) & 0x3FFF;
  const unsigned covered = b.Spaces | b.Tabs | b.Ideographic | (b.Ideographic << 1) | (b.Ideographic << 2);
  b.Length = static_cast<unsigned>(__builtin_ctz(~covered));
  return b;
}
#endif

}  // namespace byteindent

// IndentAt of the line [start, end) of p, pEnd being where the readable
// bytes end. With vectors, the rare cases that the masks do not settle
// (more than thirteen bytes of blanks, or three columns or more before the
// last tab) go to IndentAt.
template <bool Vector>
__attribute__((always_inline)) inline TIndent IndentOfLine(const char* p, size_t start, size_t end, const char* pEnd,
                                                            size_t tabWidth) noexcept {
#ifdef MARQUILL_SCAN_X86
  if constexpr (Vector) {
    using namespace byteindent;
    if (pEnd - (p + start) < 16) return IndentAt(p, start, end, tabWidth);
    const TBlankBits b = BlankBitsAt(p + start);
    if (b.Length >= 14) return IndentAt(p, start, end, tabWidth);
    const unsigned inside = (1u << b.Length) - 1;
    const unsigned sp = b.Spaces & inside, tb = b.Tabs & inside, id = b.Ideographic & inside;
    // Each tab moves to the next multiple of the tab width: while what comes
    // before the last tab is narrower than that, the tabs make a tab width
    // each. The bits below the last tab's, without a branch on whether there
    // is one.
    unsigned beforeLastTab = tb >> 1;
    beforeLastTab |= beforeLastTab >> 1;
    beforeLastTab |= beforeLastTab >> 2;
    beforeLastTab |= beforeLastTab >> 4;
    beforeLastTab |= beforeLastTab >> 8;
    if (BitsOf(sp & beforeLastTab) + 2 * BitsOf(id & beforeLastTab) >= tabWidth)
      return IndentAt(p, start, end, tabWidth);
    TIndent in;
    in.End = start + b.Length;
    in.Count = BitsOf(sp | tb | id);
    in.Width = tabWidth * BitsOf(tb) + BitsOf(sp & ~beforeLastTab) + 2 * BitsOf(id & ~beforeLastTab);
    in.Kinds = static_cast<uint8_t>((sp ? kIndentSpace : 0) | (tb ? kIndentTab : 0) | (id ? kIndentIdeographic : 0));
    return in;
  }
#else
  (void)pEnd;
#endif
  return IndentAt(p, start, end, tabWidth);
}

// Whether the line [start, end) of p holds nothing but blanks before its
// break; pEnd as above. What follows the indentation begins the break, if
// any, as a line has no other.
template <bool Vector>
__attribute__((always_inline)) inline bool IsBlankLine(const char* p, size_t start, size_t end,
                                                        const char* pEnd) noexcept {
#ifdef MARQUILL_SCAN_X86
  if constexpr (Vector) {
    if (pEnd - (p + start) >= 16) {
      const size_t at = start + byteindent::BlankBitsAt(p + start).Length;
      if (at < start + 14) return at == end || IsBreakUnit(p[at]);
    }
  }
#else
  (void)pEnd;
#endif
  const size_t at = IndentAt(p, start, end, 1).End;
  return at == end || IsBreakUnit(p[at]);
}
