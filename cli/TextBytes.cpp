// Buffers and line-break scanning of the filter's pieces.
#include "TextBytes.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "LineScan.h"
#include "StringUnit.h"
#include "Utf8Check.h"

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

size_t CountLineBreaks(std::string_view Bytes) { return CountBreaks(Bytes); }

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARQUILL_LINES_AVX2 1
#include <immintrin.h>

#include "Utf8CheckAvx2.h"

#define MARQUILL_LINES_TARGET __attribute__((target("avx2,bmi,popcnt")))

using utf8avx2::LoadBlock;

// Bit k set where byte k of lo then hi is c.
MARQUILL_LINES_TARGET inline uint64_t BytesEqual(__m256i lo, __m256i hi, char c) {
  const __m256i cs = _mm256_set1_epi8(c);
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, cs))) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, cs)))) << 32;
}

// The line ends of the sixty-four bytes at p[i], blocks a and b, into e
// (with room for four more than there are); next is the byte after them.
// The first four ends are written whether they exist or not, and the count
// moves e on: no branch for the usual run of lines.
MARQUILL_LINES_TARGET inline size_t* PutEnds(__m256i a, __m256i b, char next, size_t i, size_t* e) {
  const uint64_t lfs = BytesEqual(a, b, '\n');
  const uint64_t crs = BytesEqual(a, b, '\r');
  const uint64_t nextIsLf = (lfs >> 1) | (static_cast<uint64_t>(next == '\n') << 63);
  uint64_t m = lfs | (crs & ~nextIsLf);
  const int count = __builtin_popcountll(m);
  const size_t base = i + 1;
  for (int k = 0; k < 4; ++k) {
    e[k] = base + _tzcnt_u64(m);
    m = _blsr_u64(m);
  }
  for (size_t* f = e + 4; m != 0; m = _blsr_u64(m)) *f++ = base + _tzcnt_u64(m);
  return e + count;
}

// The line ends from p[i] on, sixty-four bytes at a time, into e; i is left
// where the blocks end.
MARQUILL_LINES_TARGET size_t* CollectAvx2(const char* p, size_t n, size_t& i, size_t* e) {
  for (; i + 65 <= n; i += 64) e = PutEnds(LoadBlock(p + i), LoadBlock(p + i + 32), p[i + 64], i, e);
  return e;
}

// The same while checking the bytes as IsCleanUtf8 does, the whole of them
// (the blocks and what follows); false when they are not clean.
MARQUILL_LINES_TARGET bool CollectCheckedAvx2(const char* p, size_t n, size_t& i, size_t*& e) {
  using namespace utf8avx2;
  TAvx2Check c = StartCheck();
  for (; i + 129 <= n; i += 128) {
    const __m256i a = LoadBlock(p + i), b = LoadBlock(p + i + 32), c2 = LoadBlock(p + i + 64), d = LoadBlock(p + i + 96);
    c.Step4(a, b, c2, d);
    e = PutEnds(a, b, p[i + 64], i, e);
    e = PutEnds(c2, d, p[i + 128], i + 64, e);
    if ((i & 4095) == 0 && Failed(c)) return false;
  }
  for (; i + 65 <= n; i += 64) {
    const __m256i a = LoadBlock(p + i), b = LoadBlock(p + i + 32);
    c.Step(a);
    c.Step(b);
    e = PutEnds(a, b, p[i + 64], i, e);
  }
  // The bytes left over, which the caller cuts into lines: whole blocks,
  // then fewer than 32 padded.
  size_t at = i;
  for (; n - at >= 32; at += 32) c.Step(LoadBlock(p + at));
  c.Step(LastBlock(reinterpret_cast<const unsigned char*>(p + at), n - at));
  return !Failed(c);
}

const bool kHasAvx2 = utf8avx2::ProcessorRunsAvx2Scans();
#endif

size_t* TLineEnds::Room(size_t n) {
  // Room for a break at every byte and four more, so that the loops
  // check nothing.
  if (FEnds.size() < n + 5) FEnds.resize(n + 5);
  return FEnds.data();
}

uint64_t TLineEnds::Collect(std::string_view Bytes) {
  size_t* e = Room(Bytes.size());
  size_t i = 0;
#ifdef MARQUILL_LINES_AVX2
  if (kHasAvx2) e = CollectAvx2(Bytes.data(), Bytes.size(), i, e);
#endif
  return Finish(Bytes, i, e);
}

bool TLineEnds::CollectClean(std::string_view Bytes, uint64_t& Breaks) {
#ifdef MARQUILL_LINES_AVX2
  if (Utf8Check() == TUtf8Check::Avx2) {
    size_t* e = Room(Bytes.size());
    size_t i = 0;
    if (!CollectCheckedAvx2(Bytes.data(), Bytes.size(), i, e)) return false;
    Breaks = Finish(Bytes, i, e);
    return true;
  }
#endif
  if (!IsCleanUtf8(Bytes)) return false;
  Breaks = Collect(Bytes);
  return true;
}

uint64_t TLineEnds::Finish(std::string_view Bytes, size_t i, size_t* e) {
  const size_t n = Bytes.size();
  const char* p = Bytes.data();
#ifdef __SSE2__
  // A line ends after a LF or a CR not followed by LF: one bit each.
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  for (; i + 17 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const unsigned lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
    const unsigned crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
    const unsigned nextIsLf = (lfs >> 1) | (static_cast<unsigned>(p[i + 16] == '\n') << 15);
    for (unsigned m = lfs | (crs & ~nextIsLf); m != 0; m &= m - 1)
      *e++ = i + static_cast<size_t>(__builtin_ctz(m)) + 1;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == '\n' || (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n'))) *e++ = i + 1;
  }
  const uint64_t breaks = static_cast<uint64_t>(e - FEnds.data());
  if (e == FEnds.data() ? n > 0 : e[-1] != n) *e++ = n;
  FCount = static_cast<size_t>(e - FEnds.data());
  FBreaks = breaks;
  return breaks;
}

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
