// Marquill.dll: the exports the host editor calls and the one command, which
// pops up the menu of head symbols and carries out the choice on the
// selected lines.
#include "Marquill.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <string>
#include <string_view>

#include "CommandHost.h"
#include "EditUnit.h"
#include "Errors.h"
#include "FileNameUnit.h"
#include "FileUnit.h"
#include "LineBreaks.h"
#include "MarquillVersion.h"
#include "PluginLibrary.h"
#include "PluginLibrary2.h"
#include "Platform.h"
#include "ResourceIds.h"
#include "SettingLoaderUnit.h"
#include "SettingPathUnit.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"
#include "WinString.h"
#include "plugin.h"

namespace {

// Display name and version text: code page 932 byte strings.
constexpr char DisplayName[] = "Marquill";
constexpr char VersionText[] = MARQUILL_VERSION_TEXT;

// Set by event bit 0x400, sent back on event bit 0x40.
int32_t StoredEventNumber = 0;

// A NUL-terminated text in a code page; empty when it cannot be decoded.
std::u16string TextInCodePage(const char* s, uint32_t codePage) {
  return AnsiToUtf16(std::string_view(s), codePage).value_or(std::u16string());
}

// Switches the host's redraw back on when the command leaves, by any way.
class TRedrawGuard {
public:
  explicit TRedrawGuard(HWND hwnd) : FHwnd(hwnd) {}
  TRedrawGuard(const TRedrawGuard&) = delete;
  TRedrawGuard& operator=(const TRedrawGuard&) = delete;
  ~TRedrawGuard() { Host_SetRedraw(FHwnd, true); }

private:
  HWND FHwnd = nullptr;
};

// Owns a menu handle until it is given to the parent menu or destroyed.
struct TMenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using TMenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDeleter>;

TMenuHandle NewPopupMenu() {
  HMENU menu = CreatePopupMenu();
  if (!menu) throw std::bad_alloc();
  return TMenuHandle(menu);
}

// Attaches a new submenu to parent under caption; the parent owns it from then on.
HMENU AppendSubmenu(HMENU parent, const char16_t* caption) {
  TMenuHandle sub = NewPopupMenu();
  if (!AppendMenuW(parent, MF_POPUP, reinterpret_cast<UINT_PTR>(sub.get()), W(caption))) throw std::bad_alloc();
  return sub.release();
}

void AppendItem(HMENU menu, int32_t id, const char16_t* caption) {
  if (!AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), W(caption))) throw std::bad_alloc();
}

void AppendSeparator(HMENU menu) { AppendMenuW(menu, MF_SEPARATOR, 0, L""); }

// One item per listed entry, captioned as the entry says, id = base + index.
void AppendEntries(HMENU menu, int32_t base, const std::u16string* captions, int32_t count) {
  for (int32_t i = 0; i < count; ++i) AppendItem(menu, base + i, captions[i].c_str());
}

// The menu as the id table lists it: a separator between top-level items,
// the rows of one group in one submenu.
TMenuHandle BuildMenu(const TCommonStringRecordList& list) {
  const int32_t count = ListedEntryCount(list.Count());
  std::unique_ptr<std::u16string[]> captions(new std::u16string[static_cast<size_t>(count)]);
  for (int32_t i = 0; i < count; ++i) captions[static_cast<size_t>(i)] = CaptionOfEntry(list.Item(i));

  TMenuHandle top = NewPopupMenu();
  const char16_t* group = nullptr;
  HMENU groupMenu = nullptr;
  bool first = true;
  for (const TMenuIdRange& row : MenuIdTable) {
    if (!row.Group || !group || std::u16string_view(row.Group) != group) {
      if (!first) AppendSeparator(top.get());
      first = false;
      group = row.Group;
      groupMenu = row.Group ? AppendSubmenu(top.get(), row.Group) : nullptr;
    }
    HMENU parent = groupMenu ? groupMenu : top.get();
    if (row.PerEntry)
      AppendEntries(AppendSubmenu(parent, row.Caption), row.Id, captions.get(), count);
    else
      AppendItem(parent, row.Id, row.Caption);
  }
  return top;
}

