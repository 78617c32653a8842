// Runs a test body once with every scan implementation this processor runs
// (TextScan.h), the portable one first, and puts back the one in use.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "TextScan.h"

inline const char* IsaName(TIsa isa) {
  switch (isa) {
    case TIsa::Scalar: return "scalar";
    case TIsa::Sse2: return "sse2";
    case TIsa::Avx2: return "avx2";
  }
  return "?";
}

template <class F>
void ForEachIsa(F body) {
  const TIsa saved = ScanIsa();
  for (TIsa isa : IsasThisProcessorRuns()) {
    SetScanIsa(isa);
    SCOPED_TRACE(IsaName(isa));
    body(isa);
  }
  SetScanIsa(saved);
}

// The scan implementation of a randomized test's round: each in turn, so
// that the rounds check them all without running each round thrice.
class TIsaOfRound {
public:
  explicit TIsaOfRound(int Round) {
    const std::vector<TIsa> isas = IsasThisProcessorRuns();
    SetScanIsa(isas[static_cast<size_t>(Round) % isas.size()]);
  }
  ~TIsaOfRound() { SetScanIsa(FSaved); }

private:
  const TIsa FSaved = ScanIsa();
};
