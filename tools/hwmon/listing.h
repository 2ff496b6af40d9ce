#pragma once

// --list: what the block would hold, one line per entry, numbered as the
// window's sensor list numbers it.

#include "readings.h"

#include <cstdio>
#include <vector>

namespace hwmon {

// False when the list could not be written (a full disk, a closed pipe).
bool PrintListing(const std::vector<Reading>& readings, std::FILE* out);

} // namespace hwmon
