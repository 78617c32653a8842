// The temporary file of an in-place edit, and its taking the file's place:
// POSIX, and the Windows equivalents.
#include "InPlace.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include "Messages.h"
#include "Translate.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

#include "KeepAttributes.h"
#endif

namespace {

std::function<void()> gBeforeReplace;

std::string ChangedMessage(const std::string& Path) { return Fill(_("%s changed while being read"), {Quote(Path)}); }

// The folder part of Path, with its separator ("" for none).
std::string FolderOf(const std::string& Path) {
#ifdef _WIN32
  const size_t slash = Path.find_last_of("/\\");
#else
  const size_t slash = Path.find_last_of('/');
#endif
  return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

#ifndef _WIN32
// The temporary file of an in-place edit, removed when SIGINT, SIGTERM or
// SIGHUP ends the program before it has taken the file's place. The
// handler may run on any thread, so it reads a copy of the name that is
// never freed or changed, through a lock-free pointer.
std::atomic<const char*> gTempToRemove{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe calls: the action is back to the default
// (SA_RESETHAND), so the signal raised again ends the program as it would
// have, once the handler returns.
void RemoveTempAndEnd(int Signal) {
  if (const char* path = gTempToRemove.load()) unlink(path);
  raise(Signal);
}

void InstallCleanupHandlers() {
  struct sigaction action {};
  action.sa_handler = RemoveTempAndEnd;
  sigemptyset(&action.sa_mask);
  for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
  action.sa_flags = SA_RESETHAND;
  for (int s : kCleanupSignals) {
    struct sigaction before {};
    // An ignored signal stays ignored (nohup, a background job's SIGINT).
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
  }
}

// The cleanup signals wait while a temporary file comes into being or takes
// the original's place, so that neither is caught half done.
class THeldSignals {
 public:
  THeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : kCleanupSignals) sigaddset(&held, s);
    pthread_sigmask(SIG_BLOCK, &held, &Before);
  }
  ~THeldSignals() { pthread_sigmask(SIG_SETMASK, &Before, nullptr); }
  THeldSignals(const THeldSignals&) = delete;
  THeldSignals& operator=(const THeldSignals&) = delete;

 private:
  sigset_t Before{};
};

void NoteTempToRemove(const std::string& Path) {
  static const bool installed = (InstallCleanupHandlers(), true);
  (void)installed;
  static std::vector<std::unique_ptr<char[]>> names;  // kept for the handler
  names.push_back(std::make_unique<char[]>(Path.size() + 1));
  Path.copy(names.back().get(), Path.size());
  gTempToRemove.store(names.back().get());
}

// After the file is gone or renamed: a signal in between removes nothing
// that is still needed.
void ForgetTempToRemove() { gTempToRemove.store(nullptr); }
#else
// A new empty file in Folder under a short name of this program's.
int OpenNewIn(const std::string& Folder, std::string& Path) {
  int fd = -1;
  for (unsigned n = GetCurrentProcessId(), tries = 0; tries < 100; ++n, ++tries) {
    Path = Folder + ".marquill-" + std::to_string(n);
    fd = _wopen(WidePath(Path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) break;
  }
  return fd;
}
#endif

}  // namespace

void SetBeforeReplaceForTests(std::function<void()> Hook) { gBeforeReplace = std::move(Hook); }

TTempFile CreateTempBeside(const std::string& Path) {
  TTempFile temp;
  // Not Path's name with more to it: a name near the longest allowed would
  // pass the limit.
#ifdef _WIN32
  temp.Fd = OpenNewIn(FolderOf(Path), temp.Path);
#else
  temp.Path = FolderOf(Path) + ".marquill-XXXXXX";
  const THeldSignals held;
  temp.Fd = mkstemp(temp.Path.data());
  if (temp.Fd >= 0) NoteTempToRemove(temp.Path);
#endif
  if (temp.Fd < 0) FailIo(Fill(_("cannot create a temporary file beside %s: %s"), {Quote(Path), ErrorText(errno)}));
  return temp;
}

bool DiscardTemp(TTempFile& Temp) {
  if (Temp.Fd < 0) return true;
  CloseDescriptor(Temp.Fd);
  Temp.Fd = -1;
#ifdef _WIN32
  return _wunlink(WidePath(Temp.Path).c_str()) == 0;
#else
  const bool removed = unlink(Temp.Path.c_str()) == 0;
  const int e = errno;
  ForgetTempToRemove();
  errno = e;
  return removed;
#endif
}

namespace {

#ifdef _WIN32
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Flushes the temporary file to the disk and closes it; removed on failure.
void SettleOnWindows(TTempFile& Temp, const std::string& Path) {
  // On the disk before it takes the file's place, so that a crash leaves
  // the old content or the new, never an empty file.
  const bool flushed = _commit(Temp.Fd) == 0;
  int e = errno;
  const bool closed = _close(Temp.Fd) == 0;
  if (flushed) e = errno;
  Temp.Fd = -1;
  if (!flushed || !closed) {
    _wunlink(WidePath(Temp.Path).c_str());
    FailIo(Fill(_("cannot write %s: %s"), {Quote(Path), ErrorText(e)}));
  }
}

// A copy of Path beside it, under a temporary name, for the backup; the old
// backup is replaced by it only once the edit has taken Path's place.
std::string CopyForBackup(const std::string& Path, const std::string& Backup) {
  std::string copy;
  const int fd = OpenNewIn(FolderOf(Path), copy);
  const int e = errno;
  if (fd < 0) FailIo(Fill(_("cannot keep %s as %s: %s"), {Quote(Path), Quote(Backup), ErrorText(e)}));
  _close(fd);
  if (!CopyFileW(WidePath(Path).c_str(), WidePath(copy).c_str(), FALSE)) {
    const DWORD error = GetLastError();
    _wunlink(WidePath(copy).c_str());
    FailIo(Fill(_("cannot keep %s as %s: %s"), {Quote(Path), Quote(Backup), SystemErrorText(error)}));
  }
  return copy;
}

// Moves the temporary file over Path, the original's attributes given to the
// new file; with a BackupSuffix, a copy of the original then replaces the old
// backup. A failure before the move leaves the file and the old backup as
// they were.
void ReplaceOnWindows(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix, TReadFile& Read) {
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD attributes = GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(Read.Fd)), &info)
                               ? info.dwFileAttributes & kKeptAttributes
                               : 0;
  CloseDescriptor(std::exchange(Read.Fd, -1));
  SettleOnWindows(Temp, Path);
  const std::wstring tempPath = WidePath(Temp.Path), wide = WidePath(Path);
  if (gBeforeReplace) gBeforeReplace();
  if (StampOfPath(Path) != Read.Stamp) {
    _wunlink(tempPath.c_str());
    FailIo(ChangedMessage(Path));
  }
  const std::string backup = Path + BackupSuffix;
  std::string copy;
  if (!BackupSuffix.empty()) {
    try {
      copy = CopyForBackup(Path, backup);
    } catch (...) {
      _wunlink(tempPath.c_str());
      throw;
    }
  }
  // A read-only file cannot be replaced: it is writable for the move alone.
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide.c_str(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
  if (!MoveFileExW(tempPath.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide.c_str(), info.dwFileAttributes);
    _wunlink(tempPath.c_str());
    if (!copy.empty()) _wunlink(WidePath(copy).c_str());
    FailIo(Fill(_("cannot replace %s: %s"), {Quote(Path), SystemErrorText(error)}));
  }
  if (attributes) SetFileAttributesW(wide.c_str(), attributes);
  // The copy of a read-only file is read-only too, and would stop the next
  // backup from replacing it.
  if (const DWORD old = copy.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(WidePath(backup).c_str());
      old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(WidePath(backup).c_str(), old & ~FILE_ATTRIBUTE_READONLY);
  if (!copy.empty() && !MoveFileExW(WidePath(copy).c_str(), WidePath(backup).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    FailIo(Fill(_("%s is edited, but its former content could not replace %s: %s; it is kept as %s"),
                {Quote(Path), Quote(backup), SystemErrorText(GetLastError()), Quote(copy)}));
}
#else
// Gives the temporary file the owner, attributes and mode of the file read,
// flushes and closes it; on a failure it is removed.
void SettleTemp(TTempFile& Temp, const std::string& Path, int readFd) {
  // The messages are made, errno read, before the clean-up runs.
  auto fail = [&](const std::string& message) {
    DiscardTemp(Temp);
    FailIo(message);
  };
  const TKeptAttributes kept = KeepAttributes(readFd, Temp.Fd);
  if (!kept.Failure.empty()) fail(Fill(kept.Failure, {Quote(Path), ErrorText(kept.Errno)}));
  // On the disk before it takes the file's place, so that a crash leaves
  // the old content or the new, never an empty file; a file system that
  // cannot (EINVAL) has nothing to wait for.
  if (fsync(Temp.Fd) != 0 && errno != EINVAL) fail(Fill(_("cannot write %s: %s"), {Quote(Path), ErrorText(errno)}));
  if (close(Temp.Fd) != 0) {
    const int e = errno;
    Temp.Fd = -1;
    unlink(Temp.Path.c_str());
    ForgetTempToRemove();
    FailIo(Fill(_("cannot write %s: %s"), {Quote(Path), ErrorText(e)}));
  }
  Temp.Fd = -1;
}

// Renames the settled temporary file over Path, if Path is still the file
// read, keeping the original as Path + BackupSuffix when asked.
void ReplaceOnPosix(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix, TReadFile& Read) {
  const THeldSignals held;
  SettleTemp(Temp, Path, Read.Fd);
  auto failClosed = [&](const std::string& message) {
    unlink(Temp.Path.c_str());
    ForgetTempToRemove();
    FailIo(message);
  };
  // A write since the file was opened, while it was read or while the new
  // one went to the disk, would be lost: the edit stops instead.
  if (gBeforeReplace) gBeforeReplace();
  if (StampOfDescriptor(Read.Fd) != Read.Stamp || StampOfPath(Path) != Read.Stamp) failClosed(ChangedMessage(Path));
  CloseDescriptor(std::exchange(Read.Fd, -1));
  if (!BackupSuffix.empty()) {
    // A hard link keeps the original under the new name while the file
    // itself is never missing; a file system without links gets a rename.
    const std::string backup = Path + BackupSuffix;
    if (unlink(backup.c_str()) != 0 && errno != ENOENT)
      failClosed(Fill(_("cannot replace %s: %s"), {Quote(backup), ErrorText(errno)}));
    if (link(Path.c_str(), backup.c_str()) != 0 && rename(Path.c_str(), backup.c_str()) != 0)
      failClosed(Fill(_("cannot keep %s as %s: %s"), {Quote(Path), Quote(backup), ErrorText(errno)}));
  }
  if (rename(Temp.Path.c_str(), Path.c_str()) != 0)
    failClosed(Fill(_("cannot replace %s: %s"), {Quote(Path), ErrorText(errno)}));
  ForgetTempToRemove();
}
#endif

}  // namespace

void ReplaceByTemp(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix, TReadFile& Read) {
#ifdef _WIN32
  ReplaceOnWindows(Temp, Path, BackupSuffix, Read);
#else
  ReplaceOnPosix(Temp, Path, BackupSuffix, Read);
#endif
}
