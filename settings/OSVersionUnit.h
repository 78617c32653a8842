// The version of the running Windows.
#pragma once

#include <cstdint>

struct TOSVersion {
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t Build = 0;
};

// As GetVersionExW reports it to this process; all 0 when the query fails.
TOSVersion GetOSVersion();
