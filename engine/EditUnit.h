// The edit model: one description of what the plug-in's menu and the filter's
// verbs do to a text, and the one function that applies it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StrRecListUnit.h"
#include "StringRecordList.h"

enum TEditKind : uint8_t {
  ekInsert = 0,       // InsertHeadSymbol with Symbol, Position, Target and Indent
  ekDeleteGiven = 1,  // take Symbol (or its trimmed form) off the head of every line
  ekDeleteOnce = 2,   // one pass with every symbol of Symbols, in order
  ekDeleteAll = 3,    // such passes until nothing changes
};

struct TEdit {
  TEditKind Kind = ekInsert;
  TInsertPosition Position = ipLineHead;
  TTargetLines Target = tlAll;
  std::u16string Symbol;                // ekInsert, ekDeleteGiven
  std::vector<std::u16string> Symbols;  // ekDeleteOnce, ekDeleteAll
  TIndentWay Indent;                    // ekInsert: the tab width, and whether blanks are kept
};

// The text after the edit. Pure: keeps nothing, shows nothing.
std::u16string ApplyEdit(std::u16string_view Text, const TEdit& Edit);

// True when the edit of a line looks at the line before it (the first lines
// of paragraphs).
bool EditLooksAtTheLineBefore(const TEdit& Edit);
// True when the edit never changes a line's indentation and works only
// after it (every deletion).
bool EditKeepsIndentation(const TEdit& Edit);

// True when a text can be edited piece by piece, in order, with
// ApplyEditToPiece and the same result: every deletion, insertion at the
// line head in all or in the non-blank lines, and insertion at the head of
// the first lines of paragraphs, which looks only at the line before.
bool EditWorksPieceByPiece(const TEdit& Edit);

// The edit of Piece, whole lines of a larger text that EditWorksPieceByPiece
// allows to edit piece by piece. AfterNonBlankLine tells whether the line
// before the piece is a non-blank one; only the first lines of paragraphs
// (tlAfterBlank) look at it, the start of the text counting as after a blank.
// A piece without any line gives nothing.
std::u16string ApplyEditToPiece(std::u16string_view Piece, const TEdit& Edit, bool AfterNonBlankLine);

// The edits that EditWorksPieceByPiece refuses, piece by piece: Whole is the
// measure of the whole text (MeasureIndentation of every piece), and
// AfterNonBlankLine as for ApplyEditToPiece.
std::u16string ApplyEditToMeasuredPiece(std::u16string_view Piece, const TEdit& Edit, const TIndentMeasure& Whole,
                                        bool AfterNonBlankLine);
// ApplyEditToMeasuredPiece on the valid UTF-8 bytes of a piece, giving UTF-8
// bytes, for the edits that can work on them directly (the insertions of a
// symbol that is valid UTF-16); nullopt for the others.
std::optional<std::string> ApplyEditToMeasuredUtf8Piece(std::string_view Piece, const TEdit& Edit,
                                                        const TIndentMeasure& Whole, bool AfterNonBlankLine);

// For a line too long to hold at once: the edit of its first characters
// Head (without a line break) when the rest of the line is certain to come
// out unchanged after it, so that the rest can be copied as it is; nothing
// when more of the line is needed to tell (an indentation or a run of
// removed symbols that reaches the end of Head). Only for the edits that
// EditWorksPieceByPiece allows.
std::optional<std::u16string> ApplyEditToLineHead(std::u16string_view Head, const TEdit& Edit, bool AfterNonBlankLine);

// What `toggle` does to a text: delete Symbol once from every line, as
// ekDeleteGiven does, when every non-blank line holds it right after its
// indentation in a form that deletion removes (the symbol, or the symbol
// without the blanks around it); leave a text without a non-blank line as
// it is; insert otherwise.
enum TToggleChoice : uint8_t { tcInsert = 0, tcDelete = 1, tcKeep = 2 };

// That choice made on UTF-8 bytes that arrive in parts (a byte order mark at
// the start is skipped, as the filter skips it), so that a file need not be
// held to decide. Bytes that are not UTF-8 simply match nothing.
class TToggleScan {
 public:
  explicit TToggleScan(std::u16string_view Symbol);
  void Feed(std::string_view Bytes);
  // A line without the symbol has been seen: the rest cannot change the choice.
  bool Settled() const noexcept { return Missing; }
  TToggleChoice Finish();

 private:
  void Take(char Byte);
  void EndLine();
  std::string Full, Trimmed;  // the forms that match; empty: none
  std::string Head;           // bytes of the current line not yet judged
  std::string Lead;           // the first bytes, until they show whether they are a mark
  size_t Seen = 0;            // bytes fed, up to the length of a mark
  bool InIndent = true, Judged = false, NonBlank = false, Missing = false;
};

// Fills Entries with the lines of SettingsText that are valid symbol
// entries, in file order (the settings text as the menu and the filter use it).
void SetValidEntries(TCommonStringRecordList& Entries, std::u16string_view SettingsText);
// Deletes every entry that is not valid, from the last to the first.
void DropInvalidEntries(TCommonStringRecordList& Entries);
// The symbols of Entries, in list order.
std::vector<std::u16string> SymbolsOfEntries(const TCommonStringRecordList& Entries);
