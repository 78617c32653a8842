// Byte order marks and the lenient UTF-8 / UTF-16 decoders behind them.
#include "TextDecoding.h"

#include "Utf.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

TByteOrderMark ByteOrderMarkOf(std::string_view Bytes) noexcept {
  if (StartsWith(Bytes, kUtf8Mark)) return bomUtf8;
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
  // The strict decoder takes every valid run; each byte where it stops
  // becomes one replacement character.
  std::u16string out;
  for (;;) {
    size_t bad = 0;
    if (std::optional<std::u16string> rest = Utf8ToUtf16(Bytes, &bad)) return out + *rest;
    out += Utf8ToUtf16(Bytes.substr(0, bad)).value();
    out += kReplacement;
    Bytes.remove_prefix(bad + 1);
  }
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
