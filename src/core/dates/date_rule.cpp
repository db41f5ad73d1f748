#include "dates/date_rule.h"

namespace shotdate {

using namespace std::chrono;

LocalSeconds joinDateAndTime(LocalSeconds datePart, LocalSeconds timePart)
{
    const auto timeDay = floor<days>(timePart);
    return floor<days>(datePart) + (timePart - timeDay);
}

NewDateTime computeNewDateTime(const DateArguments& args, std::optional<LocalSeconds> fileDate)
{
    if (args.mode == int(DateMode::DateAndTime))
        return {DateRuleError::None, args.givenDate};
    if (!fileDate)
        return {DateRuleError::NoFileDate, {}};
    if (args.mode == int(DateMode::Shift))
        return {DateRuleError::None, *fileDate + seconds{args.shiftSeconds}};
    if (args.mode == int(DateMode::DateOnly))
        return {DateRuleError::None, joinDateAndTime(args.givenDate, *fileDate)};
    return {DateRuleError::None, joinDateAndTime(*fileDate, args.givenDate)};
}

NewDate computeNewDate(const DateArguments& args, std::optional<std::string_view> fileDate)
{
    std::optional<LocalSeconds> own;
    if (args.mode != int(DateMode::DateAndTime) && fileDate) {
        // Cameras without a clock fill the field with blanks or zeros.
        const auto meaningful = fileDate->find_first_not_of(std::string_view(" \0:0", 4));
        if (meaningful == std::string_view::npos)
            return {DateRuleError::NoFileDate, {}};
        own = parseExifDate(*fileDate);
        if (!own)
            return {DateRuleError::BadFileDate, {}};
    }
    const NewDateTime result = computeNewDateTime(args, own);
    if (result.error != DateRuleError::None)
        return {result.error, {}};
    auto text = formatExifDate(result.when);
    if (!text)
        return {DateRuleError::OutOfRange, {}};
    return {DateRuleError::None, std::move(*text)};
}

} // namespace shotdate
