// Drives Marquill.dll the way the host editor and its user do: loads the
// built library with LoadLibraryW and GetProcAddress, answers the command's
// popup menu with key presses and its message boxes with button presses, and
// records what the user saw (every menu, every box).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Marquill.h"
#include "SimHost.h"
#include "WinTestUtil.h"

template <class F>
F ProcAs(FARPROC p) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

// The plug-in library, loaded as a host loads it.
class TPluginModule {
public:
  explicit TPluginModule(const std::wstring& path);  // aborts the test program when loading fails
  ~TPluginModule();
  TPluginModule(const TPluginModule&) = delete;
  TPluginModule& operator=(const TPluginModule&) = delete;

  HMODULE Module() const { return FModule; }
  FARPROC ByName(const char* name) const { return GetProcAddress(FModule, name); }
  FARPROC ByOrdinal(WORD ordinal) const { return GetProcAddress(FModule, MAKEINTRESOURCEA(ordinal)); }

  TOnCommand OnCommand = nullptr;
  TQueryStatus QueryStatus = nullptr;
  TOnEvents OnEvents = nullptr;
  TGetResourceID GetMenuTextID = nullptr;
  TGetResourceID GetStatusMessageID = nullptr;
  TGetResourceID GetBitmapID = nullptr;
  TPlugInProc PlugInProc = nullptr;

private:
  HMODULE FModule = nullptr;
};

// One item of a popup menu as the user sees it.
struct TMenuItemSeen {
  std::u16string Caption;
  UINT Id = 0;
  bool Separator = false;
  bool Popup = false;
  std::vector<TMenuItemSeen> Items;  // a submenu's items
};

// One message box as the user sees it.
struct TDialogSeen {
  std::u16string Caption;
  std::u16string Text;
  std::vector<int> Buttons;  // control ids of its push buttons (IDOK, IDYES, ...)
  bool IconError = false;
  bool IconQuestion = false;
  HWND Owner = nullptr;
  bool HostRedrawOn = false;  // the host's redraw state while the box was up
  int Answer = 0;             // the button pressed
};

// Menu keys. MenuPause is no key: half a second later it calls OnPause with
// the menu open (and on the screen), then the keys go on. It must not be last.
constexpr UINT MenuPause = 0;

// Keys that choose an item of the command's popup menu: topIndex counts the
// non-separator items of the top level (0 "行頭に挿入" ... 4 "キャンセル");
// each further index picks the item of the next submenu (Right opens it).
std::vector<UINT> MenuKeys(std::vector<int> path);

// Plays the user: installs itself on the simulated host's window for its lifetime.
class TUserDriver {
public:
  explicit TUserDriver(TSimHost& host);
  ~TUserDriver();
  TUserDriver(const TUserDriver&) = delete;
  TUserDriver& operator=(const TUserDriver&) = delete;

  // Keys for the next menu, one key press per idle turn of the menu loop.
  void SetMenuKeys(std::vector<UINT> keys);
  // Buttons to press in the next message boxes, in order; a box without a
  // scripted answer gets its last button.
  void SetDialogAnswers(std::vector<int> answers);
  std::function<void()> OnPause;

  // The top-level popup menu walked whole when it first opened (empty when
  // no menu opened), and the items of every popup as it opened, in order.
  const std::vector<TMenuItemSeen>& MenuTree() const { return FMenuTree; }
  const std::vector<std::vector<TMenuItemSeen>>& PopupsOpened() const { return FPopupsOpened; }
  int MenuCount() const { return FMenuCount; }
  bool RedrawOnWhenMenuOpened() const { return FRedrawAtMenu; }
  const std::vector<TDialogSeen>& Dialogs() const { return FDialogs; }
  void Reset();

private:
  bool Handle(UINT msg, WPARAM w, LPARAM l, LRESULT& result);
  void OnMenuIdle(HWND menuWindow);
  void OnDialogIdle(HWND dialog);

  TSimHost& FHost;
  std::vector<UINT> FKeys;
  size_t FNextKey = 0;
  std::vector<int> FAnswers;
  size_t FNextAnswer = 0;
  std::vector<TMenuItemSeen> FMenuTree;
  std::vector<std::vector<TMenuItemSeen>> FPopupsOpened;
  int FMenuCount = 0;
  bool FRedrawAtMenu = false;
  bool FExpectTop = false;
  HWND FPauseWindow = nullptr;
  std::vector<TDialogSeen> FDialogs;
  std::vector<HWND> FAnswered;
};

// Walks a popup menu and its submenus.
std::vector<TMenuItemSeen> WalkMenu(HMENU menu, bool deep);

// Ends the test program when a modal loop hangs (no menu or box answered).
class TWatchdog {
public:
  explicit TWatchdog(DWORD milliseconds, const char* what);
  ~TWatchdog();
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;

private:
  HANDLE FDone = nullptr;
  HANDLE FThread = nullptr;
  DWORD FMilliseconds;
  const char* FWhat;
  static DWORD WINAPI Run(void* self);
};

// The texts of the plug-in's refusals of an edit, as its box shows them: a
// NUL in the selected lines, one in the new text (from a symbol), and one in
// the line before the block that hides whether the block's first line would
// join it.
inline const std::u16string kNulInSelection =
    u"選択範囲にNUL文字(U+0000)が含まれているため、実行しませんでした。\r\n"
    u"文書は変更していません。NUL文字を取り除くか、NUL文字を含む行を選択から外してください。";
inline const std::u16string kNulInText =
    u"書き込むテキストにNUL文字が含まれているため、選択範囲を書き換えませんでした。\r\n"
    u"設定ファイルの記号を確認してください(設定ファイルはANSIか、BOM付きのUTF-8/UTF-16で保存します)。";
inline const std::u16string kNulBeforeBlock =
    u"選択範囲の直前の行にNUL文字(U+0000)が含まれているため、実行しませんでした。\r\n"
    u"文書は変更していません。その行のNUL文字を取り除いてください。";
