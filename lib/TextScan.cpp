// The one choice among the scans' implementations: made once at start-up by
// what the processor offers, changed by an environment variable or a test.
#include "TextScan.h"

#include <cassert>
#include <cstdlib>

#include "ScanKernels.h"
#include "UtfRuns.h"

namespace {

// The portable kernels until start-up has chosen (so that scans in other
// static initialisers work too). Where there is no choice (the 32-bit
// Windows library) nothing else is ever set, and loading runs nothing.
constinit TIsa gIsa = TIsa::Scalar;
constinit const TScanKernels* gKernels = &kScalarKernels;
#ifdef MARQUILL_SCAN_X86
constinit TScanKernels gChosen{};  // the kernels of the choice, patched
#endif

const TScanKernels& K() noexcept { return *gKernels; }

#ifdef MARQUILL_SCAN_X86
// What the kernels need beyond SSE2, which every x86-64 processor has.
struct TProcessor {
  bool Sse41 = false;  // with SSSE3: the vector conversions
  bool Avx2 = false;   // with BMI, POPCNT and the above
};

TProcessor CheckProcessor() noexcept {
  __builtin_cpu_init();
  TProcessor cpu;
  cpu.Sse41 = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
  cpu.Avx2 = cpu.Sse41 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
             __builtin_cpu_supports("popcnt");
  return cpu;
}

const TProcessor kProcessor = CheckProcessor();
#endif

bool Runs(TIsa isa) noexcept {
  switch (isa) {
    case TIsa::Scalar: return true;
#ifdef MARQUILL_SCAN_X86
    case TIsa::Sse2: return true;
    case TIsa::Avx2: return kProcessor.Avx2;
#else
    case TIsa::Sse2:
    case TIsa::Avx2: return false;
#endif
  }
  return false;
}

#ifdef MARQUILL_SCAN_X86
const TScanKernels& KernelsOf(TIsa isa) noexcept {
  switch (isa) {
    case TIsa::Scalar: return kScalarKernels;
    case TIsa::Sse2: return kSse2Kernels;
    case TIsa::Avx2: return kAvx2Kernels;
  }
  return kScalarKernels;
}

// The implementation the environment asks for, when there is one this
// processor runs; else the best it runs.
TIsa Chosen() noexcept {
  const char* forced = std::getenv("MARQUILL_FORCE_ISA");
  const std::optional<TIsa> named = forced ? IsaNamed(forced) : std::nullopt;
  if (named && Runs(*named)) return *named;
  return Runs(TIsa::Avx2) ? TIsa::Avx2 : TIsa::Sse2;
}

const bool kChosen = SetScanIsa(Chosen());
#endif

}  // namespace

std::optional<TIsa> IsaNamed(std::string_view Name) noexcept {
  if (Name == "scalar") return TIsa::Scalar;
  if (Name == "sse2") return TIsa::Sse2;
  if (Name == "avx2") return TIsa::Avx2;
  return std::nullopt;
}

TIsa ScanIsa() noexcept { return gIsa; }

bool SetScanIsa(TIsa Isa) noexcept {
  if (!Runs(Isa)) return false;
#ifdef MARQUILL_SCAN_X86
  gChosen = KernelsOf(Isa);
  if (Isa == TIsa::Sse2 && kProcessor.Sse41) {
    gChosen.Decode = DecodeSse;
    gChosen.Encode = EncodeSse;
    gChosen.EncodeLossy = EncodeSseLossy;
  }
  gKernels = &gChosen;
#endif
  gIsa = Isa;
  return true;
}

std::vector<TIsa> IsasThisProcessorRuns() {
  std::vector<TIsa> isas;
  for (TIsa isa : {TIsa::Scalar, TIsa::Sse2, TIsa::Avx2})
    if (Runs(isa)) isas.push_back(isa);
  return isas;
}

bool IsCleanUtf8(std::string_view Bytes) noexcept {
  return K().CheckUtf8(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size());
}

bool IsCleanUtf8(std::string_view Bytes, uint64_t& Breaks) noexcept {
  return K().CheckUtf8Counting(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), Breaks);
}

size_t FindLineEnd(std::string_view Text, size_t Start) noexcept {
  return K().FindLineEnd8(Text.data(), Text.size(), Start);
}
size_t FindLineEnd(std::u16string_view Text, size_t Start) noexcept {
  return K().FindLineEnd16(Text.data(), Text.size(), Start);
}

uint64_t CountBreaks(std::string_view Text) noexcept { return K().CountBreaks8(Text.data(), Text.size()); }
uint64_t CountBreaks(std::u16string_view Text) noexcept { return K().CountBreaks16(Text.data(), Text.size()); }

size_t CountLines(std::u16string_view Text) noexcept {
  return static_cast<size_t>(CountBreaks(Text)) + static_cast<size_t>(BreakLength(Text) == 0 && !Text.empty());
}

uint64_t CountBreaksFinding(std::string_view Bytes, std::string_view Wanted, std::vector<size_t>& At) {
  assert(Wanted.size() <= kMostWanted);
  At.clear();
  if (Wanted.empty()) return CountBreaks(Bytes);
  return K().CountBreaksFinding(Bytes.data(), Bytes.size(), Wanted, At);
}

size_t* CollectLineEnds(std::string_view Bytes, size_t* Ends) noexcept {
  return K().CollectEnds(Bytes.data(), Bytes.size(), Ends);
}

bool CollectCleanLineEnds(std::string_view Bytes, size_t*& Ends) noexcept {
  return K().CollectCleanEnds(Bytes.data(), Bytes.size(), Ends);
}

const TScanKernels& ScanKernelsInUse() noexcept { return K(); }
