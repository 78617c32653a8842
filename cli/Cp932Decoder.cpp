// Code page 932 decoding: Windows' own converter there, iconv elsewhere, and
// in the WebAssembly module a table made from that iconv.
#include "Cp932Decoder.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <cstdint>

// Generated: the unit of each byte, of each lead byte's pairs (kLead: a lead byte; kBad: no character).
extern const uint16_t kCp932Single[256];
extern const uint8_t kCp932LeadIndex[256];  // from 1; 0: no lead byte
extern const uint16_t kCp932Pairs[];
#else
#include <iconv.h>

#include <stdexcept>
#endif

bool DecodeCp932(std::string_view Bytes, std::u16string& Out, size_t& BadOffset) {
  BadOffset = 0;
  Out.clear();
  if (Bytes.empty()) return true;
#ifdef _WIN32
  if (Bytes.size() > 0x7FFFFFFF) return false;
  const int n = static_cast<int>(Bytes.size());
  int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, Bytes.data(), n, nullptr, 0);
  if (units > 0) {
    Out.resize(static_cast<size_t>(units));
    units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, Bytes.data(), n, reinterpret_cast<wchar_t*>(Out.data()),
                                units);
  }
  if (units <= 0) {
    // Windows does not say where: the first character that fails alone.
    Out.clear();
    for (size_t i = 0; i < Bytes.size();) {
      const size_t len = IsDBCSLeadByteEx(932, static_cast<BYTE>(Bytes[i])) && i + 1 < Bytes.size() ? 2 : 1;
      if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, Bytes.data() + i, static_cast<int>(len), nullptr, 0) <= 0) {
        BadOffset = i;
        break;
      }
      i += len;
    }
    return false;
  }
  return true;
#elif defined(__EMSCRIPTEN__)
  constexpr uint16_t kBad = 0xFFFF, kLead = 0xFFFE;
  Out.reserve(Bytes.size());
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const size_t start = i;
    const auto b = static_cast<unsigned char>(Bytes[i]);
    uint16_t unit = kCp932Single[b];
    if (unit == kLead)
      unit = ++i < Bytes.size() ? kCp932Pairs[(kCp932LeadIndex[b] - 1) * 256 + static_cast<unsigned char>(Bytes[i])]
                                : kBad;
    if (unit == kBad || unit == kLead) {
      // As iconv tells it: where the sequence that fails begins.
      BadOffset = start;
      Out.clear();
      return false;
    }
    Out += static_cast<char16_t>(unit);
  }
  return true;
#else
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("code page 932 conversion is not available");
  // A code page 932 character gives one UTF-16 unit, never more than its bytes.
  std::string wide(Bytes.size() * 2, '\0');
  char* in = const_cast<char*>(Bytes.data());
  size_t inLeft = Bytes.size();
  char* o = wide.data();
  size_t outLeft = wide.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) {
    BadOffset = static_cast<size_t>(in - Bytes.data());
    return false;
  }
  const size_t produced = (wide.size() - outLeft) / 2;
  Out.resize(produced);
  for (size_t i = 0; i < produced; ++i)
    Out[i] = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                   (static_cast<unsigned char>(wide[2 * i + 1]) << 8));
  return true;
#endif
}
