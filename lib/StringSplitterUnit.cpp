// Cutting a text at delimiters: the splitter class and the one-shot count and piece.
#include "StringSplitterUnit.h"

#include "Errors.h"
#include "Platform.h"

TDelimitStyle SplitFlagsToDelimitStyle(TSplitFlags Flags) {
  switch (Flags.Bits) {
    case 0: return dsSkipEmpty;
    case 1: return dsDelimiterSkipEmpty;
    case 2: return dsKeepEmpty;
    case 3: return dsDelimiterKeepEmpty;
    default:
      // Source name and line are fixed texts of the message users see, not
      // this file's: keep them as they are.
      AssertFail(u"Error SplitFlagsToDelimitStyle", u"StringSplitterUnit\\StringSplitterUnit", 128);
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


int32_t TStringSplitter::IndexOf(std::u16string_view Word, bool IgnoreCase) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (PlatformWordsEqual(FWords->Item(i), Word, IgnoreCase)) return i;
  return -1;
}
