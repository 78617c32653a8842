// What the filter does with parsed options: the settings, the edit, each
// FILE in turn (to standard output or in place), and the entries listing.
#pragma once

#include "Arguments.h"

// Throws TFailure on any failure.
void RunCommand(const TFilterOptions& Options);
