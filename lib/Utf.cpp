#include "Utf.h"

#include <cstdint>
#include <cstring>

// Number of whole bytes, in memory order, before the first set bit of `mask`
// (which was loaded from memory); `all` when it is zero.
static inline size_t LeadingClearBytes(uint64_t mask, size_t all) {
  if (mask == 0) return all;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return static_cast<size_t>(__builtin_clzll(mask)) / 8;
#else
  return static_cast<size_t>(__builtin_ctzll(mask)) / 8;
#endif
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view in, size_t* badOffset) {
  std::u16string out;
  out.resize(in.size());  // never more units than bytes
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  char16_t* d = out.data();
  size_t i = 0;
  auto fail = [&](size_t at) -> std::optional<std::u16string> {
    if (badOffset) *badOffset = at;
    return std::nullopt;
  };
  // Every failure is reported at the first byte of the sequence it is in.
  while (i < n) {
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
      if (i + 3 > n) return fail(i);
      const unsigned c1 = s[i + 1], c2 = s[i + 2];
      if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80) return fail(i);
      const unsigned cp = ((c & 0x0F) << 12) | ((c1 & 0x3F) << 6) | (c2 & 0x3F);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return fail(i);
      *d++ = static_cast<char16_t>(cp);
      i += 3;
    } else if (c >= 0xC2 && c <= 0xDF) {
      if (i + 2 > n || (s[i + 1] & 0xC0) != 0x80) return fail(i);
      *d++ = static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      if (i + 4 > n) return fail(i);
      const unsigned c1 = s[i + 1], c2 = s[i + 2], c3 = s[i + 3];
      if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80 || (c3 & 0xC0) != 0x80) return fail(i);
      unsigned cp = ((c & 0x07) << 18) | ((c1 & 0x3F) << 12) | ((c2 & 0x3F) << 6) | (c3 & 0x3F);
      if (cp < 0x10000 || cp > 0x10FFFF) return fail(i);
      cp -= 0x10000;
      *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      i += 4;
    } else {
      return fail(i);
    }
  }
  out.resize(static_cast<size_t>(d - out.data()));
  return out;
}

template <bool Lossy>
static bool Encode(std::u16string_view in, std::string& out) {
  const size_t base = out.size();
  out.resize(base + in.size() * 3);  // at most three bytes per unit
  auto* d = reinterpret_cast<unsigned char*>(out.data() + base);
  const char16_t* s = in.data();
  const size_t n = in.size();
  size_t i = 0;
  while (i < n) {
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
      if (!Lossy) {
        out.resize(static_cast<size_t>(reinterpret_cast<char*>(d) - out.data()));
        return false;
      }
      c = 0xFFFD;
    }
    *d++ = static_cast<unsigned char>(0xE0 | (c >> 12));
    *d++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *d++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  out.resize(static_cast<size_t>(reinterpret_cast<char*>(d) - out.data()));
  return true;
}

bool AppendUtf16AsUtf8(std::u16string_view in, std::string& out) { return Encode<false>(in, out); }

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
