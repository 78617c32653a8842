// Failures and message quoting of the filter.
#include "Messages.h"

#include <cstdio>

#include "Translate.h"

#include "Utf.h"

std::string FailureText(const TFailure& Failure) {
  if (Failure.Place.empty()) return "marquill: " + Failure.Message;
  return "marquill:" + Failure.Place + ": " + Failure.Message;
}

void FailUsage(const std::string& Message) { throw TFailure{kExitBad, Message, true, {}}; }
void FailBadInput(const std::string& Message) { throw TFailure{kExitBad, Message, false, {}}; }
void FailIo(const std::string& Message) { throw TFailure{kExitIo, Message, false, {}}; }

void FailBadInputAt(const std::string& File, uint64_t Line, uint64_t Column, const std::string& Message) {
  throw TFailure{kExitBad, Message, false, Escape(File) + ":" + std::to_string(Line) + ":" + std::to_string(Column)};
}

namespace {

// Whether the UTF-8 character at i is full-width: kana, kanji, CJK
// punctuation (U+3000 to U+9FFF) or a full-width form (U+FF00 to U+FF5F).
bool IsWideAt(std::string_view s, size_t i) {
  if (i >= s.size()) return false;
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c >= 0xE3 && c <= 0xE9) return true;
  return c == 0xEF && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xFE) == 0xBC;
}

// Whether the UTF-8 text ends with a full-width character.
bool EndsWide(std::string_view s) { return s.size() >= 3 && IsWideAt(s, s.size() - 3); }

}  // namespace

std::string Fill(std::string_view Template, std::initializer_list<std::string_view> Values) {
  std::string out;
  size_t next = 0;  // the value a plain %s takes
  for (size_t i = 0; i < Template.size(); ++i) {
    if (Template[i] != '%' || i + 1 == Template.size()) {
      out += Template[i];
      continue;
    }
    size_t j = i + 1;
    size_t index = next;
    if (Template[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    if (Template[j] >= '1' && Template[j] <= '9' && j + 2 < Template.size() && Template[j + 1] == '$') {
      index = static_cast<size_t>(Template[j] - '1');
      j += 2;
    } else {
      ++next;
    }
    if (Template[j] != 's' || index >= Values.size()) {
      out += Template[i];
      continue;
    }
    // No space between two full-width characters, as Japanese is written:
    // a translated name such as 出力 goes next to its particle.
    const std::string_view value = Values.begin()[index];
    if (IsWideAt(value, 0) && !out.empty() && out.back() == ' ' &&
        EndsWide(std::string_view(out).substr(0, out.size() - 1)))
      out.pop_back();
    out.append(value);
    i = j;
    if (EndsWide(value) && i + 1 < Template.size() && Template[i + 1] == ' ' && IsWideAt(Template, i + 2)) ++i;
  }
  return out;
}

const char* ShortEscape(unsigned char c) {
  switch (c) {
    case '\t': return "\\t";
    case '\r': return "\\r";
    case '\n': return "\\n";
    case '\\': return "\\\\";
    default: return nullptr;
  }
}

std::string Quote(std::string_view Text) {
  // Japanese quotes a text with corner brackets, as its messages do.
  const bool japanese = UsesJapanese();
  std::string quoted = japanese ? "\xE3\x80\x8C" : "'";  // 「
  quoted += Escape(Text);
  quoted += japanese ? "\xE3\x80\x8D" : "'";  // 」
  return quoted;
}

std::string Escape(std::string_view Text) {
  std::string q;
  for (size_t i = 0; i < Text.size();) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (c >= 0x80) {
      // A whole UTF-8 character passes; anything else is shown as bytes.
      const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      const auto decoded = len > 1 && i + len <= Text.size() ? Utf8ToUtf16(Text.substr(i, len)) : std::nullopt;
      // C1 controls (U+0080 to U+009F) are escaped like the C0 ones.
      if (decoded && !((*decoded)[0] >= 0x80 && (*decoded)[0] <= 0x9F)) {
        q.append(Text.substr(i, len));
        i += len;
        continue;
      }
    }
    if (const char* escape = ShortEscape(c)) q += escape;
    else if (c < 0x20 || c == 0x7F || c >= 0x80) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      q += hex;
    } else q += static_cast<char>(c);
    ++i;
  }
  return q;
}
