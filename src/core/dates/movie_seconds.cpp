#include "dates/movie_seconds.h"

#include <limits>

namespace shotdate {

using namespace std::chrono;

namespace {

constexpr LocalSeconds kEpoch = local_days{year{1904} / January / 1};
constexpr LocalSeconds kEnd = local_days{year{10000} / January / 1};

} // namespace

LocalSeconds fromMovieSeconds(std::uint64_t count)
{
    // Beyond year 9999 is garbage, not a date; keep the arithmetic in range.
    const std::uint64_t last = std::uint64_t((kEnd - kEpoch).count());
    return kEpoch + seconds{std::int64_t(count < last ? count : last)};
}

std::optional<std::uint64_t> toMovieSeconds(LocalSeconds when, bool narrow)
{
    if (when < kEpoch || when >= kEnd)
        return std::nullopt;
    const auto count = std::uint64_t((when - kEpoch).count());
    if (narrow && count > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return count;
}

} // namespace shotdate