// Shows the menu at the mouse, owned by the host window; the chosen id, 0 when dismissed.
int32_t ChooseFromMenu(HWND hwnd, const TCommonStringRecordList& list) {
  TMenuHandle menu = BuildMenu(list);
  POINT pt{0, 0};
  GetCursorPos(&pt);
  const BOOL id = TrackPopupMenu(menu.get(), TPM_RETURNCMD, pt.x, pt.y, 0, hwnd, nullptr);
  return static_cast<int32_t>(id);  // the menu and its submenus are destroyed here
}

// Opens the settings file in the host editor: its own program with the quoted path, not waited for.
void EditSettings(const TSettingHost& settingHost) {
  const std::u16string quoted = QuoteIfNeeded(GetSettingFilePath(settingHost));
  RunProgram(GetHostProgramFile(), quoted, u"", false, true);
}

// A changed line holding a NUL cannot be written back: host texts end at their first NUL.
constexpr char16_t NulInSelectionMessage[] =
    u"選択範囲にNUL文字(U+0000)が含まれているため、実行しませんでした。\r\n"
    u"文書は変更していません。NUL文字を取り除くか、NUL文字を含む行を選択から外してください。";

// Widens the selection to whole lines, writes the edited text over them (an
// id without an edit writes nothing), and puts the caret back when nothing
// was selected. A refused edit returns its message, with document, selection
// and caret as they were: selected lines holding a NUL (the host's text reads
// stop at it, so the lines after it would go unedited), or a write-back that
// ReplaceSelectedLines refuses before sending anything.
// With nothing selected the caret's line is edited up to its NUL, which the
// edit of its head leaves in place.
std::optional<std::u16string> EditSelection(HWND hwnd, const TMenuChoice& choice, HostPos start,
                                            bool nothingSelected) {
  const THostSelection original = ExtendSelectionToWholeLines(hwnd);
  const std::u16string before = GetLineText(hwnd, start.y, 1);
  const TSelectedText selected = ReadSelectedText(hwnd, original.Widened);
  // Only an edit is refused: a dismissed menu leaves the lines widened, as
  // it does any selection, and writes nothing.
  if (selected.NulInside && !nothingSelected && choice.HasEdit) {
    SelectRange(hwnd, original.Anchor, original.Active);
    return NulInSelectionMessage;
  }
  HostPos blockStart = start;
  if (choice.HasEdit) {
    try {
      blockStart = ReplaceSelectedLines(hwnd, ApplyEdit(selected.Text, choice.Edit));
    } catch (const EWriteRefused& e) {
      SelectRange(hwnd, original.Anchor, original.Active);
      return e.Message();
    }
  }
  if (nothingSelected) {
    Host_RunCommand(hwnd, HOST_COMMAND_AFTER_EDIT);
    if (blockStart.y < start.y) {
      // The caret's line, left holding only its LF, joined the lone CR of the
      // line before: the caret goes to that line's end, before the break
      // that now ends it.
      const std::u16string joined = GetLineText(hwnd, blockStart.y, 1);
      const HostPos caret{static_cast<int32_t>(joined.size() - BreakLength(joined)), blockStart.y};
      Host_SetCaretPos(hwnd, POS_LOGICAL, &caret);
      return std::nullopt;
    }
    const std::u16string after = GetLineText(hwnd, start.y, 1);
    // The caret keeps its character: shift it by what the edit changed in its
    // line, but never in front of the line's start.
    const int64_t x = static_cast<int64_t>(start.x) + static_cast<int64_t>(after.size()) - static_cast<int64_t>(before.size());
    start.x = static_cast<int32_t>(std::clamp<int64_t>(x, 0, INT32_MAX));
    Host_SetCaretPos(hwnd, POS_LOGICAL, &start);
  }
  return std::nullopt;
}

