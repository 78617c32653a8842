// File effects: exists, delete, move, whole-file read and write, and starting a program.
#include "FileUnit.h"

#include <algorithm>
#include <vector>

#include "Errors.h"
#include "FileCalls.h"
#include "FileNameUnit.h"
#include "WinString.h"

namespace {

// Closes a handle on every exit.
class THandleGuard {
public:
  explicit THandleGuard(HANDLE h) : FHandle(h) {}
  THandleGuard(const THandleGuard&) = delete;
  THandleGuard& operator=(const THandleGuard&) = delete;
  ~THandleGuard() { Close(); }
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  bool Close() {
    if (!Valid()) return true;
    const bool ok = FileCalls().CloseHandle(FHandle) != 0;
    FHandle = INVALID_HANDLE_VALUE;
    return ok;
  }

private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

[[noreturn]] void LoadError(std::u16string_view path) {
  std::u16string msg = u"Error:LoadAnsiStringFromFile\r\n";
  msg += path;
  throw EInOutError(msg);
}

[[noreturn]] void SaveError(std::u16string_view path) {
  std::u16string msg = u"Error:SaveAnsiStringToFile\r\n";
  msg += path;
  throw EInOutError(msg);
}

// Writes all of bytes to a new file at tempPath. Returns 0, or the error
// code of the failed step; a file it made is removed again on failure.
DWORD WriteNewFile(const std::u16string& tempPath, std::string_view bytes, uint32_t attributes) {
  HANDLE h = FileCalls().CreateFile(W(tempPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD error = 0;
  {
    THandleGuard file(h);
    size_t done = 0;
    while (error == 0 && done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!FileCalls().WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr))
        error = GetLastError();
      else if (written == 0)
        error = ERROR_WRITE_FAULT;
      done += written;
    }
    if (error == 0 && !FileCalls().FlushFileBuffers(file.Get())) error = GetLastError();
    if (error == 0 && !file.Close()) error = GetLastError();
  }
  if (error != 0) FileCalls().DeleteFile(W(tempPath));
  return error;
}

// A name for the temporary file: short, so that it fits wherever the
// settings file's own name does.
std::u16string TempFileName(uint32_t attempt) {
  static volatile LONG counter = 0;
  const uint32_t value = (GetCurrentProcessId() << 16) ^ (GetTickCount() & 0xFFFF) ^
                         static_cast<uint32_t>(InterlockedIncrement(&counter)) ^ (attempt * 0x9E37u);
  std::u16string name = u"~mq";
  for (int shift = 28; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(value >> shift) & 0xF];
  name += u".tmp";
  return name;
}

const TFileCalls* gTestCalls = nullptr;

}  // namespace

const TFileCalls& FileCalls() {
  static const TFileCalls system;
  return gTestCalls ? *gTestCalls : system;
}

void SetFileCallsForTests(const TFileCalls* calls) { gTestCalls = calls; }

bool FileExists(std::u16string_view path) {
  const std::u16string p(path);
  const DWORD attributes = GetFileAttributesW(W(p));
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  HANDLE h = CreateFileW(W(p), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(std::u16string_view path) {
  if (path.empty()) return false;
  const std::u16string p(path);
  const DWORD attributes = GetFileAttributesW(W(p));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileOrLink(std::u16string_view path) {
  const std::u16string p(path);
  if (FileCalls().DeleteFile(W(p))) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(W(p));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return FileCalls().RemoveDirectory(W(p)) != 0;
  SetLastError(error);
  return false;
}

bool MoveFileNoReplace(std::u16string_view from, std::u16string_view to) {
  const std::u16string a(from), b(to);
  return FileCalls().MoveFile(W(a), W(b)) != 0;
}

TFileEntry FindFile(std::u16string_view path) {
  const std::u16string p(path);
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW(W(p), &data);
  if (search == INVALID_HANDLE_VALUE) {
    std::u16string msg = u"Error:FindFile ";
    msg += path;
    throw EGeneralError(msg);
  }
  FindClose(search);
  TFileEntry entry;
  entry.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry.LastWrite = data.ftLastWriteTime;
  entry.Attributes = data.dwFileAttributes;
  entry.Name = reinterpret_cast<const char16_t*>(data.cFileName);
  return entry;
}

std::string LoadAnsiStringFromFile(std::u16string_view path) {
  const TFileEntry entry = FindFile(path);
  const uint32_t size = static_cast<uint32_t>(entry.Size);
  if (size == 0) return std::string();

  std::string bytes;
  try {
    bytes.resize(size);
  } catch (const std::exception&) {
    LoadError(path);
  }
  const std::u16string p(path);
  THandleGuard file(FileCalls().CreateFile(W(p), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) LoadError(path);
  DWORD read = 0;
  if (!FileCalls().ReadFile(file.Get(), bytes.data(), size, &read, nullptr) || read != size) LoadError(path);
  if (!file.Close()) LoadError(path);
  return bytes;
}

void SaveAnsiStringToFile(std::u16string_view path, std::string_view bytes, bool replace) {
  const std::u16string target(path);
  // A folder or a read-only file at the path is not replaced.
  const DWORD old = GetFileAttributesW(W(target));
  if (old != INVALID_FILE_ATTRIBUTES && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    SaveError(path);
  if (target.empty() || target.back() == u'\\') SaveError(path);

  // Keep the replaced file's hidden, system and similar marks.
  const uint32_t keep = old == INVALID_FILE_ATTRIBUTES
                            ? 0
                            : old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);

  // Write a temporary file in the same folder, then put it in the file's place.
  const std::u16string folder = ExtractFilePath(target);
  std::u16string temp;
  DWORD error = ERROR_FILE_EXISTS;
  for (uint32_t attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
    temp = folder + TempFileName(attempt);
    error = WriteNewFile(temp, bytes, keep);
    if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
  }
  if (error != 0) SaveError(path);

  const DWORD how = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
  if (!FileCalls().MoveFileEx(W(temp), W(target), how)) {
    FileCalls().DeleteFile(W(temp));
    SaveError(path);
  }
}

std::u16string ProgramCommandLine(std::u16string_view program, std::u16string_view arguments) {
  std::u16string commandLine = QuoteIfNeeded(program);
  if (!arguments.empty()) {
    commandLine += u' ';
    commandLine += arguments;
  }
  return commandLine;
}

void RunProgram(std::u16string_view program, std::u16string_view arguments, std::u16string_view folder, bool wait,
                bool show) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!show) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }

  const std::u16string commandLine = ProgramCommandLine(program, arguments);
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());  // CreateProcessW may write into it
  buffer.push_back(L'\0');

  const std::u16string dir(folder);
  const bool useFolder = FolderExists(dir);

  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, useFolder ? W(dir) : nullptr,
                      &startup, &process))
    return;
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
