// Classifying line breaks and writing a new text over the selected lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "Errors.h"
#include "LineBreaks.h"
#include "plugin.h"

// A write-back refused before anything was sent: the document is as it was,
// so the caller can put the user's selection back before the message shows.
class EWriteRefused : public EGeneralError {
public:
  using EGeneralError::EGeneralError;
};

// The kind of line break that ends the text.
TLineBreakKind GetLineBreakKind(std::u16string_view text);

// Writes NewText over the selected whole lines, sending only the lines that
// changed, then selects the new block with the caret on the side it had.
// Where the new text has another number of lines, or writing line by line
// would let a lone CR and a following LF meet as one CR LF break, the whole
// block is replaced at once instead (one selection, one insertion). Returns the
// start (POS_LOGICAL) of the line that now holds the block's first
// character: the old selection start, or the start of the line before it
// when the block's first LF joined that line's lone CR.
// A NewText holding a NUL cannot reach the host whole: EWriteRefused, and
// nothing is sent. The same when the block's first line would lose all but
// its LF and a NUL hides whether the line before ends in a lone CR.
HostPos ReplaceSelectedLines(HWND hwnd, std::u16string_view NewText);
