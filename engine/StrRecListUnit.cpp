// Inserting a head symbol at the line head or at the column of least indentation, in the chosen lines.
#include "StrRecListUnit.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>

#include "LineBreaks.h"
#include "LineScan.h"
#include "StringUnit.h"

// The text is never cut into a list of line strings: every pass walks the
// lines as views (the same cut as TCommonStringRecordList::Text), and the
// result is sized once and filled by appending views.

namespace {

constexpr uint8_t kSpace = 1;
constexpr uint8_t kIdeographic = 2;
constexpr uint8_t kTab = 4;
constexpr size_t kNone = std::numeric_limits<size_t>::max();

// One line: its span in the text, the length of its indentation, the display
// width of that indentation (space 1, ideographic space 2, tab to the next
// multiple of 4) and whether nothing but the break follows it.
struct TLineShape {
  size_t Start;
  size_t End;
  size_t Indent;
  size_t Width;
  bool Blank;
};

// Measures the line that starts at `start`; adds its indentation kinds to mask.
inline TLineShape ShapeAt(std::u16string_view text, size_t start, uint8_t& mask) noexcept {
  const char16_t* p = text.data();
  const size_t n = text.size();
  size_t i = start;
  size_t width = 0;
  for (; i < n; ++i) {
    const char16_t c = p[i];
    if (c == u' ') {
      mask |= kSpace;
      width += 1;
    } else if (c == u'\u3000') {
      mask |= kIdeographic;
      width += 2;
    } else if (c == u'\t') {
      mask |= kTab;
      width += 4 - width % 4;
    } else {
      break;
    }
  }
  // Indentation characters are never breaks, so the line end can be searched
  // from the first character after them.
  const size_t end = FindLineEnd(text, i);
  const size_t brk = BreakLength(text.substr(start, end - start));
  return TLineShape{start, end, i - start, width, i + brk == end};
}

// Totals the result length without writing anything. Saturates instead of
// wrapping, so an impossible size is never mistaken for a small one.
struct TCounter {
  size_t Size = 0;
  void Add(size_t n) noexcept { Size = (Size > kNone - n) ? kNone : Size + n; }
  void Put(std::u16string_view s) noexcept { Add(s.size()); }
  void Fill(size_t n, char16_t) noexcept { Add(n); }
};

struct TWriter {
  std::u16string& Out;
  void Put(std::u16string_view s) { Out.append(s); }
  void Fill(size_t n, char16_t c) { Out.append(n, c); }
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

// Everything the rewriting decision, the least indentation and the size of
// the result need, gathered in one pass.
struct TTextShape {
  uint8_t Mask = 0;
  bool Rewrite = true;
  size_t LeastWidth = 0;
  char16_t LeastChar = u' ';
  // Whether some blank line is narrower than the least width: under
  // ipFirstChar/tlAll it takes the least-indentation string, whose length
  // the counts below do not foresee.
  bool NarrowBlank = false;
  TChoice All, NonBlank, AfterBlank, LeastByLength, LeastByWidth;
};

TTextShape MeasureText(std::u16string_view text) {
  TTextShape shape;
  size_t leastLength = kNone;  // over non-blank lines, in characters
  size_t leastWidth = kNone;   // over non-blank lines, in display columns
  size_t blankLength = kNone;  // the same over blank lines
  size_t blankWidth = kNone;
  bool afterBlank = true;
  for (size_t start = 0; start < text.size();) {
    const TLineShape line = ShapeAt(text, start, shape.Mask);
    start = line.End;
    shape.All.Take(line);
    if (line.Blank) {
      afterBlank = true;
      if (line.Indent < blankLength) blankLength = line.Indent;
      if (line.Width < blankWidth) blankWidth = line.Width;
      continue;
    }
    shape.NonBlank.Take(line);
    if (afterBlank) shape.AfterBlank.Take(line);
    afterBlank = false;
    if (line.Indent < leastLength) {
      leastLength = line.Indent;
      shape.LeastByLength = TChoice{};
    }
    if (line.Indent == leastLength) shape.LeastByLength.Take(line);
    if (line.Width < leastWidth) {
      leastWidth = line.Width;
      shape.LeastByWidth = TChoice{};
    }
    if (line.Width == leastWidth) shape.LeastByWidth.Take(line);
  }
  // Indentation of a single kind keeps its characters; none at all or a
  // mixture is rewritten as spaces.
  shape.Rewrite = !(shape.Mask == kSpace || shape.Mask == kIdeographic || shape.Mask == kTab);
  if (leastLength != kNone) shape.LeastWidth = shape.Rewrite ? leastWidth : leastLength;
  if (!shape.Rewrite) shape.LeastChar = shape.Mask == kIdeographic ? u'\u3000' : shape.Mask == kTab ? u'\t' : u' ';
  const size_t narrowest = shape.Rewrite ? blankWidth : blankLength;
  shape.NarrowBlank = narrowest != kNone && narrowest < shape.LeastWidth;
  return shape;
}

// Length of the result, or kNone when only a counting pass can tell.
size_t ForeseenSize(const TTextShape& shape, size_t textLength, size_t symbolLength, TInsertPosition position,
                    TTargetLines target) {
  if (position != ipLineHead && position != ipFirstChar) return textLength;
  const TChoice* choice = nullptr;
  switch (target) {
    case tlAll: choice = &shape.All; break;
    case tlNonBlank: choice = &shape.NonBlank; break;
    case tlLeastIndent: choice = shape.Rewrite ? &shape.LeastByWidth : &shape.LeastByLength; break;
    case tlAfterBlank: choice = &shape.AfterBlank; break;
    default: return textLength;
  }
  if (position == ipFirstChar && target == tlAll && shape.NarrowBlank) return kNone;
  TCounter size;
  size.Add(textLength);
  if (symbolLength != 0) size.Add(choice->Lines > kNone / symbolLength ? kNone : choice->Lines * symbolLength);
  if (position == ipFirstChar && shape.Rewrite) size.Add(choice->Growth);
  return size.Size;
}

template <class Sink>
void EmitText(std::u16string_view text, std::u16string_view symbol, TInsertPosition position, TTargetLines target,
              const TTextShape& shape, Sink& out, bool afterBlank = true) {
  const size_t least = shape.LeastWidth;
  uint8_t mask = 0;
  for (size_t start = 0; start < text.size();) {
    const TLineShape line = ShapeAt(text, start, mask);
    start = line.End;
    const std::u16string_view whole = text.substr(line.Start, line.End - line.Start);
    const size_t width = shape.Rewrite ? line.Width : line.Indent;

    bool chosen = false;
    switch (target) {
      case tlAll: chosen = true; break;
      case tlNonBlank: chosen = !line.Blank; break;
      case tlLeastIndent: chosen = !line.Blank && width == least; break;
      case tlAfterBlank:
        if (line.Blank) {
          afterBlank = true;
        } else {
          chosen = afterBlank;
          afterBlank = false;
        }
        break;
    }
    if (chosen && position == ipLineHead) {
      out.Put(symbol);
      out.Put(whole);
    } else if (chosen && position == ipFirstChar) {
      if (least <= width) {
        // Symbol at column `least`; deeper indentation follows it.
        if (shape.Rewrite) {
          out.Fill(least, u' ');
          out.Put(symbol);
          out.Fill(width - least, u' ');
          out.Put(whole.substr(line.Indent));
        } else {
          out.Put(whole.substr(0, least));
          out.Put(symbol);
          out.Put(whole.substr(least));
        }
      } else {
        // A blank line narrower than the least indentation.
        out.Fill(least, shape.LeastChar);
        out.Put(symbol);
        out.Put(whole.substr(whole.size() - BreakLength(whole)));
      }
    } else {
      out.Put(whole);
    }
  }
}

}  // namespace

std::u16string InsertHeadSymbol(std::u16string_view Text, std::u16string_view Symbol, TInsertPosition Position,
                                TTargetLines Target) {
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

  const TTextShape shape = MeasureText(Text);
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

void MeasureIndentation(std::u16string_view Piece, TIndentMeasure& Measure) {
  for (size_t start = 0; start < Piece.size();) {
    const TLineShape line = ShapeAt(Piece, start, Measure.Kinds);
    start = line.End;
    size_t& length = line.Blank ? Measure.BlankLength : Measure.LeastLength;
    size_t& width = line.Blank ? Measure.BlankWidth : Measure.LeastWidth;
    if (line.Indent < length) length = line.Indent;
    if (line.Width < width) width = line.Width;
  }
}

void MergeIndentMeasure(TIndentMeasure& Into, const TIndentMeasure& Other) {
  Into.Kinds |= Other.Kinds;
  Into.LeastLength = std::min(Into.LeastLength, Other.LeastLength);
  Into.LeastWidth = std::min(Into.LeastWidth, Other.LeastWidth);
  Into.BlankLength = std::min(Into.BlankLength, Other.BlankLength);
  Into.BlankWidth = std::min(Into.BlankWidth, Other.BlankWidth);
}

std::u16string InsertHeadSymbolInPiece(std::u16string_view Piece, std::u16string_view Symbol,
                                       TInsertPosition Position, TTargetLines Target, const TIndentMeasure& Whole,
                                       bool AfterNonBlankLine) {
  std::u16string result;
  if (Piece.empty()) return result;
  // The shape of the whole text, as MeasureText gives it.
  TTextShape shape;
  shape.Mask = Whole.Kinds;
  shape.Rewrite = !(shape.Mask == kSpace || shape.Mask == kIdeographic || shape.Mask == kTab);
  if (Whole.LeastLength != kNone) shape.LeastWidth = shape.Rewrite ? Whole.LeastWidth : Whole.LeastLength;
  if (!shape.Rewrite) shape.LeastChar = shape.Mask == kIdeographic ? u'\u3000' : shape.Mask == kTab ? u'\t' : u' ';
  // Room for a symbol and some rewritten indentation in every few lines; the
  // rare piece that needs more grows.
  ReserveFor(result, Piece.size() + Piece.size() / 2 + Symbol.size());
  TWriter writer{result};
  EmitText(Piece, Symbol, Position, Target, shape, writer, !AfterNonBlankLine);
  return result;
}
