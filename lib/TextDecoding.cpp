// Byte order marks and the lenient UTF-8 / UTF-16 decoders behind them.
#include "TextDecoding.h"

#include "Utf.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Length of the well-formed UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceAt(std::string_view s, size_t i, char32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const auto cont = [&](size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) { cp = c; return 1; }
  if (c >= 0xC2 && c <= 0xDF && cont(1)) { cp = (c & 0x1Fu) << 6 | (b(1) & 0x3Fu); return 2; }
  if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2)) {
    cp = (c & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    cp = (c & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
    if (cp < 0x10000 || cp > 0x10FFFF) return 0;
    return 4;
  }
  return 0;
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

}  // namespace

TByteOrderMark ByteOrderMarkOf(std::string_view Bytes) noexcept {
  if (StartsWith(Bytes, "\xEF\xBB\xBF")) return bomUtf8;
  if (StartsWith(Bytes, "\xFF\xFE")) return bomUtf16Le;
  if (StartsWith(Bytes, "\xFE\xFF")) return bomUtf16Be;
  return bomNone;
}

size_t ByteOrderMarkLength(TByteOrderMark Mark) noexcept {
  switch (Mark) {
    case bomUtf8: return 3;
    case bomUtf16Le:
    case bomUtf16Be: return 2;
    case bomNone: break;
  }
  return 0;
}

std::u16string Utf8ToUtf16Replacing(std::string_view Bytes) {
  // Valid text (the usual case) takes the fast strict decoder.
  if (std::optional<std::u16string> strict = Utf8ToUtf16(Bytes)) return std::move(*strict);
  std::u16string out;
  out.reserve(Bytes.size());
  for (size_t i = 0; i < Bytes.size();) {
    char32_t cp = 0;
    const size_t n = Utf8SequenceAt(Bytes, i, cp);
    if (n == 0) {
      out += kReplacement;  // one replacement per bad byte
      ++i;
    } else {
      AppendCodePoint(out, cp);
      i += n;
    }
  }
  return out;
}

std::u16string Utf16ToUtf16Replacing(std::string_view Bytes, bool BigEndian) {
  const size_t units = Bytes.size() / 2;
  std::u16string raw(units, u'\0');
  for (size_t k = 0; k < units; ++k) {
    const auto b0 = static_cast<unsigned char>(Bytes[2 * k]);
    const auto b1 = static_cast<unsigned char>(Bytes[2 * k + 1]);
    raw[k] = static_cast<char16_t>(BigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
  }
  std::u16string out;
  out.reserve(units + 1);
  for (size_t k = 0; k < units; ++k) {
    const char16_t u = raw[k];
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && raw[k + 1] >= 0xDC00 && raw[k + 1] <= 0xDFFF) {
      out += u;
      out += raw[++k];
    } else {
      out += (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u;
    }
  }
  if (Bytes.size() % 2 != 0) out += kReplacement;
  return out;
}

std::u16string DecodeMarkedText(std::string_view Bytes,
                                const std::function<std::u16string(std::string_view)>& WithoutMark) {
  const TByteOrderMark mark = ByteOrderMarkOf(Bytes);
  const std::string_view body = Bytes.substr(ByteOrderMarkLength(mark));
  switch (mark) {
    case bomUtf8: return Utf8ToUtf16Replacing(body);
    case bomUtf16Le: return Utf16ToUtf16Replacing(body, false);
    case bomUtf16Be: return Utf16ToUtf16Replacing(body, true);
    case bomNone: break;
  }
  return WithoutMark(Bytes);
}