void RunCommand(HWND hwnd) {
  SetCurrentHostWindow(hwnd);
  const TCurrentHostSettings settingHost;
  auto list = std::make_unique<TCommonStringRecordList>();
  LoadSettingList(*list, settingHost);
  DropInvalidEntries(*list);

  Host_SetRedraw(hwnd, false);
  TRedrawGuard redraw(hwnd);  // runs before the list is freed
  HostPos start{0, 0};
  Host_GetSelStart(hwnd, POS_LOGICAL, &start);
  HostScrollValue scroll{0, 0};
  Host_GetScrollPos(hwnd, &scroll);
  const bool nothingSelected = Host_GetSelType(hwnd) == 0;

  const TMenuChoice choice = MenuChoiceOfId(ChooseFromMenu(hwnd, *list), *list);
  std::optional<std::u16string> refusal;
  if (choice.Action == maEditSettings) {
    EditSettings(settingHost);
  } else if (choice.Action == maEdit) {
    refusal = EditSelection(hwnd, choice, start, nothingSelected);
  }
  Host_SetScrollPos(hwnd, &scroll);
  // A refused edit changed nothing, the view included; the user learns why.
  if (refusal) throw EGeneralError(*refusal);
}

std::u16string MessageOfUnknownError(const char* what) {
  std::u16string message = u"予期しないエラーが発生しました。";
  if (what && *what) {
    std::optional<std::u16string> detail = Utf8ToUtf16(what);
    message += u"\r\n";
    message += detail ? *detail : TextInCodePage(what, AnsiCodePage);
  }
  return message;
}

void ShowError(HWND hwnd, const std::u16string& message) {
  MessageBoxW(hwnd, W(message), L"Marquill", MB_OK | MB_ICONERROR);
}

LRESULT CopyAnsiText(const char* text, WPARAM size, LPARAM buffer) {
  if (buffer != 0) lstrcpynA(reinterpret_cast<LPSTR>(buffer), text, static_cast<int>(size));
  return static_cast<LRESULT>(std::strlen(text));
}

}  // namespace

// No error ever leaves an export: a command that ends by an error shows its
// message after its clean-up has run, so the host's redraw is on again.
extern "C" void __stdcall OnCommand(HWND hwnd) {
  std::u16string message;
  try {
    try {
      RunCommand(hwnd);
      return;
    } catch (const EMarquillError& e) {
      message = e.Message();
    } catch (const std::bad_alloc&) {
      message = u"メモリが不足しています。";
    } catch (const std::exception& e) {
      message = MessageOfUnknownError(e.what());
    } catch (...) {
      message = MessageOfUnknownError(nullptr);
    }
    ShowError(hwnd, message);
  } catch (...) {
    MessageBoxW(hwnd, L"予期しないエラーが発生しました。", L"Marquill", MB_OK | MB_ICONERROR);
  }
}

extern "C" BOOL __stdcall QueryStatus(HWND hwnd, void* status) {
  try {
    return (Host_QueryCommandStatus(hwnd, HOST_COMMAND_PLUGIN_STATUS, status) & 0xFF) != 0 ? static_cast<BOOL>(-1) : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" void __stdcall OnEvents(HWND hwnd, UINT flags, LPARAM param) {
  try {
    if (flags & EVENT_STORE_NUMBER) StoredEventNumber = static_cast<int32_t>(param);
    if (flags & EVENT_REPLY_NUMBER) Host_EventReply(hwnd, StoredEventNumber);
  } catch (...) {
  }
}

extern "C" DWORD __stdcall GetMenuTextID() { return MENU_TEXT_STRING_ID; }
extern "C" DWORD __stdcall GetStatusMessageID() { return STATUS_MESSAGE_STRING_ID; }
extern "C" DWORD __stdcall GetBitmapID() { return TOOLBAR_BITMAP_ID; }

extern "C" LRESULT __stdcall PlugInProc(HWND hwnd, UINT query, WPARAM wParam, LPARAM lParam) {
  try {
    switch (query) {
      case PLUGIN_QUERY_NAME:
        return CopyAnsiText(DisplayName, wParam, lParam);
      case PLUGIN_QUERY_VERSION:
        return CopyAnsiText(VersionText, wParam, lParam);
      case PLUGIN_QUERY_2310:
        return PLUGIN_QUERY_2310_ANSWER;
      case PLUGIN_QUERY_UNINSTALL: {
        const std::u16string caption = TextInCodePage(DisplayName, ShiftJisCodePage);
        return MessageBoxW(hwnd, L"アンインストールしますか？", W(caption), MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
      }
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}
