// The text scans: every implementation this processor runs against the
// definition of a line break (LineBreaks.h) and the strict decoder, on
// random texts around the vector widths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "LineBreaks.h"
#include "ScanIsas.h"
#include "TextScan.h"
#include "Utf.h"

namespace {

// Random texts: breaks of every kind, bytes that differ from CR or LF in
// the high bit only, characters of two to four bytes, a NUL, a bad byte;
// lengths around the 16-, 32-, 64- and 128-byte blocks, and runs of breaks
// long enough for a counting lane to reach its limit.
std::vector<std::string> Texts() {
  static const char* const pieces[] = {"a",    "\r",          "\n", "\r\n", "\x8A", "\x8D", "\xE3\x80\x80",
                                       " ",    "\xC3\xA9",    "\t", "\0",   "\xFF", "xyz",  "\xF0\x9F\x98\x80",
                                       "\r\r", "\xE3\x81\x82"};
  std::vector<std::string> texts = {"",
                                    "\r",
                                    "\n",
                                    "\r\n",
                                    "a\r",
                                    std::string(20000, '\n'),
                                    std::string(20000, '\r'),
                                    std::string(4081, '\r') + "\n",
                                    std::string(70000, '\n') + "\r"};
  std::mt19937 rng(20261207);
  for (int round = 0; round < 1500; ++round) {
    std::string s;
    const size_t pieceCount = rng() % (round % 10 == 0 ? 400 : 90);
    const bool clean = rng() % 2 == 0;  // half without a NUL or a bad byte
    for (size_t k = 0; k < pieceCount; ++k) {
      size_t p = rng() % 16;
      if (clean && (p == 10 || p == 11)) p = 0;
      s += p == 10 ? std::string(1, '\0') : pieces[p];
    }
    texts.push_back(s);
  }
  return texts;
}

// The model: each line's end, a unit at a time.
template <class C>
std::vector<size_t> EndsByDefinition(std::basic_string_view<C> s) {
  std::vector<size_t> ends;
  for (size_t at = 0; at < s.size();) ends.push_back(at = LineEndAt(s, at));
  return ends;
}

// Bytes that are clean by the strict decoder and hold no NUL.
bool CleanByDecoder(std::string_view s) { return Utf8ToUtf16(s).has_value() && s.find('\0') == s.npos; }

}  // namespace

TEST(TextScan, EveryImplementationCutsAndCountsByTheDefinition) {
  for (const std::string& s : Texts()) {
    const std::string_view bytes(s);
    const std::u16string units(s.begin(), s.end());  // one unit per byte
    const std::vector<size_t> ends = EndsByDefinition(bytes);
    const uint64_t breaks = ends.size() - (!s.empty() && BreakLength(bytes) == 0);
    const bool clean = CleanByDecoder(bytes);
    ForEachIsa([&](TIsa) {
      ASSERT_EQ(CountBreaks(bytes), breaks) << s.size();
      ASSERT_EQ(CountBreaks(std::u16string_view(units)), breaks) << s.size();
      ASSERT_EQ(CountLines(units), ends.size()) << s.size();
      for (size_t start = 0, k = 0; start < s.size(); start = ends[k++]) {
        ASSERT_EQ(FindLineEnd(bytes, start), ends[k]) << s.size();
        ASSERT_EQ(FindLineEnd(std::u16string_view(units), start), ends[k]) << s.size();
      }
      // Exactly the room the scans are promised, so that a write past it
      // is caught by the address sanitizer.
      const std::unique_ptr<size_t[]> room(new size_t[s.size() + kLineEndsSlack]);
      const std::vector<size_t> breakEnds(ends.begin(), ends.begin() + static_cast<ptrdiff_t>(breaks));
      ASSERT_EQ(std::vector<size_t>(room.get(), CollectLineEnds(bytes, room.get())), breakEnds) << s.size();
      size_t* e = room.get();
      ASSERT_EQ(CollectCleanLineEnds(bytes, e), clean) << s.size();
      if (clean) {
        ASSERT_EQ(std::vector<size_t>(room.get(), e), breakEnds) << s.size();
      }
      ASSERT_EQ(IsCleanUtf8(bytes), clean) << s.size();
      uint64_t counted = 0;
      ASSERT_EQ(IsCleanUtf8(bytes, counted), clean) << s.size();
      if (clean) {
        ASSERT_EQ(counted, breaks) << s.size();
      }
    });
  }
}

