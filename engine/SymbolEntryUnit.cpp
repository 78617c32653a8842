// Symbol entries: validity, symbol and caption of a settings line, and caption escapes.
#include "SymbolEntryUnit.h"

#include "StringSplitterUnit.h"
#include "StringUnit.h"

namespace {

const TStringDynArray& TabDelimiter() {
  static const TStringDynArray tab{u"\t"};
  return tab;
}

}  // namespace

bool IsValidEntry(std::u16string_view Entry) {
  return SplitCount(Entry, TabDelimiter(), DefaultSplitFlags) == 2;
}

std::u16string SymbolOfEntry(std::u16string_view Entry) {
  // Callers pass valid entries; anything without a field gives no symbol
  // rather than a list index error.
  if (SplitCount(Entry, TabDelimiter(), DefaultSplitFlags) < 1) return {};
  return SplitItem(Entry, TabDelimiter(), 0, DefaultSplitFlags);
}

std::u16string CaptionOfEntry(std::u16string_view Entry) {
  if (SplitCount(Entry, TabDelimiter(), DefaultSplitFlags) < 2) return {};
  const std::u16string field = SplitItem(Entry, TabDelimiter(), 1, DefaultSplitFlags);
  return DecodeEscapes(TrimRightView(field));
}

std::u16string CaptionFieldOfEntry(std::u16string_view Entry) {
  if (SplitCount(Entry, TabDelimiter(), DefaultSplitFlags) < 2) return {};
  std::u16string field = SplitItem(Entry, TabDelimiter(), 1, DefaultSplitFlags);
  while (!field.empty() && (field.back() == u'\r' || field.back() == u'\n')) field.pop_back();
  return field;
}

std::u16string DecodeEscapes(std::u16string_view S) {
  std::u16string result;
  result.reserve(S.size());
  size_t i = 0;
  while (i < S.size()) {
    const char16_t c = S[i];
    if (c != u'\\') {
      result.push_back(c);
      ++i;
      continue;
    }
    const char16_t next = i + 1 < S.size() ? S[i + 1] : u'\0';
    const bool hasNext = i + 1 < S.size();
    if (hasNext && (next == u'r' || next == u'R')) {
      result.push_back(u'\r');
      i += 2;
    } else if (hasNext && (next == u'n' || next == u'N')) {
      result.push_back(u'\n');
      i += 2;
    } else if (hasNext && (next == u't' || next == u'T')) {
      result.push_back(u'\t');
      i += 2;
    } else if (hasNext && next == u'\\') {
      result.push_back(u'\\');
      i += 2;
    } else {
      ++i;  // a lone backslash is dropped; what follows is read normally
    }
  }
  return result;
}
