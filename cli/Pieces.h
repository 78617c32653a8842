// The pieces a text is cut into on its way through the filter, what becomes
// of each, and where they come from.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>

#include "StrRecListUnit.h"
#include "TextBytes.h"
#include "Utf8Check.h"

// Whole lines (the last one perhaps cut by the end of the input), to edit.
struct TLinesPiece {
  bool AfterNonBlank = false;  // the line before the piece is a non-blank one
  bool Checked = false;        // a first pass checked its bytes already
};
// The first bytes of a line too long to hold, already edited: Edited comes
// out instead of them, and the rest of the line as it came.
struct THeadPiece {
  TByteBuffer Edited;
};
// More of a long line (up to and with its break, if it is there): copied as
// it came once it proved to be clean UTF-8.
struct TRestPiece {};

struct TPiece {
  TByteBuffer In;       // the input's bytes
  uint64_t Offset = 0;  // stream offset of In[0]
  std::variant<TLinesPiece, THeadPiece, TRestPiece> Kind;
};

// What became of a piece.
struct TPieceResult {
  bool WriteIn = false;  // it comes out as it came: In is written
  TByteBuffer Out;       // else this
  uint64_t Breaks = 0;   // line breaks in what is written
  bool Changed = false;  // what is written differs from the input (when asked)
  // The first bad byte (offset in In): what is written is the lines before
  // its own.
  std::optional<TByteFault> Fault;
  TIndentMeasure Measure;  // of the lines, in a first pass that only measures
};

// Where the pieces come from, in order: the input, or a text kept by a first
// pass. Throws TFailure when the input cannot be read.
class TPieceSource {
public:
  virtual ~TPieceSource() = default;
  // The next piece into Piece (whose buffers it may reuse); false at the end.
  virtual bool Next(TPiece& Piece) = 0;
  // Next may wait on a writer for as long as it likes (a pipe, a terminal).
  virtual bool MayWaitLong() const { return false; }
};
