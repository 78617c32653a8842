// Readable test texts: ␣ space, → tab, □ ideographic space, ¶ CR LF.
#pragma once

#include <string>
#include <string_view>

inline std::u16string N(std::u16string_view s) {
  std::u16string r;
  for (char16_t c : s) {
    switch (c) {
      case u'␣': r += u' '; break;
      case u'→': r += u'\t'; break;
      case u'□': r += u'\u3000'; break;
      case u'¶': r += u"\r\n"; break;
      default: r += c;
    }
  }
  return r;
}
