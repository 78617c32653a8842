// The reasons of failed system calls, in the user's language.
#include <cerrno>
#include <cstring>
#include <string>

#include "Translate.h"

namespace {

struct TReason {
  int Errno = 0;
  const char* Text = nullptr;
};

// The errno values a file, a pipe or the disk gives the filter, in glibc's
// words; Windows says folder where Linux says directory.
constexpr TReason kReasons[] = {
    {EPERM, N_("Operation not permitted")},
    {EIO, N_("Input/output error")},
    {EBADF, N_("Bad file descriptor")},
    {EAGAIN, N_("Resource temporarily unavailable")},
    {ENOMEM, N_("Cannot allocate memory")},
    {EACCES, N_("Permission denied")},
    {EBUSY, N_("Device or resource busy")},
    {EEXIST, N_("File exists")},
    {EXDEV, N_("Invalid cross-device link")},
    {ENODEV, N_("No such device")},
    {ENXIO, N_("No such device or address")},
    {EINVAL, N_("Invalid argument")},
    {ENFILE, N_("Too many open files in system")},
    {EMFILE, N_("Too many open files")},
    {EFBIG, N_("File too large")},
    {ENOSPC, N_("No space left on device")},
    {ESPIPE, N_("Illegal seek")},
    {EROFS, N_("Read-only file system")},
    {EPIPE, N_("Broken pipe")},
    {ENAMETOOLONG, N_("File name too long")},
    {EINTR, N_("Interrupted system call")},
#ifdef _WIN32
    {ENOENT, N_("No such file or folder")},
    {ENOTDIR, N_("Not a folder")},
    {EISDIR, N_("Is a folder")},
    {ENOTEMPTY, N_("Folder not empty")},
#else
    {ENOENT, N_("No such file or directory")},
    {ENOTDIR, N_("Not a directory")},
    {EISDIR, N_("Is a directory")},
    {ENOTEMPTY, N_("Directory not empty")},
    {ETXTBSY, N_("Text file busy")},
    {ELOOP, N_("Too many levels of symbolic links")},
    {EDQUOT, N_("Disk quota exceeded")},
    {EOVERFLOW, N_("Value too large for defined data type")},
    {ESTALE, N_("Stale file handle")},
#endif
};

}  // namespace

std::string ErrorText(int Errno) {
  for (const TReason& r : kReasons)
    if (r.Errno == Errno) return _(r.Text);
  const std::string system = std::strerror(Errno);
  // libc's own translation, or its English where the catalogue has none of
  // its words: then only the number, never an English reason in a
  // Japanese line.
  if (!UsesJapanese()) return system;
  for (const unsigned char c : system)
    if (c >= 0x80) return system;
  return Fill(_("system error number %s"), {std::to_string(Errno)});
}
