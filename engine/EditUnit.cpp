// The edit model applied: each kind of edit dispatched to its transformation.
#include "EditUnit.h"

#include <algorithm>

#include "HeadSymbolUnit.h"
#include "StringUnit.h"
#include "SymbolEntryUnit.h"
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
      return InsertHeadSymbol(Text, Edit.Symbol, Edit.Position, Edit.Target);
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

bool EditWorksLineByLine(const TEdit& Edit) {
  if (Edit.Kind != ekInsert) return true;
  return Edit.Position == ipLineHead && (Edit.Target == tlAll || Edit.Target == tlNonBlank);
}

bool EditWorksPieceByPiece(const TEdit& Edit) {
  return EditWorksLineByLine(Edit) ||
         (Edit.Kind == ekInsert && Edit.Position == ipLineHead && Edit.Target == tlAfterBlank);
}

std::u16string ApplyEditToPiece(std::u16string_view Piece, const TEdit& Edit, bool AfterNonBlankLine) {
  if (Piece.empty()) return {};  // no line
  if (!(AfterNonBlankLine && Edit.Kind == ekInsert && Edit.Target == tlAfterBlank)) return ApplyEdit(Piece, Edit);
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
  if (Edit.Kind != ekInsert) return ApplyEditToPiece(Piece, Edit, AfterNonBlankLine);
  return InsertHeadSymbolInPiece(Piece, Edit.Symbol, Edit.Position, Edit.Target, Whole, AfterNonBlankLine);
}

std::optional<std::string> ApplyEditToMeasuredUtf8Piece(std::string_view Piece, const TEdit& Edit,
                                                        const TIndentMeasure& Whole, bool AfterNonBlankLine) {
  if (Edit.Kind != ekInsert) return std::nullopt;
  const std::optional<std::string> symbol = Utf16ToUtf8(Edit.Symbol);
  if (!symbol) return std::nullopt;
  return InsertHeadSymbolInUtf8Piece(Piece, *symbol, Edit.Position, Edit.Target, Whole, AfterNonBlankLine);
}

std::optional<std::u16string> ApplyEditToLineHead(std::u16string_view Head, const TEdit& Edit, bool AfterNonBlankLine) {
  // Whether the line is blank, and where a deletion matches, show only
  // after the indentation.
  if (IndentLength(Head) == Head.size()) return std::nullopt;
  std::u16string edited = ApplyEditToPiece(Head, Edit, AfterNonBlankLine);
  if (Edit.Kind == ekInsert) return edited;
  // Every pass of a deletion looks at most at the longest symbol after the
  // indentation, which only grows as symbols go: that must end inside Head.
  size_t longest = Edit.Symbol.size();
  for (const std::u16string& s : Edit.Symbols) longest = std::max(longest, s.size());
  if (IndentLength(edited) + longest >= edited.size()) return std::nullopt;
  return edited;
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
