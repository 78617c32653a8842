// Inserting a head symbol at the line head or at the column of least indentation, in the chosen lines.
#include "StrRecListUnit.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <cstddef>
#include <limits>

#include "LineBreaks.h"
#include "LineScan.h"
#include "StringUnit.h"

// The text is never cut into a list of line strings: every pass walks the
// lines as views (the same cut as TCommonStringRecordList::Text), and the
// result is sized once and filled by appending views.

namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

// The indentation characters as a text of units C holds them: UTF-16, or
// UTF-8 bytes, where the ideographic space U+3000 is E3 80 80.
template <class C>
struct TUnitsOf;
template <>
struct TUnitsOf<char16_t> {
  static constexpr std::u16string_view Space = u" ", Ideographic = u"\u3000", Tab = u"\t";
  // Length of the ideographic space at p[i], or 0.
  static size_t IdeographicAt(const char16_t* p, size_t i, size_t) noexcept { return p[i] == u'\u3000' ? 1 : 0; }
};
template <>
struct TUnitsOf<char> {
  static constexpr std::string_view Space = " ", Ideographic = "\xE3\x80\x80", Tab = "\t";
  static size_t IdeographicAt(const char* p, size_t i, size_t n) noexcept {
    return (p[i] == '\xE3' && i + 2 < n && p[i + 1] == '\x80' && p[i + 2] == '\x80') ? 3 : 0;
  }
};

// The column after an indentation character that starts at `width`.
template <class C>
inline size_t ColumnAfter(C c, size_t width, size_t tabWidth) noexcept {
  if (c == C(' ')) return width + 1;
  if (c == C('\t')) return width + tabWidth - width % tabWidth;
  return width + 2;  // the ideographic space
}

// One line: its span in the text, where its indentation ends, the number of
// characters in that indentation, their display width (space 1, ideographic
// space 2, tab to the next multiple of the tab width) and whether nothing
// but the break follows them.
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
  const C* p = text.data();
  const size_t n = text.size();
  size_t i = start;
  size_t count = 0;
  size_t width = 0;
  uint8_t kinds = 0;
  for (; i < n; count += sizeof(C) == 1) {
    const C c = p[i];
    if (c == C(' ')) {
      kinds |= kIndentSpace;
      width += 1;
      i += 1;
    } else if (c == C('\t')) {
      kinds |= kIndentTab;
      width += tabWidth - width % tabWidth;
      i += 1;
    } else if (const size_t k = TUnitsOf<C>::IdeographicAt(p, i, n)) {
      kinds |= kIndentIdeographic;
      width += 2;
      i += k;
    } else {
      break;
    }
  }
  mask |= kinds;
  // Indentation characters are never breaks, so the line end can be searched
  // from the first character after them.
  const size_t end = FindLineEnd(text, i);
  const size_t brk = BreakLength(text.substr(i, end - i));
  // In UTF-16 every indentation character is one unit.
  if constexpr (sizeof(C) == 2) count = i - start;
  return TLineShape{start, end, i, count, width, i + brk == end};
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
  bool Rewrite = true;
  size_t LeastWidth = 0;
  uint8_t LeastKind = kIndentSpace;  // what the least-indentation string is made of
  // Whether some blank line is narrower than the least width: under
  // ipFirstChar/tlAll it takes the least-indentation string, whose length
  // the counts below do not foresee.
  bool NarrowBlank = false;
  TChoices Lines;
  TIndentWay Way;
  // Whether lines are compared and cut by columns rather than characters.
  bool ByColumns() const noexcept { return Rewrite || Way.Keep; }
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
  shape.Rewrite = !way.Keep && RewritesIndentation(shape.Mask);
  shape.LeastWidth = LeastIndentOf(whole, way.Keep);
  if (!shape.Rewrite) shape.LeastKind = shape.Mask;
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
  const size_t narrowest = shape.Rewrite ? blanks.LeastWidth : blanks.LeastLength;
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
    case tlLeastIndent: choice = shape.ByColumns() ? &shape.Lines.LeastByWidth : &shape.Lines.LeastByLength; break;
    case tlAfterBlank: choice = &shape.Lines.AfterBlank; break;
    default: return textLength;
  }
  if (position == ipFirstChar && target == tlAll && shape.NarrowBlank) return kNone;
  TCounter size;
  size.Add(textLength);
  if (symbolLength != 0) size.Add(choice->Lines > kNone / symbolLength ? kNone : choice->Lines * symbolLength);
  if (position == ipFirstChar && shape.Rewrite) size.Add(choice->Growth);
  return size.Size;
}

