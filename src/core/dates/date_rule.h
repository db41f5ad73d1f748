#pragma once

#include "dates/exif_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shotdate {

// How the new shooting date is formed. Values other than these behave as
// TimeOnly, as the window's radio tags have always done.
enum class DateMode : std::int32_t {
    DateAndTime = 0, // every file gets the given date and time
    DateOnly = 1, // given calendar date, the file's own time of day
    TimeOnly = 2, // the file's own calendar date, given time of day
    Shift = 99, // the file's own date moved by shiftSeconds
};

// The rewrite's date arguments, worked out once per run.
struct DateArguments {
    std::int32_t mode = 0; // a DateMode value; unknown values act as TimeOnly
    LocalSeconds givenDate{}; // modes 0, 1, 2
    std::int32_t shiftSeconds = 0; // mode 99
    // Every copy of the date (ModifyDate, XMP, IPTC, sidecars) moves with
    // DateTimeOriginal; off, only DateTimeOriginal and DateTimeDigitized do.
    bool allDates = false;
    // The zone the clock was in, in minutes east of UTC: the offset tags get
    // it without moving the clock time. nullopt: offsets stay as they are.
    std::optional<std::int32_t> zoneMinutes = std::nullopt;
    // False when a run only relabels the zone: every clock time stays.
    bool datesChange = true;
};

// The largest shift a run can ask for: 366 days and 23:59:59.
inline constexpr std::int32_t kMaxShiftSeconds = 366 * 86400 + 23 * 3600 + 59 * 60 + 59;

// The calendar date of one value at the time of day of another.
LocalSeconds joinDateAndTime(LocalSeconds datePart, LocalSeconds timePart);

enum class DateRuleError { None, NoFileDate, BadFileDate, OutOfRange };

struct NewDate {
    DateRuleError error = DateRuleError::None;
    std::string text; // 19 characters when error is None
};

struct NewDateTime {
    DateRuleError error = DateRuleError::None;
    LocalSeconds when{}; // when error is None
};

// The rule on a date already read as a value (nullopt: the file has none).
// Never OutOfRange: the range is the encoding's to judge.
NewDateTime computeNewDateTime(const DateArguments& args, std::optional<LocalSeconds> fileDate);

// Forms the new date text from the arguments and the file's own
// DateTimeOriginal text (nullopt when the file has none). Mode 0 never
// looks at the file's date.
NewDate computeNewDate(const DateArguments& args, std::optional<std::string_view> fileDate);

} // namespace shotdate
