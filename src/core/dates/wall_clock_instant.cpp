#include "dates/wall_clock_instant.h"

#include "dates/zone_clock.h"

#include <ctime>
#include <limits>

namespace shotdate {

std::optional<std::time_t> instantOfWallClock(LocalSeconds wall)
{
    const long long asUtc = wall.time_since_epoch().count();
    constexpr long long kDay = 86400;
    if (asUtc < std::numeric_limits<std::time_t>::min() + 3 * kDay
        || asUtc > std::numeric_limits<std::time_t>::max() - 3 * kDay)
        return std::nullopt;
    // TZ may have changed since the last look (a test sets it per row).
    tzset();
    return std::time_t(instantOf(wall, ClockZone{}).time_since_epoch().count());
}

} // namespace shotdate
