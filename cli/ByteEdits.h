// The streaming edits done on UTF-8 bytes as they came, without decoding:
// insertion at the line head (in all lines, the non-blank ones, or the first
// lines of paragraphs) and every deletion. They give the bytes of what the
// engine's UTF-16 edits give for the same lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "EditUnit.h"
#include "StrRecListUnit.h"
#include "TextBytes.h"

// What an edit of a piece gave.
struct TByteEditResult {
  bool Unchanged = false;  // nothing was edited: the piece itself is the result (Out is left alone)
  uint64_t Breaks = 0;     // line breaks in the piece
};

class TByteEdit {
public:
  explicit TByteEdit(const TEdit& Edit);
  // False for the edits these functions cannot do (those that look at the
  // whole text, and symbols that are not valid UTF-16): the engine does them.
  bool Usable() const { return FUsable; }
  // Whether Apply and ApplyMeasured take the piece's line ends (from
  // TLineEnds::CollectClean, say) instead of finding them.
  bool TakesLineEnds() const;
  // The edit of Piece, whole lines of valid UTF-8 (the last perhaps without
  // its break), into Out; AfterNonBlankLine as for ApplyEditToPiece. Ends,
  // if given, are those of Piece.
  TByteEditResult Apply(std::string_view Piece, bool AfterNonBlankLine, TByteBuffer& Out,
                        const TLineEnds* Ends = nullptr) const;
  // For a line too long to hold at once (a streaming edit): the edit of its
  // first bytes Head, valid UTF-8 without a break, into Out when the rest of
  // the line is certain to come out unchanged after it; false when more of
  // the line is needed to tell (an indentation, or a run of removed symbols,
  // that reaches the end of Head).
  bool ApplyToLineHead(std::string_view Head, bool AfterNonBlankLine, TByteBuffer& Out) const;
  // The insertions that need the measure of the whole text (at the column
  // of the least indentation, or in the lines of least indentation), when
  // the symbol is valid UTF-16.
  bool MeasuredUsable() const { return FMeasured; }
  // InsertHeadSymbolInUtf8Piece of Piece, whole lines of valid UTF-8 of a
  // text whose measure is Whole, into Out (never Unchanged).
  TByteEditResult ApplyMeasured(std::string_view Piece, bool AfterNonBlankLine, const TIndentMeasure& Whole,
                                TByteBuffer& Out, const TLineEnds* Ends = nullptr) const;

private:
  struct TSymbol {
    std::string Full;
    std::string Trimmed;  // the symbol without the blanks around it
  };
  void TakeInsertion(const TEdit& edit);
  void TakeDeletion(const std::vector<std::u16string>& entries, bool repeat);
  TByteEditResult Insert(std::string_view piece, bool afterNonBlank, TByteBuffer& out, const TLineEnds* given) const;
  TByteEditResult Delete(std::string_view piece, TByteBuffer& out) const;
  struct TCuts;
  void DeleteInLine(size_t start, size_t end, TCuts& cuts) const;

  bool FUsable = false;
  bool FMeasured = false;
  TEditKind FKind = ekInsert;
  TInsertPosition FPosition = ipLineHead;
  TTargetLines FTarget = tlAll;
  TIndentWay FIndent;
  bool FRepeat = false;
  std::string FSymbol;            // insertion
  std::vector<TSymbol> FSymbols;  // deletion, in order
  bool FFirstBytes[256] = {};     // the bytes a symbol can begin with
  std::string FLeads;             // the same, each once
};

// MeasureIndentation of Piece, valid UTF-8 of whole lines, added to Measure.
// Stops looking at the lines once nothing can change the measure any more.
void MeasureIndentBytes(std::string_view Piece, TIndentMeasure& Measure, size_t TabWidth = kPluginTabWidth);
