// The plug-in harness: loads Marquill.dll, plays the user in menus and boxes.
#include "PluginHarness.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct TDialogParts {
  std::vector<HWND> Statics;
  std::vector<HWND> Buttons;
  std::vector<HWND> Icons;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* parts = reinterpret_cast<TDialogParts*>(param);
  const std::wstring cls = ClassOf(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(cls.c_str(), L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON)
      parts->Icons.push_back(child);
    else
      parts->Statics.push_back(child);
  } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
    parts->Buttons.push_back(child);
  }
  return TRUE;
}

}  // namespace

TPluginModule::TPluginModule(const std::wstring& path) {
  FModule = LoadLibraryW(path.c_str());
  if (!FModule) {
    std::fprintf(stderr, "cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
    std::exit(2);
  }
  OnCommand = ProcAs<TOnCommand>(ByName("OnCommand"));
  QueryStatus = ProcAs<TQueryStatus>(ByName("QueryStatus"));
  OnEvents = ProcAs<TOnEvents>(ByName("OnEvents"));
  GetMenuTextID = ProcAs<TGetResourceID>(ByName("GetMenuTextID"));
  GetStatusMessageID = ProcAs<TGetResourceID>(ByName("GetStatusMessageID"));
  GetBitmapID = ProcAs<TGetResourceID>(ByName("GetBitmapID"));
  PlugInProc = ProcAs<TPlugInProc>(ByName("PlugInProc"));
}

TPluginModule::~TPluginModule() {
  if (FModule) FreeLibrary(FModule);
}

std::vector<UINT> MenuKeys(std::vector<int> path) {
  std::vector<UINT> keys;
  for (size_t level = 0; level < path.size(); ++level) {
    if (level == 0) {
      // Nothing is selected when the menu opens: the first Down selects item 0.
      for (int i = 0; i <= path[0]; ++i) keys.push_back(VK_DOWN);
    } else {
      keys.push_back(VK_RIGHT);  // opens the submenu with its first item selected
      for (int i = 0; i < path[level]; ++i) keys.push_back(VK_DOWN);
    }
  }
  keys.push_back(VK_RETURN);
  return keys;
}

std::vector<TMenuItemSeen> WalkMenu(HMENU menu, bool deep) {
  std::vector<TMenuItemSeen> items;
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    wchar_t text[512] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 511;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    TMenuItemSeen item;
    item.Separator = (info.fType & MFT_SEPARATOR) != 0;
    item.Popup = info.hSubMenu != nullptr;
    item.Id = item.Popup ? 0 : info.wID;
    item.Caption = U(text);
    if (item.Popup && deep) item.Items = WalkMenu(info.hSubMenu, true);
    items.push_back(std::move(item));
  }
  return items;
}

namespace {
constexpr UINT_PTR kDialogTimer = 0x4D51;
constexpr UINT_PTR kPauseTimer = 0x4D52;

struct TDialogSearch {
  HWND Owner;
  std::vector<HWND> Found;
};

BOOL CALLBACK FindOwnedDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TDialogSearch*>(param);
  if (ClassOf(hwnd) == L"#32770" && GetWindow(hwnd, GW_OWNER) == search->Owner) search->Found.push_back(hwnd);
  return TRUE;
}
}  // namespace

TUserDriver::TUserDriver(TSimHost& host) : FHost(host) {
  FHost.OnOtherMessage = [this](UINT msg, WPARAM w, LPARAM l, LRESULT& result) { return Handle(msg, w, l, result); };
  // Message boxes are looked for on a timer, which their modal loop dispatches.
  SetTimer(FHost.Hwnd(), kDialogTimer, 50, nullptr);
}

TUserDriver::~TUserDriver() {
  KillTimer(FHost.Hwnd(), kDialogTimer);
  FHost.OnOtherMessage = nullptr;
}

void TUserDriver::SetMenuKeys(std::vector<UINT> keys) {
  FKeys = std::move(keys);
  FNextKey = 0;
}

void TUserDriver::SetDialogAnswers(std::vector<int> answers) {
  FAnswers = std::move(answers);
  FNextAnswer = 0;
}

void TUserDriver::Reset() {
  FKeys.clear();
  FNextKey = 0;
  FAnswers.clear();
  FNextAnswer = 0;
  FMenuTree.clear();
  FPopupsOpened.clear();
  FMenuCount = 0;
  FRedrawAtMenu = false;
  FExpectTop = false;
  FDialogs.clear();
  FAnswered.clear();
}

