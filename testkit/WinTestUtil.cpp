// Helpers for the Windows test programs: paths, files, folders, windows, answered boxes.
#include "WinTestUtil.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "Utf.h"

std::wstring WindowsPath(std::string_view path) {
  std::wstring out;
  if (!path.empty() && path[0] == '/') out = L"Z:";
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring rest(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), rest.data(), n);
  for (wchar_t& c : rest)
    if (c == L'/') c = L'\\';
  return out + rest;
}

// A text on one line: controls and the ideographic space made visible.
std::string QuotedVisible(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\r') out += u"\\r";
    else if (c == u'\n') out += u"\\n";
    else if (c == u'\t') out += u"\\t";
    else if (c == u'\\') out += u"\\\\";
    else if (c == u'"') out += u"\\\"";
    else if (c == u'\u3000') out += u"\\u3000";
    else if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned>(c));
      out.append(hex, hex + 4);
    } else out += c;
  }
  return "\"" + Utf16ToUtf8Lossy(out) + "\"";
}

std::string Cp932(std::u16string_view text) {
  std::string bytes;
  if (text.empty()) return bytes;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  const int n = WideCharToMultiByte(932, 0, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  bytes.resize(static_cast<size_t>(n));
  WideCharToMultiByte(932, 0, w, static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// Without a window manager, Wine waits two seconds for one to confirm every
// closed message box; unmanaged windows do not wait. The setting is for this
// program only and is read when the display driver starts.
void UseUnmanagedWindowsUnderWine() {
  if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return;
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const wchar_t* name = self;
  for (const wchar_t* p = self; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  std::wstring key = L"Software\\Wine\\AppDefaults\\";
  key += name;
  key += L"\\X11 Driver";
  HKEY h;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExW(h, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
    RegCloseKey(h);
  }
}

TTempFolder::TTempFolder() {
  wchar_t base[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, base);
  static int counter = 0;
  for (;;) {
    wchar_t name[64];
    wsprintfW(name, L"marquill-test-%lu-%d", GetCurrentProcessId(), ++counter);
    FPath = U(base);
    if (!FPath.empty() && FPath.back() == u'\\') FPath.pop_back();
    FPath += u"\\";
    FPath += U(name);
    if (CreateDirectoryW(W(FPath), nullptr)) break;
    // Only a name already taken is worth another try.
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a temporary folder");
  }
}

TTempFolder::~TTempFolder() { RemoveTree(FPath); }

void RemoveTree(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(W(path), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(W(path));
    return;
  }
  for (const auto& name : FolderEntries(path)) RemoveTree(path + u"\\" + name);
  RemoveDirectoryW(W(path));
}

void WriteBytes(const std::u16string& path, std::string_view bytes) {
  HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::optional<std::string> ReadBytes(const std::u16string& path) {
  HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(h);
  return bytes;
}

bool IsFile(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(W(path));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(W(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::u16string& path) { CreateDirectoryW(W(path), nullptr); }

void SetReadOnly(const std::u16string& path, bool on) {
  const DWORD a = GetFileAttributesW(W(path));
  if (a == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(W(path), on ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~FILE_ATTRIBUTE_READONLY));
}

std::vector<std::u16string> FolderEntries(const std::u16string& folder) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(W(folder + u"\\*"), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    std::u16string name = U(data.cFileName);
    if (name != u"." && name != u"..") names.push_back(name);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::u16string WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return U(text);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

TFileLock::TFileLock(const std::u16string& path, DWORD share)
    : FHandle(CreateFileW(W(path), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

TFileLock::~TFileLock() {
  if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

namespace {

struct TFindDialog {
  HWND Owner;
  HWND Found;
};

BOOL CALLBACK FindOwnedDialog(HWND hwnd, LPARAM l) {
  auto* find = reinterpret_cast<TFindDialog*>(l);
  if (ClassOf(hwnd) == L"#32770" && GetWindow(hwnd, GW_OWNER) == find->Owner && IsWindowVisible(hwnd)) {
    find->Found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM l) {
  auto* seen = reinterpret_cast<TSeenDialog*>(l);
  const std::wstring cls = ClassOf(child);
  if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
    const std::u16string text = WindowText(child);
    if (!text.empty()) seen->Text = text;
    HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (icon && icon == LoadIconW(nullptr, IDI_QUESTION)) seen->QuestionIcon = true;
  } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    const int id = GetDlgCtrlID(child);
    if (id == IDYES)
      seen->HasYes = true;
    else if (id == IDNO)
      seen->HasNo = true;
    else if (IsWindowVisible(child))
      seen->HasOther = true;
  }
  return TRUE;
}

}  // namespace

TDialogAnswerer::TDialogAnswerer(HWND owner, std::vector<int> answers)
    : FOwner(owner), FAnswers(std::move(answers)), FThread([this] { Run(); }) {}

TDialogAnswerer::~TDialogAnswerer() { Finish(); }

std::vector<TSeenDialog> TDialogAnswerer::Finish() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  return FSeen;
}

void TDialogAnswerer::Run() {
  while (!FStop) {
    TFindDialog find{FOwner, nullptr};
    EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&find));
    if (find.Found) {
      HWND dlg = find.Found;
      TSeenDialog seen;
      for (int i = 0; i < 250 && (seen.Text.empty() || !seen.HasYes); ++i) {  // until the box is filled
        Sleep(20);
        seen = TSeenDialog();
        seen.Caption = WindowText(dlg);
        EnumChildWindows(dlg, ReadChild, reinterpret_cast<LPARAM>(&seen));
      }
      const size_t index = FSeen.size();
      FSeen.push_back(seen);
      const int answer = index < FAnswers.size() ? FAnswers[index] : IDNO;
      HWND yes = GetDlgItem(dlg, IDYES);
      if (answer == IDYES && yes)
        PostMessageW(yes, BM_CLICK, 0, 0);
      else
        PostMessageW(dlg, WM_COMMAND, answer, 0);
      // Wait for the box to go; press again should the first press be lost.
      for (int i = 0; IsWindow(dlg) && IsWindowVisible(dlg); ++i) {
        Sleep(10);
        if (i % 300 == 299) PostMessageW(dlg, WM_COMMAND, answer, 0);
      }
    }
    Sleep(20);
  }
}
