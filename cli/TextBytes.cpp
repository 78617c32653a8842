// Buffers and line-break scanning of the filter's pieces.
#include "TextBytes.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "LineScan.h"
#include "StringUnit.h"

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

void TByteBuffer::Release() {
  std::free(FData);
  FData = nullptr;
  FCapacity = Size = 0;
}

size_t CountLineBreaks(std::string_view Bytes) { return CountBreaks(Bytes); }

size_t LineStartBefore(std::string_view Bytes, size_t at) {
  while (at > 0 && Bytes[at - 1] != '\n' && Bytes[at - 1] != '\r') --at;
  return at;
}

size_t WholeLinesLength(std::string_view Bytes) {
  for (size_t i = Bytes.size(); i-- > 0;) {
    if (Bytes[i] == '\n') return i + 1;
    if (Bytes[i] == '\r' && i + 1 < Bytes.size()) return i + 1;
  }
  return 0;
}

bool LastLineIsBlank(std::string_view Bytes) {
  size_t end = Bytes.size();
  if (end > 0 && (Bytes[end - 1] == '\n' || Bytes[end - 1] == '\r')) --end;
  if (end > 0 && Bytes[end] == '\n' && Bytes[end - 1] == '\r') --end;
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
