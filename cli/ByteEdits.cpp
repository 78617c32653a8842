// Line-head edits on UTF-8 bytes that stream: insertion at the line head and
// every deletion. Both the text and the symbols are valid UTF-8, so a
// symbol's bytes match at a character boundary exactly where its UTF-16
// units match in the decoded text, and the blanks are found byte by byte.
#include "ByteEdits.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <stdexcept>

#include "ByteCopy.h"
#include "ByteIndent.h"
#include "IndentKernel.h"
#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "TextScan.h"
#include "Utf.h"

namespace {

// The lines of piece (their ends given) into d, each chosen one after the
// symbol; past what was written.
template <bool Vector>
char* PutHeadLines(std::string_view piece, const TLineEnds& ends, const TSymbolCopy& symbol, TTargetLines target,
                   bool afterBlank, char* d) noexcept {
  const char* const p = piece.data();
  const char* const pEnd = p + piece.size();
  size_t start = 0;
  for (const size_t end : ends) {
    const bool blank = target != tlAll && IsBlankLine<Vector>(p, start, end, pEnd);
    if (IsChosenLine(target, blank, 0, 0, afterBlank)) d = symbol.Put(d);
    CopyInBlocks(d, p + start, end - start, pEnd);
    d += end - start;
    start = end;
  }
  return d;
}

// Bytes at `at` (with `available` of them) begin with s: compared byte by
// byte, as symbols are short.
inline bool BeginsWith(const char* at, size_t available, const std::string& s) noexcept {
  if (s.size() > available) return false;
  for (size_t k = 0; k < s.size(); ++k)
    if (at[k] != s[k]) return false;
  return true;
}

thread_local TLineEnds tEnds;
thread_local std::vector<size_t> tLeads;

}  // namespace

TByteEdit::TByteEdit(const TEdit& Edit)
    : FKind(Edit.Kind), FPosition(Edit.Position), FTarget(Edit.Target), FIndent(Edit.Indent) {
  switch (Edit.Kind) {
    case ekInsert: TakeInsertion(Edit); break;
    case ekDeleteGiven: TakeDeletion({Edit.Symbol}, false); break;
    case ekDeleteOnce: TakeDeletion(Edit.Symbols, false); break;
    case ekDeleteAll: TakeDeletion(Edit.Symbols, true); break;
  }
}

void TByteEdit::TakeInsertion(const TEdit& edit) {
  const auto symbol = Utf16ToUtf8(edit.Symbol);
  if (!symbol) return;
  FSymbol = *symbol;
  if (EditWorksPieceByPiece(edit)) {
    FUsable = true;
    return;
  }
  // Positions and targets outside the enumerations choose no line: the
  // engine does those.
  FMeasured = (edit.Position == ipLineHead || edit.Position == ipFirstChar) && edit.Target <= tlAfterBlank;
}

void TByteEdit::TakeDeletion(const std::vector<std::u16string>& entries, bool repeat) {
  // The symbols as the engine takes them from their entries; those that
  // are empty never match.
  for (const std::u16string& entry : entries) {
    const std::u16string full = SymbolOfEntry(entry);
    const auto bytes = Utf16ToUtf8(full);
    const auto trimmed = Utf16ToUtf8(TrimView(full));
    if (!bytes || !trimmed) return;
    if (bytes->empty()) continue;
    FSymbols.push_back(TSymbol{*bytes, *trimmed});
    for (const std::string* form : {&*bytes, &*trimmed}) {
      if (form->empty()) continue;
      const char lead = (*form)[0];
      FFirstBytes[static_cast<unsigned char>(lead)] = true;
      // A symbol is looked for after the indentation: never at a space or a
      // tab (E3 also begins characters that are no blank).
      const bool blank = lead == TBlanks<char>::Space[0] || lead == TBlanks<char>::Tab[0];
      if (!blank && FLeads.find(lead) == std::string::npos) FLeads += lead;
    }
  }
  FRepeat = repeat;
  FUsable = true;
}

bool TByteEdit::TakesLineEnds() const {
  switch (FKind) {
    case ekInsert: return true;
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return false;
  }
  return false;
}

TByteEditResult TByteEdit::Apply(std::string_view Piece, bool AfterNonBlankLine, TByteBuffer& Out,
                                 const TLineEnds* Ends) const {
  switch (FKind) {
    case ekInsert: return Insert(Piece, AfterNonBlankLine, Out, Ends);
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return Delete(Piece, Out);
  }
  throw std::logic_error("internal error: an edit of no kind");
}

