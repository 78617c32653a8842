// The portable kernels: a byte or a unit at a time, for every processor.
#include "ScanKernels.h"
#include "UtfRuns.h"

namespace {

bool CheckScalar(const unsigned char* p, size_t n) noexcept {
  size_t i = 0;
  return CheckSequences(p, n, i, n);
}

bool CheckCountingScalar(const unsigned char* p, size_t n, uint64_t& breaks) noexcept {
  if (!CheckScalar(p, n)) return false;
  breaks = CountBreaksFrom(reinterpret_cast<const char*>(p), n, 0);
  return true;
}

template <class C>
size_t FindLineEndScalar(const C* p, size_t n, size_t start) noexcept {
  return FindLineEndFrom(p, n, start);
}

template <class C>
uint64_t CountBreaksScalar(const C* p, size_t n) noexcept {
  return CountBreaksFrom(p, n, 0);
}

uint64_t CountBreaksFindingScalar(const char* p, size_t n, std::string_view wanted, std::vector<size_t>& at) {
  return CountBreaksFindingFrom(p, n, 0, wanted, at);
}

size_t* CollectEndsScalar(const char* p, size_t n, size_t* e) noexcept { return CollectEndsFrom(p, n, 0, e); }

bool CollectCleanEndsScalar(const char* p, size_t n, size_t*& e) noexcept {
  if (!CheckScalar(reinterpret_cast<const unsigned char*>(p), n)) return false;
  e = CollectEndsFrom(p, n, 0, e);
  return true;
}

}  // namespace

// Constant: the 32-bit Windows library runs nothing at load for it.
constinit const TScanKernels kScalarKernels = {
    .CheckUtf8 = CheckScalar,
    .CheckUtf8Counting = CheckCountingScalar,
    .FindLineEnd8 = FindLineEndScalar<char>,
    .FindLineEnd16 = FindLineEndScalar<char16_t>,
    .CountBreaks8 = CountBreaksScalar<char>,
    .CountBreaks16 = CountBreaksScalar<char16_t>,
    .CountBreaksFinding = CountBreaksFindingScalar,
    .CollectEnds = CollectEndsScalar,
    .CollectCleanEnds = CollectCleanEndsScalar,
    .Decode = DecodeAll,
    .Encode = EncodeAll<false>,
    .EncodeLossy = EncodeAll<true>,
};
