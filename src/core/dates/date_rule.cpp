#include "dates/date_rule.h"

namespace shotdate {

using namespace std::chrono;

LocalSeconds joinDateAndTime(LocalSeconds datePart, LocalSeconds timePart)
{
    const auto timeDay = floor<days>(timePart);
    return floor<days>(datePart) + (timePart - timeDay);
}

NewDate computeNewDate(const DateArguments& args, std::optional<std::string_view> fileDate)
{
    LocalSeconds result;
    if (args.mode == int(DateMode::DateAndTime)) {
        result = args.givenDate;
    } else {
        if (!fileDate)
            return {DateRuleError::NoFileDate, {}};
        // Cameras without a clock fill the field with blanks or zeros.
        const auto meaningful = fileDate->find_first_not_of(std::string_view(" \0:0", 4));
        if (meaningful == std::string_view::npos)
            return {DateRuleError::NoFileDate, {}};
        const auto own = parseExifDate(*fileDate);
        if (!own)
            return {DateRuleError::BadFileDate, {}};
        if (args.mode == int(DateMode::Shift))
            result = *own + seconds{args.shiftSeconds};
        else if (args.mode == int(DateMode::DateOnly))
            result = joinDateAndTime(args.givenDate, *own);
        else
            result = joinDateAndTime(*own, args.givenDate);
    }
    auto text = formatExifDate(result);
    if (!text)
        return {DateRuleError::OutOfRange, {}};
    return {DateRuleError::None, std::move(*text)};
}

} // namespace shotdate
