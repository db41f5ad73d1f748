#pragma once

#include "dates/exif_text.h"

#include <cstdint>
#include <optional>

namespace shotdate {

// A date kept as a 32-bit count of seconds since 1970-01-01 00:00:00. Canon's
// CIFF raw files count the camera's wall-clock time as if it were UTC, so
// the count is a wall-clock time as it stands: no zone ever enters.
LocalSeconds fromUnixSeconds(std::uint32_t count);

// nullopt before 1970 or past 2106-02-07 06:28:15, which 32 bits cannot hold.
std::optional<std::uint32_t> toUnixSeconds(LocalSeconds when);

} // namespace shotdate
