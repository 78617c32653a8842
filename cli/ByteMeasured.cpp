// The insertions that need the measure of the whole text (at the column of
// least indentation, or in the lines of least indentation) on UTF-8 bytes:
// the indentation found with vector masks, every rule from IndentKernel.h.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "ByteCopy.h"
#include "ByteEdits.h"
#include "ByteIndent.h"
#include "IndentKernel.h"
#include "TextScan.h"

namespace {

thread_local TLineEnds tEnds;


// Adds the line [start, end) to the measure.
inline void MeasureLine(const char* p, size_t start, size_t end, TIndentMeasure& m, size_t tabWidth) noexcept {
  if (!MayBeginBlank(p[start])) {
    // No indentation: blank if the break comes first, else the least there is.
    if (!IsBreakUnit(p[start])) m.LeastLength = m.LeastWidth = 0;
    return;
  }
  const TIndent in = IndentAt(p, start, end, tabWidth);
  m.Kinds |= in.Kinds;
  if (in.End + BreakBefore(p, in.End, end) == end) return;  // blank
  m.LeastLength = std::min(m.LeastLength, in.Count);
  m.LeastWidth = std::min(m.LeastWidth, in.Width);
}

// Calls f(part, first end, past the last end) for the bytes in parts of
// whole lines of at most kMostEndsAtOnce bytes, or of one line that is
// longer, so that the ends of a very long line take no room in proportion
// to it; returns the line breaks.
template <class F>
uint64_t ForEachPart(std::string_view bytes, F f) {
  TLineEnds& ends = tEnds;
  uint64_t breaks = 0;
  for (size_t at = 0; at < bytes.size();) {
    std::string_view part = bytes.substr(at);
    if (part.size() > kMostEndsAtOnce) {
      size_t cut = WholeLinesLength(part.substr(0, kMostEndsAtOnce));
      if (cut == 0) cut = FindLineEnd(bytes, at) - at;
      part = part.substr(0, cut);
    }
    if (part.size() <= kMostEndsAtOnce) {
      breaks += ends.Collect(part);
      f(part, ends.begin(), ends.end());
    } else {
      const size_t one = part.size();
      breaks += BreakBefore(part.data(), 0, part.size()) > 0;
      f(part, &one, &one + 1);
    }
    at += part.size();
  }
  return breaks;
}

// Lines measured one by one before the rest are scanned in parts.
constexpr int kFirstLines = 64;

constexpr char kSpaces[33] = "                                ";

// n spaces at d, writing up to 32 bytes past d + n.
inline char* PutSpaces(char* d, size_t n) noexcept {
  if (n <= 32) std::memcpy(d, kSpaces, 32);
  else std::memset(d, ' ', n);
  return d + n;
}

// n blanks `unit` at d (spaces: up to 32 bytes past the end).
inline char* PutBlanks(char* d, size_t n, std::string_view unit) noexcept {
  if (unit == TBlanks<char>::Space) return PutSpaces(d, n);
  for (size_t k = 0; k < n; ++k, d += unit.size()) std::memcpy(d, unit.data(), unit.size());
  return d;
}

// What the lines of a measured insertion need.
struct TMeasuredLines {
  std::string_view Piece;
  const size_t* Ends;     // of the lines of Piece
  const size_t* EndsEnd;
  TTargetLines Target;
  size_t Least;           // as the kernel measures it for the handling
  size_t TabWidth;
  std::string_view Unit;  // the text's blank of one kind (spaces where rewritten)
  std::string_view Symbol;
  bool AfterBlank;        // the line before was blank; follows the lines
};

// The output, with room for one line at a time.
struct TMeasuredOut {
  TByteBuffer& Buffer;
  char* D = Buffer.Data() + Buffer.Size;
  char* Limit = Buffer.Data() + Buffer.Capacity();
  void Room(size_t n) {
    if (static_cast<size_t>(Limit - D) >= n) return;
    const size_t used = static_cast<size_t>(D - Buffer.Data());
    Buffer.Reserve(used + n);
    D = Buffer.Data() + used;
    Limit = Buffer.Data() + Buffer.Capacity();
  }
};

// The chosen line [start, end) with the symbol at the column of least
// indentation, as the kernel places it, at d; past what was written.
template <TIndentHandling Handling>
inline char* PutAtColumn(char* d, const TMeasuredLines& m, const TSymbolCopy& symbol, size_t start, size_t end,
                         const TIndent& in) noexcept {
  const char* const p = m.Piece.data();
  const char* const pEnd = p + m.Piece.size();
  const TColumnInsertion ins = ColumnInsertion(p, start, end, in, m.Least, Handling, m.Unit.size(), m.TabWidth);
  if (Handling != TIndentHandling::Keep && ins.Fill != 0) d = PutBlanks(d, ins.Fill, m.Unit);
  if (ins.Kept != 0) CopyInBlocks(d, p + start, ins.Kept, pEnd);
  d = symbol.Put(d + ins.Kept);
  if (Handling == TIndentHandling::Rewrite && ins.Pad != 0) d = PutSpaces(d, ins.Pad);
  CopyInBlocks(d, p + start + ins.Resume, end - start - ins.Resume, pEnd);
  return d + (end - start - ins.Resume);
}

// The lines into out, for one position and one handling of the
// indentation, so that the loop tests neither; appended to out.
template <bool Vector, bool AtColumn, TIndentHandling Handling>
void PutMeasuredLines(TMeasuredLines& m, TByteBuffer& buffer) {
  // Everything the loop reads, in locals: the bytes it writes might
  // otherwise be taken to change them.
  const TMeasuredLines lines = m;
  const size_t least = lines.Least;
  const TSymbolCopy symbol(lines.Symbol);
  const char* const p = lines.Piece.data();
  const char* const pEnd = p + lines.Piece.size();
  // A line's worst: all of it tabs, each rewritten as a tab width of
  // spaces; a blank line narrower than the least indentation filled up.
  const size_t growth = Handling == TIndentHandling::Rewrite ? lines.TabWidth : 1;
  const size_t narrowRoom = Handling == TIndentHandling::Keep ? 0 : least * lines.Unit.size();
  buffer.Reserve(buffer.Size + lines.Piece.size() + lines.Piece.size() / 4 + symbol.Size() + kSlack);
  TMeasuredOut out{buffer};
  const size_t room = narrowRoom + 2 * symbol.Size() + 2 * kSlack;
  // At the line head, only a choice by the least indentation needs the
  // indentation's width; the other choices, whether a line is blank.
  const bool widths = AtColumn || lines.Target == tlLeastIndent;
  bool afterBlank = lines.AfterBlank;
  size_t start = 0;
  for (const size_t* e = lines.Ends; e != lines.EndsEnd; ++e) {
    const size_t end = *e;
    out.Room((end - start) * growth + room);
    // Most lines begin with no indentation at all.
    TIndent in{start};
    bool blank = false;
    if (!widths) {
      blank = lines.Target != tlAll && IsBlankLine<Vector>(p, start, end, pEnd);
    } else {
      if (MayBeginBlank(p[start])) in = IndentOfLine<Vector>(p, start, end, pEnd, lines.TabWidth);
      // Only the targets but all, and a line narrower than the least (a
      // blank one), need to know what follows the indentation.
      blank = (lines.Target != tlAll || MeasuredWidth(Handling, in) < least) &&
              in.End + BreakBefore(p, in.End, end) == end;
    }
    const size_t width = MeasuredWidth(Handling, in);
    char* d = out.D;
    if (!IsChosenLine(lines.Target, blank, width, least, afterBlank)) {
      CopyInBlocks(d, p + start, end - start, pEnd);
      d += end - start;
    } else if (!AtColumn || ColumnIsLineHead(Handling, least, in.End != start)) {
      d = symbol.Put(d);
      CopyInBlocks(d, p + start, end - start, pEnd);
      d += end - start;
    } else {
      d = PutAtColumn<Handling>(d, lines, symbol, start, end, in);
    }
    out.D = d;
    start = end;
  }
  buffer.Size = static_cast<size_t>(out.D - buffer.Data());
  m.AfterBlank = afterBlank;
}

// PutMeasuredLines for the handling and the position.
template <bool Vector>
void PutMeasuredLinesOf(TIndentHandling handling, bool atColumn, TMeasuredLines& lines, TByteBuffer& out) {
  switch (handling) {
    case TIndentHandling::Units:
      if (atColumn) PutMeasuredLines<Vector, true, TIndentHandling::Units>(lines, out);
      else PutMeasuredLines<Vector, false, TIndentHandling::Units>(lines, out);
      break;
    case TIndentHandling::Rewrite:
      if (atColumn) PutMeasuredLines<Vector, true, TIndentHandling::Rewrite>(lines, out);
      else PutMeasuredLines<Vector, false, TIndentHandling::Rewrite>(lines, out);
      break;
    case TIndentHandling::Keep:
      if (atColumn) PutMeasuredLines<Vector, true, TIndentHandling::Keep>(lines, out);
      else PutMeasuredLines<Vector, false, TIndentHandling::Keep>(lines, out);
      break;
  }
}

}  // namespace

