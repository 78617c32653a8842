// Fuzz target for the line-head engine. Every result is compared with a slow
// reference written straight from the definitions, on lines cut by the
// string record list; the checks also cover the round trips that users rely
// on and the UTF-8 conversions. The fast paths (pieces of a text edited one
// by one, on UTF-8 bytes, or by the head of a long line; vector line cutting;
// lenient decoders; the filter's edits on UTF-8 bytes and its UTF-8 check)
// are compared with the whole-text UTF-16 functions and the decoder. Any
// mismatch aborts with both texts.
//
// The input bytes are read as a small program: options, a symbol, entries and
// a text, drawn mostly from an alphabet of the characters that matter here
// (indentation, breaks, symbol characters, backslashes, NUL, lone surrogates).
// The spare high bits of each text byte choose where the text is cut into
// pieces and which heads of its lines are edited alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../EditModels.h"
#include "ByteEdits.h"
#include "EditUnit.h"
#include "FuzzKit.h"
#include "HeadSymbolDeletion.h"
#include "LineBreaks.h"
#include "StringRecordList.h"
#include "StringUnit.h"
#include "StrRecListUnit.h"
#include "SymbolEntryUnit.h"
#include "TextDecoding.h"
#include "TextScan.h"
#include "Utf.h"
#include "Utf8Check.h"

