// The few calls to the operating system that the filter makes: reading and
// writing descriptors, opening files, and replacing a file by a new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Binary standard streams (Windows); the default action for SIGPIPE, so that
// a closed output pipe ends the program quietly as it ends sed; a larger pipe
// on standard input; a heap tuned for many same-sized buffers.
void PrepareProcess();

// What a descriptor reads from: a regular file (with its size from the
// current offset on) or something else (a pipe, a terminal).
// A regular file whose size cannot be trusted (a /proc or /sys file reports
// 0 or a page, whatever it holds) counts as something else: it is read to its
// end, once, as a pipe is.
struct TFileKind {
  bool Regular = false;
  uint64_t Offset = 0;  // where reading begins
  uint64_t Size = 0;
  // Which file it is, and the times of its last change of status and of
  // content, in nanoseconds; zero where the system does not give them
  // (Windows). Any write sets the status change time to the clock's time,
  // and no writer can set it back.
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t StatusChangedNs = 0;
  int64_t ModifiedNs = 0;
  // The times prove a later write: the last change is older than the
  // times' granularity when the file was looked at, so any write since
  // shows a new status change time.
  bool TimesProve = false;
};
TFileKind KindOfDescriptor(int Fd);
// The descriptor's file is the one of Kind, which KindOfDescriptor gave, with
// the same size and times. Only where Kind.TimesProve does this prove that
// its bytes are the same.
bool SameFileSince(int Fd, const TFileKind& Kind);
// Whether a status change time proves a later write, the clock reading Now
// (nanoseconds) before the file was looked at.
bool TimesProveLaterWrites(int64_t StatusChangedNs, int64_t NowNs);
// Tests: the clock that KindOfDescriptor reads moves on by Ns, so that a file
// just written looks old.
void AdvanceClockForTests(int64_t Ns);

// Which file a descriptor or a path shows, its size and its times of
// change: another stamp after the file was read means it was written to,
// truncated or replaced since. Nothing known where the call failed.
struct TFileStamp {
  bool Known = false;
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint64_t Size = 0;
  int64_t StatusChangedNs = 0;
  int64_t ModifiedNs = 0;
  bool operator==(const TFileStamp&) const = default;
};
TFileStamp StampOfDescriptor(int Fd);
TFileStamp StampOfPath(const std::string& Path);

// Whether reading InFd would read what is written to OutFd: the same
// regular file, with bytes still to read after InFd's offset. Reading on
// would then read the edit's own output, without end when appending.
bool ReadsItsOwnOutput(int InFd, int OutFd);

// Moves a regular file's offset back to where reading began; false on failure.
bool SeekTo(int Fd, uint64_t Offset);

// An open file read by the filter.
int OpenForReading(const std::string& Path);
// An open file to be edited in place: only a regular file (after links), as
// anything else (a FIFO, a device) would be replaced by a regular file.
// Throws TFailure (status 1) otherwise, without waiting on a FIFO's writer.
int OpenForEditing(const std::string& Path);
void CloseDescriptor(int Fd);

// Bytes read into p (0 at the end), or -1 with errno set.
long ReadSome(int Fd, char* p, size_t n);
// Writes everything. A closed pipe ends the program quietly; other errors
// throw TFailure (status 1) naming `Name`.
void WriteAll(int Fd, const char* p, size_t n, const std::string& Name);

#ifdef _WIN32
// A UTF-8 name as Windows takes it; a name that is not UTF-8 is refused.
std::wstring WidePath(const std::string& Path);
// The system's text for a GetLastError value.
std::string SystemErrorText(unsigned long Error);
#endif
