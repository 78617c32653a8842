// UTF-8 <-> UTF-16 conversions, with the kernels the scans chose (TextScan.h).
#include "Utf.h"

#include "UtfRuns.h"

namespace {

template <bool Lossy>
bool Encode(std::u16string_view in, std::string& out) {
  const size_t base = out.size();
  out.resize(base + in.size() * 3);  // at most three bytes per unit
  auto* start = reinterpret_cast<unsigned char*>(out.data() + base);
  unsigned char* d = start;
  size_t i = 0;
  const bool ok = (Lossy ? ScanKernelsInUse().EncodeLossy : ScanKernelsInUse().Encode)(in.data(), in.size(), i, d);
  out.resize(base + static_cast<size_t>(d - start));
  return ok;
}

}  // namespace

std::optional<size_t> DecodeUtf8To(std::string_view in, char16_t* out, size_t* badOffset) {
  size_t i = 0;
  char16_t* d = out;
  if (!ScanKernelsInUse().Decode(reinterpret_cast<const unsigned char*>(in.data()), in.size(), i, d)) {
    if (badOffset) *badOffset = i;
    return std::nullopt;
  }
  return static_cast<size_t>(d - out);
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
