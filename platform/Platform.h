// The few operating-system services the portable code needs: the Windows
// build takes them from PlatWin.cpp, every other build from PlatPortable.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// True when a and b are equal by the user's locale (case-insensitively when
// ignoreCase), which is linguistic, not unit by unit.
bool PlatformWordsEqual(std::u16string_view a, std::u16string_view b, bool ignoreCase);

// Bytes that the text takes in the system ANSI code page; nullopt where the
// system has none (the caller then counts in code page 932).
std::optional<uint64_t> PlatformAnsiByteCount(std::u16string_view text);

// The system ANSI code page, and code page 932, as Windows numbers them.
constexpr uint32_t AnsiCodePage = 0;
constexpr uint32_t ShiftJisCodePage = 932;

// Bytes in a Windows code page to UTF-16 (bytes the page does not define
// become its default character); nullopt when the page cannot decode them or
// there is no such conversion here.
std::optional<std::u16string> AnsiToUtf16(std::string_view bytes, uint32_t codePage);
// UTF-16 to bytes in a Windows code page, without best-fit look-alikes;
// nullopt as above.
std::optional<std::string> Utf16ToAnsi(std::u16string_view text, uint32_t codePage);
