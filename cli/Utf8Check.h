// A fast yes-or-no check of UTF-8 text without decoding it, for the filter:
// the same verdict as the strict decoder (no overlong form, surrogate, value
// above U+10FFFF or cut-off sequence), and no NUL byte either, which is what
// UTF-16 without a byte order mark looks like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// True when Bytes are valid UTF-8 without a NUL.
bool IsCleanUtf8(std::string_view Bytes) noexcept;
// The same, and when they are clean, their line breaks counted into Breaks
// as CountLineBreaks counts them, in the same pass.
bool IsCleanUtf8(std::string_view Bytes, uint64_t& Breaks) noexcept;

// Where the first fault of Bytes lies: the first NUL or the first byte the
// strict decoder refuses, whichever comes first; nothing for clean text.
// Slow (it decodes): for text that IsCleanUtf8 refused.
struct TByteFault {
  size_t At = 0;
  bool Nul = false;
};
std::optional<TByteFault> FirstByteFault(std::string_view Bytes);

// The implementations of the check, chosen once at start-up by what the
// processor offers; tests switch them to compare them.
enum class TUtf8Check { Scalar, Sse2, Avx2 };
TUtf8Check Utf8Check() noexcept;
// False (and nothing changed) when this processor cannot run `Check`.
bool SetUtf8Check(TUtf8Check Check) noexcept;
