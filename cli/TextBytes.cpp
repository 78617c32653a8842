// Buffers and line-break scanning of the filter's pieces.
#include "TextBytes.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "LineBreaks.h"
#include "StringUnit.h"
#include "TextScan.h"

TByteBuffer::TByteBuffer(TByteBuffer&& o) noexcept
    : Size(std::exchange(o.Size, 0)),
      FData(std::exchange(o.FData, nullptr)),
      FCapacity(std::exchange(o.FCapacity, 0)) {}

TByteBuffer& TByteBuffer::operator=(TByteBuffer&& o) noexcept {
  if (this != &o) {
    std::free(FData);
    FData = std::exchange(o.FData, nullptr);
    FCapacity = std::exchange(o.FCapacity, 0);
    Size = std::exchange(o.Size, 0);
  }
  return *this;
}

TByteBuffer::~TByteBuffer() { std::free(FData); }

void TByteBuffer::Reserve(size_t n) {
  if (n <= FCapacity) return;
  const size_t capacity = n < FCapacity * 2 ? FCapacity * 2 : n;
  char* grown = static_cast<char*>(std::realloc(FData, capacity));
  if (!grown) throw std::bad_alloc();
  FData = grown;
  FCapacity = capacity;
}

void TByteBuffer::Assign(std::string_view Bytes) {
  Reserve(Bytes.size());
  if (!Bytes.empty()) std::memcpy(FData, Bytes.data(), Bytes.size());
  Size = Bytes.size();
}

void TByteBuffer::ShrinkToFit() {
  if (Size == FCapacity || Size == 0) return;
  if (char* shrunk = static_cast<char*>(std::realloc(FData, Size))) {
    FData = shrunk;
    FCapacity = Size;
  }
}

size_t* TLineEnds::Room(size_t n) {
  // Room for a break at every byte, the slack the scans write into, and
  // the end of a last line without a break.
  if (FEnds.size() < n + kLineEndsSlack + 1) FEnds.resize(n + kLineEndsSlack + 1);
  return FEnds.data();
}

uint64_t TLineEnds::Collect(std::string_view Bytes) {
  return Finish(Bytes, CollectLineEnds(Bytes, Room(Bytes.size())));
}

bool TLineEnds::CollectClean(std::string_view Bytes, uint64_t& Breaks) {
  size_t* e = Room(Bytes.size());
  if (!CollectCleanLineEnds(Bytes, e)) return false;
  Breaks = Finish(Bytes, e);
  return true;
}

// The end of a last line without a break added after the breaks' ends.
uint64_t TLineEnds::Finish(std::string_view Bytes, size_t* e) {
  const size_t n = Bytes.size();
  const uint64_t breaks = static_cast<uint64_t>(e - FEnds.data());
  if (e == FEnds.data() ? n > 0 : e[-1] != n) *e++ = n;
  FCount = static_cast<size_t>(e - FEnds.data());
  FBreaks = breaks;
  return breaks;
}

size_t LineStartBefore(std::string_view Bytes, size_t at) {
  while (at > 0 && !IsBreakUnit(Bytes[at - 1])) --at;
  return at;
}

size_t WholeLinesLength(std::string_view Bytes) {
  // A CR at the very end may begin a CR LF: its line is not whole yet.
  for (size_t i = Bytes.size(); i-- > 0;)
    if (i + 1 < Bytes.size() ? EndsLine(Bytes.data(), Bytes.size(), i) : Bytes[i] == '\n') return i + 1;
  return 0;
}

bool LastLineIsBlank(std::string_view Bytes) {
  const size_t end = Bytes.size() - BreakLength(Bytes);
  const size_t start = LineStartBefore(Bytes, end);
  return IndentLength(Bytes.substr(start, end - start)) == end - start;
}

size_t CompleteUtf8Length(std::string_view Bytes) {
  const size_t n = Bytes.size();
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const unsigned char c = static_cast<unsigned char>(Bytes[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return len > back ? n - back : n;
  }
  return n;
}
