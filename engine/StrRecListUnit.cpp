// Inserting a head symbol at the line head or at the column of least indentation, in the chosen lines.
#include "StrRecListUnit.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <cstddef>
#include <limits>

#include "IndentKernel.h"
#include "LineBreaks.h"
#include "StringUnit.h"
#include "TextScan.h"

// The text is never cut into a list of line strings: every pass walks the
// lines as views (the same cut as TCommonStringRecordList::Text), and the
// result is sized once and filled by appending views.

namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

// One line: its span in the text, where its indentation ends, the number of
// characters in that indentation, their width in columns and whether
// nothing but the break follows them.
struct TLineShape {
  size_t Start = 0;
  size_t End = 0;
  size_t IndentEnd = 0;
  size_t Indent = 0;
  size_t Width = 0;
  bool Blank = false;
};

// Measures the line that starts at `start`; adds its indentation kinds to mask.
template <class C>
inline TLineShape ShapeAt(std::basic_string_view<C> text, size_t start, uint8_t& mask, size_t tabWidth) noexcept {
  const TIndent in = IndentAt(text.data(), start, text.size(), tabWidth);
  mask |= in.Kinds;
  // Blanks are never breaks, so the line end can be searched from the first
  // character after them.
  const size_t end = FindLineEnd(text, in.End);
  const size_t brk = BreakLength(text.substr(in.End, end - in.End));
  return TLineShape{start, end, in.End, in.Count, in.Width, in.End + brk == end};
}

// Totals the result length without writing anything. Saturates instead of
// wrapping, so an impossible size is never mistaken for a small one.
struct TCounter {
  size_t Size = 0;
  void Add(size_t n) noexcept { Size = (Size > kNone - n) ? kNone : Size + n; }
  void Room(size_t) noexcept {}
  void Put(std::u16string_view s) noexcept { Add(s.size()); }
  void Fill(size_t n, std::u16string_view) noexcept { Add(n); }
};

struct TWriter {
  std::u16string& Out;
  void Room(size_t) noexcept {}
  void Put(std::u16string_view s) { Out.append(s); }
  void Fill(size_t n, std::u16string_view c) { Out.append(n, c[0]); }
};

// Writes UTF-8 bytes through a raw pointer; Room makes sure of enough space
// for one line, so that the copies themselves check nothing.
struct TByteWriter {
  std::string& Out;
  size_t Size = 0;
  void Room(size_t n) {
    if (Out.size() - Size < n) Out.resize(std::max(Out.size() + Out.size() / 2, Size + n));
  }
  void Put(std::string_view s) noexcept {
    std::memcpy(Out.data() + Size, s.data(), s.size());
    Size += s.size();
  }
  void Fill(size_t n, std::string_view c) noexcept {
    char* d = Out.data() + Size;
    if (c.size() == 1) {
      std::memset(d, c[0], n);
    } else {
      for (size_t k = 0; k < n; ++k) std::memcpy(d + k * c.size(), c.data(), c.size());
    }
    Size += n * c.size();
  }
};

void ReserveFor(std::u16string& out, size_t size) {
  if (size != kNone && size <= out.max_size()) out.reserve(size);
  // Otherwise the appends themselves fail with the allocator's error.
}

// Chosen lines of one target and how much longer their indentation gets
// when it is rewritten (display width minus length, summed).
struct TChoice {
  size_t Lines = 0;
  size_t Growth = 0;
  void Take(const TLineShape& line) noexcept {
    ++Lines;
    Growth += line.Width - line.Indent;
  }
};

// The lines each target chooses.
struct TChoices {
  TChoice All, NonBlank, AfterBlank, LeastByLength, LeastByWidth;
};

// Everything the rewriting decision, the least indentation and the size of
// the result need, gathered in one pass.
struct TTextShape {
  uint8_t Mask = 0;
  TIndentHandling Handling = TIndentHandling::Rewrite;
  size_t LeastWidth = 0;
  uint8_t LeastKind = kIndentSpace;  // what the least-indentation string is made of
  // Whether some blank line is narrower than the least width: under
  // ipFirstChar/tlAll it takes the least-indentation string, whose length
  // the counts below do not foresee.
  bool NarrowBlank = false;
  TChoices Lines;
  TIndentWay Way;
  bool Rewrite() const noexcept { return Handling == TIndentHandling::Rewrite; }
};

// Adds a line's indentation to the least of the lines measured so far.
inline void TakeLeast(TIndentMeasure& measure, const TLineShape& line) noexcept {
  measure.LeastLength = std::min(measure.LeastLength, line.Indent);
  measure.LeastWidth = std::min(measure.LeastWidth, line.Width);
}

