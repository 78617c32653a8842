#include "StringSplitterUnit.h"

#include "Errors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cwctype>
#endif

TDelimitStyle SplitFlagsToDelimitStyle(TSplitFlags Flags) {
  switch (Flags.Bits) {
    case 0: return dsSkipEmpty;
    case 1: return dsDelimiterSkipEmpty;
    case 2: return dsKeepEmpty;
    case 3: return dsDelimiterKeepEmpty;
    default: AssertFail(u"Error SplitFlagsToDelimitStyle", u"StringSplitterUnit\\StringSplitterUnit", 128);
  }
}

int32_t SplitCount(std::u16string_view S, const TStringDynArray& Delimiters, TSplitFlags Flags) {
  TStringRecordListAccess list;
  list.Split(S, Delimiters, SplitFlagsToDelimitStyle(Flags));
  return list.Count();
}

std::u16string SplitItem(std::u16string_view S, const TStringDynArray& Delimiters, int32_t Index, TSplitFlags Flags) {
  TStringRecordListAccess list;
  list.Split(S, Delimiters, SplitFlagsToDelimitStyle(Flags));
  return list.Items(Index);
}

TStringSplitter::TStringSplitter(std::u16string_view Sentence, const TStringDynArray& Delimiters, TSplitFlags Flags)
    : FWords(std::make_unique<TStringRecordListAccess>()), FSentence(Sentence) {
  FWords->Split(Sentence, Delimiters, SplitFlagsToDelimitStyle(Flags));
  FDelimiters = Delimiters;
}

std::u16string TStringSplitter::Words(int32_t Index) const {
  if (Index < 0 || Index > Count() - 1) return std::u16string();
  return FWords->Items(Index);
}

namespace {
bool WordsEqual(const std::u16string& a, std::u16string_view b, bool ignoreCase) {
#ifdef _WIN32
  return CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, reinterpret_cast<LPCWSTR>(a.data()),
                        static_cast<int>(a.size()), reinterpret_cast<LPCWSTR>(b.data()),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
#else
  if (!ignoreCase) return a == b;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  return true;
#endif
}
}  // namespace

int32_t TStringSplitter::IndexOf(std::u16string_view Word, bool IgnoreCase) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (WordsEqual(FWords->Item(i), Word, IgnoreCase)) return i;
  return -1;
}
