// Selection operations: reading the selected text and lines, widening to whole lines, the caret side.
#include "PluginLibrary.h"

#include <string_view>

namespace {

// The buffer's content up to its first NUL, or all of it; true when
// anything but NULs stood after that NUL.
bool CutAtNul(std::u16string& s) {
  const size_t nul = s.find(u'\0');
  if (nul == std::u16string::npos) return false;
  const bool more = s.find_first_not_of(u'\0', nul) != std::u16string::npos;
  s.resize(nul);
  return more;
}

wchar_t* Wide(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }

}  // namespace

// Two-step reads: the first answer is the size the text needs, in units. A
// size of 0 or less means there is nothing to read. The buffer holds exactly
// that many units (zeroed, so whatever the host leaves unwritten reads as NUL)
// and the host is told that same size.
TSelectedText ReadSelectedText(HWND hwnd) {
  TSelectedText selected;
  const int32_t n = Host_GetSelText(hwnd, 0, nullptr);
  if (n <= 0) return selected;
  selected.Text.assign(static_cast<size_t>(n), u'\0');
  Host_GetSelText(hwnd, n, Wide(selected.Text));
  selected.NulInside = CutAtNul(selected.Text);
  return selected;
}

std::u16string GetSelectedText(HWND hwnd) { return ReadSelectedText(hwnd).Text; }

std::u16string GetLineText(HWND hwnd, int32_t line, int32_t flags) {
  HostLineRequest request{0, flags, line};
  const int32_t n = Host_GetLineText(hwnd, &request, nullptr);
  if (n <= 0) return {};
  std::u16string buffer(static_cast<size_t>(n), u'\0');
  request.size = n;
  Host_GetLineText(hwnd, &request, Wide(buffer));
  CutAtNul(buffer);
  return buffer;
}

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

  Host_ConvertPos(hwnd, &p1);
  Host_ConvertPos(hwnd, &p2);
  Host_SetSelection(hwnd, &p1, &p2);
  RestoreCaretSide(hwnd, caretAtEnd);
  return caretAtEnd ? THostSelection{before.Start, before.End} : THostSelection{before.End, before.Start};
}
