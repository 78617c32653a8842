// The edit model applied: each kind of edit dispatched to its transformation.
#include "EditUnit.h"

#include <algorithm>
#include <cstring>

#include "HeadSymbolDeletion.h"
#include "IndentKernel.h"
#include "LineBreaks.h"
#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "TextDecoding.h"
#include "Utf.h"

namespace {

// A symbol without tab or line break is an entry whose symbol is itself.
void FillEntries(TCommonStringRecordList& Entries, const std::vector<std::u16string>& Symbols) {
  for (const std::u16string& s : Symbols) Entries.Add(s);
}

}  // namespace

std::u16string ApplyEdit(std::u16string_view Text, const TEdit& Edit) {
  switch (Edit.Kind) {
    case ekInsert:
      return InsertHeadSymbol(Text, Edit.Symbol, Edit.Position, Edit.Target, Edit.Indent);
    case ekDeleteGiven:
      return DeleteSpecifiedHeadSymbol(Text, Edit.Symbol);
    case ekDeleteOnce:
    case ekDeleteAll: {
      TCommonStringRecordList entries;
      FillEntries(entries, Edit.Symbols);
      return Edit.Kind == ekDeleteOnce ? DeleteHeadSymbolsOnce(Text, entries) : DeleteHeadSymbolsAll(Text, entries);
    }
  }
  return std::u16string(Text);
}

bool EditWorksPieceByPiece(const TEdit& Edit) {
  switch (Edit.Kind) {
    case ekInsert:
      return Edit.Position == ipLineHead &&
             (Edit.Target == tlAll || Edit.Target == tlNonBlank || Edit.Target == tlAfterBlank);
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return true;
  }
  return false;
}

bool EditLooksAtTheLineBefore(const TEdit& Edit) {
  switch (Edit.Kind) {
    case ekInsert: return Edit.Target == tlAfterBlank;
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return false;
  }
  return false;
}

bool EditKeepsIndentation(const TEdit& Edit) {
  switch (Edit.Kind) {
    case ekInsert: return false;
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return true;
  }
  return false;
}

std::u16string ApplyEditToPiece(std::u16string_view Piece, const TEdit& Edit, bool AfterNonBlankLine) {
  if (Piece.empty()) return {};  // no line
  if (!(AfterNonBlankLine && EditLooksAtTheLineBefore(Edit))) return ApplyEdit(Piece, Edit);
  // A non-blank line of one character before the piece stands for the line
  // before it; that line, the first of the text, receives the symbol at its
  // head, and both are taken off again.
  std::u16string text = u"x\n";
  text += Piece;
  std::u16string edited = ApplyEdit(text, Edit);
  return edited.substr(Edit.Symbol.size() + 2);
}

std::u16string ApplyEditToMeasuredPiece(std::u16string_view Piece, const TEdit& Edit, const TIndentMeasure& Whole,
                                        bool AfterNonBlankLine) {
  switch (Edit.Kind) {
    case ekInsert:
      return InsertHeadSymbolInPiece(Piece, Edit.Symbol, Edit.Position, Edit.Target, Whole, AfterNonBlankLine,
                                     Edit.Indent);
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: break;
  }
  return ApplyEditToPiece(Piece, Edit, AfterNonBlankLine);
}

std::optional<std::string> ApplyEditToMeasuredUtf8Piece(std::string_view Piece, const TEdit& Edit,
                                                        const TIndentMeasure& Whole, bool AfterNonBlankLine) {
  switch (Edit.Kind) {
    case ekInsert: break;
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return std::nullopt;
  }
  const std::optional<std::string> symbol = Utf16ToUtf8(Edit.Symbol);
  if (!symbol) return std::nullopt;
  return InsertHeadSymbolInUtf8Piece(Piece, *symbol, Edit.Position, Edit.Target, Whole, AfterNonBlankLine,
                                     Edit.Indent);
}

std::optional<std::u16string> ApplyEditToLineHead(std::u16string_view Head, const TEdit& Edit, bool AfterNonBlankLine) {
  // Whether the line is blank, and where a deletion matches, show only
  // after the indentation.
  if (IndentLength(Head) == Head.size()) return std::nullopt;
  std::u16string edited = ApplyEditToPiece(Head, Edit, AfterNonBlankLine);
  if (!EditKeepsIndentation(Edit)) return edited;
  // Every pass of a deletion looks at most at the longest symbol after the
  // indentation, which only grows as symbols go: that must end inside Head.
  size_t longest = Edit.Symbol.size();
  for (const std::u16string& s : Edit.Symbols) longest = std::max(longest, s.size());
  if (IndentLength(edited) + longest >= edited.size()) return std::nullopt;
  return edited;
}

