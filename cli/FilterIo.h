// Byte-exact input and output of the marquill filter: standard input read
// whole, in ranges (a regular file) or piece by piece, UTF-8 decoded strictly, results encoded into UTF-8 output pieces that
// are written only when everything has succeeded, and settings files decoded
// from code page 932. Failures come back as messages (without the program
// prefix); nothing here prints or exits.
#pragma once

#include <cstddef>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// Standard input when it is a regular file that can be read at any offset
// (not on Windows): ranges of whole lines are then read by several threads at
// once into small buffers, instead of the whole input into memory first.
class TInputFile {
public:
  static constexpr size_t kToEnd = static_cast<size_t>(-1);
  // False when standard input is not such a file.
  bool Open();
  // Bytes from the current offset to the end, when opened.
  size_t Size() const { return FSize; }
  // The first offset at or after `at` where a line begins (0, or right after
  // a LF); kToEnd when there is none before the end.
  bool LineStartAt(size_t at, size_t& start, std::string& error) const;
  // Hands the bytes of [begin, end) to `take` in order, in pieces that end
  // right after a LF or at `end`, with the offset of each; `end` may be
  // kToEnd. Stops when `take` returns false. `reached` is the offset after
  // the last byte handed over. Reports input that shrank while being read.
  template <class F>
  bool ReadLines(size_t begin, size_t end, F take, size_t& reached, std::string& error) const;
  // Leaves standard input at the end of what was read, as reading it would.
  void Finish(size_t consumed) const;

private:
  long ReadAt(char* p, size_t n, size_t at) const;
  long long FStart = 0;
  size_t FSize = 0;
};

// Standard input read piece by piece; false (with the message) on a read
// error. `got` is 0 at the end.
bool ReadStdinSome(char* p, size_t n, size_t& got, std::string& error);

// UTF-16 text decoded into a buffer that is reused from piece to piece (and
// so stays in the cache), grown when needed and never cleared beforehand.
class TTextBuffer {
public:
  // Strict UTF-8 decoding; `streamOffset` is added to the byte offset in the
  // message. Text() is the result until the next call.
  bool Decode(std::string_view bytes, size_t streamOffset, std::string& error);
  std::u16string_view Text() const { return {FData.get(), FSize}; }

private:
  std::unique_ptr<char16_t[]> FData;
  size_t FCapacity = 0;
  size_t FSize = 0;
};

// Encoded output kept in pieces until it is written.
class TOutput {
public:
  // Appends the UTF-8 of `text`; false on an unpaired surrogate.
  bool Append(std::u16string_view text);
  void AppendBytes(std::string_view bytes);
  // Moves the pieces of `other` behind these.
  void Splice(TOutput&& other);
  bool WriteToStdout(std::string& error) const;

  // A place in the output: what has been appended up to now.
  struct TMark {
    size_t Piece = 0, Offset = 0;
  };
  TMark End() const;
  // Adds the runs of bytes appended between `from` and `to` to `runs`; they
  // stay valid as long as this output.
  void Runs(TMark from, TMark to, std::vector<std::string_view>& runs) const;
  static bool WriteRunsToStdout(const std::vector<std::string_view>& runs, std::string& error);

private:
  struct TFree {
    void operator()(char* p) const { std::free(p); }
  };
  struct TPiece {
    std::unique_ptr<char, TFree> Data;
    size_t Size = 0;
    size_t Capacity = 0;
  };
  // The last piece, or a new one when it has less than `room` bytes free.
  TPiece& PieceWithRoom(size_t room);
  std::vector<TPiece> FPieces;
};

// Doubles a buffer that one line has filled, keeping its first `have` bytes.
void GrowLineBuffer(std::unique_ptr<char[]>& buffer, size_t& capacity, size_t have);

// Length of p[0, n) up to and including its last LF; 0 when it has none.
size_t WholeLinesLength(const char* p, size_t n);

// Reads a whole file; `path` is UTF-8.
bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);

// Strict decoding of code page 932 (Shift_JIS as Windows has it) into UTF-16.
bool DecodeCp932(std::string_view bytes, std::u16string& out, std::string& error);

template <class F>
bool TInputFile::ReadLines(size_t begin, size_t end, F take, size_t& reached, std::string& error) const {
  constexpr size_t kChunk = size_t{128} << 10;
  size_t capacity = kChunk;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  size_t have = 0;    // bytes in the buffer, from offset `pos`
  size_t pos = begin;
  reached = begin;
  for (;;) {
    if (have == capacity) GrowLineBuffer(buffer, capacity, have);  // one line longer than the buffer
    size_t want = capacity - have;
    if (end != kToEnd) want = std::min(want, end - pos - have);
    const long r = want ? ReadAt(buffer.get() + have, want, pos + have) : 0;
    if (r < 0) {
      error = "cannot read input: " + std::string(std::strerror(errno));
      return false;
    }
    have += static_cast<size_t>(r);
    const bool last = r == 0 || (end != kToEnd && pos + have == end);
    if (r == 0 && end != kToEnd && pos + have < end) {
      error = "cannot read input: it became shorter while being read";
      return false;
    }
    size_t cut = have;
    if (!last) {
      cut = WholeLinesLength(buffer.get(), have);
      if (cut == 0) continue;  // no whole line yet
    }
    if (cut > 0 && !take(std::string_view(buffer.get(), cut), pos)) return true;
    std::memmove(buffer.get(), buffer.get() + cut, have - cut);
    pos += cut;
    have -= cut;
    reached = pos;
    if (last) return true;
  }
}
