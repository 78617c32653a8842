// The line-break kind and the rewrite of the selected lines.
#include "PluginLibrary2.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "Errors.h"
#include "PluginLibrary.h"
#include "StringRecordList.h"
#include "WinString.h"
#include "plugin.h"

TLineBreakKind GetLineBreakKind(std::u16string_view text) { return LineBreakKindAtEnd(text); }

namespace {

void InsertText(HWND hwnd, const std::u16string& text) {
  Host_InsertText(hwnd, W(text));
}

void CaretTo(HWND hwnd, int32_t x, int32_t y) {
  const HostPos p{x, y};
  Host_SetCaretPos(hwnd, POS_LOGICAL, &p);
}

bool EndsInLoneCr(std::u16string_view line) { return GetLineBreakKind(line) == lbCr; }

constexpr char16_t NulBeforeBlockMessage[] =
    u"選択範囲の直前の行にNUL文字(U+0000)が含まれているため、実行しませんでした。\r\n"
    u"文書は変更していません。その行のNUL文字を取り除いてください。";

// The text of the line before the block when the first new line would join
// it: the block starts a line, its first line is rewritten to begin with LF,
// and the line before ends in a lone CR. The host then reads the two as one
// CR LF line. The line before is only read when the first new line begins
// with LF; when a NUL cuts it short of its break, EWriteRefused before
// anything is written.
std::optional<std::u16string> LineJoinedAtStart(HWND hwnd, HostPos s, const TCommonStringRecordList& oldLines,
                                                const TCommonStringRecordList& newLines) {
  if (newLines.Count() == 0 || s.x != 0 || s.y <= 0) return std::nullopt;
  const std::u16string& first = newLines.Item(0);
  if (first.front() != u'\n' || (oldLines.Count() > 0 && oldLines.Item(0) == first)) return std::nullopt;
  TLineText before = ReadLineText(hwnd, s.y - 1);
  // A NUL hides the line's end, and with it whether the two would join: the
  // host's lines after the write could not be followed.
  if (before.CutBeforeBreak) throw EWriteRefused(NulBeforeBlockMessage);
  if (!EndsInLoneCr(before.Text)) return std::nullopt;
  return std::move(before.Text);
}

// True when a paired line gains or loses a lone CR at its end. The new text
// then joined a line ending in a lone CR with a following LF-only line (the
// new line ends in CR LF where the old one had a lone CR), or a rewritten
// line would join the LF-only line after it; either way the host's line
// numbers stop following the lists.
bool PairedLineBreaksChange(const TCommonStringRecordList& oldLines, const TCommonStringRecordList& newLines) {
  const int32_t common = std::min(oldLines.Count(), newLines.Count());
  for (int32_t i = 0; i < common; ++i) {
    if (EndsInLoneCr(oldLines.Item(i)) != EndsInLoneCr(newLines.Item(i))) return true;
  }
  return false;
}

// Replaces the oldSize units from s with NewText: one selection, one insertion.
void ReplaceBlock(HWND hwnd, HostPos s, size_t oldSize, std::u16string_view NewText) {
  CaretTo(hwnd, s.x, s.y);
  Host_SelectChars(hwnd, static_cast<int32_t>(oldSize));
  InsertText(hwnd, std::u16string(NewText));
}

// Selects length units from start with the caret on the given side.
void SelectBlock(HWND hwnd, HostPos start, size_t length, bool caretAtEnd) {
  CaretTo(hwnd, start.x, start.y);
  Host_SelectChars(hwnd, static_cast<int32_t>(length));
  RestoreCaretSide(hwnd, caretAtEnd);
}

}  // namespace

HostPos ReplaceSelectedLines(HWND hwnd, std::u16string_view NewText) {
  // The host takes NUL-terminated texts: a line with a NUL in it would reach
  // the document cut short and lose its rest. Such a text is refused whole,
  // before anything is sent.
  if (NewText.find(u'\0') != std::u16string_view::npos)
    throw EWriteRefused(u"書き込むテキストにNUL文字が含まれているため、選択範囲を書き換えませんでした。\r\n"
                        u"設定ファイルの記号を確認してください(設定ファイルはANSIか、BOM付きのUTF-8/UTF-16で保存します)。");

  // Both lists are owned here and freed on every exit.
  const std::u16string oldText = GetSelectedText(hwnd);
  TCommonStringRecordList oldLines;
  TCommonStringRecordList newLines;
  oldLines.SetText(oldText);
  newLines.SetText(NewText);

  HostPos s{0, 0};
  Host_GetSelStart(hwnd, POS_LOGICAL, &s);
  const bool caretAtEnd = IsCaretAtSelectionEnd(hwnd);

  // Lines are only paired where the host's lines follow the lists after every
  // write; otherwise one replacement keeps the text before and after intact.
  const std::optional<std::u16string> joinedLine = LineJoinedAtStart(hwnd, s, oldLines, newLines);
  if (joinedLine) {
    ReplaceBlock(hwnd, s, oldText.size(), NewText);
    const HostPos lineStart{0, s.y - 1};
    SelectBlock(hwnd, lineStart, joinedLine->size() + NewText.size(), caretAtEnd);
    return lineStart;
  }
  if (oldLines.Count() != newLines.Count() || PairedLineBreaksChange(oldLines, newLines)) {
    ReplaceBlock(hwnd, s, oldText.size(), NewText);
    SelectBlock(hwnd, s, NewText.size(), caretAtEnd);
    return s;
  }

  for (int32_t i = 0; i < oldLines.Count(); ++i) {
    const std::u16string& o = oldLines.Item(i);
    const std::u16string& w = newLines.Item(i);
    const int32_t y = s.y + i;
    if (o == w) {
      CaretTo(hwnd, 0, y + 1);  // unchanged: step over it
      continue;
    }
    CaretTo(hwnd, i == 0 ? s.x : 0, y);
    if (GetLineBreakKind(o) == lbCrLf && GetLineBreakKind(w) == lbCrLf) {
      // Replace the content only; the line keeps its own CR LF.
      Host_SelectChars(hwnd, static_cast<int32_t>(o.size()) - 2);
      InsertText(hwnd, w.substr(0, w.size() - 2));
      CaretTo(hwnd, 0, y + 1);
    } else {
      // Replace the line together with its break; the caret ends after it.
      Host_SelectChars(hwnd, static_cast<int32_t>(o.size()));
      InsertText(hwnd, w);
    }
  }

  SelectBlock(hwnd, s, NewText.size(), caretAtEnd);
  return s;
}
