// Extended attributes, which emscripten's C library declares but lacks: the
// module's files live in memory and have none, so each call says so.
#include <sys/xattr.h>

#include <cerrno>

extern "C" {
ssize_t flistxattr(int, char*, size_t) { return 0; }
ssize_t fgetxattr(int, const char*, void*, size_t) {
  errno = ENODATA;
  return -1;
}
int fsetxattr(int, const char*, const void*, size_t, int) {
  errno = ENOTSUP;
  return -1;
}
int fremovexattr(int, const char*) {
  errno = ENODATA;
  return -1;
}
}
