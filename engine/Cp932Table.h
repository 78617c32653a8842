// Which UTF-16 code units code page 932 encodes as two bytes (generated table).
#pragma once

#include <cstdint>

// Bit (c & 31) of word (c >> 5) is set when character c takes two bytes.
extern const uint32_t Cp932DoubleByteBits[2048];