namespace {

// A form that is not UTF-8 (a lone surrogate) can never stand in UTF-8 text.
std::string FormOf(std::u16string_view Symbol) { return Utf16ToUtf8(Symbol).value_or(std::string()); }

bool Starts(std::string_view s, std::string_view head) { return !head.empty() && s.starts_with(head); }
bool CanStillBecome(std::string_view s, std::string_view form) { return s.size() < form.size() && form.starts_with(s); }

// The first CR or LF at or after `from`, or the end.
size_t NextBreak(std::string_view bytes, size_t from) {
  const char* begin = bytes.data() + from;
  const size_t rest = bytes.size() - from;
  const void* lf = std::memchr(begin, '\n', rest);
  const size_t beforeLf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - begin) : rest;
  const void* cr = std::memchr(begin, '\r', beforeLf);
  return from + (cr ? static_cast<size_t>(static_cast<const char*>(cr) - begin) : beforeLf);
}

}  // namespace

TToggleScan::TToggleScan(std::u16string_view Symbol) : Full(FormOf(Symbol)), Trimmed(FormOf(TrimView(Symbol))) {}

void TToggleScan::Feed(std::string_view Bytes) {
  size_t i = 0;
  for (; i < Bytes.size() && Seen < kUtf8Mark.size(); ++i) {
    // The first bytes wait until they show whether they are a mark.
    Lead += Bytes[i];
    ++Seen;
    if (kUtf8Mark.starts_with(Lead) && Lead.size() < kUtf8Mark.size()) continue;
    if (Lead != kUtf8Mark)
      for (char l : Lead) Take(l);
    Seen = kUtf8Mark.size();
  }
  while (i < Bytes.size()) {
    if (Judged) {
      // The rest of a judged line only needs its end found.
      const size_t end = NextBreak(Bytes, i);
      if (end == Bytes.size()) return;
      i = end;
    }
    Take(Bytes[i++]);
  }
}

void TToggleScan::Take(char Byte) {
  // A CR LF is taken as a CR, an empty line and an LF: an empty line is
  // blank and changes nothing.
  if (IsBreakUnit(Byte)) return EndLine();
  if (Judged) return;
  Head += Byte;
  while (InIndent) {
    if (const uint8_t kind = Head.empty() ? 0 : BlankAt(Head.data(), 0, Head.size())) Head.erase(0, BlankLength<char>(kind));
    else if (Head.empty() || TBlanks<char>::Ideographic.starts_with(Head)) return;
    else InIndent = false;
  }
  if (Starts(Head, Full) || Starts(Head, Trimmed)) {
    Judged = true;
  } else if (!CanStillBecome(Head, Full) && !CanStillBecome(Head, Trimmed)) {
    Judged = true;
    Missing = true;
  }
}

void TToggleScan::EndLine() {
  const bool blank = InIndent && Head.empty();
  if (!blank) NonBlank = true;
  if (!blank && !Judged) Missing = true;  // the line ended inside what might have been the symbol
  InIndent = true;
  Judged = false;
  Head.clear();
}

TToggleChoice TToggleScan::Finish() {
  if (Seen < kUtf8Mark.size()) {
    // Fewer bytes than a mark: they are text.
    Seen = kUtf8Mark.size();
    if (Lead != kUtf8Mark)
      for (char l : Lead) Take(l);
  }
  EndLine();
  return Missing ? tcInsert : NonBlank ? tcDelete : tcKeep;
}

void DropInvalidEntries(TCommonStringRecordList& Entries) {
  for (int32_t i = Entries.Count() - 1; i >= 0; --i) {
    if (!IsValidEntry(Entries.Item(i))) Entries.Delete(i);
  }
}

void SetValidEntries(TCommonStringRecordList& Entries, std::u16string_view SettingsText) {
  Entries.SetText(SettingsText);
  DropInvalidEntries(Entries);
}

std::vector<std::u16string> SymbolsOfEntries(const TCommonStringRecordList& Entries) {
  std::vector<std::u16string> symbols;
  symbols.reserve(static_cast<size_t>(Entries.Count()));
  for (int32_t i = 0; i < Entries.Count(); ++i) symbols.push_back(SymbolOfEntry(Entries.Item(i)));
  return symbols;
}