bool TByteEdit::ApplyToLineHead(std::string_view Head, bool AfterNonBlankLine, TByteBuffer& Out) const {
  // Whether the line is blank, and where a deletion matches, show only
  // after the indentation.
  if (IndentLength(Head) == Head.size()) return false;
  if (Apply(Head, AfterNonBlankLine, Out).Unchanged) Out.Assign(Head);
  if (FKind == ekInsert) return true;
  // Every pass of a deletion looks at most at the longest symbol after the
  // indentation, which only grows as symbols go: that must end inside Head.
  size_t longest = 0;
  for (const TSymbol& s : FSymbols) longest = std::max(longest, s.Full.size());
  return IndentLength(Out.View()) + longest < Out.Size;
}

TByteEditResult TByteEdit::Insert(std::string_view piece, bool afterNonBlank, TByteBuffer& out,
                                  const TLineEnds* given) const {
  if (!given) tEnds.Collect(piece);
  const TLineEnds& ends = given ? *given : tEnds;
  assert(ends.EndAt(piece.size()));  // a caller's ends are the piece's
  const TSymbolCopy symbol(FSymbol);
  out.Reserve(piece.size() + ends.size() * symbol.Size() + kSlack);
  char* const d = WithVectorLines([&](auto vector) {
    return PutHeadLines<vector()>(piece, ends, symbol, FTarget, !afterNonBlank, out.Data());
  });
  out.Size = static_cast<size_t>(d - out.Data());
  return {false, ends.Breaks()};
}

// The output of a deletion: the piece's bytes with spans cut out, appended
// as each cut ends them; nothing is written while nothing is cut.
struct TByteEdit::TCuts {
  std::string_view Piece;
  TByteBuffer& Out;
  size_t Kept = 0;  // start of the bytes not yet appended
  char* D = nullptr;

  void KeepUpTo(size_t upTo) {
    if (!D) {
      Out.Reserve(Piece.size() + kSlack);
      D = Out.Data();
    }
    std::memcpy(D, Piece.data() + Kept, upTo - Kept);
    D += upTo - Kept;
  }
};

void TByteEdit::DeleteInLine(size_t start, size_t end, TCuts& cuts) const {
  const char* const p = cuts.Piece.data();
  // A removal stays between the indentation and the break.
  const size_t contentEnd = end - BreakBefore(p, start, end);
  size_t cursor = start + IndentLength(std::string_view(p + start, contentEnd - start));
  if (cursor == contentEnd || !FFirstBytes[static_cast<unsigned char>(p[cursor])]) return;
  for (bool removed = true; removed;) {
    removed = false;
    for (const TSymbol& s : FSymbols) {
      size_t length = 0;
      if (BeginsWith(p + cursor, contentEnd - cursor, s.Full)) length = s.Full.size();
      else if (!s.Trimmed.empty() && BeginsWith(p + cursor, contentEnd - cursor, s.Trimmed)) length = s.Trimmed.size();
      if (length == 0) continue;
      cuts.KeepUpTo(cursor);
      cursor += length;
      cuts.Kept = cursor;
      cursor += IndentLength(std::string_view(p + cursor, contentEnd - cursor));
      removed = true;
    }
    if (!FRepeat) break;
  }
}

TByteEditResult TByteEdit::Delete(std::string_view piece, TByteBuffer& out) const {
  TCuts cuts{piece, out};
  uint64_t breaks = 0;
  if (FLeads.size() <= kMostWanted) {
    // Only a line with a symbol's first byte in it can change: those bytes
    // are found while the breaks are counted, and only their lines looked at.
    std::vector<size_t>& leads = tLeads;
    breaks = CountBreaksFinding(piece, FLeads, leads);
    size_t done = 0;  // the lines before this were looked at
    for (const size_t at : leads) {
      if (at < done) continue;
      const size_t start = LineStartBefore(piece, at);
      done = FindLineEnd(piece, at);
      DeleteInLine(start, done, cuts);
    }
  } else {
    TLineEnds& ends = tEnds;
    breaks = ends.Collect(piece);
    size_t start = 0;
    for (const size_t end : ends) {
      DeleteInLine(start, end, cuts);
      start = end;
    }
  }
  if (!cuts.D) return {true, breaks};
  cuts.KeepUpTo(piece.size());
  out.Size = static_cast<size_t>(cuts.D - out.Data());
  return {false, breaks};
}

