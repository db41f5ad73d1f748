#include "dates/instant_rule.h"

namespace shotdate {

using namespace std::chrono;

NewDateTime computeNewInstant(const DateArguments& args, std::optional<LocalSeconds> utc, const ClockZone& zone)
{
    if (args.mode == int(DateMode::Shift))
        return utc ? NewDateTime{DateRuleError::None, *utc + seconds{args.shiftSeconds}}
                   : NewDateTime{DateRuleError::NoFileDate, {}};
    const std::optional<LocalSeconds> wall = utc ? std::optional(wallClockAt(*utc, zone)) : std::nullopt;
    const NewDateTime result = computeNewDateTime(args, wall);
    if (result.error != DateRuleError::None)
        return result;
    return {DateRuleError::None, instantOf(result.when, zone)};
}

} // namespace shotdate