TEST(TextScan, EveryImplementationFindsTheWantedBytes) {
  static const std::string_view wantedSets[] = {"", ">", "\r", "\n>", "#>\xE3", "\x8A\x8D\r\n"};
  for (const std::string& s : Texts()) {
    for (std::string_view wanted : wantedSets) {
      std::vector<size_t> expected;
      for (size_t i = 0; i < s.size(); ++i)
        if (wanted.find(s[i]) != wanted.npos) expected.push_back(i);
      ForEachIsa([&](TIsa) {
        std::vector<size_t> at = {12345};  // cleared first
        ASSERT_EQ(CountBreaksFinding(s, wanted, at), CountBreaks(std::string_view(s)));
        ASSERT_EQ(at, expected) << s.size() << " " << wanted;
      });
    }
  }
}

TEST(TextScan, TheEnvironmentNamesAnImplementation) {
  EXPECT_EQ(IsaNamed("scalar"), TIsa::Scalar);
  EXPECT_EQ(IsaNamed("sse2"), TIsa::Sse2);
  EXPECT_EQ(IsaNamed("avx2"), TIsa::Avx2);
  EXPECT_EQ(IsaNamed("AVX2"), std::nullopt);
  EXPECT_EQ(IsaNamed(""), std::nullopt);
  // The portable one runs everywhere and is always offered first.
  ASSERT_FALSE(IsasThisProcessorRuns().empty());
  EXPECT_EQ(IsasThisProcessorRuns().front(), TIsa::Scalar);
  for (TIsa isa : {TIsa::Scalar, TIsa::Sse2, TIsa::Avx2}) {
    const std::vector<TIsa> runs = IsasThisProcessorRuns();
    const bool offered = std::find(runs.begin(), runs.end(), isa) != runs.end();
    const TIsa saved = ScanIsa();
    EXPECT_EQ(SetScanIsa(isa), offered);
    EXPECT_EQ(ScanIsa(), offered ? isa : saved);
    SetScanIsa(saved);
  }
}

TEST(TextScan, UnitsThatDifferFromBreaksInTheirHighByte) {
  // Texts of every length around the eight-character blocks, with breaks
  // placed at block edges and a CR LF split across two blocks.
  ForEachIsa([](TIsa) {
    std::mt19937 rng(5);
    const char16_t pool[] = {u'a', u'\r', u'\n', u'\u0d0a', u'\u0a0d', u'\xD800', u'\0', u'\t'};
    for (int round = 0; round < 3000; ++round) {
      std::u16string s(static_cast<size_t>(round % 41), u'x');
      for (char16_t& c : s) c = pool[rng() % 8];
      size_t lines = 0;
      for (size_t start = 0; start < s.size(); ++lines) {
        ASSERT_EQ(FindLineEnd(s, start), LineEndAt(s, start)) << round;
        start = LineEndAt(s, start);
      }
      ASSERT_EQ(CountLines(s), lines) << round;
    }
    // Long enough for the per-lane counters to be added up several times.
    std::u16string longText;
    while (longText.size() < 200000) longText += u"ab\r\ncd\re\n\n";
    size_t longLines = 0;
    ForEachLine(longText, [&](std::u16string_view) { ++longLines; });
    EXPECT_EQ(CountLines(longText), longLines);
    EXPECT_EQ(CountLines(u""), 0u);
    EXPECT_EQ(CountLines(u"abcdefg\r\nh"), 2u);
    EXPECT_EQ(CountLines(u"abcdefgh\r\n"), 1u);
    EXPECT_EQ(CountLines(u"\n\r\r\n\r"), 4u);
  });
}

