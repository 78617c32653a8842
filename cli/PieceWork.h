// What is done to each piece of a text: checked, and edited (or, in the
// first pass of the edits that look at the whole text, measured).
#pragma once

#include "ByteEdits.h"
#include "EditUnit.h"
#include "Pieces.h"

struct TPieceWork {
  const TEdit& Edit;
  const TByteEdit& ByteEdit;                // the same edit on bytes
  const TIndentMeasure* Measure = nullptr;  // the whole text's, in a second pass
  bool MeasureOnly = false;                 // a first pass: only checked and measured
  bool NoteChanges = false;                 // tell whether the piece changed
  bool Checked = false;                     // a first pass checked every piece's bytes already
};

// Fills Result for Piece. Throws only on internal errors and out of memory.
void WorkOnPiece(const TPieceWork& Work, const TPiece& Piece, TPieceResult& Result);
