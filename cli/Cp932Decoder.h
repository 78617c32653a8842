// Strict decoding of code page 932 (Shift_JIS as Windows has it) into UTF-16.
#pragma once

#include <string>
#include <string_view>

// False on a byte sequence that is not code page 932 text, with `badOffset`
// set to where it begins.
bool DecodeCp932(std::string_view Bytes, std::u16string& Out, size_t& BadOffset);
