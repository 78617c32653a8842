// Classifying line breaks and writing a new text over the selected lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "LineBreaks.h"

// The kind of line break that ends the text.
TLineBreakKind GetLineBreakKind(std::u16string_view text);

// Writes NewText over the selected whole lines, sending only the lines that
// changed, then selects the new block with the caret on the side it had.
// A NewText holding a NUL cannot reach the host whole: EGeneralError, and
// nothing is sent.
void ReplaceSelectedLines(HWND hwnd, std::u16string_view NewText);
