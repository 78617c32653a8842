// The special folder keys and their shell numbers.
#include "SpecialFolderKeys.h"

#include <array>

#include "Errors.h"

namespace {
constexpr std::array<int, 45> KeyToCsidl = {48, 29, 26, 59, 47, 30, 35, 25, 46, 31, 53, 54, 23, 22, 24,
                                            45, 55, 33, 0,  16, 6,  20, 34, 32, 28, 13, 39, 14, 19, 5,
                                            27, 40, 38, 43, 42, 2,  8,  56, 9,  11, 7,  37, 41, 21, 36};
}

int SHGetSpecialFolderKeyIndex(uint32_t key) {
  const uint32_t k = key & 0x7Fu;
  // The source name and line are part of the message users see, fixed texts
  // rather than this file's name and a line in it: keep them as they are.
  if (k >= KeyToCsidl.size())
    AssertFail(u"SHGetSpecialFolderKeyIndex:存在しない型です", u"SpecialFolderPathUnit\\ShellSpecialFolderPathUnit", 141);
  return KeyToCsidl[k];
}
