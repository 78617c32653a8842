// Small generated texts dense in indentation, line breaks and odd characters.
#pragma once

#include <random>
#include <string>

inline std::u16string RandomText(std::mt19937& rng, size_t maxLength) {
  static const char16_t alphabet[] = {u' ',  u' ',  u'\t', u'\u3000', u'\r', u'\n', u'\n', u'a',
                                      u'b',  u'>',  u'#',  u'/',      u'あ', u'\0', u'\xD800', u'\xDC00'};
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) / sizeof(alphabet[0]) - 1);
  std::u16string s(length(rng), u'a');
  for (char16_t& c : s) c = alphabet[pick(rng)];
  return s;
}
