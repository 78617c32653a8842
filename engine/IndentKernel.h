// The rules of head-symbol insertion, written once for both text forms as
// templates over the code unit (char16_t: UTF-16; char: UTF-8 bytes): the
// blanks that indent, their columns, a line's indentation, the choice of
// lines and where a chosen line takes the symbol. The engine's edits and the
// filter's byte edits both call them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "LineBreaks.h"
#include "StrRecListUnit.h"

// The blanks that indent a line, as units of C: space, tab and the
// ideographic space U+3000 (E3 80 80 in UTF-8). Nothing else indents.
template <class C>
struct TBlanks;
template <>
struct TBlanks<char16_t> {
  static constexpr std::u16string_view Space = u" ", Tab = u"\t", Ideographic = u"\u3000";
};
template <>
struct TBlanks<char> {
  static constexpr std::string_view Space = " ", Tab = "\t", Ideographic = "\xE3\x80\x80";
};

// The units of a blank of the kind.
template <class C>
constexpr std::basic_string_view<C> BlankText(uint8_t kind) noexcept {
  return kind == kIndentIdeographic ? TBlanks<C>::Ideographic : kind == kIndentTab ? TBlanks<C>::Tab : TBlanks<C>::Space;
}

// The kind of the blank at p[i] (kIndentSpace, kIndentTab or
// kIndentIdeographic), n units being readable from p; 0 for anything else.
template <class C>
constexpr uint8_t BlankAt(const C* p, size_t i, size_t n) noexcept {
  if (p[i] == TBlanks<C>::Space[0]) return kIndentSpace;
  if (p[i] == TBlanks<C>::Tab[0]) return kIndentTab;
  constexpr auto ideographic = TBlanks<C>::Ideographic;
  if (n - i >= ideographic.size() && std::equal(ideographic.begin(), ideographic.end(), p + i))
    return kIndentIdeographic;
  return 0;
}

// Whether a unit can begin a blank.
template <class C>
constexpr bool MayBeginBlank(C c) noexcept {
  return c == TBlanks<C>::Space[0] || c == TBlanks<C>::Tab[0] || c == TBlanks<C>::Ideographic[0];
}

// The units a blank of the kind takes.
template <class C>
constexpr size_t BlankLength(uint8_t kind) noexcept {
  return kind == kIndentIdeographic ? TBlanks<C>::Ideographic.size() : 1;
}

// The column a tab at `column` reaches: the next multiple of the tab width.
template <class N>
constexpr N NextTabStop(N column, N tabWidth) noexcept {
  // A division only for widths that are no power of two.
  const N within = (tabWidth & (tabWidth - 1)) == 0 ? column & (tabWidth - 1) : column % tabWidth;
  return column + tabWidth - within;
}

// The column after a blank of the kind that starts at `column`: a space is
// 1 column, an ideographic space 2.
constexpr size_t ColumnAfter(uint8_t kind, size_t column, size_t tabWidth) noexcept {
  return kind == kIndentTab ? NextTabStop(column, tabWidth) : column + (kind == kIndentIdeographic ? 2 : 1);
}

// A line's indentation: where it ends, its characters, its width in
// columns and the kinds of blank in it.
struct TIndent {
  size_t End = 0;
  size_t Count = 0;
  size_t Width = 0;
  uint8_t Kinds = 0;
};

// The indentation of the line that starts at `start`, n units readable.
template <class C>
constexpr TIndent IndentAt(const C* p, size_t start, size_t n, size_t tabWidth) noexcept {
  TIndent in{start};
  while (in.End < n) {
    const uint8_t kind = BlankAt(p, in.End, n);
    if (kind == 0) break;
    in.Kinds |= kind;
    in.Width = ColumnAfter(kind, in.Width, tabWidth);
    in.End += BlankLength<C>(kind);
    ++in.Count;
  }
  return in;
}

// Whether a line (blank or not, of indentation `width`) receives the symbol
// under `target` in a text of least indentation `least`; afterBlank follows
// the paragraph starts from line to line. Values outside the enumeration
// choose no line.
constexpr bool IsChosenLine(TTargetLines target, bool blank, size_t width, size_t least, bool& afterBlank) noexcept {
  switch (target) {
    case tlAll: return true;
    case tlNonBlank: return !blank;
    case tlLeastIndent: return !blank && width == least;
    case tlAfterBlank: {
      const bool chosen = afterBlank && !blank;
      afterBlank = blank;
      return chosen;
    }
  }
  return false;
}

