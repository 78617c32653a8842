// Block copies for the byte edits: whole blocks of 64 and 32 bytes where the
// buffers have room for them, and the break that ends a line.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "LineBreaks.h"

// Room kept past the end of an output for the copies in blocks.
constexpr size_t kSlack = 64;

// Copies n bytes in blocks, writing up to 63 bytes past d + n; reads past
// s + n only where the source still has bytes (up to sEnd). Most lines are
// shorter than 64 bytes and take one copy of 64, without a branch that
// depends on their length.
inline void CopyInBlocks(char* d, const char* s, size_t n, const char* sEnd) noexcept {
  if (static_cast<size_t>(sEnd - s) >= n + 64) {
    std::memcpy(d, s, 64);
    for (size_t i = 64; i < n; i += 32) std::memcpy(d + i, s + i, 32);
  } else {
    std::memcpy(d, s, n);
  }
}

// Length of the break that ends the line [start, end).
inline size_t BreakBefore(const char* p, size_t start, size_t end) noexcept {
  return BreakLength(std::string_view(p + start, end - start));
}

// A symbol of up to 16 bytes is copied as one block of 16.
class TSymbolCopy {
 public:
  explicit TSymbolCopy(std::string_view symbol) : FLong(symbol) {
    if (symbol.size() <= sizeof FShort) std::memcpy(FShort, symbol.data(), symbol.size());
  }
  size_t Size() const noexcept { return FLong.size(); }
  // The symbol at d, writing up to 16 bytes past it; past its end.
  char* Put(char* d) const noexcept {
    if (FLong.size() <= sizeof FShort) std::memcpy(d, FShort, sizeof FShort);
    else std::memcpy(d, FLong.data(), FLong.size());
    return d + FLong.size();
  }

 private:
  char FShort[16] = {};
  std::string_view FLong;
};
