// Operating system calls of the filter: POSIX, and the Windows equivalents.
#include "Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "Messages.h"
#include "Translate.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cwchar>

#include "Utf.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#endif

namespace {

constexpr size_t kIoLimit = size_t{1} << 30;  // bytes per read() or write()

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
  auto u = Utf8ToUtf16(path);
  if (!u) FailBadInput(Fill(_("the file name %s is not valid UTF-8"), {Quote(path)}));
  return std::wstring(u->begin(), u->end());
}
#endif

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
#endif

}  // namespace

void PrepareProcess() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  std::signal(SIGPIPE, SIG_DFL);
#ifdef F_SETPIPE_SZ
  // Pipes of 1 MiB: fewer, larger reads while the writer runs ahead, and
  // fewer wake-ups of the reader of the output, which cost more than the
  // copying where it runs on another core. Only a hint: never shrinks a
  // pipe, and does nothing to anything else.
  for (const int fd : {0, 1}) {
    const int size = fcntl(fd, F_GETPIPE_SZ);
    if (size > 0 && size < (1 << 20)) (void)fcntl(fd, F_SETPIPE_SZ, 1 << 20);
  }
#endif
#ifdef __GLIBC__
  // Pieces of text are allocated and released over and over: keep them on
  // the heap instead of mapping fresh pages each time.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
#endif
}

namespace {

// Times kept in seconds or in two seconds (FAT), the clock ticks that stamp
// a write, and small steps of the clock: a change as recent as this may share
// its time with a write still to come.
constexpr int64_t kTimeGrainNs = int64_t{2} * 1000000000;
std::atomic<int64_t> gClockAdvance{0};

#ifndef _WIN32
int64_t Nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }
#endif

}  // namespace

bool TimesProveLaterWrites(int64_t StatusChangedNs, int64_t NowNs) {
  return StatusChangedNs != 0 && StatusChangedNs <= NowNs - kTimeGrainNs;
}

void AdvanceClockForTests(int64_t Ns) { gClockAdvance.store(Ns); }

TFileKind KindOfDescriptor(int Fd) {
  TFileKind kind;
#ifdef _WIN32
  struct _stati64 st;
  if (_fstati64(Fd, &st) != 0 || !(st.st_mode & _S_IFREG)) return kind;
  const long long here = _lseeki64(Fd, 0, SEEK_CUR);
#else
  // The clock before the file: a write after this shows a time at least
  // this late.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  struct stat st;
  if (fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return kind;
  const off_t here = lseek(Fd, 0, SEEK_CUR);
#endif
  if (here < 0) return kind;
  kind.Regular = true;
  kind.Offset = static_cast<uint64_t>(here);
  kind.Size = st.st_size > here ? static_cast<uint64_t>(st.st_size - here) : 0;
#ifndef _WIN32
  kind.Device = static_cast<uint64_t>(st.st_dev);
  kind.Inode = static_cast<uint64_t>(st.st_ino);
  kind.StatusChangedNs = Nanoseconds(st.st_ctim);
  kind.ModifiedNs = Nanoseconds(st.st_mtim);
  kind.TimesProve = TimesProveLaterWrites(kind.StatusChangedNs, Nanoseconds(now) + gClockAdvance.load());
#endif
  return kind;
}

bool SameFileSince(int Fd, const TFileKind& Kind) {
  const TFileKind now = KindOfDescriptor(Fd);
  return now.Regular && now.Device == Kind.Device && now.Inode == Kind.Inode &&
         now.Offset + now.Size == Kind.Offset + Kind.Size && now.StatusChangedNs == Kind.StatusChangedNs &&
         now.ModifiedNs == Kind.ModifiedNs;
}

bool SeekTo(int Fd, uint64_t Offset) {
#ifdef _WIN32
  return _lseeki64(Fd, static_cast<long long>(Offset), SEEK_SET) >= 0;
#else
  return lseek(Fd, static_cast<off_t>(Offset), SEEK_SET) >= 0;
#endif
}

int OpenForReading(const std::string& Path) {
#ifdef _WIN32
  const int fd = _wopen(WidePath(Path).c_str(), _O_RDONLY | _O_BINARY);
#else
  const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) FailIo(Fill(_("cannot open %s: %s"), {Quote(Path), ErrorText(errno)}));
#ifndef _WIN32
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    FailIo(Fill(_("cannot read %s: %s"), {Quote(Path), ErrorText(EISDIR)}));
  }
#endif
  return fd;
}

int OpenForEditing(const std::string& Path) {
#ifdef _WIN32
  const int fd = OpenForReading(Path);
#else
  const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) FailIo(Fill(_("cannot open %s: %s"), {Quote(Path), ErrorText(errno)}));
#endif
  if (!KindOfDescriptor(fd).Regular) {
    CloseDescriptor(fd);
    FailIo(Fill(_("cannot edit %s in place: not a regular file"), {Quote(Path)}));
  }
#ifndef _WIN32
  // Reads wait again, as for any file.
  (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
  return fd;
}

void CloseDescriptor(int Fd) {
#ifdef _WIN32
  _close(Fd);
#else
  close(Fd);
#endif
}