namespace {

// ---------------------------------------------------------------- references

bool IsIndent(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000'; }

size_t ReferenceIndentLength(u16v line) {
  size_t k = 0;
  while (k < line.size() && IsIndent(line[k])) ++k;
  return k;
}

u16 BreakOf(u16v line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == u"\r\n") return u"\r\n";
  if (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) return u16(1, line.back());
  return u"";
}

// Display width of an indentation string: space 1, ideographic space 2, tab
// to the next multiple of 4; expanded into spaces only.
u16 ExpandIndentRef(u16v indent, bool keepIdeographic, size_t tabWidth = 4) {
  u16 out;
  size_t col = 0;
  for (char16_t c : indent) {
    if (c == u'\t') {
      const size_t n = tabWidth - col % tabWidth;
      out.append(n, u' ');
      col += n;
    } else if (c == u'\u3000') {
      if (keepIdeographic) out += c;
      else out += u"  ";
      col += 2;
    } else {
      out += c;
      col += 1;
    }
  }
  return out;
}

// The symbol in a line whose blanks are kept: after the longest start of
// the indentation that is no wider than `least`.
u16 KeptRef(u16v indent, u16v symbol, size_t least, size_t tabWidth) {
  size_t k = 0;
  while (k < indent.size() && ExpandIndentRef(indent.substr(0, k + 1), false, tabWidth).size() <= least) ++k;
  return u16(indent.substr(0, k)) + u16(symbol) + u16(indent.substr(k));
}

u16 InsertRef(u16v text, u16v symbol, TInsertPosition position, TTargetLines target, TIndentWay way = {}) {
  if (text.empty()) return u16(symbol);
  TCommonStringRecordList list;
  list.SetText(text);
  const int32_t n = list.Count();
  std::vector<u16> indent(n), rest(n), newIndent(n);
  std::vector<bool> blank(n);
  u16 all;
  for (int32_t i = 0; i < n; ++i) {
    const u16 line = list.Items(i);
    const size_t k = ReferenceIndentLength(line);
    indent[i] = line.substr(0, k);
    rest[i] = line.substr(k);
    blank[i] = rest[i].empty() || rest[i] == u"\r\n" || rest[i] == u"\r" || rest[i] == u"\n";
    all += indent[i];
  }
  bool oneKind = !all.empty();
  for (char16_t c : all) oneKind = oneKind && c == all[0];
  // Blanks that are kept are measured in columns: as rewritten ones.
  const bool rewrite = !oneKind || way.Keep;
  for (int32_t i = 0; i < n; ++i) newIndent[i] = rewrite ? ExpandIndentRef(indent[i], false, way.TabWidth) : indent[i];

  bool found = false;
  size_t least = 0;
  u16 leastString;
  for (int32_t i = 0; i < n; ++i) {
    if (blank[i]) continue;
    if (!found || newIndent[i].size() < least) {
      least = newIndent[i].size();
      leastString = newIndent[i];
      found = true;
    }
  }

  bool afterBlank = true;
  for (int32_t i = 0; i < n; ++i) {
    bool chosen = false;
    switch (target) {
      case tlAll: chosen = true; break;
      case tlNonBlank: chosen = !blank[i]; break;
      case tlLeastIndent: chosen = !blank[i] && newIndent[i].size() == least; break;
      case tlAfterBlank:
        if (blank[i]) afterBlank = true;
        else if (afterBlank) chosen = true, afterBlank = false;
        break;
    }
    if (!chosen) continue;
    const u16 line = list.Items(i);
    if (position == ipLineHead) {
      list.SetItems(i, u16(symbol) + line);
    } else if (way.Keep) {
      list.SetItems(i, KeptRef(indent[i], symbol, least, way.TabWidth) + rest[i]);
    } else if (least <= newIndent[i].size()) {
      list.SetItems(i, newIndent[i].substr(0, least) + u16(symbol) + newIndent[i].substr(least) + rest[i]);
    } else {
      list.SetItems(i, leastString + u16(symbol) + BreakOf(line));
    }
  }
  return list.Text();
}

u16 DeleteLineRef(u16v line, u16v entry) {
  const size_t p = ReferenceIndentLength(line);
  const u16 s = SymbolRef(entry);
  u16 out(line);
  if (!s.empty() && p + s.size() <= line.size() && line.substr(p, s.size()) == s) return out.erase(p, s.size());
  const u16 t = TrimRef(s, true);
  if (!t.empty() && p + t.size() <= line.size() && line.substr(p, t.size()) == t) return out.erase(p, t.size());
  return out;
}

u16 DeleteOnceRef(u16v text, const std::vector<u16>& entries) {
  TCommonStringRecordList list;
  list.SetText(text);
  for (int32_t i = 0; i < list.Count(); ++i) {
    u16 line = list.Items(i);
    for (const auto& e : entries) line = DeleteLineRef(line, e);
    list.SetItems(i, line);
  }
  return list.Text();
}

// Whole-text passes, the text cut afresh every time, until nothing changes.
u16 DeleteAllRef(u16v text, const std::vector<u16>& entries) {
  u16 cur(text);
  for (;;) {
    u16 next = DeleteOnceRef(cur, entries);
    if (next == cur) return cur;
    if (next.size() >= cur.size()) Fail("DeleteAll must shorten every changed pass", text, next, cur);
    cur = next;
  }
}

// ---------------------------------------------------------------- input

const char16_t kAlphabet[] = {u' ',  u' ',      u'\t',     u'\u3000', u'\r', u'\n', u'\r', u'\n',
                              u'>',  u'#',      u'/',      u'a',      u'b',  u'\\', u'n',  u'T',
                              u'\0', u'\xD800', u'\xDC00', u'\u3042', u'-',  u'\x1F', u'\u00A0', u'R'};

struct TReader : TFuzzInput {
  // The character, and in `spare` the byte's bits that the alphabet leaves
  // over (0 for a raw code unit).
  char16_t Char(uint8_t* spare = nullptr) {
    const uint8_t b = Byte();
    constexpr size_t kSize = sizeof kAlphabet / sizeof *kAlphabet;
    if (spare) *spare = 0;
    if (b == 0xFF && N >= 2) {  // a raw code unit
      const char16_t c = static_cast<char16_t>(P[0] | (P[1] << 8));
      P += 2;
      N -= 2;
      return c;
    }
    if (spare) *spare = static_cast<uint8_t>(b / kSize);
    return kAlphabet[b % kSize];
  }
  u16 String(size_t n, std::vector<uint8_t>* spares = nullptr) {
    u16 s;
    while (n-- > 0 && N > 0) {
      uint8_t spare = 0;
      s += Char(&spare);
      if (spares) spares->push_back(spare);
    }
    return s;
  }
};

void CheckDecode(std::string_view bytes) {
  size_t bad = 0;
  auto got = Utf8ToUtf16(bytes, &bad);
  u16 expected;
  auto badRef = Utf8Ref(bytes, expected);
  if (got.has_value() == badRef.has_value()) Fail("Utf8ToUtf16 acceptance", u"", got ? *got : u"(rejected)", u"");
  if (got) Check("Utf8ToUtf16", u"", *got, expected);
  if (!got && bad != *badRef) Fail("Utf8ToUtf16 offset", u"", u16(1, char16_t(bad)), u16(1, char16_t(*badRef)));
  if (got && Utf16ToUtf8(*got) != std::string(bytes)) Fail("UTF-8 round trip", *got, u"", u"");
}

void CheckEncode(u16v text) {
  bool lone = false;
  const std::string ref = Utf16Ref(text, lone);
  auto strict = Utf16ToUtf8(text);
  if (strict.has_value() == lone) Fail("Utf16ToUtf8 acceptance", text, u"", u"");
  if (strict && *strict != ref) Fail("Utf16ToUtf8", text, u"", u"");
  if (Utf16ToUtf8Lossy(text) != ref) Fail("Utf16ToUtf8Lossy", text, u"", u"");
}

// The conversions with every implementation this processor has (the vector
// ones take their fast paths only on runs of ASCII and three-byte
// characters): the raw input as UTF-8, the text as UTF-16, the text's UTF-8
// (long runs of kana and ideographic spaces) and that with one byte changed.
void CheckUtf(const uint8_t* data, size_t size, u16v text) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool lone = false;
  const std::string valid = Utf16Ref(text, lone);
  std::string changed = valid;
  if (!changed.empty() && size >= 2) changed[(data[0] | (data[1] << 8)) % changed.size()] = static_cast<char>(data[size - 1]);
  const TIsa saved = ScanIsa();
  for (TIsa isa : IsasThisProcessorRuns()) {
    SetScanIsa(isa);
    CheckDecode(bytes);
    CheckDecode(valid);
    CheckDecode(changed);
    CheckEncode(text);
  }
  SetScanIsa(saved);
}

