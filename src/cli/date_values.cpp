#include "date_values.h"

#include <optional>
#include <vector>

namespace shotdate::cli {

namespace {

struct Fields {
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0;
};

// Exactly `digits` ASCII digits at `at`; std::isdigit would accept other
// characters in some locales.
std::optional<unsigned> readDigits(std::string_view text, std::size_t at, std::size_t digits)
{
    if (at + digits > text.size())
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    return value;
}

// "YYYY-MM-DD" at the start of `text`.
bool readDate(std::string_view text, Fields& fields)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return false;
    const auto year = readDigits(text, 0, 4);
    const auto month = readDigits(text, 5, 2);
    const auto day = readDigits(text, 8, 2);
    if (!year || !month || !day)
        return false;
    fields.year = *year;
    fields.month = *month;
    fields.day = *day;
    return true;
}

// "HH:MM:SS" at `at`.
bool readTime(std::string_view text, std::size_t at, Fields& fields)
{
    if (text.size() < at + 8 || text[at + 2] != ':' || text[at + 5] != ':')
        return false;
    const auto hour = readDigits(text, at, 2);
    const auto minute = readDigits(text, at + 3, 2);
    const auto second = readDigits(text, at + 6, 2);
    if (!hour || !minute || !second)
        return false;
    fields.hour = *hour;
    fields.minute = *minute;
    fields.second = *second;
    return true;
}

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

DateValue<LocalSeconds> checkedDate(std::string_view text, const Fields& f)
{
    if (f.year < 1 || f.year > 9999)
        return DateValueError{quoted(text) + ": the year must be 0001-9999"};
    const auto value = makeLocalSeconds(int(f.year), f.month, f.day, f.hour, f.minute, f.second);
    if (!value)
        return DateValueError{quoted(text) + " is not a real date and time"};
    return *value;
}

} // namespace

DateValue<LocalSeconds> parseDateTimeValue(std::string_view text)
{
    Fields fields;
    if (text.size() != 19 || !readDate(text, fields) || text[10] != ' ' || !readTime(text, 11, fields))
        return DateValueError{quoted(text) + " is not in the form \"YYYY-MM-DD HH:MM:SS\""};
    return checkedDate(text, fields);
}

DateValue<LocalSeconds> parseDateValue(std::string_view text)
{
    Fields fields;
    if (text.size() != 10 || !readDate(text, fields))
        return DateValueError{quoted(text) + " is not in the form YYYY-MM-DD"};
    return checkedDate(text, fields);
}

DateValue<LocalSeconds> parseTimeValue(std::string_view text)
{
    Fields fields;
    fields.year = 2000;
    fields.month = 1;
    fields.day = 1;
    if (text.size() != 8 || !readTime(text, 0, fields))
        return DateValueError{quoted(text) + " is not in the form HH:MM:SS"};
    if (fields.hour > 23 || fields.minute > 59 || fields.second > 59)
        return DateValueError{quoted(text) + " is not a real time of day (00:00:00-23:59:59)"};
    return checkedDate(text, fields);
}

DateValue<std::int32_t> parseShiftValue(std::string_view text)
{
    const auto malformed = [&] { return DateValueError{quoted(text) + " is not in the form [+|-][DAYS:]HH:MM:SS"}; };
    std::string_view rest = text;
    std::int32_t sign = 1;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        sign = rest.front() == '-' ? -1 : 1;
        rest.remove_prefix(1);
    }
    // DAYS (1-3 digits), HH (1-2 digits: "+1:00:00" is what a user types),
    // then MM and SS of two digits each.
    std::vector<std::string_view> parts;
    for (std::size_t colon; (colon = rest.find(':')) != std::string_view::npos; rest.remove_prefix(colon + 1))
        parts.push_back(rest.substr(0, colon));
    parts.push_back(rest);
    if (parts.size() != 3 && parts.size() != 4)
        return malformed();
    const auto field = [](std::string_view part, std::size_t fewest, std::size_t most) {
        return part.size() >= fewest && part.size() <= most ? readDigits(part, 0, part.size()) : std::nullopt;
    };
    const std::size_t h = parts.size() - 3;
    const auto dayValue = h == 1 ? field(parts[0], 1, 3) : std::optional<unsigned>(0);
    const auto hour = field(parts[h], 1, 2), minute = field(parts[h + 1], 2, 2), second = field(parts[h + 2], 2, 2);
    if (!dayValue || !hour || !minute || !second)
        return malformed();
    const unsigned days = *dayValue;
    Fields fields;
    fields.hour = *hour;
    fields.minute = *minute;
    fields.second = *second;
    if (days > 366)
        return DateValueError{quoted(text) + ": the days must be 0-366"};
    if (fields.hour > 23 || fields.minute > 59 || fields.second > 59)
        return DateValueError{quoted(text) + ": hours must be 00-23, minutes and seconds 00-59"};
    const std::int32_t seconds = std::int32_t(days * 86400 + fields.hour * 3600 + fields.minute * 60 + fields.second);
    return sign * seconds;
}

DateValue<std::int32_t> parseZoneValue(std::string_view text)
{
    if (text == "Z")
        return 0;
    const auto hours = text.size() == 6 && (text[0] == '+' || text[0] == '-') && text[3] == ':' ? readDigits(text, 1, 2)
                                                                                                : std::nullopt;
    const auto minutes = hours ? readDigits(text, 4, 2) : std::nullopt;
    if (!minutes)
        return DateValueError{quoted(text) + " is not in the form +HH:MM, -HH:MM or Z"};
    const std::int32_t total = (text[0] == '-' ? -1 : 1) * std::int32_t(*hours * 60 + *minutes);
    if (*minutes > 59 || total < -12 * 60 || total > 14 * 60)
        return DateValueError{quoted(text) + ": the zone must be -12:00 to +14:00"};
    return total;
}

} // namespace shotdate::cli
