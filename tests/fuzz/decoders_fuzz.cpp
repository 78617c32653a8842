// Fuzz target for the decoders of text files: byte order marks, the lenient
// UTF-8 and UTF-16 decoders, the marked text, and code page 932. Each is
// compared with a plain decoder written here: byte by byte for UTF-8 and
// UTF-16; for code page 932, the byte structure (single bytes, lead and
// trail ranges, half-width katakana, the user-defined area) with each double
// byte character decoded alone.
#include <cstdint>
#include <string>
#include <string_view>

#include "Cp932Decoder.h"
#include "FuzzKit.h"
#include "StringUnit.h"
#include "TextDecoding.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Each byte that begins no well-formed sequence becomes one replacement.
u16 Utf8ReplacingRef(std::string_view in) {
  u16 out;
  for (size_t i = 0; i < in.size();) {
    uint32_t cp = 0;
    const size_t len = Utf8SequenceRef(in, i, cp);
    PutUtf16(out, len ? cp : kReplacement);
    i += len ? len : 1;
  }
  return out;
}

// Pairs of surrogates kept, lone ones and an odd last byte replaced.
u16 Utf16ReplacingRef(std::string_view in, bool big) {
  auto unit = [&](size_t k) -> uint32_t {
    const unsigned b0 = static_cast<unsigned char>(in[2 * k]), b1 = static_cast<unsigned char>(in[2 * k + 1]);
    return big ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  const size_t units = in.size() / 2;
  u16 out;
  for (size_t k = 0; k < units; ++k) {
    const uint32_t u = unit(k);
    const bool high = u >= 0xD800 && u <= 0xDBFF;
    if (high && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      PutUtf16(out, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
      ++k;
    } else {
      out += u >= 0xD800 && u <= 0xDFFF ? kReplacement : static_cast<char16_t>(u);
    }
  }
  if (in.size() % 2) out += kReplacement;
  return out;
}

bool IsLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrail(unsigned b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// One double-byte character: the user-defined area by its formula, any other
// by the decoder alone, which must give one unit that code page 932 writes
// in two bytes. False when it is not a character.
bool Cp932PairRef(unsigned lead, unsigned trail, u16& out) {
  if (lead >= 0xF0 && lead <= 0xF9) {
    out += static_cast<char16_t>(0xE000 + (lead - 0xF0) * 188 + trail - 0x40 - (trail >= 0x80 ? 1 : 0));
    return true;
  }
  const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  u16 one;
  size_t bad = 0;
  if (!DecodeCp932(std::string_view(pair, 2), one, bad)) {
    if (bad != 0) Fail("DecodeCp932 place in a pair", Widen(std::string_view(pair, 2)), u"", u"");
    return false;
  }
  if (one.size() != 1 || Cp932CharWidth(one[0]) != 2 || one[0] < 0x80 || (one[0] >= 0xD800 && one[0] <= 0xDFFF))
    Fail("DecodeCp932 of a pair", Widen(std::string_view(pair, 2)), one, u"one double-byte unit");
  out += one;
  return true;
}

// The text, or the offset of the first byte that begins no character.
std::optional<size_t> Cp932Ref(std::string_view in, u16& out) {
  for (size_t i = 0; i < in.size();) {
    const unsigned b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
    } else if (b >= 0xA1 && b <= 0xDF) {
      out += static_cast<char16_t>(0xFF61 + b - 0xA1);
      ++i;
    } else if (IsLead(b) && i + 1 < in.size() && IsTrail(static_cast<unsigned char>(in[i + 1])) &&
               Cp932PairRef(b, static_cast<unsigned char>(in[i + 1]), out)) {
      i += 2;
    } else {
      return i;
    }
  }
  return std::nullopt;
}

void CheckCp932(std::string_view bytes) {
  u16 got, expected;
  size_t bad = 0;
  const bool ok = DecodeCp932(bytes, got, bad);
  const std::optional<size_t> badRef = Cp932Ref(bytes, expected);
  if (ok == badRef.has_value()) Fail("DecodeCp932 acceptance", Widen(bytes), ok ? got : u"(refused)", expected);
  if (ok) Check("DecodeCp932", Widen(bytes), got, expected);
  else if (bad != *badRef) Fail("DecodeCp932 offset", Widen(bytes), u16(1, char16_t(bad)), u16(1, char16_t(*badRef)));
}

TByteOrderMark MarkRef(std::string_view b) {
  if (b.starts_with("\xEF\xBB\xBF")) return bomUtf8;
  if (b.starts_with("\xFF\xFE")) return bomUtf16Le;
  if (b.starts_with("\xFE\xFF")) return bomUtf16Be;
  return bomNone;
}

void CheckMarked(std::string_view bytes) {
  const TByteOrderMark mark = MarkRef(bytes);
  if (ByteOrderMarkOf(bytes) != mark) Fail("ByteOrderMarkOf", Widen(bytes), u"", u"");
  const size_t length = mark == bomUtf8 ? 3 : mark == bomNone ? 0 : 2;
  if (ByteOrderMarkLength(mark) != length) Fail("ByteOrderMarkLength", Widen(bytes), u"", u"");
  const std::string_view body = bytes.substr(length);
  const auto withoutMark = [](std::string_view b) { return u"(none)" + Widen(b); };
  const u16 expected = mark == bomUtf8      ? Utf8ReplacingRef(body)
                       : mark == bomUtf16Le ? Utf16ReplacingRef(body, false)
                       : mark == bomUtf16Be ? Utf16ReplacingRef(body, true)
                                            : withoutMark(bytes);
  Check("DecodeMarkedText", Widen(bytes), DecodeMarkedText(bytes, withoutMark), expected);
}

}  // namespace

// The first byte chooses a mark to put before the rest, so that every
// decoder sees every input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in{data, size};
  static const char* const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  const std::string bytes = kMarks[in.Byte() & 3] + in.Rest();
  Check("Utf8ToUtf16Replacing", Widen(bytes), Utf8ToUtf16Replacing(bytes), Utf8ReplacingRef(bytes));
  for (bool big : {false, true})
    Check("Utf16ToUtf16Replacing", Widen(bytes), Utf16ToUtf16Replacing(bytes, big), Utf16ReplacingRef(bytes, big));
  CheckMarked(bytes);
  CheckCp932(bytes);
  return 0;
}
