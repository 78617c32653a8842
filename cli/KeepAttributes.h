// A new file given the owner, group, extended attributes and mode of another
// (POSIX).
#pragma once

#include <string>

// What KeepAttributes could not keep: a message with two %s (the file and
// the reason) and errno; an empty Failure where all was kept.
struct TKeptAttributes {
  std::string Failure;
  int Errno = 0;
};

// Gives the file open as To the owner and group of the file open as From
// where allowed, then From's extended attributes (its access control list
// among them; an inherited one that From lacks is removed), then its mode
// with the set-id bits: a change of owner clears those and the file's
// capabilities, so it comes first. Where the owner cannot be kept (another
// user's file), the group is kept where it can be, and a set-id bit stays
// only on a file of the user or group it names. Other extended attributes
// that this user may not set are left out, as cp does; an access control
// list is not, as the mode alone would give the group the list's rights.
TKeptAttributes KeepAttributes(int From, int To);
