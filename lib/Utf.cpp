// UTF-8 <-> UTF-16 conversions: the portable codec, or the vector one chosen at start-up.
#include "Utf.h"

#include "UtfRuns.h"

namespace {

bool DecodeScalar(const unsigned char* s, size_t n, size_t& i, char16_t*& d) { return DecodeRun(s, n, i, n, d); }

template <bool Lossy>
bool EncodeScalar(const char16_t* s, size_t n, size_t& i, unsigned char*& d) {
  return EncodeRun<Lossy>(s, n, i, n, d);
}

// The conversions of the codec in use.
struct TCodec {
  bool (*Decode)(const unsigned char*, size_t, size_t&, char16_t*&) = nullptr;
  bool (*Encode)(const char16_t*, size_t, size_t&, unsigned char*&) = nullptr;
  bool (*EncodeLossy)(const char16_t*, size_t, size_t&, unsigned char*&) = nullptr;
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
    case TUtfCodec::Sse41: return {DecodeSse, EncodeSse, EncodeSseLossy};
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