// The shape of a whole text as its measure gives it: indentation of a single
// kind keeps its characters; none at all or a mixture is rewritten as spaces.
TTextShape ShapeOfMeasure(const TIndentMeasure& whole, TIndentWay way) {
  TTextShape shape;
  shape.Way = way;
  shape.Mask = whole.Kinds;
  shape.Handling = HandlingOf(shape.Mask, way);
  shape.LeastWidth = LeastIndentOf(whole, way.Keep);
  if (shape.Handling == TIndentHandling::Units) shape.LeastKind = shape.Mask;
  return shape;
}

// Lowers `least` to the line's `value` (indentation length or width) and
// counts the line among those of the least value: a new least starts the
// count again.
inline void TakeIfLeast(TChoice& choice, size_t& least, size_t value, const TLineShape& line) noexcept {
  if (value < least) {
    least = value;
    choice = TChoice{};
  }
  if (value == least) choice.Take(line);
}

TTextShape MeasureText(std::u16string_view text, TIndentWay way) {
  TIndentMeasure measure;  // of the non-blank lines, as MeasureIndentation takes it
  TIndentMeasure blanks;   // the same over the blank lines
  TChoices lines;
  bool afterBlank = true;
  for (size_t start = 0; start < text.size();) {
    const TLineShape line = ShapeAt<char16_t>(text, start, measure.Kinds, way.TabWidth);
    start = line.End;
    lines.All.Take(line);
    if (line.Blank) {
      afterBlank = true;
      TakeLeast(blanks, line);
      continue;
    }
    lines.NonBlank.Take(line);
    if (afterBlank) lines.AfterBlank.Take(line);
    afterBlank = false;
    // The least indentation of the non-blank lines, as TakeLeast finds it.
    TakeIfLeast(lines.LeastByLength, measure.LeastLength, line.Indent, line);
    TakeIfLeast(lines.LeastByWidth, measure.LeastWidth, line.Width, line);
  }
  TTextShape shape = ShapeOfMeasure(measure, way);
  shape.Lines = lines;
  // Blanks that are kept are never filled up.
  const size_t narrowest = shape.Rewrite() ? blanks.LeastWidth : blanks.LeastLength;
  shape.NarrowBlank = !way.Keep && narrowest != kNone && narrowest < shape.LeastWidth;
  return shape;
}

// Length of the result, or kNone when only a counting pass can tell.
size_t ForeseenSize(const TTextShape& shape, size_t textLength, size_t symbolLength, TInsertPosition position,
                    TTargetLines target) {
  if (position != ipLineHead && position != ipFirstChar) return textLength;
  const TChoice* choice = nullptr;
  switch (target) {
    case tlAll: choice = &shape.Lines.All; break;
    case tlNonBlank: choice = &shape.Lines.NonBlank; break;
    case tlLeastIndent:
      choice = shape.Handling == TIndentHandling::Units ? &shape.Lines.LeastByLength : &shape.Lines.LeastByWidth;
      break;
    case tlAfterBlank: choice = &shape.Lines.AfterBlank; break;
    default: return textLength;
  }
  if (position == ipFirstChar && target == tlAll && shape.NarrowBlank) return kNone;
  TCounter size;
  size.Add(textLength);
  if (symbolLength != 0) size.Add(choice->Lines > kNone / symbolLength ? kNone : choice->Lines * symbolLength);
  if (position == ipFirstChar && shape.Rewrite()) size.Add(choice->Growth);
  return size.Size;
}

// Writes the chosen line `whole` with the symbol at the column of the least
// indentation.
template <class C, class Sink>
void PutAtFirstChar(std::basic_string_view<C> whole, const TLineShape& line, std::basic_string_view<C> symbol,
                    const TTextShape& shape, Sink& out) {
  const TIndent in{line.IndentEnd - line.Start, line.Indent, line.Width, 0};  // from the line's start
  const std::basic_string_view<C> fill = BlankText<C>(shape.LeastKind);
  const TColumnInsertion ins = ColumnInsertion(whole.data(), 0, whole.size(), in, shape.LeastWidth,
                                               shape.Handling, fill.size(), shape.Way.TabWidth);
  out.Room(ins.Fill * fill.size() + ins.Pad + symbol.size() + whole.size());
  out.Fill(ins.Fill, fill);
  out.Put(whole.substr(0, ins.Kept));
  out.Put(symbol);
  out.Fill(ins.Pad, TBlanks<C>::Space);
  out.Put(whole.substr(ins.Resume));
}