// ---------------------------------------------------------------- fast paths

const char* KindName(TEditKind kind) {
  static const char* const names[] = {"insert", "delete given", "delete once", "delete all"};
  return names[kind];
}

// The edit as a failure names it.
std::string EditName(const TEdit& edit) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s, position %d, target %d, tab width %zu%s", KindName(edit.Kind),
                static_cast<int>(edit.Position), static_cast<int>(edit.Target), edit.Indent.TabWidth,
                edit.Indent.Keep ? ", every blank kept" : "");
  return buf;
}

u16 EditRef(u16v text, const TEdit& edit) {
  switch (edit.Kind) {
    case ekInsert: return InsertRef(text, edit.Symbol, edit.Position, edit.Target, edit.Indent);
    case ekDeleteGiven: return DeleteOnceRef(text, {edit.Symbol});
    case ekDeleteOnce: return DeleteOnceRef(text, edit.Symbols);
    case ekDeleteAll: return DeleteAllRef(text, edit.Symbols);
  }
  return u16(text);
}

bool IsBlankRef(u16v line) {
  const u16v rest = line.substr(ReferenceIndentLength(line));
  return rest.empty() || rest == u"\r\n" || rest == u"\r" || rest == u"\n";
}

// The measure of a text from its lines: least indentation length and width
// over the non-blank lines.
TIndentMeasure MeasureRef(u16v text, size_t tabWidth) {
  TIndentMeasure m;
  for (const u16& line : CutLines(text)) {
    if (IsBlankRef(line)) continue;
    const u16v indent = u16v(line).substr(0, ReferenceIndentLength(line));
    const size_t width = ExpandIndentRef(indent, false, tabWidth).size();
    m.LeastLength = std::min(m.LeastLength, indent.size());
    m.LeastWidth = std::min(m.LeastWidth, width);
  }
  return m;
}

bool SameMeasure(const TIndentMeasure& a, const TIndentMeasure& b, bool kinds) {
  return (!kinds || a.Kinds == b.Kinds) && a.LeastLength == b.LeastLength && a.LeastWidth == b.LeastWidth;
}

void CheckMeasure(const char* what, u16v input, const TIndentMeasure& got, const TIndentMeasure& expected,
                  bool kinds) {
  if (SameMeasure(got, expected, kinds)) return;
  char buf[200];
  std::snprintf(buf, sizeof buf, "kinds %u least %zu/%zu", got.Kinds, got.LeastLength, got.LeastWidth);
  const std::string g = buf;
  std::snprintf(buf, sizeof buf, "kinds %u least %zu/%zu", expected.Kinds, expected.LeastLength,
                expected.LeastWidth);
  Fail(what, input, Widen(g), Widen(buf));
}

// The text cut into pieces of whole lines: after each line whose last unit
// has the spare bit 1 set. Pieces keep their order; joined they are the text.
std::vector<u16v> CutPieces(u16v text, const std::vector<uint8_t>& spares) {
  std::vector<u16v> pieces;
  size_t start = 0;
  for (size_t end = 0; end < text.size();) {
    end = LineEndAt(text, end);
    if ((spares[end - 1] & 1) || end == text.size()) {
      pieces.push_back(text.substr(start, end - start));
      start = end;
    }
  }
  return pieces;
}

