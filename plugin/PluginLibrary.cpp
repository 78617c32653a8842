// Selection operations: reading the selected text and lines, widening to whole lines, the caret side.
#include "PluginLibrary.h"

#include <string_view>
#include <utility>

#include "LineBreaks.h"

namespace {

// Cuts the buffer at its first NUL, if it holds one, and says whether it did.
// What follows that NUL is the host's leftover and is not looked at.
bool CutAtNul(std::u16string& s) {
  const size_t nul = s.find(u'\0');
  if (nul == std::u16string::npos) return false;
  s.resize(nul);
  return true;
}

wchar_t* Wide(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }

// What a two-step read gives: the text up to its first NUL, and whether a NUL cut it.
struct TRead {
  std::u16string Text;
  bool Cut = false;
};

// Two-step read: the first answer is the size the text needs, in units. A
// size of 0 or less means there is nothing to read. The buffer holds exactly
// that many units (zeroed, so whatever the host leaves unwritten reads as NUL)
// and the host is told that same size.
template <class Fill>
TRead ReadTwoSteps(int32_t n, Fill&& fill) {
  TRead read;
  if (n <= 0) return read;
  read.Text.assign(static_cast<size_t>(n), u'\0');
  fill(n, Wide(read.Text));
  read.Cut = CutAtNul(read.Text);
  return read;
}

TRead ReadSelection(HWND hwnd) {
  return ReadTwoSteps(Host_GetSelText(hwnd, 0, nullptr),
                      [&](int32_t n, wchar_t* buffer) { Host_GetSelText(hwnd, n, buffer); });
}

TRead ReadLine(HWND hwnd, int32_t line, int32_t flags) {
  HostLineRequest request{0, flags, line};
  return ReadTwoSteps(Host_GetLineText(hwnd, &request, nullptr), [&](int32_t n, wchar_t* buffer) {
    request.size = n;
    Host_GetLineText(hwnd, &request, buffer);
  });
}

}  // namespace

bool TextReachesBlockEnd(std::u16string_view text, const TLineBlock& block) {
  int64_t breaks = 0;
  size_t lastLine = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = LineEndAt(text, at);
    if (BreakLength(text.substr(at, end - at)) == 0) break;
    ++breaks;
    at = lastLine = end;
  }
  const int64_t span = static_cast<int64_t>(block.End.y) - block.Start.y;
  if (breaks != span) return breaks > span;
  const int64_t lastStart = span == 0 ? block.Start.x : 0;
  return static_cast<int64_t>(text.size() - lastLine) >= static_cast<int64_t>(block.End.x) - lastStart;
}

// A NUL decides nothing by itself: a text that still reaches the block's end
// was ended by it, one that stops short was cut by it.
TSelectedText ReadSelectedText(HWND hwnd, const TLineBlock& block) {
  TRead read = ReadSelection(hwnd);
  const bool nulInside = read.Cut && !TextReachesBlockEnd(read.Text, block);
  return TSelectedText{std::move(read.Text), nulInside};
}

std::u16string GetSelectedText(HWND hwnd) { return ReadSelection(hwnd).Text; }

// A line read with its break ends in one, unless it is the document's last
// line: a NUL that leaves it without one cut it short.
TLineText ReadLineText(HWND hwnd, int32_t line) {
  TRead read = ReadLine(hwnd, line, 1);
  const bool cutBeforeBreak = read.Cut && BreakLength(read.Text) == 0;
  return TLineText{std::move(read.Text), cutBeforeBreak};
}

std::u16string GetLineText(HWND hwnd, int32_t line, int32_t flags) { return ReadLine(hwnd, line, flags).Text; }

namespace {

// The selection's start, end and caret (POS_DEFAULT); the caret stands at the
// end when it differs from the start and equals the end.
struct TSelectionEnds {
  HostPos Start{0, 0};
  HostPos End{0, 0};
  bool CaretAtEnd = false;
};

TSelectionEnds ReadSelectionEnds(HWND hwnd) {
  TSelectionEnds ends;
  HostPos k{0, 0};
  Host_GetSelStart(hwnd, POS_DEFAULT, &ends.Start);
  Host_GetSelEnd(hwnd, POS_DEFAULT, &ends.End);
  Host_GetCaretPos(hwnd, POS_DEFAULT, &k);
  ends.CaretAtEnd = !(k == ends.Start) && k == ends.End;
  return ends;
}

}  // namespace

bool IsCaretAtSelectionEnd(HWND hwnd) { return ReadSelectionEnds(hwnd).CaretAtEnd; }

void SelectRange(HWND hwnd, const HostPos& anchor, const HostPos& active) {
  if (anchor == active) {
    Host_SetCaretPos(hwnd, POS_DEFAULT, &anchor);
  } else {
    Host_SetSelection(hwnd, &anchor, &active);
  }
}

void RestoreCaretSide(HWND hwnd, bool caretAtEnd) {
  HostPos a{0, 0}, b{0, 0};
  Host_GetSelStart(hwnd, POS_DEFAULT, &a);
  Host_GetSelEnd(hwnd, POS_DEFAULT, &b);
  if (caretAtEnd) {
    SelectRange(hwnd, a, b);
  } else {
    SelectRange(hwnd, b, a);
  }
}

THostSelection ExtendSelectionToWholeLines(HWND hwnd) {
  HostPos p1{0, 0}, p2{0, 0};
  Host_GetSelStart(hwnd, POS_LOGICAL, &p1);
  Host_GetSelEnd(hwnd, POS_LOGICAL, &p2);
  const TSelectionEnds before = ReadSelectionEnds(hwnd);
  const bool caretAtEnd = before.CaretAtEnd;

  p1.x = 0;
  // An end already at column 0 of a later line stays; otherwise the end
  // moves past the last line's break, or to the document's end.
  if (p2.y == p1.y || p2.x != 0) {
    const int32_t lastLine = Host_GetLineCount(hwnd, POS_LOGICAL) - 1;
    if (p2.y == lastLine) {
      p2.x = static_cast<int32_t>(GetLineText(hwnd, p2.y, 1).size());
    } else {
      p2.x = 0;
      p2.y += 1;
    }
  }

  const TLineBlock widened{p1, p2};
  Host_ConvertPos(hwnd, &p1);
  Host_ConvertPos(hwnd, &p2);
  Host_SetSelection(hwnd, &p1, &p2);
  RestoreCaretSide(hwnd, caretAtEnd);
  return caretAtEnd ? THostSelection{before.Start, before.End, widened}
                    : THostSelection{before.End, before.Start, widened};
}
