// The owner, group, extended attributes and mode of a file given to another,
// in the order that keeps them all.
#include "KeepAttributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "Translate.h"

namespace {

constexpr std::string_view kAccessList = "system.posix_acl_access";

// A failure with errno read before the message is looked up, which may
// change it.
TKeptAttributes Failed(const char* message) {
  const int e = errno;
  return {_(message), e};
}

// The names of Fd's extended attributes, each ending in NUL; empty where
// the file system keeps none. False with errno on another failure.
bool AttributeNames(int fd, std::vector<char>& names) {
  for (;;) {
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    names.resize(static_cast<size_t>(size));
    const ssize_t got = size == 0 ? 0 : flistxattr(fd, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
  }
}

// One attribute's value; false with errno where it could not be read.
bool AttributeValue(int fd, const char* name, std::vector<char>& value) {
  for (;;) {
    const ssize_t size = fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<size_t>(size));
    const ssize_t got = size == 0 ? 0 : fgetxattr(fd, name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

TKeptAttributes CopyAttributes(int from, int to) {
  std::vector<char> names;
  if (!AttributeNames(from, names)) return Failed(N_("cannot read the original's extended attributes for %s: %s"));
  bool hasList = false;
  std::vector<char> value;
  for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
    const char* name = names.data() + at;
    const bool list = name == kAccessList;
    hasList = hasList || list;
    if (!AttributeValue(from, name, value) || fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
      if (list) return Failed(N_("cannot give %s the original's access control list: %s"));
    }
  }
  // One inherited from the folder's default list, which the file did not have.
  if (!hasList && fremovexattr(to, kAccessList.data()) != 0 && errno != ENODATA && errno != ENOTSUP)
    return Failed(N_("cannot give %s the original's access control list: %s"));
  return {};
}

}  // namespace

TKeptAttributes KeepAttributes(int From, int To) {
  struct stat st;
  if (fstat(From, &st) != 0) return Failed(N_("cannot read the original's mode for %s: %s"));
  mode_t mode = st.st_mode & 07777;
  if (fchown(To, st.st_uid, st.st_gid) != 0) {
    mode &= ~static_cast<mode_t>(S_ISUID);
    if (fchown(To, static_cast<uid_t>(-1), st.st_gid) != 0) mode &= ~static_cast<mode_t>(S_ISGID);
  }
  if (TKeptAttributes copied = CopyAttributes(From, To); !copied.Failure.empty()) return copied;
  if (fchmod(To, mode) != 0) return Failed(N_("cannot set the mode of %s: %s"));
  return {};
}