// Whether the last line of a piece is non-blank (the flag its successor gets).
bool EndsNonBlank(u16v piece, bool before) {
  const std::vector<u16> lines = CutLines(piece);
  return lines.empty() ? before : !IsBlankRef(lines.back());
}

// One edit: whole text against the reference, then every fast path against
// the whole-text result.
// The portable scans while it lives, for a comparison with the vector ones.
struct TScalarScans {
  const TIsa Saved = ScanIsa();
  TScalarScans() { SetScanIsa(TIsa::Scalar); }
  ~TScalarScans() { SetScanIsa(Saved); }
};

void CheckEdit(u16v text, const TEdit& edit, const std::vector<u16v>& pieces, const std::vector<uint8_t>& spares,
               const TIndentMeasure& measure, const std::optional<TIndentMeasure>& utf8Measure) {
  // Named once, for any failure of this edit: naming it at every check
  // would cost more than many of the checks.
  const std::string name = EditName(edit);
  const TFailContext context(name.c_str());
  const u16 whole = ApplyEdit(text, edit);
  Check("ApplyEdit", text, whole, EditRef(text, edit));
  if (text.empty()) return;  // an empty text is no line, and no piece

  const bool byPiece = EditWorksPieceByPiece(edit);
  if (EditWorksLineByLine(edit) && !byPiece) Fail("line by line but not piece by piece", text, u"", u"");
  const std::optional<std::string> symbol8 = Utf16ToUtf8(edit.Symbol);
  u16 joined, joinedMeasured;
  std::string joined8, joinedBytes, joinedMeasuredBytes;
  const TByteEdit byteEdit(edit);
  const bool onBytes = byteEdit.Usable() && Utf16ToUtf8(text).has_value();
  TByteBuffer out;
  bool after = false;
  for (const u16v piece : pieces) {
    if (byPiece) {
      const u16 got = ApplyEditToPiece(piece, edit, after);
      joined += got;
      if (onBytes) {
        // The filter's edit of the piece's bytes.
        const std::string bytes = *Utf16ToUtf8(piece);
        const TByteEditResult r = byteEdit.Apply(bytes, after, out);
        const std::string gotBytes(r.Unchanged ? std::string_view(bytes) : out.View());
        CheckBytes("TByteEdit", piece, gotBytes, *Utf16ToUtf8(got));
        if (r.Breaks != CountBreaks(bytes)) Fail("TByteEdit breaks", piece, u"", u"");
        // The same with the line ends the check found, on the portable scans.
        TLineEnds ends;
        uint64_t breaks = 0;
        if (byteEdit.TakesLineEnds() && ends.CollectClean(bytes, breaks)) {
          const TScalarScans scalar;
          const TByteEditResult e = byteEdit.Apply(bytes, after, out, &ends);
          CheckBytes("TByteEdit given its ends", piece,
                     std::string(e.Unchanged ? std::string_view(bytes) : out.View()), gotBytes);
        }
        joinedBytes += gotBytes;
      }
      // Line by line, the line before does not matter.
      if (EditWorksLineByLine(edit))
        Check("ApplyEditToPiece ignores the line before", piece,
              ApplyEditToPiece(piece, edit, !after), got);
    }
    joinedMeasured += ApplyEditToMeasuredPiece(piece, edit, measure, after);
    if (utf8Measure) {
      const std::string bytes = *Utf16ToUtf8(piece);
      const std::optional<std::string> got = ApplyEditToMeasuredUtf8Piece(bytes, edit, *utf8Measure, after);
      // It works on the bytes for insertions of a valid symbol, and only then.
      if (got.has_value() != (edit.Kind == ekInsert && symbol8.has_value()))
        Fail("ApplyEditToMeasuredUtf8Piece falls back", piece, got ? u"bytes" : u"nullopt",
             u"");
      if (got) joined8 += *got;
      if (byteEdit.MeasuredUsable()) {
        // The filter's measured insertion of the piece's bytes.
        const TByteEditResult r = byteEdit.ApplyMeasured(bytes, after, *utf8Measure, out);
        if (r.Breaks != CountBreaks(bytes)) Fail("TByteEdit measured breaks", piece, u"", u"");
        joinedMeasuredBytes += out.View();
        TLineEnds ends;
        uint64_t breaks = 0;
        if (ends.CollectClean(bytes, breaks)) {
          const std::string without(out.View());
          const TScalarScans scalar;
          byteEdit.ApplyMeasured(bytes, after, *utf8Measure, out, &ends);
          CheckBytes("TByteEdit measured, given its ends", piece, std::string(out.View()),
                     without);
        }
      }
    }
    after = EndsNonBlank(piece, after);
  }
  if (byPiece) Check("ApplyEditToPiece joined", text, joined, whole);
  if (byPiece && onBytes) CheckBytes("TByteEdit joined", text, joinedBytes, *Utf16ToUtf8(whole));
  // The byte edits take every streaming edit whose symbols are valid UTF-16.
  if (byteEdit.Usable() != (byPiece && (edit.Kind == ekInsert ? symbol8.has_value() : [&] {
                              for (const u16& s : edit.Symbols)
                                if (!Utf16ToUtf8(SymbolRef(s))) return false;
                              return edit.Kind != ekDeleteGiven || Utf16ToUtf8(SymbolRef(edit.Symbol)).has_value();
                            }())))
    Fail("TByteEdit usable", text, u"", u"");
  Check("ApplyEditToMeasuredPiece joined", text, joinedMeasured, whole);
  if (utf8Measure && edit.Kind == ekInsert && symbol8)
    CheckBytes("ApplyEditToMeasuredUtf8Piece joined", text, joined8, *Utf16ToUtf8(whole));
  // The filter does on bytes every insertion that needs the measure.
  if (byteEdit.MeasuredUsable() != (!byPiece && edit.Kind == ekInsert && symbol8.has_value()))
    Fail("TByteEdit measured usable", text, u"", u"");
  if (utf8Measure && byteEdit.MeasuredUsable())
    CheckBytes("TByteEdit measured joined", text, joinedMeasuredBytes, *Utf16ToUtf8(whole));

  // Empty pieces give nothing.
  if (byPiece) Check("ApplyEditToPiece of nothing", text, ApplyEditToPiece(u"", edit, true), u"");
  Check("ApplyEditToMeasuredPiece of nothing", text, ApplyEditToMeasuredPiece(u"", edit, measure, true), u"");
  if (auto none = ApplyEditToMeasuredUtf8Piece("", edit, measure, true)) CheckBytes("Utf8 piece of nothing", text, *none, "");

  // Heads of lines: the chosen ones (spare bit 2 on their last unit) and the
  // whole line without its break. Where the head decides the line, the rest
  // of the line follows it unchanged.
  if (!byPiece) return;
  bool nonBlankBefore = false;
  size_t start = 0;
  for (const u16& line : CutLines(text)) {
    const size_t content = line.size() - BreakOf(line).size();
    const u16 expected = ApplyEditToPiece(line, edit, nonBlankBefore);
    for (size_t h = 0; h <= content; ++h) {
      if (h != content && !(h > 0 && (spares[start + h - 1] & 2))) continue;
      const u16v head = u16v(line).substr(0, h);
      const std::optional<u16> got = ApplyEditToLineHead(head, edit, nonBlankBefore);
      // An insertion is decided by any head that is more than indentation.
      if (edit.Kind == ekInsert && got.has_value() != (ReferenceIndentLength(head) < h))
        Fail("ApplyEditToLineHead decides", head, got ? *got : u"nullopt", u"");
      if (got) Check("ApplyEditToLineHead", line, *got + line.substr(h), expected);
    }
    nonBlankBefore = !IsBlankRef(line);
    start += line.size();
  }
}

