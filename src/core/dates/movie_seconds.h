#pragma once

#include "dates/exif_text.h"

#include <cstdint>
#include <optional>

namespace shotdate {

// A movie header's time: seconds since 1904-01-01 00:00:00 UTC, the result
// an instant read as UTC (dates/zone_clock.h).
LocalSeconds fromMovieSeconds(std::uint64_t count);

// nullopt before 1904, past year 9999, or (`narrow`) past 2040-02-06
// 06:28:15, the last second a version 0 box's 32 bits hold.
std::optional<std::uint64_t> toMovieSeconds(LocalSeconds when, bool narrow);

} // namespace shotdate
