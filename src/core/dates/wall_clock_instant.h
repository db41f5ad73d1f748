#pragma once

#include "dates/exif_text.h"

#include <ctime>
#include <optional>

namespace shotdate {

// The instant at which this computer's clock (its zone, TZ honoured) shows
// `wall`. A time the clock skips when it springs forward is read with the
// offset in force before the jump, which moves it forward by the jump; a
// time it shows twice when it falls back gives the earlier instant.
// nullopt when the instant does not fit a time_t.
std::optional<std::time_t> instantOfWallClock(LocalSeconds wall);

} // namespace shotdate
