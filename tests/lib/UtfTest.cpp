// UTF conversions: every implementation against the others and against malformed input.
#include "Utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ScanIsas.h"

namespace {

// Runs `body` once with every conversion implementation this processor has.
template <class F>
void ForEachCodec(F body) {
  ForEachIsa([&](TIsa) { body(); });
}

size_t BadOffset(const std::string& s) {
  size_t bad = SIZE_MAX;
  EXPECT_FALSE(Utf8ToUtf16(s, &bad)) << s;
  return bad;
}

}  // namespace

TEST(Utf, RoundTripAndRejects) {
  ForEachCodec([] {
    const std::string text = "a\r\n日本語 \xF0\x9F\x98\x80 end of a longer ascii run";
    auto u = Utf8ToUtf16(text);
    ASSERT_TRUE(u);
    EXPECT_EQ(*u, u"a\r\n日本語 \U0001F600 end of a longer ascii run");
    EXPECT_EQ(Utf16ToUtf8(*u), text);
    size_t bad = 0;
    for (std::string s : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81", "\x80", "ok\xFF"}) {
      EXPECT_FALSE(Utf8ToUtf16(s, &bad)) << s;
    }
    EXPECT_FALSE(Utf8ToUtf16("abcdefghij\xFF", &bad));
    EXPECT_EQ(bad, 10u);
    EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
    EXPECT_EQ(Utf16ToUtf8Lossy(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  });
}

// Texts long enough for the block-wise paths: characters cut by the 16- and
// 32-byte block ends, and bad bytes inside blocks that are otherwise fast.
TEST(Utf, BlockBoundaries) {
  ForEachCodec([] {
    const std::string kana = "\xE3\x81\x82";  // あ
    for (size_t pad = 0; pad < 40; ++pad) {
      std::string s(pad, 'x');
      std::u16string u(pad, u'x');
      for (int k = 0; k < 12; ++k) s += kana, u += u'\u3042';
      s += "tail of ascii after the kana";
      u += u"tail of ascii after the kana";
      EXPECT_EQ(Utf8ToUtf16(s), u) << pad;
      EXPECT_EQ(Utf16ToUtf8(u), s) << pad;
      // The last byte of the fourth kana made bad, a continuation byte where
      // a lead is due, a truncated kana at the end.
      std::string broken = s;
      broken[pad + 11] = 'y';
      EXPECT_EQ(BadOffset(broken), pad + 9) << pad;
      broken = s.substr(0, pad + 6) + "\x81" + s.substr(pad + 6);
      EXPECT_EQ(BadOffset(broken), pad + 6) << pad;
      EXPECT_EQ(BadOffset(std::string(pad, 'x') + kana + kana + "\xE3\x81"), pad + 6) << pad;
      // Surrogate, overlong and stray lead bytes amid kana.
      for (const std::string bad : {"\xED\xA0\x80", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xC1\xBF", "\xF5\x80\x80\x80",
                                    "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xFF"}) {
        std::string t = std::string(pad, ' ') + kana + kana + bad + kana + kana + kana + kana + kana + "end";
        EXPECT_EQ(BadOffset(t), pad + 6) << pad;
      }
      // The edges of the valid three-byte ranges.
      std::string edges = std::string(pad, ' ') + "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF" + kana + kana +
                          kana + kana + "ascii";
      EXPECT_EQ(Utf8ToUtf16(edges), std::u16string(pad, u' ') + u"\u0800\uD7FF\uE000\uFFFF" + u"ああああascii");
      // Four-byte and two-byte characters next to three-byte ones.
      std::string mixed = std::string(pad, 'z') + kana + "\xF0\x9F\x98\x80" + kana + "\xC3\xA9" + kana + kana +
                          "\xF4\x8F\xBF\xBF" + kana + kana + kana + "...";
      std::u16string mixedU = std::u16string(pad, u'z') + u"あ\U0001F600あéああ\U0010FFFFあああ...";
      EXPECT_EQ(Utf8ToUtf16(mixed), mixedU) << pad;
      EXPECT_EQ(Utf16ToUtf8(mixedU), mixed) << pad;
      // Lone surrogates on either side of a block end.
      for (char16_t lone : {char16_t(0xD800), char16_t(0xDFFF)}) {
        std::u16string l = std::u16string(pad, u'a') + u"あいうえおかきくけこ" + lone + u"さしすせそ";
        EXPECT_FALSE(Utf16ToUtf8(l)) << pad;
        std::string lossy = Utf16ToUtf8Lossy(l);
        EXPECT_EQ(lossy, std::string(pad, 'a') + "あいうえおかきくけこ\xEF\xBF\xBDさしすせそ") << pad;
      }
    }
  });
}

// Every implementation gives exactly what the portable one gives, on texts
// built from pieces of every kind, valid and not.
TEST(Utf, ImplementationsAgree) {
  static const char* const pieces[] = {"a",  "0123456789abcdef", " ",        "\r\n",         "\xE3\x81\x82",
                                       "\xE3\x80\x80", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF",
                                       "\xE0\xA0\x80", "\xED\xA0\x80", "\xE0\x9F\xBF", "\x80", "\xE3\x81",
                                       "\xC0\xAF",     "\xF8",     "\x7F",          "\xEE\x80\x80"};
  const size_t kinds = sizeof pieces / sizeof *pieces;
  uint32_t seed = 2024;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  const TIsa saved = ScanIsa();
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    const uint32_t len = next(60);
    const bool valid = next(3) == 0;  // mostly one bad piece at most
    for (uint32_t k = 0; k < len; ++k) {
      uint32_t p = next(kinds);
      if (valid || next(8)) p = next(12);  // 0..11 are the valid ones, except 11
      s += pieces[p];
    }
    std::u16string units;
    for (uint32_t k = 0, len2 = next(50); k < len2; ++k) {
      static const char16_t kUnits[] = {u'a', u' ', u'\u3042', u'\u00E9', 0xD800, 0xDC00, 0x7FF, 0x800, 0xFFFF, 0xD7FF};
      units += kUnits[next(sizeof kUnits / sizeof *kUnits)];
    }
    ASSERT_TRUE(SetScanIsa(TIsa::Scalar));
    size_t badScalar = SIZE_MAX;
    const auto decoded = Utf8ToUtf16(s, &badScalar);
    const auto encoded = Utf16ToUtf8(units);
    const std::string lossy = Utf16ToUtf8Lossy(units);
    for (TIsa isa : IsasThisProcessorRuns()) {
      SetScanIsa(isa);
      size_t bad = SIZE_MAX;
      EXPECT_EQ(Utf8ToUtf16(s, &bad), decoded) << round;
      EXPECT_EQ(bad, badScalar) << round;
      EXPECT_EQ(Utf16ToUtf8(units), encoded) << round;
      EXPECT_EQ(Utf16ToUtf8Lossy(units), lossy) << round;
    }
  }
  SetScanIsa(saved);
}
