// Decoding a text file whose encoding a byte order mark may name: UTF-8,
// UTF-16 LE or UTF-16 BE; the bytes of a file without a mark are decoded by
// the caller's own rule (the ANSI code page, code page 932, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

enum TByteOrderMark : uint8_t { bomNone = 0, bomUtf8 = 1, bomUtf16Le = 2, bomUtf16Be = 3 };

// The UTF-8 byte order mark's bytes (U+FEFF).
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The mark that the bytes begin with, if any.
TByteOrderMark ByteOrderMarkOf(std::string_view Bytes) noexcept;
// Its length in bytes (0 for bomNone).
size_t ByteOrderMarkLength(TByteOrderMark Mark) noexcept;

// Lenient decoders: every malformed sequence, lone surrogate or odd last
// byte becomes U+FFFD; they never fail.
std::u16string Utf8ToUtf16Replacing(std::string_view Bytes);
std::u16string Utf16ToUtf16Replacing(std::string_view Bytes, bool BigEndian);

// The text of a file's bytes: after a byte order mark, the encoding it names
// (the mark dropped, malformed input replaced by U+FFFD); without one,
// whatever WithoutMark makes of the bytes.
std::u16string DecodeMarkedText(std::string_view Bytes,
                                const std::function<std::u16string(std::string_view)>& WithoutMark);
