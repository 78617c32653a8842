// Each piece checked without decoding, then edited on its bytes; the engine's
// UTF-16 edits serve where the bytes cannot (a symbol that is not valid
// UTF-16), and the measured insertions are done on the bytes too.
#include "PieceWork.h"

#include <stdexcept>
#include <string>

#include "Utf.h"

namespace {

bool SameBytes(const TByteBuffer& out, std::string_view in) { return out.View() == in; }

// The edit through the engine, for what the byte edits do not cover.
void EditByEngine(const TPieceWork& work, std::string_view lines, bool afterNonBlank, TPieceResult& result) {
  if (work.Measure) {
    if (auto edited = ApplyEditToMeasuredUtf8Piece(lines, work.Edit, *work.Measure, afterNonBlank)) {
      result.Out.Assign(*edited);
      return;
    }
  }
  const std::u16string units = Utf8ToUtf16(lines).value();
  const std::u16string edited = work.Measure
                                    ? ApplyEditToMeasuredPiece(units, work.Edit, *work.Measure, afterNonBlank)
                                    : ApplyEditToPiece(units, work.Edit, afterNonBlank);
  const auto bytes = Utf16ToUtf8(edited);
  if (!bytes) throw std::logic_error("internal error: the result is not valid Unicode");
  result.Out.Assign(*bytes);
}

void WorkOnLines(const TPieceWork& work, std::string_view lines, bool afterNonBlank, TPieceResult& result) {
  if (work.MeasureOnly) {
    result.Breaks = MeasureIndentBytes(lines, result.Measure);
    return;
  }
  if (lines.empty()) return;
  if (work.Measure && work.Bytes.MeasuredUsable()) {
    result.Breaks = work.Bytes.ApplyMeasured(lines, afterNonBlank, *work.Measure, result.Out).Breaks;
    result.Changed = work.NoteChanges && !SameBytes(result.Out, lines);
    return;
  }
  if (!work.Measure && work.Bytes.Usable()) {
    const TByteEditResult r = work.Bytes.Apply(lines, afterNonBlank, result.Out);
    result.Breaks = r.Breaks;
    // Unchanged lines go out as they came; only before a bad byte are they
    // a part of the piece, and copied.
    if (r.Unchanged && result.Fault) result.Out.Assign(lines);
    result.WriteIn = r.Unchanged && !result.Fault;
    result.Changed = work.NoteChanges && !r.Unchanged && !SameBytes(result.Out, lines);
    return;
  }
  EditByEngine(work, lines, afterNonBlank, result);
  result.Breaks = CountLineBreaks(lines);
  result.Changed = work.NoteChanges && !SameBytes(result.Out, lines);
}

}  // namespace

void WorkOnPiece(const TPieceWork& Work, const TPiece& Piece, TPieceResult& Result) {
  Result.WriteIn = false;
  Result.Out.Size = 0;
  Result.Breaks = 0;
  Result.Changed = false;
  Result.Fault.reset();
  Result.Measure = TIndentMeasure{};
  std::string_view bytes = Piece.In.View();
  if (const auto* head = std::get_if<THeadPiece>(&Piece.Kind)) {
    // Checked and edited by the reader already.
    Result.Out.Assign(head->Edited.View());
    Result.Changed = Work.NoteChanges && !SameBytes(Result.Out, bytes);
    return;
  }
  const bool clean = IsCleanUtf8(bytes);
  if (!clean) Result.Fault = FirstByteFault(bytes);
  if (std::holds_alternative<TRestPiece>(Piece.Kind)) {
    // The rest of a long line: its break, if any, ends the piece.
    Result.WriteIn = clean;
    Result.Breaks = clean && !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r');
    return;
  }
  // The lines before the bad one are still edited and written.
  if (Result.Fault) bytes = bytes.substr(0, LineStartBefore(bytes, Result.Fault->At));
  WorkOnLines(Work, bytes, std::get<TLinesPiece>(Piece.Kind).AfterNonBlank, Result);
}
