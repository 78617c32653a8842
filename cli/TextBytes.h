// Byte-level helpers for UTF-8 texts handled in pieces: buffers, line
// breaks, cut points and blank lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A malloc'd byte buffer that grows by realloc (which moves pages instead of
// copying them on Linux) and is never cleared beforehand.
class TByteBuffer {
public:
  TByteBuffer() = default;
  TByteBuffer(const TByteBuffer&) = delete;
  TByteBuffer& operator=(const TByteBuffer&) = delete;
  TByteBuffer(TByteBuffer&& o) noexcept;
  TByteBuffer& operator=(TByteBuffer&& o) noexcept;
  ~TByteBuffer();
  // At least n bytes of room in all; throws std::bad_alloc.
  void Reserve(size_t n);
  // Exactly these bytes.
  void Assign(std::string_view Bytes);
  // No more room than Size needs (for bytes kept a long time).
  void ShrinkToFit();
  char* Data() const { return FData; }
  size_t Capacity() const { return FCapacity; }
  size_t Size = 0;
  std::string_view View() const { return {FData, Size}; }

private:
  char* FData = nullptr;
  size_t FCapacity = 0;
};

// The ends of the lines of a piece, found in one pass.
class TLineEnds {
public:
  // Where each line of Bytes ends (one past its break, or at the end of the
  // bytes for a last line without one), in order: the same cut as the
  // engine's (CR LF, lone CR, LF). Returns the number of line breaks.
  uint64_t Collect(std::string_view Bytes);
  // Collect, checking the bytes as IsCleanUtf8 does in the same pass: false
  // (and the ends unknown) when they are not clean, else true with the
  // line breaks in Breaks.
  bool CollectClean(std::string_view Bytes, uint64_t& Breaks);
  // The line breaks the last collection found.
  uint64_t Breaks() const { return FBreaks; }
  // True when these can be the ends of bytes of length n: the last is n.
  bool EndAt(size_t n) const { return FCount == 0 ? n == 0 : FEnds[FCount - 1] == n; }
  const size_t* begin() const { return FEnds.data(); }
  const size_t* end() const { return FEnds.data() + FCount; }
  size_t size() const { return FCount; }

private:
  size_t* Room(size_t n);
  uint64_t Finish(std::string_view Bytes, size_t* e);
  std::vector<size_t> FEnds;  // grown and never shrunk: its size is room
  size_t FCount = 0;
  uint64_t FBreaks = 0;
};
// The most bytes whose line ends are gathered at once where a text may be
// long: the ends take room for a break at every byte.
constexpr size_t kMostEndsAtOnce = size_t{256} << 10;
// Where the line holding byte `at` begins.
size_t LineStartBefore(std::string_view Bytes, size_t at);
// The length of the bytes up to the end of their last line break that is
// certainly complete (a CR at the very end may be the first half of CR LF);
// 0 when there is none.
size_t WholeLinesLength(std::string_view Bytes);
// True when the last line of Bytes holds only spaces, tabs and ideographic
// spaces before its break (if it has one).
bool LastLineIsBlank(std::string_view Bytes);
// The length of Bytes without a UTF-8 sequence cut off at their end.
size_t CompleteUtf8Length(std::string_view Bytes);
