#pragma once

// --list: every slot in use, numbered as the window's sensor list numbers
// it, with its kind, whether its reading is live, faulted or gone, the name
// it publishes, its value and its key.

#include "publication.h"

#include <cstdio>

namespace hwmon {

// False when the list could not be written (a full disk, a closed pipe).
bool PrintListing(const Publication& publication, std::FILE* out);

} // namespace hwmon
