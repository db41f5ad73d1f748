#include "dates/wall_clock_instant.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace shotdate {

namespace {

std::optional<long> offsetAt(std::time_t when)
{
    std::tm fields{};
    if (!localtime_r(&when, &fields))
        return std::nullopt;
    return fields.tm_gmtoff;
}

} // namespace

std::optional<std::time_t> instantOfWallClock(LocalSeconds wall)
{
    // The wall clock read as if it were UTC; the instant is that less the
    // zone's offset then. The offsets in force within two days around it
    // are the only ones that can apply.
    const long long asUtc = wall.time_since_epoch().count();
    constexpr long long kDay = 86400;
    if (asUtc < std::numeric_limits<std::time_t>::min() + 3 * kDay
        || asUtc > std::numeric_limits<std::time_t>::max() - 3 * kDay)
        return std::nullopt;
    tzset();
    std::vector<long> offsets;
    for (long long day = -2; day <= 2; ++day)
        if (const auto offset = offsetAt(std::time_t(asUtc + day * kDay)))
            offsets.push_back(*offset);
    std::optional<std::time_t> earliest;
    for (const long offset : offsets) {
        const std::time_t candidate = std::time_t(asUtc - offset);
        if (offsetAt(candidate) == offset && (!earliest || candidate < *earliest))
            earliest = candidate;
    }
    if (earliest)
        return earliest;
    // Skipped by the clock: the offset before the jump.
    const auto before = offsetAt(std::time_t(asUtc - kDay));
    if (!before)
        return std::nullopt;
    return std::time_t(asUtc - *before);
}

} // namespace shotdate
