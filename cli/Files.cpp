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
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <csignal>
#include <memory>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#endif

namespace {

constexpr size_t kIoLimit = size_t{1} << 30;  // bytes per read() or write()

}  // namespace

#ifdef _WIN32
std::wstring WidePath(const std::string& Path) {
  auto u = Utf8ToUtf16(Path);
  if (!u) FailBadInput(Fill(_("the file name %s is not valid UTF-8"), {Quote(Path)}));
  return std::wstring(u->begin(), u->end());
}

std::string SystemErrorText(unsigned long Error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, Error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string units(text, text + n);
  LocalFree(text);
  while (!units.empty() && (units.back() == u'\n' || units.back() == u'\r' || units.back() == u' ' ||
                            units.back() == u'.'))
    units.pop_back();
  if (units.empty()) return "error " + std::to_string(Error);
  return Utf16ToUtf8Lossy(units);
}
#endif

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

// A regular file whose size says nothing of what it holds: one that reports
// no bytes, and the files that the kernel makes as they are read.
bool SizeIsUntrue(int fd, const struct stat& st) {
  if (st.st_size == 0) return true;
#ifdef __linux__
  struct statfs fs {};
  if (fstatfs(fd, &fs) == 0) {
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type == PROC_SUPER_MAGIC || type == SYSFS_MAGIC || type == DEBUGFS_MAGIC || type == TRACEFS_MAGIC;
  }
#else
  (void)fd;
#endif
  return false;
}

TFileStamp StampOf(const struct stat& st) {
  return {.Known = true,
          .Device = static_cast<uint64_t>(st.st_dev),
          .Inode = static_cast<uint64_t>(st.st_ino),
          .Size = static_cast<uint64_t>(st.st_size),
          .StatusChangedNs = Nanoseconds(st.st_ctim),
          .ModifiedNs = Nanoseconds(st.st_mtim)};
}
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
  if (fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode) || SizeIsUntrue(Fd, st)) return kind;
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

#ifdef _WIN32
namespace {

TFileStamp StampOfHandle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return {};
  auto join = [](DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; };
  return {.Known = true,
          .Device = info.dwVolumeSerialNumber,
          .Inode = join(info.nFileIndexHigh, info.nFileIndexLow),
          .Size = join(info.nFileSizeHigh, info.nFileSizeLow),
          .ModifiedNs = static_cast<int64_t>(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
}

}  // namespace

TFileStamp StampOfDescriptor(int Fd) { return StampOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(Fd))); }

TFileStamp StampOfPath(const std::string& Path) {
  const HANDLE h = CreateFileW(WidePath(Path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  const TFileStamp stamp = StampOfHandle(h);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return stamp;
}

bool ReadsItsOwnOutput(int InFd, int OutFd) {
  // Pipes and consoles give no file information: only disk files compare.
  const TFileStamp in = StampOfDescriptor(InFd), out = StampOfDescriptor(OutFd);
  if (!in.Known || !out.Known || in.Device != out.Device || in.Inode != out.Inode) return false;
  const long long here = _lseeki64(InFd, 0, SEEK_CUR);
  return here >= 0 && static_cast<uint64_t>(here) < in.Size;
}
#else
TFileStamp StampOfDescriptor(int Fd) {
  struct stat st;
  return fstat(Fd, &st) == 0 ? StampOf(st) : TFileStamp{};
}

TFileStamp StampOfPath(const std::string& Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0 ? StampOf(st) : TFileStamp{};
}

bool ReadsItsOwnOutput(int InFd, int OutFd) {
  struct stat in, out;
  if (fstat(InFd, &in) != 0 || fstat(OutFd, &out) != 0 || !S_ISREG(out.st_mode)) return false;
  if (in.st_dev != out.st_dev || in.st_ino != out.st_ino) return false;
  const off_t here = lseek(InFd, 0, SEEK_CUR);
  return here >= 0 && here < in.st_size;
}
#endif

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
#ifdef _WIN32
  struct _stati64 st;
  if (_fstati64(fd, &st) != 0 || !(st.st_mode & _S_IFREG)) {
#else
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
#endif
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