void MeasureIndentBytes(std::string_view Piece, TIndentMeasure& Measure, size_t TabWidth) {
  const char* const p = Piece.data();
  const size_t n = Piece.size();
  // The first lines line by line: in most texts they fill the measure, and
  // the rest need not be looked at.
  size_t start = 0;
  for (int lines = 0; lines < kFirstLines && start < n; ++lines) {
    if (MeasureIsFinal(Measure)) return;
    const size_t end = FindLineEnd(Piece, start);
    MeasureLine(p, start, end, Measure, TabWidth);
    start = end;
  }
  if (start == n) return;
  ForEachPart(Piece.substr(start), [&](std::string_view part, const size_t* e, const size_t* last) {
    const char* const r = part.data();
    for (size_t from = 0; e != last; from = *e++) {
      // A line without indentation cannot lower a least of none.
      if (MayBeginBlank(r[from]) || Measure.LeastLength != 0) MeasureLine(r, from, *e, Measure, TabWidth);
    }
  });
}

TByteEditResult TByteEdit::ApplyMeasured(std::string_view Piece, bool AfterNonBlankLine, const TIndentMeasure& Whole,
                                         TByteBuffer& Out, const TLineEnds* Ends) const {
  const TIndentHandling handling = HandlingOf(Whole.Kinds, FIndent);
  const size_t least = LeastIndentOf(Whole, FIndent.Keep);
  const bool atColumn = FPosition == ipFirstChar && !ColumnIsLineHead(handling, least);
  const uint8_t unitKind = handling == TIndentHandling::Units ? Whole.Kinds : kIndentSpace;
  TMeasuredLines lines{{},    nullptr,          nullptr,           FTarget, least,
                       FIndent.TabWidth, BlankText<char>(unitKind), FSymbol, !AfterNonBlankLine};
  Out.Size = 0;
  const auto put = [&](std::string_view part, const size_t* e, const size_t* last) {
    lines.Piece = part;
    lines.Ends = e;
    lines.EndsEnd = last;
    WithVectorLines([&](auto vector) { PutMeasuredLinesOf<vector()>(handling, atColumn, lines, Out); });
  };
  if (!Ends) return {false, ForEachPart(Piece, put)};
  assert(Ends->EndAt(Piece.size()));  // a caller's ends are the piece's
  put(Piece, Ends->begin(), Ends->end());
  return {false, Ends->Breaks()};
}