// The measures of a text for a tab width: of the whole text, of the pieces
// merged (in either order), and of the UTF-8 bytes, each checked against
// the measure of the lines.
struct TMeasures {
  TIndentMeasure Whole;
  std::optional<TIndentMeasure> Utf8;
};
TMeasures MeasuresOf(u16v text, const std::vector<u16v>& pieces, bool reverseMerge, size_t tabWidth) {
  TMeasures m;
  MeasureIndentation(text, m.Whole, tabWidth);
  CheckMeasure("MeasureIndentation", text, m.Whole, MeasureRef(text, tabWidth), false);
  TIndentMeasure merged;
  for (size_t k = 0; k < pieces.size(); ++k) {
    TIndentMeasure one;
    MeasureIndentation(pieces[reverseMerge ? pieces.size() - 1 - k : k], one, tabWidth);
    MergeIndentMeasure(merged, one);
  }
  CheckMeasure("MergeIndentMeasure", text, merged, m.Whole, true);
  if (!Utf16ToUtf8(text)) return m;
  m.Utf8.emplace();
  for (const u16v piece : pieces) {
    TIndentMeasure one, one8;
    MeasureIndentation(piece, one, tabWidth);
    MeasureIndentation(std::string_view(*Utf16ToUtf8(piece)), one8, tabWidth);
    CheckMeasure("MeasureIndentation of UTF-8", piece, one8, one, true);
    // The filter's measure of the bytes, which stops looking once full.
    TIndentMeasure filter;
    const std::string bytes = *Utf16ToUtf8(piece);
    MeasureIndentBytes(bytes, filter, tabWidth);
    CheckMeasure("MeasureIndentBytes", piece, filter, one, true);
    MergeIndentMeasure(*m.Utf8, one8);
  }
  return m;
}