long ReadSome(int Fd, char* p, size_t n) {
  for (;;) {
#ifdef _WIN32
    const long r = _read(Fd, p, static_cast<unsigned>(std::min(n, kIoLimit)));
#else
    const long r = static_cast<long>(::read(Fd, p, std::min(n, kIoLimit)));
#endif
    if (r >= 0 || errno != EINTR) return r;
  }
}

void WriteAll(int Fd, const char* p, size_t n, const std::string& Name) {
  while (n > 0) {
#ifdef _WIN32
    const long r = _write(Fd, p, static_cast<unsigned>(std::min(n, kIoLimit)));
#else
    const long r = static_cast<long>(::write(Fd, p, std::min(n, kIoLimit)));
#endif
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) {
        // SIGPIPE is ignored by whoever started us: end as quietly.
#ifndef _WIN32
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
#endif
        std::_Exit(kExitIo);
      }
      FailIo(Fill(_("cannot write %s: %s"), {Name, ErrorText(errno)}));
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
}

std::string ReadWholeFile(const std::string& Path) {
  const int fd = OpenForReading(Path);
  std::string bytes;
  char buf[65536];
  for (;;) {
    const long r = ReadSome(fd, buf, sizeof buf);
    if (r < 0) {
      const int e = errno;
      CloseDescriptor(fd);
      FailIo(Fill(_("cannot read %s: %s"), {Quote(Path), ErrorText(e)}));
    }
    if (r == 0) break;
    bytes.append(buf, static_cast<size_t>(r));
  }
  CloseDescriptor(fd);
  return bytes;
}

TTempFile CreateTempBeside(const std::string& Path) {
  TTempFile temp;
  const size_t slash = Path.find_last_of(
#ifdef _WIN32
      "/\\"
#else
      "/"
#endif
  );
  const std::string dir = slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? Path : Path.substr(slash + 1);
#ifdef _WIN32
  for (unsigned n = GetCurrentProcessId(), tries = 0; tries < 100; ++n, ++tries) {
    temp.Path = dir + "." + base + ".marquill-" + std::to_string(n);
    temp.Fd = _wopen(WidePath(temp.Path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (temp.Fd >= 0 || errno != EEXIST) break;
  }
#else
  temp.Path = dir + "." + base + ".marquill-XXXXXX";
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
// Closes the temporary file, flushed to the disk first, and moves it over
// Path, keeping the original as Path + BackupSuffix when asked.
void ReplaceOnWindows(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix) {
  const std::wstring tempPath = WidePath(Temp.Path);
  // On the disk before it takes the file's place, so that a crash leaves
  // the old content or the new, never an empty file.
  const bool flushed = _commit(Temp.Fd) == 0;
  int e = errno;
  const bool closed = _close(Temp.Fd) == 0;
  if (flushed) e = errno;
  Temp.Fd = -1;
  if (!flushed || !closed) {
    _wunlink(tempPath.c_str());
    FailIo(Fill(_("cannot write %s: %s"), {Quote(Path), ErrorText(e)}));
  }
  const std::wstring wide = WidePath(Path);
  if (!BackupSuffix.empty() && !CopyFileW(wide.c_str(), WidePath(Path + BackupSuffix).c_str(), FALSE)) {
    _wunlink(tempPath.c_str());
    FailIo(Fill(_("cannot keep %s as %s"), {Quote(Path), Quote(Path + BackupSuffix)}));
  }
  if (!MoveFileExW(tempPath.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    _wunlink(tempPath.c_str());
    FailIo(Fill(_("cannot replace %s"), {Quote(Path)}));
  }
}
#else
// Gives the temporary file Path's mode (and owner where allowed), flushes
// and closes it; on a failure it is removed.
void SettleTemp(TTempFile& Temp, const std::string& Path) {
  // The messages are made, errno read, before the clean-up runs.
  auto fail = [&](const std::string& message) {
    DiscardTemp(Temp);
    FailIo(message);
  };
  struct stat st;
  if (stat(Path.c_str(), &st) != 0) fail(Fill(_("cannot replace %s: %s"), {Quote(Path), ErrorText(errno)}));
  if (fchmod(Temp.Fd, st.st_mode & 07777) != 0)
    fail(Fill(_("cannot set the mode of %s: %s"), {Quote(Path), ErrorText(errno)}));
  (void)!fchown(Temp.Fd, st.st_uid, st.st_gid);  // keeps the owner where allowed
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

// Renames the settled temporary file over Path, keeping the original as
// Path + BackupSuffix when asked.
void ReplaceOnPosix(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix) {
  const THeldSignals held;
  SettleTemp(Temp, Path);
  auto failClosed = [&](const std::string& message) {
    unlink(Temp.Path.c_str());
    ForgetTempToRemove();
    FailIo(message);
  };
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

void ReplaceByTemp(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix) {
#ifdef _WIN32
  ReplaceOnWindows(Temp, Path, BackupSuffix);
#else
  ReplaceOnPosix(Temp, Path, BackupSuffix);
#endif
}
