// Reading the host editor's selection and lines, and setting the selection.
// Positions computed here are POS_LOGICAL; POS_DEFAULT positions are only
// read from the host and handed back to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "plugin.h"

// The selected text (two-step read), up to its first NUL.
std::u16string GetSelectedText(HWND hwnd);

// The selected text as GetSelectedText reads it, and whether the host wrote
// more than NULs after its first NUL (the text was cut short there).
struct TSelectedText {
  std::u16string Text;
  bool NulInside = false;
};
TSelectedText ReadSelectedText(HWND hwnd);
// The text of one line, POS_LOGICAL numbering (two-step read); flags 1 keeps its break.
std::u16string GetLineText(HWND hwnd, int32_t line, int32_t flags);
// True when the caret stands at the selection end and not at its start.
bool IsCaretAtSelectionEnd(HWND hwnd);
// Selects from anchor to active (POS_DEFAULT), or places the caret when they are equal.
void SelectRange(HWND hwnd, const HostPos& anchor, const HostPos& active);
// Keeps the selected range and puts the caret on the given side.
void RestoreCaretSide(HWND hwnd, bool caretAtEnd);
// A selection as the host gives it (POS_DEFAULT): where it is anchored and
// where the caret is.
struct THostSelection {
  HostPos Anchor{0, 0};
  HostPos Active{0, 0};
};

// Widens the selection to whole lines, keeping the caret's side. Returns the
// selection it had before, so that a command that gives up can put it back
// with SelectRange.
THostSelection ExtendSelectionToWholeLines(HWND hwnd);
