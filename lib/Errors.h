// Exception types of Marquill. Every failure carries one UTF-16 message text.
#pragma once

#include <exception>
#include <string>

// Base of every error the plug-in raises; the message is what the user sees.
class EMarquillError : public std::exception {
public:
  explicit EMarquillError(std::u16string message);
  const std::u16string& Message() const noexcept { return FMessage; }
  // The message as UTF-8, for logs and the command-line filter.
  const char* what() const noexcept override { return FUtf8.c_str(); }

private:
  std::u16string FMessage;
  std::string FUtf8;
};

// A broken internal rule (bad list index, unknown flag ...). The message is
// "<msg> (<source>, <line> 行)", with a stock text standing in for an empty msg.
class EAssertionFailed : public EMarquillError {
public:
  EAssertionFailed(const std::u16string& msg, const std::u16string& source, int line);
};

// General error (a directory search that finds nothing).
class EGeneralError : public EMarquillError {
public:
  using EMarquillError::EMarquillError;
};

// Input/output error (a file that cannot be read or written).
class EInOutError : public EMarquillError {
public:
  using EMarquillError::EMarquillError;
};

// Raises EAssertionFailed. Callers pass fixed source names and lines that are
// part of the texts users see, not the caller's own file and line.
[[noreturn]] void AssertFail(const std::u16string& msg, const std::u16string& source, int line);