void CheckEdits(u16v text, const std::vector<uint8_t>& spares, u16v symbol, const std::vector<u16>& usable,
                bool reverseMerge) {
  const std::vector<u16v> pieces = CutPieces(text, spares);
  const TMeasures measures = MeasuresOf(text, pieces, reverseMerge, kPluginTabWidth);
  const TIndentMeasure& whole = measures.Whole;
  const std::optional<TIndentMeasure>& utf8Measure = measures.Utf8;

  // Every kind of edit. Deleted symbols are those a settings list or the
  // filter can give: no tab or line break.
  u16 given;
  for (char16_t c : symbol)
    if (c != u'\t' && c != u'\r' && c != u'\n') given += c;
  TEdit edit;
  edit.Symbol = u16(symbol);
  for (auto position : {ipLineHead, ipFirstChar})
    for (auto target : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) {
      edit.Position = position;
      edit.Target = target;
      CheckEdit(text, edit, pieces, spares, whole, utf8Measure);
    }
  // Another tab width (from the input), rewritten and with every blank kept.
  const size_t tabWidth = 1 + (spares.empty() ? 0 : spares.front() % 9);
  const TMeasures other = MeasuresOf(text, pieces, reverseMerge, tabWidth);
  for (bool keep : {false, true})
    for (auto position : {ipLineHead, ipFirstChar})
      for (auto target : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) {
        edit.Position = position;
        edit.Target = target;
        edit.Indent = TIndentWay{tabWidth, keep};
        CheckEdit(text, edit, pieces, spares, other.Whole, other.Utf8);
      }
  edit = TEdit{};
  edit.Kind = ekDeleteGiven;
  edit.Symbol = given;
  CheckEdit(text, edit, pieces, spares, whole, utf8Measure);
  edit = TEdit{};
  for (const u16& e : usable) edit.Symbols.push_back(SymbolRef(e));
  if (!given.empty()) edit.Symbols.push_back(given);
  for (TEditKind kind : {ekDeleteOnce, ekDeleteAll}) {
    edit.Kind = kind;
    CheckEdit(text, edit, pieces, spares, whole, utf8Measure);
  }
}

// Line ends by a plain scan: CR LF, then a lone CR, then a lone LF.
size_t LineEndRef(std::string_view s, size_t start) {
  for (size_t i = start; i < s.size(); ++i) {
    if (s[i] == '\n') return i + 1;
    if (s[i] == '\r') return i + 1 < s.size() && s[i + 1] == '\n' ? i + 2 : i + 1;
  }
  return s.size();
}

void CheckLineScan(std::string_view bytes, u16v text) {
  const TIsa saved = ScanIsa();
  for (TIsa isa : IsasThisProcessorRuns()) {
    SetScanIsa(isa);
    for (size_t i = 0; i <= bytes.size(); ++i)
      if (FindLineEnd(bytes, i) != LineEndRef(bytes, i)) Fail("FindLineEnd of bytes", Widen(bytes.substr(i)), u"", u"");
    for (size_t i = 0; i <= text.size(); ++i)
      if (FindLineEnd(text, i) != LineEndAt(text, i)) Fail("FindLineEnd", text.substr(i), u"", u"");
    if (CountLines(text) != CutLines(text).size()) Fail("CountLines", text, u"", u"");
  }
  SetScanIsa(saved);
}

