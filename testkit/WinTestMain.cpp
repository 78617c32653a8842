// main() for GoogleTest programs on Windows: the Wine display setting first,
// before any test makes a window.
#include <gtest/gtest.h>

#include "WinTestUtil.h"

int main(int argc, char** argv) {
  UseUnmanagedWindowsUnderWine();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
