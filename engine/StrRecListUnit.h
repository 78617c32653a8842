// Inserting a head symbol into the lines of a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Where the symbol goes in a line: before everything, or at the column of
// the least indentation of the text.
enum TInsertPosition : uint8_t { ipLineHead = 0, ipFirstChar = 1 };

// Which lines receive the symbol: all, the non-blank ones, the non-blank ones
// of least indentation, or the first non-blank line of each paragraph.
enum TTargetLines : uint8_t { tlAll = 0, tlNonBlank = 1, tlLeastIndent = 2, tlAfterBlank = 3 };

// The plug-in's width of a tab, in columns.
constexpr size_t kPluginTabWidth = 4;

// How insertion counts and treats indentation. A tab reaches the next
// multiple of TabWidth, an ideographic space is 2 columns and a space 1.
// The plug-in's way (Keep false): indentation of a single kind keeps its
// characters, a mixture is rewritten as spaces, and a blank line narrower
// than the least indentation is filled up to it. With Keep, every blank
// stays as it was: the symbol goes after the last indentation character
// that ends at or before the column of least indentation.
struct TIndentWay {
  size_t TabWidth = kPluginTabWidth;
  bool Keep = false;
};

// The text with Symbol inserted verbatim into the chosen lines. Lines keep
// their own breaks; lines not chosen come back unchanged. An empty Text gives
// Symbol alone. Position or Target values outside the enumerations choose no
// line, so the text comes back unchanged.
std::u16string InsertHeadSymbol(std::u16string_view Text, std::u16string_view Symbol, TInsertPosition Position,
                                TTargetLines Target, TIndentWay Way = {});

// The bits of TIndentMeasure::Kinds, one for each indentation character.
constexpr uint8_t kIndentSpace = 1, kIndentIdeographic = 2, kIndentTab = 4;
// What insertion at the column of the least indentation, or in the lines of
// least indentation, needs to know of a whole text, gathered piece by piece
// (whole lines each) so that a long text can be edited a piece at a time.
struct TIndentMeasure {
  uint8_t Kinds = 0;             // the indentation characters met
  size_t LeastLength = SIZE_MAX;  // over the non-blank lines, in characters
  size_t LeastWidth = SIZE_MAX;   // over the non-blank lines, in columns
};
// Indentation of a single kind keeps its characters in the lines that get a
// symbol at the least-indentation column; none at all or a mixture is
// rewritten as spaces.
constexpr bool RewritesIndentation(uint8_t Kinds) {
  return !(Kinds == kIndentSpace || Kinds == kIndentIdeographic || Kinds == kIndentTab);
}
// The least indentation of a whole text as insertion counts it: in columns
// where it is rewritten or every blank is kept, in characters where the
// plug-in's way keeps a single kind; 0 for a text with no non-blank line.
size_t LeastIndentOf(const TIndentMeasure& Whole, bool Keep = false);
// Adds the lines of Piece to Measure, a tab reaching the next multiple of
// TabWidth (every piece of a text with the same width).
void MeasureIndentation(std::u16string_view Piece, TIndentMeasure& Measure, size_t TabWidth = kPluginTabWidth);
// The same on the text's valid UTF-8 bytes, giving the same measure.
void MeasureIndentation(std::string_view Utf8Piece, TIndentMeasure& Measure, size_t TabWidth = kPluginTabWidth);
// Adds the measure of other pieces, in any order.
void MergeIndentMeasure(TIndentMeasure& Into, const TIndentMeasure& Other);
// InsertHeadSymbol on Piece, whole lines of a text whose measure is Whole;
// AfterNonBlankLine tells whether the line before the piece is a non-blank
// one (the start of the text counts as after a blank line). The pieces'
// results joined are InsertHeadSymbol of the text; a piece without any line
// gives nothing.
std::u16string InsertHeadSymbolInPiece(std::u16string_view Piece, std::u16string_view Symbol,
                                       TInsertPosition Position, TTargetLines Target, const TIndentMeasure& Whole,
                                       bool AfterNonBlankLine, TIndentWay Way = {});
// InsertHeadSymbolInPiece on the valid UTF-8 bytes of a piece and of the
// symbol, giving the UTF-8 bytes of its result.
std::string InsertHeadSymbolInUtf8Piece(std::string_view Piece, std::string_view Symbol, TInsertPosition Position,
                                        TTargetLines Target, const TIndentMeasure& Whole, bool AfterNonBlankLine,
                                        TIndentWay Way = {});
