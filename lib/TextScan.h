// The scans of texts that the engine and the filter run over every byte:
// the UTF-8 check, line ends and line breaks (as LineBreaks.h defines them),
// with one implementation per instruction set behind one choice made at
// start-up. The UTF conversions of Utf.h go through the same choice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The vector kernels exist for x86-64 compilers that take per-function
// targets; everywhere else (the 32-bit Windows build among them) only the
// portable ones are built, and nothing is chosen at start-up.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARQUILL_SCAN_X86 1
#endif

// The instruction sets that the scans have an implementation for.
enum class TIsa : uint8_t { Scalar, Sse2, Avx2 };

// The implementation in use: the best this processor runs, or the one the
// environment variable MARQUILL_FORCE_ISA (scalar, sse2 or avx2) names when
// the processor runs it.
TIsa ScanIsa() noexcept;
// The implementation a value of MARQUILL_FORCE_ISA names; nothing for any
// other text.
std::optional<TIsa> IsaNamed(std::string_view Name) noexcept;
// For tests: false (and nothing changed) when this processor cannot run Isa.
bool SetScanIsa(TIsa Isa) noexcept;
// Every implementation this processor runs, the portable one first.
std::vector<TIsa> IsasThisProcessorRuns();

// True when Bytes are valid UTF-8 (no overlong form, surrogate, value above
// U+10FFFF or cut-off sequence) without a NUL, which is what UTF-16 without
// a byte order mark looks like.
bool IsCleanUtf8(std::string_view Bytes) noexcept;
// The same, and when they are clean, their line breaks counted into Breaks
// in the same pass.
bool IsCleanUtf8(std::string_view Bytes, uint64_t& Breaks) noexcept;

// Index one past the end of the line that starts at Start: past its break,
// or the text's end when it has none.
size_t FindLineEnd(std::string_view Text, size_t Start) noexcept;
size_t FindLineEnd(std::u16string_view Text, size_t Start) noexcept;

// Number of line breaks in Text; a CR at the very end counts as one.
uint64_t CountBreaks(std::string_view Text) noexcept;
uint64_t CountBreaks(std::u16string_view Text) noexcept;
// Number of lines: the breaks, and one more for a last line that ends with
// the text rather than with a break.
size_t CountLines(std::u16string_view Text) noexcept;

// The most bytes CountBreaksFinding looks for at once.
constexpr size_t kMostWanted = 4;
// The line breaks of Bytes counted, and the places of any of the bytes of
// Wanted (at most kMostWanted of them) put into At, in order, in one pass.
uint64_t CountBreaksFinding(std::string_view Bytes, std::string_view Wanted, std::vector<size_t>& At);

// Room past one end per byte that CollectLineEnds may write into.
constexpr size_t kLineEndsSlack = 4;
// Writes, from Ends on, one past every line break of Bytes, in order, and
// returns where they stop. Ends has room for Bytes.size() + kLineEndsSlack.
size_t* CollectLineEnds(std::string_view Bytes, size_t* Ends) noexcept;
// The same while checking Bytes as IsCleanUtf8 does: false when they are not
// clean (and the ends are then unknown), else true with Ends moved past the
// last end written.
bool CollectCleanLineEnds(std::string_view Bytes, size_t*& Ends) noexcept;
