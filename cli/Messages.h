// How the filter fails: the exit statuses, the failure it throws, and
// argument text made safe to show in a message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kExitIo = 1;   // input or output could not be read or written; out of memory
constexpr int kExitBad = 2;  // bad input or a usage error

// Ends the program with "marquill: " and Message on standard error.
struct TFailure {
  int Status = kExitBad;
  std::string Message;
  bool Hint = false;  // point to --help after the message
  // "FILE:LINE:COLUMN" of a fault in an input (line from 1, column in bytes
  // from 1): printed as "marquill:FILE:LINE:COLUMN: Message", the GNU form
  // that editors and compilation buffers jump to.
  std::string Place;
};

// The failure as the program prints it: "marquill: Message", or with its
// place, "marquill:FILE:LINE:COLUMN: Message".
std::string FailureText(const TFailure& Failure);

[[noreturn]] void FailUsage(const std::string& Message);
[[noreturn]] void FailBadInput(const std::string& Message);
[[noreturn]] void FailIo(const std::string& Message);
// Bad input at a place: File as the user named it ("-" for standard input),
// shown escaped as Escape does.
[[noreturn]] void FailBadInputAt(const std::string& File, uint64_t Line, uint64_t Column, const std::string& Message);

// How messages and listings write a tab, CR, LF or backslash: \t, \r, \n,
// \\; nullptr for any other byte.
const char* ShortEscape(unsigned char c);

// Text quoted for a message: control characters, DEL and bytes that are not
// UTF-8 are shown escaped (\t, \r, \n, \xHH), so that nothing from the
// command line or a file name can steer the terminal. In 「」 for a Japanese
// user.
std::string Quote(std::string_view Text);
// The same escapes without the quotes, for a name inside the GNU place form.
std::string Escape(std::string_view Text);
