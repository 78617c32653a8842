// The filter's UTF-8 check against the strict decoder, with every scan
// implementation forced: its verdict, the breaks and line ends it finds on
// the way, and where the first fault lies.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ByteFaults.h"
#include "LineBreaks.h"
#include "ScanIsas.h"
#include "TextBytes.h"
#include "TextScan.h"

namespace {

std::string Hex(std::string_view bytes) {
  std::string s;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    s += b;
  }
  return s;
}

// Every check, and the fault finder, against the decoder on one text.
void ExpectSameVerdict(std::string_view bytes) {
  const std::optional<TByteFault> expected = ReferenceFault(bytes);
  // The line ends by the definition of a break, a unit at a time.
  std::vector<size_t> lineEnds;
  for (size_t at = 0; at < bytes.size();) lineEnds.push_back(at = LineEndAt(bytes, at));
  const uint64_t lineBreaks = lineEnds.size() - (!bytes.empty() && BreakLength(bytes) == 0);
  ForEachIsa([&](TIsa) {
    EXPECT_EQ(IsCleanUtf8(bytes), !expected) << Hex(bytes);
    // The same verdict from the scans that count breaks or find line ends
    // as they check, and what they found.
    uint64_t breaks = 0;
    EXPECT_EQ(IsCleanUtf8(bytes, breaks), !expected) << "counting: " << Hex(bytes);
    if (!expected) {
      EXPECT_EQ(breaks, lineBreaks) << Hex(bytes);
    }
    TLineEnds ends;
    EXPECT_EQ(ends.CollectClean(bytes, breaks), !expected) << "collecting: " << Hex(bytes);
    if (!expected) {
      EXPECT_EQ(std::vector<size_t>(ends.begin(), ends.end()), lineEnds);
      EXPECT_EQ(breaks, lineBreaks) << Hex(bytes);
    }
  });
  const std::optional<TByteFault> got = FirstByteFault(bytes);
  ASSERT_EQ(got.has_value(), expected.has_value()) << Hex(bytes);
  if (got) {
    EXPECT_EQ(got->At, expected->At) << Hex(bytes);
    EXPECT_EQ(got->Nul, expected->Nul) << Hex(bytes);
  }
}

TEST(Utf8Check, RandomBytesAgreeWithDecoder) {
  // Bytes around every edge of the encoding: leads of each length, the
  // second bytes that make overlongs, surrogates and values too large.
  static const unsigned char edges[] = {0x00, 0x0A, 0x0D, 0x20, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                                        0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
  std::mt19937 rng(20261207);
  for (int round = 0; round < 20000; ++round) {
    std::string s(rng() % 80, 'a');
    for (char& c : s) c = static_cast<char>(edges[rng() % sizeof edges]);
    // Mostly clean text around them, so that the fault may lie anywhere in
    // a block, across two, or after a run of clean blocks.
    s.insert(0, std::string(rng() % (round % 2 ? 70 : 400), rng() % 2 ? 'x' : ' '));
    ExpectSameVerdict(s);
  }
}

TEST(Utf8Check, AdversarialSequencesAtEveryOffset) {
  const std::vector<std::string> sequences = {
      "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",  // overlong
      "\xED\xA0\x80", "\xED\xBF\xBF",                                                                 // surrogates
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF",                         // too large
      "\x80", "\xBF\x80", "\xC2", "\xE3\x81", "\xF0\x9F\x98", "\xE3\x81\x82\x80", std::string(1, '\0'),
      // valid edges
      "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80",
      "\xF4\x8F\xBF\xBF", "\x7F"};
  // Short ones, and long ones of lines where the sequence follows runs of
  // clean blocks.
  const auto repeated = [](std::string_view unit, size_t size) {
    std::string s;
    while (s.size() < size) s += unit;
    return s;
  };
  const std::string backgrounds[] = {std::string(100, 'a'), repeated("\xE6\x97\xA5", 100),
                                     repeated("ab\r\ncd\n", 400), repeated("\xE6\x97\xA5\r", 400)};
  for (const std::string& background : backgrounds)
    for (const std::string& seq : sequences)
      for (size_t at = 0; at + 30 <= background.size(); at += at < 70 ? 1 : 3) {
        std::string s = background;
        // At a character boundary of the background.
        size_t cut = at;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s.insert(cut, seq);
        ExpectSameVerdict(s);
        ExpectSameVerdict(std::string_view(s).substr(0, cut + seq.size()));  // at the very end
      }
}

TEST(Utf8Check, TruncationAtEveryByte) {
  // A clean text cut anywhere: clean exactly where a character ends.
  std::string text;
  for (int i = 0; i < 40; ++i) text += i % 4 == 0 ? "a" : i % 4 == 1 ? "\xC3\xA9" : i % 4 == 2 ? "\xE3\x81\x82" : "\xF0\x9F\x98\x80";
  for (size_t n = 0; n <= text.size(); ++n) ExpectSameVerdict(std::string_view(text).substr(0, n));
  // Long texts, past the window of the fault finder.
  std::string big(200000, 'z');
  big += "\xE3\x81";
  ExpectSameVerdict(big);
  big.insert(100000, std::string(1, '\0'));
  ExpectSameVerdict(big);
}

}  // namespace
