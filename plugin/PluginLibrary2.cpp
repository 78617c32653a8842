// The line-break kind and the rewrite of the selected lines.
#include "PluginLibrary2.h"

#include <algorithm>
#include <string>

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

}  // namespace

void ReplaceSelectedLines(HWND hwnd, std::u16string_view NewText) {
  // The host takes NUL-terminated texts: a line with a NUL in it would reach
  // the document cut short and lose its rest. Such a text is refused whole,
  // before anything is sent.
  if (NewText.find(u'\0') != std::u16string_view::npos)
    throw EGeneralError(u"書き込むテキストにNUL文字が含まれているため、選択範囲を書き換えませんでした。\r\n"
                        u"設定ファイルの記号を確認してください(設定ファイルはANSIの文字コードで保存します)。");

  // Both lists are owned here and freed on every exit.
  TCommonStringRecordList oldLines;
  TCommonStringRecordList newLines;
  oldLines.SetText(GetSelectedText(hwnd));
  newLines.SetText(NewText);

  HostPos s{0, 0};
  Host_GetSelStart(hwnd, POS_LOGICAL, &s);
  const bool caretAtEnd = IsCaretAtSelectionEnd(hwnd);

  const int32_t common = std::min(oldLines.Count(), newLines.Count());
  for (int32_t i = 0; i < common; ++i) {
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

  // Nothing was rewritten: the caret may still stand at the selection's end,
  // so start the surplus work at the block's start.
  if (common == 0 && oldLines.Count() != newLines.Count()) CaretTo(hwnd, s.x, s.y);

  if (newLines.Count() > oldLines.Count()) {
    std::u16string surplus;
    for (int32_t i = common; i < newLines.Count(); ++i) surplus += newLines.Item(i);
    InsertText(hwnd, surplus);
  } else if (newLines.Count() < oldLines.Count()) {
    int64_t sum = 0;
    for (int32_t i = common; i < oldLines.Count(); ++i) sum += static_cast<int64_t>(oldLines.Item(i).size());
    Host_SelectChars(hwnd, static_cast<int32_t>(sum));
    InsertText(hwnd, std::u16string());
  }

  CaretTo(hwnd, s.x, s.y);
  Host_SelectChars(hwnd, static_cast<int32_t>(NewText.size()));
  RestoreCaretSide(hwnd, caretAtEnd);
}
