#include "date_arguments.h"

#include "days_text.h"

#include <algorithm>
#include <cstdint>

shotdate::LocalSeconds toLocalSeconds(const QDate& date, const QTime& time)
{
    const QTime t = time.isValid() ? time : QTime(0, 0);
    // The pickers only hold real dates. Should one ever be invalid, its date
    // becomes year 0, which the rewrite refuses for every file (reported as
    // out of range) rather than writing some plausible wrong date; the time
    // of day, all that a time-only run uses, stays right.
    const int year = date.isValid() ? date.year() : 0;
    const unsigned month = date.isValid() ? unsigned(date.month()) : 1u;
    const unsigned day = date.isValid() ? unsigned(date.day()) : 1u;
    const auto value = shotdate::makeLocalSeconds(year, month, day, unsigned(t.hour()), unsigned(t.minute()),
                                                  unsigned(t.second()));
    return value.value_or(shotdate::LocalSeconds{});
}

shotdate::DateArguments dateArgumentsFrom(const DateControlValues& values, const QDateTime& now)
{
    shotdate::DateArguments args;
    if (values.shiteiTag != 0) {
        // The start check keeps the days within 0 to 366; the clamp only
        // keeps the arithmetic defined if it is ever called without it.
        const std::int64_t days = std::clamp(days_text::intValue(values.jisaNissu), 0, days_text::kMaxDays);
        const QTime t = values.jisaJikan.isValid() ? values.jisaJikan : QTime(0, 0);
        std::int64_t seconds = days * 86400 + t.hour() * 3600 + t.minute() * 60 + t.second();
        if (values.susumuModoruTag == 1)
            seconds = -seconds;
        args.mode = std::int32_t(shotdate::DateMode::Shift);
        args.shiftSeconds = std::int32_t(seconds);
        args.givenDate = toLocalSeconds(now.date(), now.time());
        return args;
    }
    switch (values.shiteiNichijiTag) {
    case 0:
        args.givenDate = shotdate::joinDateAndTime(toLocalSeconds(values.hiduke.date(), values.hiduke.time()),
                                                   toLocalSeconds(values.jikan.date(), values.jikan.time()));
        break;
    case 1:
        args.givenDate = toLocalSeconds(values.hiduke.date(), values.hiduke.time());
        break;
    default:
        args.givenDate = toLocalSeconds(values.jikan.date(), values.jikan.time());
        break;
    }
    args.mode = values.shiteiNichijiTag;
    args.shiftSeconds = 0;
    return args;
}
