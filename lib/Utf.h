// Conversions between UTF-8 and UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Strict decoding: nullopt on any malformed sequence, overlong form,
// surrogate code point or value above U+10FFFF. On failure, *badOffset (when
// given) receives the byte offset of the first bad sequence.
std::optional<std::u16string> Utf8ToUtf16(std::string_view in, size_t* badOffset = nullptr);

// Encoding that stops on a lone surrogate: nullopt then.
std::optional<std::string> Utf16ToUtf8(std::u16string_view in);

// Encoding for messages: a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view in);

// Appends the UTF-8 of `in` to `out`; false (with `out` partly written) on a lone surrogate.
bool AppendUtf16AsUtf8(std::u16string_view in, std::string& out);
