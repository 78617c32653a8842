// Reading the host editor's selection and lines, and setting the selection.
// Positions computed here are POS_LOGICAL; POS_DEFAULT positions are only
// read from the host and handed back to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "plugin.h"

// The selected text (two-step read), up to its first NUL.
std::u16string GetSelectedText(HWND hwnd);

// A block of whole lines (POS_LOGICAL): from Start to End, End being column 0
// of the line after the block or the end of the document's last line.
struct TLineBlock {
  HostPos Start{0, 0};
  HostPos End{0, 0};
};

// True when a text read for the block reaches the block's end: it holds as
// many line breaks as the block spans, and its last line reaches the end
// column. A text cut short by a NUL does not.
bool TextReachesBlockEnd(std::u16string_view text, const TLineBlock& block);

// The selected text as GetSelectedText reads it, and whether a NUL cut it
// short of the block it was read for. What a host leaves in its buffer after
// the NUL that ends the text is never looked at.
struct TSelectedText {
  std::u16string Text;
  bool NulInside = false;
};
TSelectedText ReadSelectedText(HWND hwnd, const TLineBlock& block);

// The text of one line (two-step read, flags 1 keeps its break), up to its
// first NUL, and whether a NUL cut it short of its break. The document's
// last line has no break: whether it was cut cannot be told from its text.
struct TLineText {
  std::u16string Text;
  bool CutBeforeBreak = false;
};
TLineText ReadLineText(HWND hwnd, int32_t line);
// The text of one line, POS_LOGICAL numbering (two-step read); flags 1 keeps its break.
std::u16string GetLineText(HWND hwnd, int32_t line, int32_t flags);
// True when the caret stands at the selection end and not at its start.
bool IsCaretAtSelectionEnd(HWND hwnd);
// Selects from anchor to active (POS_DEFAULT), or places the caret when they are equal.
void SelectRange(HWND hwnd, const HostPos& anchor, const HostPos& active);
// Keeps the selected range and puts the caret on the given side.
void RestoreCaretSide(HWND hwnd, bool caretAtEnd);
// A selection as the host gives it (POS_DEFAULT): where it is anchored and
// where the caret is; and the block of whole lines it was widened to.
struct THostSelection {
  HostPos Anchor{0, 0};
  HostPos Active{0, 0};
  TLineBlock Widened;
};

// Widens the selection to whole lines, keeping the caret's side. Returns the
// selection it had before, so that a command that gives up can put it back
// with SelectRange, and the block now selected, for ReadSelectedText.
THostSelection ExtendSelectionToWholeLines(HWND hwnd);
