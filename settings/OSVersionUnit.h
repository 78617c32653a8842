// The version of the running Windows.
#pragma once

#include <cstdint>

struct TOSVersion {
  uint32_t Major, Minor, Build;
};

// As GetVersionExW reports it to this process; all 0 when the query fails.
TOSVersion GetOSVersion();