bool TUserDriver::Handle(UINT msg, WPARAM w, LPARAM l, LRESULT& result) {
  switch (msg) {
    case WM_ENTERMENULOOP:
      FExpectTop = true;  // the next popup to open is the command's top-level menu
      return false;
    case WM_INITMENUPOPUP: {
      HMENU menu = reinterpret_cast<HMENU>(w);
      if (FExpectTop) {
        FExpectTop = false;
        ++FMenuCount;
        FMenuTree = WalkMenu(menu, true);
        FRedrawAtMenu = FHost.RedrawOn();
      }
      FPopupsOpened.push_back(WalkMenu(menu, false));
      result = 0;
      return true;
    }
    case WM_TIMER:
      if (w == kPauseTimer) {
        KillTimer(FHost.Hwnd(), kPauseTimer);
        if (OnPause) OnPause();
        if (FNextKey < FKeys.size()) PostMessageW(FPauseWindow, WM_KEYDOWN, FKeys[FNextKey++], 1);
        result = 0;
        return true;
      }
      if (w != kDialogTimer) return false;
      {
        TDialogSearch search{FHost.Hwnd(), {}};
        EnumThreadWindows(GetCurrentThreadId(), &FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
        for (HWND dialog : search.Found) OnDialogIdle(dialog);
      }
      result = 0;
      return true;
    case WM_ENTERIDLE:
      if (w == MSGF_MENU) OnMenuIdle(reinterpret_cast<HWND>(l));
      if (w == MSGF_DIALOGBOX) OnDialogIdle(reinterpret_cast<HWND>(l));
      result = 0;
      return true;
    default:
      return false;
  }
}

void TUserDriver::OnMenuIdle(HWND menuWindow) {
  if (FNextKey >= FKeys.size()) return;  // the script is done: the user waits
  const UINT key = FKeys[FNextKey++];
  HWND target = menuWindow ? menuWindow : FHost.Hwnd();
  if (key == MenuPause) {
    // Give the menu windows time to reach the screen. The menu loop sends no
    // idle message after a timer's, so the timer itself goes on with the keys.
    FPauseWindow = target;
    SetTimer(FHost.Hwnd(), kPauseTimer, 500, nullptr);
    return;
  }
  PostMessageW(target, WM_KEYDOWN, key, 1);
}

void TUserDriver::OnDialogIdle(HWND dialog) {
  for (HWND done : FAnswered)
    if (done == dialog) return;
  FAnswered.push_back(dialog);

  TDialogParts parts;
  EnumChildWindows(dialog, &CollectChild, reinterpret_cast<LPARAM>(&parts));
  TDialogSeen seen;
  seen.Caption = WindowText(dialog);
  for (HWND s : parts.Statics) {
    std::u16string t = WindowText(s);
    if (t.empty()) continue;
    if (!seen.Text.empty()) seen.Text += u"\n";
    seen.Text += t;
  }
  for (HWND b : parts.Buttons) {
    if (IsWindowVisible(b)) seen.Buttons.push_back(GetDlgCtrlID(b));
  }
  for (HWND icon : parts.Icons) {
    HICON h = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    if (h && h == LoadIconW(nullptr, IDI_HAND)) seen.IconError = true;
    if (h && h == LoadIconW(nullptr, IDI_QUESTION)) seen.IconQuestion = true;
  }
  seen.Owner = GetWindow(dialog, GW_OWNER);
  seen.HostRedrawOn = FHost.RedrawOn();
  int answer = seen.Buttons.empty() ? IDCANCEL : seen.Buttons.back();
  if (FNextAnswer < FAnswers.size()) answer = FAnswers[FNextAnswer++];
  seen.Answer = answer;
  FDialogs.push_back(std::move(seen));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer)));
}

TWatchdog::TWatchdog(DWORD milliseconds, const char* what) : FMilliseconds(milliseconds), FWhat(what) {
  FDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  FThread = CreateThread(nullptr, 0, &TWatchdog::Run, this, 0, nullptr);
}

TWatchdog::~TWatchdog() {
  SetEvent(FDone);
  WaitForSingleObject(FThread, INFINITE);
  CloseHandle(FThread);
  CloseHandle(FDone);
}

DWORD WINAPI TWatchdog::Run(void* self) {
  auto* dog = static_cast<TWatchdog*>(self);
  if (WaitForSingleObject(dog->FDone, dog->FMilliseconds) == WAIT_TIMEOUT) {
    std::fprintf(stderr, "timed out: %s (a menu or message box was left open)\n", dog->FWhat);
    std::fflush(stderr);
    ExitProcess(3);
  }
  return 0;
}
