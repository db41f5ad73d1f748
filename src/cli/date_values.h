#pragma once

#include "dates/date_rule.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace shotdate::cli {

// The values of the four date options, read strictly: fixed-width fields,
// real calendar dates, years 0001-9999. A value that does not parse gives
// a message that names what was expected.

struct DateValueError {
    std::string message;
};

template <typename T>
using DateValue = std::variant<T, DateValueError>;

// "YYYY-MM-DD HH:MM:SS"
DateValue<LocalSeconds> parseDateTimeValue(std::string_view text);

// "YYYY-MM-DD", at 00:00:00
DateValue<LocalSeconds> parseDateValue(std::string_view text);

// "HH:MM:SS", on 2000-01-01 (only the time of day is ever used)
DateValue<LocalSeconds> parseTimeValue(std::string_view text);

// "[+|-][DAYS:]HH:MM:SS" with DAYS 0-366, as signed seconds
DateValue<std::int32_t> parseShiftValue(std::string_view text);

// "+HH:MM" or "-HH:MM" from -12:00 to +14:00, or "Z" for +00:00, as minutes east of UTC
DateValue<std::int32_t> parseZoneValue(std::string_view text);

} // namespace shotdate::cli
