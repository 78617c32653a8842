// Byte-exact input and output of the marquill filter: standard input read
// whole, UTF-8 decoded strictly, results encoded into UTF-8 output pieces that
// are written only when everything has succeeded, and settings files decoded
// from code page 932. Failures come back as messages (without the program
// prefix); nothing here prints or exits.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Puts standard input and output into binary mode (Windows); ignores SIGPIPE
// so that a closed output pipe shows as a write error, and tunes the heap for
// many same-sized buffers (POSIX).
void PrepareStdio();

// The whole of standard input in one block.
class TInput {
public:
  bool ReadStdin(std::string& error);
  std::string_view Bytes() const { return {FData.get(), FSize}; }
  void Release() {
    FData.reset();
    FSize = 0;
  }

private:
  struct TFree {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, TFree> FData;
  size_t FSize = 0;
};

// Strict UTF-8 decoding; `streamOffset` is added to the byte offset in the
// message.
bool DecodeUtf8(std::string_view bytes, size_t streamOffset, std::u16string& out, std::string& error);

// Cuts `bytes` into pieces of about `size` bytes that end right after a LF
// (or at the end). A LF byte never occurs inside a multi-byte UTF-8 sequence,
// so every piece is whole characters and whole lines.
std::vector<std::string_view> SplitAfterLineFeeds(std::string_view bytes, size_t size);

// Encoded output kept in pieces until it is written.
class TOutput {
public:
  // Appends the UTF-8 of `text`; false on an unpaired surrogate.
  bool Append(std::u16string_view text);
  void AppendBytes(std::string_view bytes);
  // Moves the pieces of `other` behind these.
  void Splice(TOutput&& other);
  bool WriteToStdout(std::string& error) const;

private:
  struct TFree {
    void operator()(char* p) const { std::free(p); }
  };
  struct TPiece {
    std::unique_ptr<char, TFree> Data;
    size_t Size = 0;
    size_t Capacity = 0;
  };
  std::vector<TPiece> FPieces;
  std::string FScratch;  // one encoded slice
};

// Reads a whole file; `path` is UTF-8.
bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);

// Strict decoding of code page 932 (Shift_JIS as Windows has it) into UTF-16.
bool DecodeCp932(std::string_view bytes, std::u16string& out, std::string& error);