// What insertion at the column of least indentation does with a text's
// indentation: cuts it after `least` characters of its one kind, rewrites
// it as spaces, or keeps every blank and cuts it at a column.
enum class TIndentHandling : uint8_t { Units, Rewrite, Keep };

constexpr TIndentHandling HandlingOf(uint8_t wholeKinds, const TIndentWay& way) noexcept {
  if (way.Keep) return TIndentHandling::Keep;
  return RewritesIndentation(wholeKinds) ? TIndentHandling::Rewrite : TIndentHandling::Units;
}

// Whether no line still to come can change the measure m itself: every
// kind of blank met, and a non-blank line without indentation.
constexpr bool MeasureIsFinal(const TIndentMeasure& m) noexcept {
  return m.Kinds == (kIndentSpace | kIndentIdeographic | kIndentTab) && m.LeastLength == 0;
}

// Whether no line still to come can change what an insertion measured as
// m does, though the measure may still change: a non-blank line without indentation makes the least none for
// good, and at the column of least indentation the handling stays as it is
// where every blank is kept or two kinds of blank were met (a mixture is
// rewritten whatever joins it).
constexpr bool MeasureIsSettled(const TIndentMeasure& m, TInsertPosition position, const TIndentWay& way) noexcept {
  if (m.LeastLength != 0) return false;
  return position == ipLineHead || way.Keep || (m.Kinds & (m.Kinds - 1)) != 0;
}

// The width a line is compared by: its characters where a single kind is
// cut by characters, else its columns.
constexpr size_t MeasuredWidth(TIndentHandling handling, const TIndent& in) noexcept {
  return handling == TIndentHandling::Units ? in.Count : in.Width;
}

// How a chosen line takes the symbol at the column of least indentation:
// Fill blanks of the text's least-indentation kind (spaces where rewritten),
// the line's first Kept units, the symbol, Pad spaces, then the line from
// Resume on (units from its start).
struct TColumnInsertion {
  size_t Fill = 0;
  size_t Kept = 0;
  size_t Pad = 0;
  size_t Resume = 0;
};

// Whether the column of least indentation is a line's head: at a least of
// none, nothing comes before the symbol, and where the line has no
// indentation or it is not rewritten, the line follows it unchanged.
constexpr bool ColumnIsLineHead(TIndentHandling handling, size_t least, bool indented = true) noexcept {
  return least == 0 && (!indented || handling != TIndentHandling::Rewrite);
}

// The insertion into the line [start, end) (with its break) of indentation
// `in`, for a text of least width `least` measured as `handling` counts it;
// unitLength is the length of the text's one kind of blank (Units only).
template <class C>
constexpr TColumnInsertion ColumnInsertion(const C* p, size_t start, size_t end, const TIndent& in, size_t least,
                                           TIndentHandling handling, size_t unitLength, size_t tabWidth) noexcept {
  TColumnInsertion ins;
  switch (handling) {
    case TIndentHandling::Keep: {
      // After the last blank that ends at or before the column.
      size_t i = start, column = 0;
      while (i < in.End) {
        const uint8_t kind = BlankAt(p, i, in.End);
        const size_t next = ColumnAfter(kind, column, tabWidth);
        if (next > least) break;
        column = next;
        i += BlankLength<C>(kind);
      }
      ins.Kept = ins.Resume = i - start;
      return ins;
    }
    case TIndentHandling::Units:
    case TIndentHandling::Rewrite: break;
  }
  const size_t width = MeasuredWidth(handling, in);
  if (width < least) {
    // A blank line narrower than the least indentation takes it; its own
    // blanks go.
    ins.Fill = least;
    ins.Resume = end - start - BreakLength(std::basic_string_view<C>(p + start, end - start));
  } else if (handling == TIndentHandling::Rewrite) {
    // Spaces up to the column, the symbol, the deeper indentation as spaces.
    ins.Fill = least;
    ins.Pad = width - least;
    ins.Resume = in.End - start;
  } else {
    // Never past the indentation, even where the measure is not this line's
    // text's (a file written between a measure and the edit).
    ins.Kept = ins.Resume = std::min(least * unitLength, in.End - start);
  }
  return ins;
}
