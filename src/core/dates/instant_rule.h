#pragma once

#include "dates/date_rule.h"
#include "dates/zone_clock.h"

#include <optional>

namespace shotdate {

// The date rule on an instant (a UTC count such as a movie header's), with
// the wall clock of `zone` standing for the user's date and time: a shift
// moves the instant itself, whatever the zone; a date and time names a wall
// clock in `zone`; a date only or a time only replaces that part of the
// instant's wall clock in `zone`. nullopt `utc`: the file has no date.
NewDateTime computeNewInstant(const DateArguments& args, std::optional<LocalSeconds> utc, const ClockZone& zone);

} // namespace shotdate
