// Decoding of texts whose byte order mark names the encoding: a table of
// marked and unmarked byte strings, and random texts through all three marks.
#include "TextDecoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Utf.h"

namespace {

// Stands for the caller's rule for unmarked bytes: each byte one character,
// wrapped in brackets so that a test sees the rule was used.
std::u16string Unmarked(std::string_view bytes) {
  std::u16string out = u"[";
  for (char c : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out + u"]";
}

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

std::string Le(const std::u16string& text) { return "\xFF\xFE" + Utf16Bytes(text, false); }
std::string Be(const std::u16string& text) { return "\xFE\xFF" + Utf16Bytes(text, true); }

struct TCase {
  const char* What;
  std::string Bytes;
  TByteOrderMark Mark;
  std::u16string Text;
};

constexpr char16_t R = u'\uFFFD';

}  // namespace

TEST(TextDecoding, MarksAndMalformedInput) {
  const std::u16string japanese = u"> \t引用\r\n» \t→ ▶ \U0001F600\r\n";
  const TCase cases[] = {
      {"empty", "", bomNone, u"[]"},
      {"only a UTF-8 mark", "\xEF\xBB\xBF", bomUtf8, u""},
      {"only a UTF-16 LE mark", "\xFF\xFE", bomUtf16Le, u""},
      {"only a UTF-16 BE mark", "\xFE\xFF", bomUtf16Be, u""},
      {"unmarked ANSI bytes go to the caller's rule", "> \t\x88\xf8", bomNone, u"[> \t\u0088\u00f8]"},
      {"a partial UTF-8 mark is no mark", "\xEF\xBB", bomNone, u"[\u00ef\u00bb]"},
      {"one byte of a UTF-16 mark is no mark", "\xFF", bomNone, u"[\u00ff]"},
      {"UTF-8, mark dropped", "\xEF\xBB\xBF" + Utf16ToUtf8Lossy(japanese), bomUtf8, japanese},
      {"a second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBFx", bomUtf8, u"\uFEFFx"},
      {"UTF-16 LE", Le(japanese), bomUtf16Le, japanese},
      {"UTF-16 BE", Be(japanese), bomUtf16Be, japanese},
      // Malformed UTF-8: every byte that starts no well-formed sequence is one U+FFFD.
      {"stray continuation byte", "\xEF\xBB\xBF" "a\x80" "b", bomUtf8, {u'a', R, u'b'}},
      {"overlong slash", "\xEF\xBB\xBF\xC0\xAF", bomUtf8, {R, R}},
      {"truncated three-byte sequence", "\xEF\xBB\xBF\xE3\x81", bomUtf8, {R, R}},
      {"encoded surrogate", "\xEF\xBB\xBF\xED\xA0\x80z", bomUtf8, {R, R, R, u'z'}},
      {"beyond U+10FFFF", "\xEF\xBB\xBF\xF4\x90\x80\x80", bomUtf8, {R, R, R, R}},
      {"invalid byte inside Japanese", "\xEF\xBB\xBF\xE5\xBC\x95\xFF\xE7\x94\xA8", bomUtf8, {u'引', R, u'用'}},
      // The first and the last pair of surrogates, and the units just outside them.
      {"U+10000 and U+10FFFF in UTF-16 LE", Le(u"\U00010000\U0010FFFF"), bomUtf16Le, u"\U00010000\U0010FFFF"},
      {"U+10FFFF in UTF-16 BE", Be(u"\U0010FFFF"), bomUtf16Be, u"\U0010FFFF"},
      {"U+10FFFF in UTF-8", "\xEF\xBB\xBF\xF4\x8F\xBF\xBF", bomUtf8, u"\U0010FFFF"},
      {"units beside the surrogates", Le({u'\xD7FF', u'\xDBFF', u'\xE000'}), bomUtf16Le, {u'\xD7FF', R, u'\xE000'}},
      // Malformed UTF-16: lone surrogates and an odd last byte.
      {"lone high surrogate at the end", Le({u'a', u'\xD83D'}), bomUtf16Le, {u'a', R}},
      {"lone low surrogate", Be({u'\xDE00', u'b'}), bomUtf16Be, {R, u'b'}},
      {"high surrogate before a plain unit", Le({u'\xD83D', u'c'}), bomUtf16Le, {R, u'c'}},
      {"reversed surrogate pair", Le({u'\xDE00', u'\xD83D'}), bomUtf16Le, {R, R}},
      {"odd byte count", Le(u"ab") + "x", bomUtf16Le, {u'a', u'b', R}},
      {"mark and one odd byte", "\xFE\xFF\x30", bomUtf16Be, {R}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(ByteOrderMarkOf(c.Bytes), c.Mark);
    EXPECT_EQ(DecodeMarkedText(c.Bytes, Unmarked), c.Text);
  }
  EXPECT_EQ(ByteOrderMarkLength(bomNone), 0u);
  EXPECT_EQ(ByteOrderMarkLength(bomUtf8), 3u);
  EXPECT_EQ(ByteOrderMarkLength(bomUtf16Le), 2u);
  EXPECT_EQ(ByteOrderMarkLength(bomUtf16Be), 2u);
}

TEST(TextDecoding, RandomTextsThroughEveryMark) {
  // Random well-formed texts (ASCII, Japanese, supplementary characters,
  // line breaks) come back whole in each encoding; cut short, or with a byte
  // changed, they never fail and keep their length within bounds.
  std::mt19937 random(20240601);
  const char32_t alphabet[] = {U'a', U' ', U'\t', U'\r', U'\n', U'>', U'»', U'引', U'用', U'ｶ', U'\u3000', U'\U0001F600'};
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) {
      const char32_t c = alphabet[random() % std::size(alphabet)];
      if (c > 0xFFFF) {
        text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        text += static_cast<char16_t>(c);
      }
    }
    const std::string encoded[] = {"\xEF\xBB\xBF" + Utf16ToUtf8Lossy(text), Le(text), Be(text)};
    for (const std::string& bytes : encoded) {
      EXPECT_EQ(DecodeMarkedText(bytes, Unmarked), text);
      std::string broken = bytes;
      if (broken.size() > 3) {
        broken[3 + random() % (broken.size() - 3)] ^= static_cast<char>(1 + random() % 255);
        broken.resize(3 + random() % (broken.size() - 2));
      }
      const std::u16string decoded = DecodeMarkedText(broken, Unmarked);
      EXPECT_LE(decoded.size(), broken.size());
      EXPECT_TRUE(Utf16ToUtf8(decoded).has_value()) << "no lone surrogate survives";
    }
  }
}
