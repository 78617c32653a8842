// Where a text that the check refused goes wrong: the decoder's verdict.
#include "Utf8Check.h"

#include <algorithm>
#include <string>

#include "Utf.h"

std::optional<TByteFault> FirstByteFault(std::string_view Bytes) {
  // The decoder's verdict, a window of whole characters at a time so that a
  // long text needs no decoded copy of its size.
  constexpr size_t kWindow = size_t{64} << 10;
  std::u16string units;
  size_t bad = Bytes.size();
  for (size_t at = 0; at < Bytes.size();) {
    size_t n = std::min(kWindow, Bytes.size() - at);
    while (at + n < Bytes.size() && n > 0 && (static_cast<unsigned char>(Bytes[at + n]) & 0xC0) == 0x80) --n;
    if (n == 0) n = std::min(kWindow, Bytes.size() - at);  // no boundary in the window: the decoder refuses it
    units.resize(n);
    size_t offset = 0;
    if (!DecodeUtf8To(Bytes.substr(at, n), units.data(), &offset)) {
      bad = at + offset;
      break;
    }
    at += n;
  }
  const size_t nul = Bytes.substr(0, bad).find('\0');
  if (nul != std::string_view::npos) return TByteFault{nul, true};
  if (bad < Bytes.size()) return TByteFault{bad, false};
  return std::nullopt;
}
