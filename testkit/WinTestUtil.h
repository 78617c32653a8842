// Helpers for the Windows test programs (run under Wine): strings and paths,
// temporary folders and files, windows, and the Wine display setting.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "WinString.h"

// UTF-16 texts and Windows' wide strings are the same code units.
inline std::u16string U(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// A Windows path for a path the build system gave (a Unix path under Wine).
std::wstring WindowsPath(std::string_view path);
// A text in double quotes on one line: breaks, tabs, other controls, quotes,
// backslashes and the ideographic space written as escapes.
std::string QuotedVisible(std::u16string_view text);
// A text in code page 932 (Shift_JIS), as the settings files hold it.
std::string Cp932(std::u16string_view text);

// Under Wine, makes this program's windows unmanaged, so that no closed
// message box waits for a window manager that is not there. Call it first
// thing in main, before any window exists; elsewhere it does nothing.
void UseUnmanagedWindowsUnderWine();

// A fresh folder under the temporary folder, removed with everything in it.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::u16string& Path() const { return FPath; }  // without a trailing backslash
  std::u16string operator/(std::u16string_view name) const { return FPath + u"\\" + std::u16string(name); }

private:
  std::u16string FPath;
};

void RemoveTree(const std::u16string& path);  // a file, or a folder with everything in it; read-only too
void WriteBytes(const std::u16string& path, std::string_view bytes);
std::optional<std::string> ReadBytes(const std::u16string& path);  // nullopt when it cannot be read
bool IsFile(const std::u16string& path);
bool IsFolder(const std::u16string& path);
void MakeFolder(const std::u16string& path);
void SetReadOnly(const std::u16string& path, bool on);
std::vector<std::u16string> FolderEntries(const std::u16string& folder);  // names, sorted, without . and ..

std::u16string WindowText(HWND hwnd);
std::wstring ClassOf(HWND hwnd);

// An open handle on a file with the given sharing, closed on destruction.
class TFileLock {
public:
  TFileLock(const std::u16string& path, DWORD share);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  bool Held() const { return FHandle != INVALID_HANDLE_VALUE; }

private:
  HANDLE FHandle;
};

// One message box seen by the answerer.
struct TSeenDialog {
  std::u16string Caption;
  std::u16string Text;
  bool HasYes = false, HasNo = false, HasOther = false;
  bool QuestionIcon = false;
};

// Watches, on a thread of its own, for message boxes owned by `owner` and
// answers each one: Yes by a click on its Yes button, No by WM_COMMAND IDNO.
class TDialogAnswerer {
public:
  TDialogAnswerer(HWND owner, std::vector<int> answers);
  ~TDialogAnswerer();
  // Stops watching and returns what was seen.
  std::vector<TSeenDialog> Finish();

private:
  void Run();
  HWND FOwner;
  std::vector<int> FAnswers;
  std::vector<TSeenDialog> FSeen;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};
