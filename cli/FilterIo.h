// Byte-exact input and output of the marquill filter: standard input read as
// UTF-8 into UTF-16, UTF-16 written back as UTF-8 in chunks, and settings
// files decoded from code page 932. Every failure comes back as a message
// (without the program-name prefix); nothing here prints or exits.
#pragma once

#include <string>
#include <string_view>

// Puts standard input and output into binary mode (Windows); ignores SIGPIPE
// so that a closed output pipe shows as a write error (POSIX).
void PrepareStdio();

// Reads all of standard input and decodes it as strict UTF-8. The UTF-8 bytes
// are released piece by piece while decoding, so they never all coexist with
// the whole UTF-16 text.
bool ReadStdinAsUtf16(std::u16string& out, std::string& error);

// Index of the first unpaired surrogate in `text`, or npos.
size_t FindLoneSurrogate(std::u16string_view text) noexcept;

// Writes `text` as UTF-8 to standard output, encoding a chunk at a time. The
// caller checks first that `text` holds no unpaired surrogate.
bool WriteUtf16ToStdout(std::u16string_view text, std::string& error);

// Writes raw bytes to standard output.
bool WriteToStdout(std::string_view bytes, std::string& error);

// Reads a whole file; `path` is UTF-8.
bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);

// Strict decoding of code page 932 (Shift_JIS as Windows has it) into UTF-16.
bool DecodeCp932(std::string_view bytes, std::u16string& out, std::string& error);