// Writes the text's lines, the chosen ones with the symbol, into `out`.
template <class C, class Sink>
void EmitText(std::basic_string_view<C> text, std::basic_string_view<C> symbol, TInsertPosition position,
              TTargetLines target, const TTextShape& textShape, Sink& out, bool afterBlank = true) {
  // A copy that the writes to `out` cannot reach, so that its fields stay in
  // registers rather than being read again for every line.
  const TTextShape shape = textShape;
  uint8_t mask = 0;
  for (size_t start = 0; start < text.size();) {
    const TLineShape line = ShapeAt<C>(text, start, mask, shape.Way.TabWidth);
    start = line.End;
    const std::basic_string_view<C> whole = text.substr(line.Start, line.End - line.Start);
    const size_t width = shape.Handling == TIndentHandling::Units ? line.Indent : line.Width;
    const bool chosen = IsChosenLine(target, line.Blank, width, shape.LeastWidth, afterBlank);
    if (chosen && position == ipLineHead) {
      out.Room(symbol.size() + whole.size());
      out.Put(symbol);
      out.Put(whole);
    } else if (chosen && position == ipFirstChar) {
      PutAtFirstChar(whole, line, symbol, shape, out);
    } else {
      out.Room(whole.size());
      out.Put(whole);
    }
  }
}

template <class C>
void MeasureLines(std::basic_string_view<C> piece, TIndentMeasure& measure, size_t tabWidth) noexcept {
  for (size_t start = 0; start < piece.size();) {
    const TLineShape line = ShapeAt<C>(piece, start, measure.Kinds, tabWidth);
    start = line.End;
    if (!line.Blank) TakeLeast(measure, line);
  }
}

}  // namespace

std::u16string InsertHeadSymbol(std::u16string_view Text, std::u16string_view Symbol, TInsertPosition Position,
                                TTargetLines Target, TIndentWay Way) {
  std::u16string result;
  if (Text.empty()) {
    result.assign(Symbol);
    return result;
  }

  if (Position == ipLineHead && Target == tlAll) {
    // Nothing depends on the indentation: the symbol goes before every line.
    const size_t lines = CountLines(Text);
    TCounter size;
    size.Add(Text.size());
    if (!Symbol.empty()) size.Add(lines > kNone / Symbol.size() ? kNone : lines * Symbol.size());
    ReserveFor(result, size.Size);
    for (size_t start = 0; start < Text.size();) {
      const size_t end = FindLineEnd(Text, start);
      result.append(Symbol);
      result.append(Text.substr(start, end - start));
      start = end;
    }
    return result;
  }

  const TTextShape shape = MeasureText(Text, Way);
  size_t size = ForeseenSize(shape, Text.size(), Symbol.size(), Position, Target);
  if (size == kNone) {
    TCounter counter;
    EmitText(Text, Symbol, Position, Target, shape, counter);
    size = counter.Size;
  }
  ReserveFor(result, size);
  TWriter writer{result};
  EmitText(Text, Symbol, Position, Target, shape, writer);
  assert(size == kNone || result.size() == size);
  return result;
}

void MeasureIndentation(std::u16string_view Piece, TIndentMeasure& Measure, size_t TabWidth) {
  MeasureLines(Piece, Measure, TabWidth);
}

void MeasureIndentation(std::string_view Utf8Piece, TIndentMeasure& Measure, size_t TabWidth) {
  MeasureLines(Utf8Piece, Measure, TabWidth);
}

size_t LeastIndentOf(const TIndentMeasure& Whole, bool Keep) {
  if (Whole.LeastLength == kNone) return 0;
  return Keep || RewritesIndentation(Whole.Kinds) ? Whole.LeastWidth : Whole.LeastLength;
}

void MergeIndentMeasure(TIndentMeasure& Into, const TIndentMeasure& Other) {
  Into.Kinds |= Other.Kinds;
  Into.LeastLength = std::min(Into.LeastLength, Other.LeastLength);
  Into.LeastWidth = std::min(Into.LeastWidth, Other.LeastWidth);
}

std::u16string InsertHeadSymbolInPiece(std::u16string_view Piece, std::u16string_view Symbol,
                                       TInsertPosition Position, TTargetLines Target, const TIndentMeasure& Whole,
                                       bool AfterNonBlankLine, TIndentWay Way) {
  std::u16string result;
  if (Piece.empty()) return result;
  const TTextShape shape = ShapeOfMeasure(Whole, Way);
  // Room for a symbol and some rewritten indentation in every few lines; the
  // rare piece that needs more grows.
  ReserveFor(result, Piece.size() + Piece.size() / 2 + Symbol.size());
  TWriter writer{result};
  EmitText(Piece, Symbol, Position, Target, shape, writer, !AfterNonBlankLine);
  return result;
}

std::string InsertHeadSymbolInUtf8Piece(std::string_view Piece, std::string_view Symbol, TInsertPosition Position,
                                        TTargetLines Target, const TIndentMeasure& Whole, bool AfterNonBlankLine,
                                        TIndentWay Way) {
  std::string result;
  if (Piece.empty()) return result;
  const TTextShape shape = ShapeOfMeasure(Whole, Way);
  result.resize(Piece.size() + Piece.size() / 4 + Symbol.size());
  TByteWriter writer{result};
  EmitText(Piece, Symbol, Position, Target, shape, writer, !AfterNonBlankLine);
  result.resize(writer.Size);
  return result;
}