// The lenient decoders: any bytes give valid UTF-16, and valid input gives
// what the strict decoder gives.
void CheckLenient(std::string_view bytes) {
  const u16 lenient = Utf8ToUtf16Replacing(bytes);
  if (!Utf16ToUtf8(lenient)) Fail("Utf8ToUtf16Replacing gives lone surrogates", Widen(bytes), lenient, u"");
  if (auto strict = Utf8ToUtf16(bytes)) Check("Utf8ToUtf16Replacing of valid bytes", Widen(bytes), lenient, *strict);
  for (bool big : {false, true}) {
    const u16 units = Utf16ToUtf16Replacing(bytes, big);
    if (!Utf16ToUtf8(units)) Fail("Utf16ToUtf16Replacing gives lone surrogates", Widen(bytes), units, u"");
    if (units.size() != (bytes.size() + 1) / 2) Fail("Utf16ToUtf16Replacing length", Widen(bytes), units, u"");
  }
}

std::string Utf16Bytes(u16v text, bool big) {
  std::string out;
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big ? hi : lo;
    out += big ? lo : hi;
  }
  return out;
}

void CheckDecoding(std::string_view raw, u16v text) {
  const auto withoutMark = [](std::string_view b) { return u"(none)" + Widen(b); };
  const std::optional<std::string> valid = Utf16ToUtf8(text);
  const TIsa saved = ScanIsa();
  for (TIsa isa : IsasThisProcessorRuns()) {
    SetScanIsa(isa);
    CheckLenient(raw);
    const u16 any = DecodeMarkedText(raw, withoutMark);
    const TByteOrderMark mark = ByteOrderMarkOf(raw);
    if (mark == bomNone) Check("DecodeMarkedText without a mark", Widen(raw), any, withoutMark(raw));
    else if (!Utf16ToUtf8(any)) Fail("DecodeMarkedText gives lone surrogates", Widen(raw), any, u"");
    if (!valid) continue;
    // The text in each encoding, with its mark.
    CheckLenient(*valid);
    Check("DecodeMarkedText of UTF-8", text, DecodeMarkedText("\xEF\xBB\xBF" + *valid, withoutMark), text);
    Check("DecodeMarkedText of UTF-16 LE", text, DecodeMarkedText("\xFF\xFE" + Utf16Bytes(text, false), withoutMark),
          text);
    Check("DecodeMarkedText of UTF-16 BE", text, DecodeMarkedText("\xFE\xFF" + Utf16Bytes(text, true), withoutMark),
          text);
  }
  SetScanIsa(saved);
}

}  // namespace

