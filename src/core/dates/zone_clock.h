#pragma once

#include "dates/exif_text.h"

#include <cstdint>
#include <optional>

namespace shotdate {

// Instants are kept as LocalSeconds read as UTC: a movie's header counts
// seconds in UTC, and the wall clock a person means is that instant seen in
// some zone.

// The zone a wall-clock time is meant in: a fixed offset a file records, or
// (nullopt) the computer's zone as TZ says, daylight saving included.
struct ClockZone {
    std::optional<std::int32_t> fixedMinutes;
};

// The wall clock in `zone` at the instant `utc`.
LocalSeconds wallClockAt(LocalSeconds utc, const ClockZone& zone);

// The instant at which the clock in `zone` shows `wall`. A time the clock
// skips (spring forward) counts as the same distance past the jump; a time
// it shows twice (fall back) gives the earlier instant.
LocalSeconds instantOf(LocalSeconds wall, const ClockZone& zone);

} // namespace shotdate
