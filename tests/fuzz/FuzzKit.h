// What the fuzz targets share: reports of a mismatch, plain reference
// decoders and encoders of UTF-8 and UTF-16, the lines and fields of settings
// entries cut by hand, and a reader of the input bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using u16 = std::u16string;
using u16v = std::u16string_view;

// Code units shown printable, others as \uXXXX.
std::string Show(u16v s);
// Bytes shown as code units, for the reports.
u16 Widen(std::string_view bytes);
// While it lives, failures name this context after what failed.
class TFailContext {
public:
  explicit TFailContext(const char* Text);
  ~TFailContext();
  TFailContext(const TFailContext&) = delete;
  TFailContext& operator=(const TFailContext&) = delete;

private:
  const char* FOuter;
};
// Prints what failed, with its input, and aborts: libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what, u16v input, u16v got, u16v expected);
void Check(const char* what, u16v input, u16v got, u16v expected);
void CheckBytes(const char* what, u16v input, std::string_view got, std::string_view expected);

// The length of the well-formed UTF-8 sequence at `at` by the table of valid
// byte ranges, with its code point; 0 when the bytes there are ill-formed.
size_t Utf8SequenceRef(std::string_view in, size_t at, uint32_t& cp);
// A code point in UTF-16 or UTF-8.
void PutUtf16(u16& out, uint32_t cp);
void PutUtf8(std::string& out, uint32_t cp);
// Well-formed UTF-8: the offset of the first ill-formed sequence, or nullopt
// with the decoded text.
std::optional<size_t> Utf8Ref(std::string_view in, u16& out);
// UTF-8 of a UTF-16 text, lone surrogates as U+FFFD; `lone` tells whether
// there was one.
std::string Utf16Ref(u16v in, bool& lone);

// The lines of a text, cut by hand (CR LF first, then CR, then LF), each
// with its break.
std::vector<u16> CutLines(u16v text);
// The fields of a settings entry: cut at tabs, empty pieces dropped.
std::vector<u16> Fields(u16v entry);
// An entry's symbol (the first field) and caption (the second, trimmed on
// the right, its escapes decoded).
u16 SymbolRef(u16v entry);
u16 CaptionRef(u16v entry);
// Blanks (every unit up to a space) off the right, and off the left when asked.
u16 TrimRef(u16v s, bool left);
// A caption's escapes: \r \n \t in either case and \\; any other backslash dropped.
u16 DecodeRef(u16v s);

// The input read from the front: bytes, small numbers and byte strings; zeros
// once it is used up.
struct TFuzzInput {
  const uint8_t* P;
  size_t N;
  uint8_t Byte() {
    if (N == 0) return 0;
    --N;
    return *P++;
  }
  // Up to n bytes.
  std::string Bytes(size_t n) {
    n = n < N ? n : N;
    std::string s(reinterpret_cast<const char*>(P), n);
    P += n;
    N -= n;
    return s;
  }
  std::string Rest() { return Bytes(N); }
};
