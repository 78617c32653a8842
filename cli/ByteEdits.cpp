// Line-head edits on UTF-8 bytes. Both the text and the symbols are valid
// UTF-8, so a symbol's bytes match at a character boundary exactly where
// its UTF-16 units match in the decoded text, and the indentation
// characters (space, tab, E3 80 80) are found byte by byte.
#include "ByteEdits.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "LineScan.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

namespace {

// The most first bytes of symbols that a deletion looks for in one pass.
constexpr size_t kMostLeads = 4;
// Room kept past the end of an output for the copies in blocks.
constexpr size_t kSlack = 64;

// Copies n bytes in blocks, writing up to 63 bytes past d + n; reads past
// s + n only where the source still has bytes (up to sEnd). Most lines are
// shorter than 64 bytes and take one copy of 64, without a branch that
// depends on their length.
inline void CopyInBlocks(char* d, const char* s, size_t n, const char* sEnd) noexcept {
  if (static_cast<size_t>(sEnd - s) >= n + 64) {
    std::memcpy(d, s, 64);
    for (size_t i = 64; i < n; i += 32) std::memcpy(d + i, s + i, 32);
  } else {
    std::memcpy(d, s, n);
  }
}

// Length of the break that ends the line [start, end).
inline size_t BreakBefore(const char* p, size_t start, size_t end) noexcept {
  if (end == start) return 0;
  if (p[end - 1] == '\n') return end - start >= 2 && p[end - 2] == '\r' ? 2 : 1;
  return p[end - 1] == '\r' ? 1 : 0;
}

// Nothing but indentation before the break.
inline bool IsBlank(std::string_view line) noexcept {
  const size_t indent = IndentLength(line);
  const std::string_view rest = line.substr(indent);
  return rest.empty() || rest == "\n" || rest == "\r" || rest == "\r\n";
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

// The line breaks of bytes counted, and where any of `wanted` stands noted
// in order: one pass, sixteen bytes at a time where SSE2 exists.
uint64_t ScanBreaksAndBytes(std::string_view bytes, const std::string& wanted, std::vector<size_t>& at) {
  at.clear();
  const size_t n = bytes.size();
  const char* p = bytes.data();
  uint64_t breaks = 0;
  size_t i = 0;
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  __m128i want[kMostLeads];
  for (size_t k = 0; k < kMostLeads; ++k) want[k] = _mm_set1_epi8(wanted[k < wanted.size() ? k : 0]);
  while (i + 17 <= n) {
    // Each lane counts its breaks (a LF, or a CR before no LF); the lanes
    // are added up before they can overflow.
    __m128i lanes = _mm_setzero_si128();
    for (size_t blocks = 0; blocks < 255 && i + 17 <= n; ++blocks, i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
      const __m128i loneCr = _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(v, cr));
      lanes = _mm_sub_epi8(lanes, _mm_or_si128(_mm_cmpeq_epi8(v, lf), loneCr));
      const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, want[0]), _mm_cmpeq_epi8(v, want[1])),
                                        _mm_or_si128(_mm_cmpeq_epi8(v, want[2]), _mm_cmpeq_epi8(v, want[3])));
      for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits)); m != 0; m &= m - 1)
        at.push_back(i + static_cast<size_t>(__builtin_ctz(m)));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    breaks += static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) + static_cast<uint64_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < n; ++i) {
    breaks += p[i] == '\n' || (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n'));
    if (wanted.find(p[i]) != std::string::npos) at.push_back(i);
  }
  return breaks;
}

// One line's indentation: where it ends, its characters, its width (space
// 1, ideographic space 2, tab to the next multiple of the tab width) and its
// kinds.
struct TIndent {
  size_t End = 0;
  size_t Count = 0;
  size_t Width = 0;
  uint8_t Kinds = 0;
};
inline TIndent IndentOf(const char* p, size_t start, size_t end, size_t tabWidth) noexcept {
  TIndent in{start};
  for (size_t& i = in.End; i < end; ++in.Count) {
    const char c = p[i];
    if (c == ' ') {
      in.Kinds |= kIndentSpace;
      in.Width += 1;
      i += 1;
    } else if (c == '\t') {
      in.Kinds |= kIndentTab;
      in.Width += tabWidth - in.Width % tabWidth;
      i += 1;
    } else if (c == '\xE3' && i + 2 < end && p[i + 1] == '\x80' && p[i + 2] == '\x80') {
      in.Kinds |= kIndentIdeographic;
      in.Width += 2;
      i += 3;
    } else {
      break;
    }
  }
  return in;
}

