#include "dates/unix_seconds.h"

#include <limits>

namespace shotdate {

using namespace std::chrono;

namespace {

constexpr LocalSeconds kEpoch = local_days{year{1970} / January / 1};

} // namespace

LocalSeconds fromUnixSeconds(std::uint32_t count)
{
    return kEpoch + seconds{count};
}

std::optional<std::uint32_t> toUnixSeconds(LocalSeconds when)
{
    const auto count = (when - kEpoch).count();
    if (count < 0 || count > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return std::uint32_t(count);
}

} // namespace shotdate
