#include "Utf.h"

#include <cstdint>
#include <cstring>

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
  while (i < n) {
    // ASCII fast path, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      if (w & 0x8080808080808080ULL) break;
      for (int k = 0; k < 8; ++k) d[k] = s[i + k];
      d += 8;
      i += 8;
    }
    if (i >= n) break;
    unsigned c = s[i];
    if (c < 0x80) {
      *d++ = static_cast<char16_t>(c);
      ++i;
      continue;
    }
    unsigned cp;
    size_t len;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return fail(i);
    }
    if (i + len > n) return fail(i);
    for (size_t k = 1; k < len; ++k) {
      unsigned cc = s[i + k];
      if ((cc & 0xC0) != 0x80) return fail(i);
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return fail(i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *d++ = static_cast<char16_t>(cp);
    }
    i += len;
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
  for (size_t i = 0; i < n; ++i) {
    unsigned c = s[i];
    if (c < 0x80) {
      *d++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
      *d++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *d++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
      *d++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
      *d++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
      if (c >= 0xD800 && c <= 0xDFFF) {
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