inline bool MayIndent(char c) noexcept { return c == ' ' || c == '\t' || c == '\xE3'; }

#ifdef __SSE2__
// The set bits of a mask of at most fourteen, by table: the portable build
// has no popcount instruction.
constexpr auto kBitsOf = [] {
  std::array<uint8_t, 128> bits{};
  for (size_t i = 1; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(bits[i >> 1] + (i & 1));
  return bits;
}();
inline unsigned BitsOf(unsigned m) noexcept { return kBitsOf[m & 0x7F] + kBitsOf[m >> 7]; }

// IndentOf where sixteen bytes from p + start can be read (pEnd is where the
// readable bytes end), from bit masks of the bytes instead of a branch per
// character; the rare cases the masks cannot settle (indentation of more
// than thirteen bytes, or wider than three columns before its last tab) go
// to IndentOf.
__attribute__((always_inline)) inline TIndent FastIndentOf(const char* p, size_t start, size_t end, const char* pEnd,
                                                            size_t tabWidth) noexcept {
  if (pEnd - (p + start) < 16) return IndentOf(p, start, end, tabWidth);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + start));
  const auto bits = [&](char c) { return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)))); };
  const unsigned spaces = bits(' '), tabs = bits('\t'), conts = bits('\x80');
  // Where an ideographic space (E3 80 80) begins, and the bytes it covers.
  const unsigned ideos = bits('\xE3') & (conts >> 1) & (conts >> 2) & 0x3FFF;
  const unsigned covered = spaces | tabs | ideos | (ideos << 1) | (ideos << 2);
  const unsigned length = static_cast<unsigned>(__builtin_ctz(~covered));
  if (length >= 14) return IndentOf(p, start, end, tabWidth);
  const unsigned inside = (1u << length) - 1;
  const unsigned sp = spaces & inside, tb = tabs & inside, id = ideos & inside;
  // Each tab moves to the next multiple of the tab width: while what comes
  // before the last tab is narrower than that, the tabs make a tab width each.
  // The bits below the last tab's, without a branch on whether there is one.
  unsigned beforeLastTab = tb >> 1;
  beforeLastTab |= beforeLastTab >> 1;
  beforeLastTab |= beforeLastTab >> 2;
  beforeLastTab |= beforeLastTab >> 4;
  beforeLastTab |= beforeLastTab >> 8;
  if (BitsOf(sp & beforeLastTab) + 2 * BitsOf(id & beforeLastTab) >= tabWidth) return IndentOf(p, start, end, tabWidth);
  TIndent in;
  in.End = start + length;
  in.Count = BitsOf(sp | tb | id);
  in.Width = tabWidth * BitsOf(tb) + BitsOf(sp & ~beforeLastTab) + 2 * BitsOf(id & ~beforeLastTab);
  in.Kinds = static_cast<uint8_t>((sp ? kIndentSpace : 0) | (tb ? kIndentTab : 0) | (id ? kIndentIdeographic : 0));
  return in;
}
#else
inline TIndent FastIndentOf(const char* p, size_t start, size_t end, const char*, size_t tabWidth) noexcept {
  return IndentOf(p, start, end, tabWidth);
}
#endif

// Nothing the lines still to come hold can change the measure: every kind
// of indentation met, and a non-blank line without any.
inline bool MeasureIsFull(const TIndentMeasure& m) noexcept {
  return m.Kinds == (kIndentSpace | kIndentIdeographic | kIndentTab) && m.LeastLength == 0;
}

// Adds the line [start, end) to the measure.
inline void MeasureLine(const char* p, size_t start, size_t end, TIndentMeasure& m, size_t tabWidth) noexcept {
  if (!MayIndent(p[start])) {
    // No indentation: blank if the break comes first, else the least there is.
    if (p[start] != '\n' && p[start] != '\r') m.LeastLength = m.LeastWidth = 0;
    return;
  }
  const TIndent in = IndentOf(p, start, end, tabWidth);
  m.Kinds |= in.Kinds;
  if (in.End + BreakBefore(p, in.End, end) == end) return;  // blank
  m.LeastLength = std::min(m.LeastLength, in.Count);
  m.LeastWidth = std::min(m.LeastWidth, in.Width);
}

