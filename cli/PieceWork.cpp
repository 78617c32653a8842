// Each piece checked without decoding, then edited on its bytes.
#include "PieceWork.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "LineBreaks.h"
#include "TextScan.h"
#include "Utf.h"

namespace {

bool SameBytes(const TByteBuffer& out, std::string_view in) { return out.View() == in; }

// The lines of a piece, checked, and what the check found of them.
struct TCheckedLines {
  std::string_view Bytes;           // up to the line of the first fault, if any
  bool AfterNonBlank = false;
  const TLineEnds* Ends = nullptr;  // their ends, where the check found them
  std::optional<uint64_t> Breaks;   // their breaks, where the check counted them
};

void WorkOnLines(const TPieceWork& work, const TCheckedLines& lines, TPieceResult& result) {
  const std::string_view bytes = lines.Bytes;
  const auto breaks = [&] { return lines.Breaks ? *lines.Breaks : CountBreaks(bytes); };
  if (work.MeasureOnly) {
    MeasureIndentBytes(bytes, result.Measure, work.Edit.Indent.TabWidth);
    result.Breaks = breaks();
    return;
  }
  if (bytes.empty()) return;
  if (work.Measure) {
    result.Breaks = work.ByteEdit.ApplyMeasured(bytes, lines.AfterNonBlank, *work.Measure, result.Out, lines.Ends).Breaks;
    result.Changed = work.NoteChanges && !SameBytes(result.Out, bytes);
    return;
  }
  const TByteEditResult r = work.ByteEdit.Apply(bytes, lines.AfterNonBlank, result.Out, lines.Ends);
  result.Breaks = r.Breaks;
  // Unchanged lines go out as they came; only before a bad byte are they
  // a part of the piece, and copied.
  if (r.Unchanged && result.Fault) result.Out.Assign(bytes);
  result.WriteIn = r.Unchanged && !result.Fault;
  result.Changed = work.NoteChanges && !r.Unchanged && !SameBytes(result.Out, bytes);
}

thread_local TLineEnds tEnds;

// Checks the lines, finding in the same pass what the work on them needs:
// their breaks when they are only measured, their ends for the edits that
// take them.
TCheckedLines CheckLines(const TPieceWork& work, std::string_view bytes, bool checked, TPieceResult& result) {
  TCheckedLines lines;
  lines.Bytes = bytes;
  bool clean = false;
  uint64_t breaks = 0;
  const bool wantsEnds = !work.MeasureOnly && work.ByteEdit.TakesLineEnds() && bytes.size() <= kMostEndsAtOnce;
  if (work.MeasureOnly) {
    clean = IsCleanUtf8(bytes, breaks);
    if (clean) lines.Breaks = breaks;
  } else if (checked) {
    clean = true;
    if (wantsEnds) tEnds.Collect(bytes);
  } else if (wantsEnds) {
    clean = tEnds.CollectClean(bytes, breaks);
  } else {
    clean = IsCleanUtf8(bytes);
  }
  if (clean && wantsEnds) lines.Ends = &tEnds;
  if (!clean) {
    // The lines before the bad one are still edited and written.
    result.Fault = FirstByteFault(bytes);
    lines.Bytes = bytes.substr(0, LineStartBefore(bytes, result.Fault->At));
  }
  return lines;
}

}  // namespace

void WorkOnPiece(const TPieceWork& Work, const TPiece& Piece, TPieceResult& Result) {
  Result.WriteIn = false;
  Result.Out.Size = 0;
  Result.Breaks = 0;
  Result.Changed = false;
  Result.Fault.reset();
  Result.Measure = TIndentMeasure{};
  const std::string_view bytes = Piece.In.View();
  if (const auto* head = std::get_if<THeadPiece>(&Piece.Kind)) {
    // Checked and edited by the reader already.
    Result.Out.Assign(head->Edited.View());
    Result.Changed = Work.NoteChanges && !SameBytes(Result.Out, bytes);
    return;
  }
  if (std::holds_alternative<TRestPiece>(Piece.Kind)) {
    // The rest of a long line: its break, if any, ends the piece.
    const bool clean = IsCleanUtf8(bytes);
    if (!clean) Result.Fault = FirstByteFault(bytes);
    Result.WriteIn = clean;
    Result.Breaks = clean && !bytes.empty() && IsBreakUnit(bytes.back());
    return;
  }
  const TLinesPiece& kind = std::get<TLinesPiece>(Piece.Kind);
  TCheckedLines lines = CheckLines(Work, bytes, Work.Checked || kind.Checked, Result);
  lines.AfterNonBlank = kind.AfterNonBlank;
  WorkOnLines(Work, lines, Result);
}
