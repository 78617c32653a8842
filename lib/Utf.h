// Conversions between UTF-8 and UTF-16, with the implementation that the
// scans use (TextScan.h chooses it).
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

// Utf8ToUtf16 into caller-owned memory, for large texts handled in reused
// buffers: writes at most in.size() units to `out` and returns how many, or
// nullopt as Utf8ToUtf16 does; never writes past that bound.
std::optional<size_t> DecodeUtf8To(std::string_view in, char16_t* out, size_t* badOffset = nullptr);