constexpr char kSpaces[33] = "                                ";

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

// n spaces at d, writing up to 32 bytes past d + n.
inline char* PutSpaces(char* d, size_t n) noexcept {
  if (n <= 32) std::memcpy(d, kSpaces, 32);
  else std::memset(d, ' ', n);
  return d + n;
}

}  // namespace

TByteEdit::TByteEdit(const TEdit& Edit)
    : FKind(Edit.Kind), FPosition(Edit.Position), FTarget(Edit.Target), FIndent(Edit.Indent) {
  if (!EditWorksPieceByPiece(Edit)) {
    // Positions and targets outside the enumerations choose no line: the
    // engine does those.
    const bool known = (Edit.Position == ipLineHead || Edit.Position == ipFirstChar) && Edit.Target <= tlAfterBlank;
    if (Edit.Kind != ekInsert || !known) return;
    const auto symbol = Utf16ToUtf8(Edit.Symbol);
    if (!symbol) return;
    FSymbol = *symbol;
    FMeasured = true;
    return;
  }
  if (Edit.Kind == ekInsert) {
    const auto symbol = Utf16ToUtf8(Edit.Symbol);
    if (!symbol) return;
    FSymbol = *symbol;
    FUsable = true;
    return;
  }
  // The symbols as the engine takes them from their entries; those that
  // are empty never match.
  std::vector<std::u16string> entries = Edit.Kind == ekDeleteGiven ? std::vector{Edit.Symbol} : Edit.Symbols;
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
      // A symbol is looked for after the indentation: never at a space or tab.
      if (lead != ' ' && lead != '\t' && FLeads.find(lead) == std::string::npos) FLeads += lead;
    }
  }
  FRepeat = Edit.Kind == ekDeleteAll;
  FUsable = true;
}

TByteEditResult TByteEdit::Apply(std::string_view Piece, bool AfterNonBlankLine, TByteBuffer& Out,
                                 const TLineEnds* Ends) const {
  if (FKind == ekInsert) return Insert(Piece, AfterNonBlankLine, Out, Ends);
  return Delete(Piece, Out);
}

