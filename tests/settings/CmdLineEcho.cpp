// Writes down how it was started, for the RunProgram tests: the command line,
// the current folder and the start-up flags and show value, one per line, in
// UTF-16, to the file named by the environment variable MARQUILL_ECHO_FILE.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t out[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableW(L"MARQUILL_ECHO_FILE", out, MAX_PATH * 2)) return 1;
  std::wstring text = GetCommandLineW();
  text += L"\n";
  wchar_t folder[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, folder);
  text += folder;
  text += L"\n";
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  text += std::to_wstring(startup.dwFlags & STARTF_USESHOWWINDOW) + L"," + std::to_wstring(startup.wShowWindow);
  // Write to a temporary name first so the reader never sees half a file.
  std::wstring temp = std::wstring(out) + L".part";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(h);
  MoveFileExW(temp.c_str(), out, MOVEFILE_REPLACE_EXISTING);
  return 0;
}
