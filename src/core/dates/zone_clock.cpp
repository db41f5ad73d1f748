#include "dates/zone_clock.h"

#include <ctime>

namespace shotdate {

using namespace std::chrono;

namespace {

// Seconds east of UTC in force at `utc` in the computer's zone.
long systemOffsetAt(LocalSeconds utc)
{
    const std::time_t t = std::time_t(utc.time_since_epoch().count());
    std::tm local{};
    if (!localtime_r(&t, &local))
        return 0;
    return local.tm_gmtoff;
}

} // namespace

LocalSeconds wallClockAt(LocalSeconds utc, const ClockZone& zone)
{
    if (zone.fixedMinutes)
        return utc + minutes{*zone.fixedMinutes};
    return utc + seconds{systemOffsetAt(utc)};
}

LocalSeconds instantOf(LocalSeconds wall, const ClockZone& zone)
{
    if (zone.fixedMinutes)
        return wall - minutes{*zone.fixedMinutes};
    // The offsets a day either side bound any single transition; each
    // candidate is right when the offset in force at it is the one it used.
    const long before = systemOffsetAt(wall - days{1});
    const long after = systemOffsetAt(wall + days{1});
    const LocalSeconds early = wall - seconds{before};
    const LocalSeconds late = wall - seconds{after};
    const bool earlyFits = systemOffsetAt(early) == before;
    const bool lateFits = systemOffsetAt(late) == after;
    if (earlyFits && lateFits)
        return early < late ? early : late;
    if (earlyFits)
        return early;
    if (lateFits)
        return late;
    // In the gap: read with the offset before the jump, which lands as far
    // past the jump as the time was past its start.
    return early;
}

} // namespace shotdate