TByteEditResult TByteEdit::Insert(std::string_view piece, bool afterNonBlank, TByteBuffer& out,
                                  const TLineEnds* given) const {
  if (!given) tEnds.Collect(piece);
  const TLineEnds& ends = given ? *given : tEnds;
  const uint64_t breaks = ends.Breaks();
  const size_t symbolLength = FSymbol.size();
  // The symbol padded, so that a short one is copied in one block.
  char symbol[16] = {};
  if (symbolLength <= sizeof symbol) std::memcpy(symbol, FSymbol.data(), symbolLength);
  out.Reserve(piece.size() + ends.size() * symbolLength + kSlack);
  const char* const p = piece.data();
  const char* const pEnd = p + piece.size();
  char* d = out.Data();
  bool afterBlank = !afterNonBlank;
  size_t start = 0;
  for (const size_t end : ends) {
    bool chosen = true;
    if (FTarget != tlAll) {
      const bool blank = IsBlank(piece.substr(start, end - start));
      chosen = !blank && (FTarget == tlNonBlank || afterBlank);
      afterBlank = blank;
    }
    if (chosen) {
      if (symbolLength <= sizeof symbol) std::memcpy(d, symbol, sizeof symbol);
      else std::memcpy(d, FSymbol.data(), symbolLength);
      d += symbolLength;
    }
    CopyInBlocks(d, p + start, end - start, pEnd);
    d += end - start;
    start = end;
  }
  out.Size = static_cast<size_t>(d - out.Data());
  return {false, breaks};
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
  if (FLeads.size() <= kMostLeads) {
    // Only a line with a symbol's first byte in it can change: those bytes
    // are found while the breaks are counted, and only their lines looked at.
    std::vector<size_t>& leads = tLeads;
    breaks = ScanBreaksAndBytes(piece, FLeads, leads);
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

void MeasureIndentBytes(std::string_view Piece, TIndentMeasure& Measure, size_t TabWidth) {
  const char* const p = Piece.data();
  const size_t n = Piece.size();
  // The first lines line by line: in most texts they fill the measure, and
  // the rest need not be looked at.
  size_t start = 0;
  for (int lines = 0; lines < 64 && start < n; ++lines) {
    if (MeasureIsFull(Measure)) return;
    const size_t end = FindLineEnd(Piece, start);
    MeasureLine(p, start, end, Measure, TabWidth);
    start = end;
  }
  if (start == n) return;
  ForEachPart(Piece.substr(start), [&](std::string_view part, const size_t* e, const size_t* last) {
    const char* const r = part.data();
    for (size_t from = 0; e != last; from = *e++) {
      // A line without indentation cannot lower a least of none.
      if (MayIndent(r[from]) || Measure.LeastLength != 0) MeasureLine(r, from, *e, Measure, TabWidth);
    }
  });
}

namespace {

// What the lines of a measured insertion need.
struct TMeasuredLines {
  std::string_view Piece;
  const size_t* Ends;     // of the lines of Piece
  const size_t* EndsEnd;
  TTargetLines Target;
  size_t Least;           // the column, in characters of Unit (or in columns when rewritten or kept)
  size_t TabWidth;
  std::string_view Unit;  // what a narrow blank line is filled with
  std::string_view Symbol;
  bool AfterBlank;        // the line before was blank; follows the lines
};

// What a measured insertion does with the indentation: cuts it after Least
// characters of one kind, rewrites it as spaces, or keeps every blank and
// cuts it at a column.
enum class TWay { Units, Rewrite, Keep };

// Where the symbol goes when blanks are kept: after the last indentation
// character of [start, indentEnd) that ends at or before column `least`.
inline size_t KeptCut(const char* p, size_t start, size_t indentEnd, size_t least, size_t tabWidth) noexcept {
  size_t width = 0;
  size_t i = start;
  while (i < indentEnd) {
    const bool tab = p[i] == '\t';
    const size_t next = p[i] == ' ' ? width + 1 : tab ? width + tabWidth - width % tabWidth : width + 2;
    if (next > least) break;
    width = next;
    i += p[i] == ' ' || tab ? 1 : 3;
  }
  return i;
}

// The lines into out, for one position and one way with the indentation,
// so that the loop tests neither; appended to out.
template <bool AtColumn, TWay Way>
void PutMeasuredLines(TMeasuredLines& m, TByteBuffer& out) {
  constexpr bool Rewrite = Way == TWay::Rewrite;
  // Everything the loop reads, in locals: the bytes it writes might
  // otherwise be taken to change them.
  const std::string_view piece = m.Piece;
  const TTargetLines target = m.Target;
  const size_t least = m.Least;
  const size_t tabWidth = m.TabWidth;
  const std::string_view unit = m.Unit;
  const std::string_view longSymbol = m.Symbol;
  const size_t symbolLength = longSymbol.size();
  char symbol[16] = {};
  const bool shortSymbol = symbolLength <= sizeof symbol;
  if (shortSymbol) std::memcpy(symbol, longSymbol.data(), symbolLength);
  const auto putSymbol = [&](char* d) {
    if (shortSymbol) std::memcpy(d, symbol, sizeof symbol);
    else std::memcpy(d, longSymbol.data(), symbolLength);
    return d + symbolLength;
  };
  // Room for what a blank line narrower than the least indentation becomes.
  const size_t narrowRoom = (Way == TWay::Keep ? 0 : least * unit.size()) + symbolLength;
  out.Reserve(out.Size + piece.size() + piece.size() / 4 + symbolLength + kSlack);
  // A line's worst: all of it tabs, each rewritten as a tab width of spaces.
  const size_t growth = Rewrite ? tabWidth : 1;
  const char* const p = piece.data();
  const char* const pEnd = p + piece.size();
  char* d = out.Data() + out.Size;
  char* limit = out.Data() + out.Capacity();
  bool afterBlank = m.AfterBlank;
  size_t start = 0;
  const size_t* const last = m.EndsEnd;
  for (const size_t* e = m.Ends; e != last; ++e) {
    const size_t end = *e;
    const size_t length = end - start;
    if (static_cast<size_t>(limit - d) < length * growth + narrowRoom + symbolLength + 2 * kSlack) {
      const size_t used = static_cast<size_t>(d - out.Data());
      out.Reserve(used + length * growth + narrowRoom + symbolLength + 2 * kSlack);
      d = out.Data() + used;
      limit = out.Data() + out.Capacity();
    }
    // Most lines begin with no indentation at all.
    const TIndent in = FastIndentOf(p, start, end, pEnd, tabWidth);
    const size_t width = Way == TWay::Units ? in.Count : in.Width;
    // Only the targets but all, and a line narrower than the least (a
    // blank one), need to know what follows the indentation.
    const bool blank = (target != tlAll || width < least) && in.End + BreakBefore(p, in.End, end) == end;
    bool chosen = false;
    switch (target) {
      case tlAll: chosen = true; break;
      case tlNonBlank: chosen = !blank; break;
      case tlLeastIndent: chosen = !blank && width == least; break;
      case tlAfterBlank:
        chosen = afterBlank && !blank;
        afterBlank = blank;
        break;
    }
    if (!chosen) {
      CopyInBlocks(d, p + start, length, pEnd);
      d += length;
    } else if (!AtColumn) {
      d = putSymbol(d);
      CopyInBlocks(d, p + start, length, pEnd);
      d += length;
    } else if (Way == TWay::Keep) {
      const size_t cut = KeptCut(p, start, in.End, least, tabWidth) - start;
      CopyInBlocks(d, p + start, cut, pEnd);
      d = putSymbol(d + cut);
      CopyInBlocks(d, p + start + cut, length - cut, pEnd);
      d += length - cut;
    } else if (width < least) {
      // A blank line narrower than the least indentation takes it.
      if (unit.size() == 1 && unit[0] == ' ') {
        d = PutSpaces(d, least);
      } else {
        for (size_t k = 0; k < least; ++k, d += unit.size()) std::memcpy(d, unit.data(), unit.size());
      }
      d = putSymbol(d);
      const size_t brk = BreakBefore(p, start, end);
      std::memcpy(d, p + end - brk, brk);
      d += brk;
    } else if (Rewrite) {
      // Spaces up to the column, the symbol, the deeper indentation as spaces.
      d = PutSpaces(d, least);
      d = putSymbol(d);
      d = PutSpaces(d, width - least);
      CopyInBlocks(d, p + in.End, end - in.End, pEnd);
      d += end - in.End;
    } else {
      // The symbol after the first `least` indentation characters, all of
      // them units; never past the indentation, even where the measure is
      // not these bytes' (a file written between the passes).
      const size_t cut = std::min(least * unit.size(), in.End - start);
      CopyInBlocks(d, p + start, cut, pEnd);
      d = putSymbol(d + cut);
      CopyInBlocks(d, p + start + cut, length - cut, pEnd);
      d += length - cut;
    }
    start = end;
  }
  out.Size = static_cast<size_t>(d - out.Data());
  m.AfterBlank = afterBlank;
}

}  // namespace

TByteEditResult TByteEdit::ApplyMeasured(std::string_view piece, bool afterNonBlank, const TIndentMeasure& whole,
                                         TByteBuffer& out, const TLineEnds* ends) const {
  const uint8_t kinds = whole.Kinds;
  const bool rewrite = !FIndent.Keep && RewritesIndentation(kinds);
  const bool atColumn = FPosition == ipFirstChar;
  const TWay way = FIndent.Keep ? TWay::Keep : rewrite ? TWay::Rewrite : TWay::Units;
  TMeasuredLines lines{{},
                       nullptr,
                       nullptr,
                       FTarget,
                       LeastIndentOf(whole, FIndent.Keep),
                       FIndent.TabWidth,
                       rewrite || kinds == kIndentSpace ? " " : kinds == kIndentTab ? "\t" : "\xE3\x80\x80",
                       FSymbol,
                       !afterNonBlank};
  out.Size = 0;
  const auto put = [&](std::string_view part, const size_t* e, const size_t* last) {
    lines.Piece = part;
    lines.Ends = e;
    lines.EndsEnd = last;
    // At the line head, kept blanks are counted as rewritten ones are: in columns.
    switch (way) {
      case TWay::Units:
        if (atColumn) PutMeasuredLines<true, TWay::Units>(lines, out);
        else PutMeasuredLines<false, TWay::Units>(lines, out);
        break;
      case TWay::Rewrite:
        if (atColumn) PutMeasuredLines<true, TWay::Rewrite>(lines, out);
        else PutMeasuredLines<false, TWay::Rewrite>(lines, out);
        break;
      case TWay::Keep:
        if (atColumn) PutMeasuredLines<true, TWay::Keep>(lines, out);
        else PutMeasuredLines<false, TWay::Rewrite>(lines, out);
        break;
    }
  };
  if (!ends) return {false, ForEachPart(piece, put)};
  put(piece, ends->begin(), ends->end());
  return {false, ends->Breaks()};
}
