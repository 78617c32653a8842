// The Windows demonstration: the simulated host editor shows a sample text,
// loads Marquill.dll as the editor does, selects the lines, runs the command
// and picks "行頭に挿入" > "全ての行" > an entry through the real popup menu
// with the keyboard. Prints the text before and after; with --screenshot it
// saves a picture of the screen while the menu and its submenus are open,
// with --before and --after pictures of the screen before and after the command.
//
// Usage: marquill_demo.exe [--screenshot FILE.bmp] [--before FILE.bmp] [--after FILE.bmp] [--dll PATH]
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PluginHarness.h"
#include "Utf.h"

namespace {

const char16_t kSettings[] =
    u"> \t引用 (> )\r\n"
    u"// \tC++ コメント (// )\r\n"
    u"' \tVB コメント (' )\r\n"
    u"# \tシェル コメント (# )\r\n"
    u"REM \tバッチ コメント (REM )\r\n";

const char16_t kSample[] =
    u"明日の打ち合わせは 10 時からです。\r\n"
    u"資料は前日までにお送りします。\r\n"
    u"よろしくお願いいたします。\r\n";

void Print(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stdout); }

void PrintText(const char* title, const std::u16string& text) {
  Print(std::string(title) + "\n");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    Print("  | " + Utf16ToUtf8Lossy(std::u16string_view(text).substr(start, end - start)) + "\n");
    start = end + 2;
  }
}

// Writes the whole screen as a 24-bit BMP file.
bool SaveScreen(const std::wstring& path) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD row = static_cast<DWORD>((w * 3 + 3) & ~3);
  const DWORD image = row * static_cast<DWORD>(h);
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + image;
  bool ok = false;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    DWORD n = 0;
    ok = WriteFile(f, &fh, sizeof fh, &n, nullptr) && WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &n, nullptr) &&
         WriteFile(f, bits, image, &n, nullptr);
    CloseHandle(f);
  }
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

// Paints the document, the selected lines highlighted, like a plain editor.
void Paint(TSimHost& host) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(host.Hwnd(), &ps);
  RECT client;
  GetClientRect(host.Hwnd(), &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, ANTIALIASED_QUALITY, FIXED_PITCH,
                           L"IPAGothic");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const int lineHeight = 22;
  const HostPos selStart = host.SelStart(), selEnd = host.SelEnd();
  for (int32_t y = 0; y < host.LineCount(); ++y) {
    const int top = 8 + y * lineHeight;
    const bool selected = host.HasSelection() && y >= selStart.y && (y < selEnd.y || (y == selEnd.y && selEnd.x > 0));
    if (selected) {
      RECT r{4, top - 2, client.right - 4, top + lineHeight - 2};
      HBRUSH b = CreateSolidBrush(RGB(200, 220, 255));
      FillRect(dc, &r, b);
      DeleteObject(b);
    }
    std::u16string line = host.Line(y);
    while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.pop_back();
    TextOutW(dc, 10, top, W(line), static_cast<int>(line.size()));
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  EndPaint(host.Hwnd(), &ps);
}

// Repaints the host window and lets the display catch up before a picture.
void PaintNow(TSimHost& host) {
  InvalidateRect(host.Hwnd(), nullptr, TRUE);
  UpdateWindow(host.Hwnd());
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 300) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(20);
  }
  GdiFlush();
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::wstring screenshot, beforeShot, afterShot;
  std::wstring dll = WindowsPath(MARQUILL_DLL_PATH);
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--screenshot") screenshot = WindowsPath(argv[++i]);
    else if (std::string(argv[i]) == "--before") beforeShot = WindowsPath(argv[++i]);
    else if (std::string(argv[i]) == "--after") afterShot = WindowsPath(argv[++i]);
    else if (std::string(argv[i]) == "--dll") dll = WindowsPath(argv[++i]);
  }

  TPluginModule plugin(dll);
  TTempFolder folder;
  WriteBytes(folder / u"Marquill_Setting.txt", Cp932(kSettings));

  TSimHost host(kSample);
  host.SetPlugInsFolder(folder.Path());
  SetWindowTextW(host.Hwnd(), L"Marquill demo - host editor");
  SetWindowPos(host.Hwnd(), nullptr, 40, 40, 560, 200, SWP_NOZORDER);
  TUserDriver user(host);
  auto driver = host.OnOtherMessage;
  host.OnOtherMessage = [&](UINT msg, WPARAM w, LPARAM l, LRESULT& result) {
    if (msg == WM_PAINT) {
      Paint(host);
      result = 0;
      return true;
    }
    return driver(msg, w, l, result);
  };
  host.Show(true);
  SetForegroundWindow(host.Hwnd());

  // The user selects the three lines and runs the command with the mouse over the text.
  host.SetSelection({0, 0}, {0, 3});
  InvalidateRect(host.Hwnd(), nullptr, TRUE);
  SetCursorPos(90, 110);
  const std::u16string before = host.Text();
  PrintText("Text before (lines 1-3 selected):", before);
  bool shotsSaved = true;
  if (!beforeShot.empty()) {
    PaintNow(host);
    shotsSaved = SaveScreen(beforeShot);
  }

  std::vector<UINT> keys = MenuKeys({0, 0, 0});  // 行頭に挿入 > 全ての行 > 引用 (> )
  keys.insert(keys.end() - 1, MenuPause);        // look at the open menus before Return
  user.SetMenuKeys(keys);
  bool shot = false;
  user.OnPause = [&] {
    if (!screenshot.empty()) shot = SaveScreen(screenshot);
  };
  {
    TWatchdog dog(60000, "the demonstration's command");
    plugin.OnCommand(host.Hwnd());
  }

  Print("\nMenu: 行頭に挿入 > 全ての行 > 引用 (> )\n\n");
  PrintText("Text after:", host.Text());
  if (!afterShot.empty()) {
    PaintNow(host);
    shotsSaved = SaveScreen(afterShot) && shotsSaved;
  }
  if (!beforeShot.empty() || !afterShot.empty())
    Print(shotsSaved ? "\nPictures before and after the command saved.\n" : "\nPictures before and after failed.\n");
  if (!screenshot.empty()) Print(shot ? "\nScreenshot of the open menu saved.\n" : "\nScreenshot failed.\n");
  std::fflush(stdout);
  return host.Text() != before && (screenshot.empty() || shot) && shotsSaved ? 0 : 1;
}