template <class C>
std::basic_string_view<C> IndentUnit(uint8_t kind) noexcept {
  return kind == kIndentIdeographic ? TUnitsOf<C>::Ideographic
         : kind == kIndentTab       ? TUnitsOf<C>::Tab
                                    : TUnitsOf<C>::Space;
}

// Whether `line`, of indentation `width`, receives the symbol under
// `target`; afterBlank follows the paragraph starts from line to line.
inline bool IsChosen(TTargetLines target, const TLineShape& line, size_t width, size_t least,
                     bool& afterBlank) noexcept {
  switch (target) {
    case tlAll: return true;
    case tlNonBlank: return !line.Blank;
    case tlLeastIndent: return !line.Blank && width == least;
    case tlAfterBlank: {
      const bool chosen = afterBlank && !line.Blank;
      afterBlank = line.Blank;
      return chosen;
    }
  }
  return false;
}

// Where the symbol goes in a line whose blanks are kept: after the last
// indentation character that ends at or before column `least`.
template <class C>
size_t KeptCut(std::basic_string_view<C> whole, size_t indentEnd, size_t least, size_t tabWidth) noexcept {
  size_t i = 0, width = 0;
  while (i < indentEnd) {
    const size_t next = ColumnAfter(whole[i], width, tabWidth);
    if (next > least) break;
    width = next;
    i += whole[i] == C(' ') || whole[i] == C('\t') ? 1 : TUnitsOf<C>::Ideographic.size();
  }
  return i;
}

// Writes the chosen line `whole` with the symbol at the column of the least
// indentation.
template <class C, class Sink>
void PutAtFirstChar(std::basic_string_view<C> whole, const TLineShape& line, std::basic_string_view<C> symbol,
                    const TTextShape& shape, Sink& out) {
  const size_t least = shape.LeastWidth;
  const size_t width = shape.ByColumns() ? line.Width : line.Indent;
  if (shape.Way.Keep) {
    const size_t cut = KeptCut(whole, line.IndentEnd - line.Start, least, shape.Way.TabWidth);
    out.Room(symbol.size() + whole.size());
    out.Put(whole.substr(0, cut));
    out.Put(symbol);
    out.Put(whole.substr(cut));
  } else if (width < least) {
    // A blank line narrower than the least indentation.
    const std::basic_string_view<C> unit = IndentUnit<C>(shape.LeastKind);
    out.Room(least * unit.size() + symbol.size() + 2);
    out.Fill(least, unit);
    out.Put(symbol);
    out.Put(whole.substr(whole.size() - BreakLength(whole)));
  } else if (shape.Rewrite) {
    // Spaces up to column `least`, the symbol, the deeper indentation as spaces.
    out.Room(width + symbol.size() + whole.size());
    out.Fill(least, TUnitsOf<C>::Space);
    out.Put(symbol);
    out.Fill(width - least, TUnitsOf<C>::Space);
    out.Put(whole.substr(line.IndentEnd - line.Start));
  } else {
    // Indentation of one kind throughout the text: the symbol after `least` of its characters.
    const size_t cut = least * IndentUnit<C>(shape.LeastKind).size();
    out.Room(symbol.size() + whole.size());
    out.Put(whole.substr(0, cut));
    out.Put(symbol);
    out.Put(whole.substr(cut));
  }
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
    const size_t width = shape.ByColumns() ? line.Width : line.Indent;
    const bool chosen = IsChosen(target, line, width, shape.LeastWidth, afterBlank);
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