// The filter's UTF-8 check, in every form this processor runs, and its
// fault finder against the decoder (a NUL is a fault too).
void CheckUtf8Check(std::string_view raw) {
  size_t bad = 0;
  const bool valid = Utf8ToUtf16(raw, &bad).has_value();
  const size_t nul = raw.substr(0, valid ? raw.size() : bad).find('\0');
  const bool clean = valid && nul == std::string_view::npos;
  const TIsa saved = ScanIsa();
  for (TIsa isa : IsasThisProcessorRuns()) {
    SetScanIsa(isa);
    if (IsCleanUtf8(raw) != clean) Fail("IsCleanUtf8", Widen(raw), clean ? u"refused" : u"passed", u"");
    uint64_t breaks = 0;
    if (IsCleanUtf8(raw, breaks) != clean || (clean && breaks != CountBreaks(raw)))
      Fail("IsCleanUtf8 counting breaks", Widen(raw), u"", u"");
    TLineEnds ends, reference;
    reference.Collect(raw);
    if (ends.CollectClean(raw, breaks) != clean ||
        (clean && (breaks != reference.Breaks() || !std::equal(ends.begin(), ends.end(), reference.begin(),
                                                               reference.end()))))
      Fail("TLineEnds::CollectClean", Widen(raw), u"", u"");
  }
  SetScanIsa(saved);
  const std::optional<TByteFault> fault = FirstByteFault(raw);
  if (fault.has_value() == clean) Fail("FirstByteFault found", Widen(raw), u"", u"");
  if (fault && (fault->Nul != (nul != std::string_view::npos) || fault->At != (fault->Nul ? nul : bad)))
    Fail("FirstByteFault place", Widen(raw), u"", u"");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TReader r{{data, size}};
  const uint8_t options = r.Byte();
  const u16 symbol = r.String(options & 7);
  const size_t entryCount = (options >> 3) & 3;
  // Entries: symbol, tab, caption and a break, as a settings line gives them,
  // or raw text (tabs and breaks anywhere) for the entry operations alone.
  std::vector<u16> entries;
  for (size_t k = 0; k < entryCount; ++k) {
    const uint8_t b = r.Byte();
    const uint8_t shape = r.Byte();
    u16 e = r.String(b & 7);
    if (b & 0x40) e += u16((shape >> 2) % 3 + 1, u'\t') + r.String((b >> 3) & 7);
    if (!(b & 0x80)) {
      for (auto& c : e)
        if (c == u'\r' || c == u'\n') c = u'x';
      static const char16_t* const breaks[] = {u"", u"\r\n", u"\r", u"\n"};
      e += breaks[shape & 3];
    }
    entries.push_back(e);
  }
  std::vector<uint8_t> spares;
  const u16 text = r.String(size, &spares);

  // Cutting and joining lines.
  TCommonStringRecordList list;
  list.SetText(text);
  Check("Text write then read", text, list.Text(), text);
  const std::vector<u16> lines = CutLines(text);
  if (static_cast<size_t>(list.Count()) != lines.size()) Fail("SetText line count", text, u"", u"");
  for (size_t i = 0; i < lines.size(); ++i) Check("SetText line", text, list.Item(static_cast<int32_t>(i)), lines[i]);

  // Insertion, every mode.
  for (auto position : {ipLineHead, ipFirstChar})
    for (auto target : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank})
      Check("InsertHeadSymbol", text, InsertHeadSymbol(text, symbol, position, target),
            InsertRef(text, symbol, position, target));

  // Tab expansion of indentation (widths of space and ideographic space).
  for (const auto& line : lines) {
    const u16v indent = u16v(line).substr(0, ReferenceIndentLength(line));
    Check("ExpandTabs", indent, ExpandTabs(indent, 4), ExpandIndentRef(indent, true));
  }

  // Entries.
  for (const auto& e : entries) {
    if (IsValidEntry(e) != (Fields(e).size() == 2)) Fail("IsValidEntry", e, u"", u"");
    Check("SymbolOfEntry", e, SymbolOfEntry(e), SymbolRef(e));
    Check("CaptionOfEntry", e, CaptionOfEntry(e), CaptionRef(e));
    Check("DecodeEscapes", e, DecodeEscapes(e), DecodeRef(e));
  }

  // Deletion, with the entries that a settings list can hold: valid ones,
  // whose symbol therefore has no line break.
  std::vector<u16> usable;
  TCommonStringRecordList usableList;
  for (const auto& e : entries) {
    const u16 sym = SymbolRef(e);
    if (Fields(e).size() != 2 || sym.find_first_of(u"\r\n") != u16::npos) continue;
    usable.push_back(e);
    usableList.Add(e);
    for (const auto& line : lines)
      Check("DeleteHeadSymbolFromLine", line + u"|" + e, DeleteHeadSymbolFromLine(line, e), DeleteLineRef(line, e));
    Check("DeleteSpecifiedHeadSymbol", text + u"|" + e, DeleteSpecifiedHeadSymbol(text, e), DeleteOnceRef(text, {e}));
  }
  Check("DeleteHeadSymbolsOnce", text, DeleteHeadSymbolsOnce(text, usableList), DeleteOnceRef(text, usable));
  Check("DeleteHeadSymbolsAll", text, DeleteHeadSymbolsAll(text, usableList), DeleteAllRef(text, usable));

  // What is inserted before every line comes off again, when the symbol is a
  // plain one: not empty, no tab or break, not starting with indentation.
  bool plain = !symbol.empty() && !IsIndent(symbol[0]);
  for (char16_t c : symbol) plain = plain && c != u'\t' && c != u'\r' && c != u'\n';
  if (plain) {
    const u16 inserted = InsertHeadSymbol(text, symbol, ipLineHead, tlAll);
    Check("insert then delete", text, DeleteSpecifiedHeadSymbol(inserted, symbol + u"\tcaption"), text);
  }

  CheckEdits(text, spares, symbol, usable, (options & 0x20) != 0);
  CheckLineScan(std::string_view(reinterpret_cast<const char*>(data), size), text);
  if (auto bytes = Utf16ToUtf8(text)) CheckLineScan(*bytes, text);
  CheckDecoding(std::string_view(reinterpret_cast<const char*>(data), size), text);
  CheckUtf(data, size, text);
  CheckUtf8Check(std::string_view(reinterpret_cast<const char*>(data), size));
  if (auto bytes = Utf16ToUtf8(text)) CheckUtf8Check(*bytes);
  return 0;
}