namespace {

// The breaks of a text counted a unit at a time (a CR at the end is one).
template <class C>
uint64_t BreaksByDefinition(std::basic_string_view<C> s) {
  uint64_t breaks = 0;
  for (size_t at = 0; at < s.size(); ++breaks) {
    at = LineEndAt(s, at);
    if (at == s.size() && BreakLength(s.substr(0, at)) == 0) break;
  }
  return breaks;
}

// A copy in a heap block of exactly its size, so that a read one unit past
// the end is caught by the address sanitizer.
template <class C>
std::unique_ptr<C[]> ExactCopy(std::basic_string_view<C> s) {
  std::unique_ptr<C[]> copy(new C[s.size()]);
  std::copy(s.begin(), s.end(), copy.get());
  return copy;
}

}  // namespace

TEST(TextScan, NoImplementationReadsPastTheEnd) {
  // Every length up to several 64-byte blocks, ending in each kind of unit.
  std::mt19937 rng(12);
  static const char kUnits[] = {'a', '\r', '\n'};
  ForEachIsa([&](TIsa) {
    for (size_t n = 0; n <= 200; ++n) {
      for (char last : kUnits) {
        std::string s(n, 'x');
        for (char& c : s) c = kUnits[rng() % 3];
        if (n) s.back() = last;
        const std::u16string units(s.begin(), s.end());
        const auto bytes = ExactCopy(std::string_view(s));
        const auto wide = ExactCopy(std::u16string_view(units));
        const std::string_view b(bytes.get(), n);
        const std::u16string_view w(wide.get(), n);
        const uint64_t breaks = BreaksByDefinition(std::string_view(s));
        ASSERT_EQ(CountBreaks(b), breaks) << n;
        ASSERT_EQ(CountBreaks(w), breaks) << n;
        std::vector<size_t> at;
        ASSERT_EQ(CountBreaksFinding(b, "\n", at), breaks) << n;
        uint64_t counted = 0;
        ASSERT_TRUE(IsCleanUtf8(b, counted)) << n;
        ASSERT_EQ(counted, breaks) << n;
        for (size_t start = 0; start < n; start = LineEndAt(b, start)) {
          ASSERT_EQ(FindLineEnd(b, start), LineEndAt(b, start)) << n;
          ASSERT_EQ(FindLineEnd(w, start), LineEndAt(b, start)) << n;
        }
      }
    }
  });
}

TEST(TextScan, CountingLanesNeverWrap) {
  // More breaks than a 16-bit lane holds, in each of as many as 32 lanes.
  const size_t n = (size_t{65536} + 3) * 32;
  for (char16_t unit : {u'\n', u'\r'}) {
    const std::u16string units(n, unit);
    const std::string bytes(n, static_cast<char>(unit));
    ForEachIsa([&](TIsa) {
      EXPECT_EQ(CountBreaks(std::u16string_view(units)), n);
      EXPECT_EQ(CountBreaks(std::string_view(bytes)), n);
      EXPECT_EQ(CountLines(units), n);
    });
  }
}

TEST(TextScan, TheEnvironmentChoosesAtStartUp) {
  // Run by CTest with MARQUILL_FORCE_ISA set to each name as well: the
  // choice made at start-up is the named one where this processor runs it,
  // and else the best it runs.
  const char* forced = std::getenv("MARQUILL_FORCE_ISA");
  const std::optional<TIsa> named = forced ? IsaNamed(forced) : std::nullopt;
  const std::vector<TIsa> runs = IsasThisProcessorRuns();
  const bool runsNamed = named && std::find(runs.begin(), runs.end(), *named) != runs.end();
  EXPECT_EQ(IsaName(ScanIsa()), IsaName(runsNamed ? *named : runs.back())) << (forced ? forced : "(not set)");
}
