// The date rule, as table rows: what a photographer gets in each mode, at
// month, year and leap-day edges, whatever the machine's time zone; and the
// zone written into Apple's date texts.
#include "dates/date_rule.h"
#include "dates/zoned_text.h"
#include "table_row.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

using namespace shotdate;

namespace {

LocalSeconds at(int y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0, unsigned s = 0)
{
    return *makeLocalSeconds(y, mo, d, h, mi, s);
}

struct RuleRow {
    const char* name;
    std::int32_t mode;
    LocalSeconds given;
    std::int32_t shift;
    std::optional<std::string> fileDate; // nullopt: the file has no DateTimeOriginal
    DateRuleError error;
    const char* expected;
};

// clang-format off
const RuleRow kRules[] = {
    {"ShiftOverYearEnd", 99, {}, 3600, "2012:12:31 23:30:00", DateRuleError::None, "2013:01:01 00:30:00"},
    {"ShiftBackIntoLeapDay", 99, {}, -86400, "2012:03:01 00:00:00", DateRuleError::None, "2012:02:29 00:00:00"},
    {"ShiftZeroWritesOwnDate", 99, {}, 0, "2012:05:03 13:45:12", DateRuleError::None, "2012:05:03 13:45:12"},
    {"ShiftLargestForward", 99, {}, kMaxShiftSeconds, "2012:01:01 00:00:00", DateRuleError::None, "2013:01:01 23:59:59"},
    {"ShiftLargestBack", 99, {}, -kMaxShiftSeconds, "2013:01:01 23:59:59", DateRuleError::None, "2012:01:01 00:00:00"},
    {"ShiftLeapDayByYear", 99, {}, 365 * 86400, "2012:02:29 10:00:00", DateRuleError::None, "2013:02:28 10:00:00"},
    {"ShiftOverMonthEnd", 99, {}, 86400, "2013:04:30 08:00:00", DateRuleError::None, "2013:05:01 08:00:00"},
    {"ShiftOneDayKeepsClockTime", 99, {}, 86400, "2021:03:27 12:00:00", DateRuleError::None, "2021:03:28 12:00:00"},
    {"ShiftBackOneDayOneHour", 99, {}, -(86400 + 3600), "2012:01:01 00:30:00", DateRuleError::None, "2011:12:30 23:30:00"},
    {"ShiftToleratesPadding", 99, {}, 1, std::string("2012:05:03 13:45:12\0", 20), DateRuleError::None, "2012:05:03 13:45:13"},
    {"DateOnlyKeepsFileTime", 1, at(2013, 1, 15, 8), 0, "2012:05:03 13:45:12", DateRuleError::None, "2013:01:15 13:45:12"},
    {"DateOnlyLeapDayTarget", 1, at(2016, 2, 29, 23, 59, 59), 0, "2015:07:01 06:07:08", DateRuleError::None, "2016:02:29 06:07:08"},
    {"TimeOnlyKeepsFileDate", 2, at(2020, 6, 1, 8), 0, "2012:05:03 13:45:12", DateRuleError::None, "2012:05:03 08:00:00"},
    {"UnknownModeActsAsTimeOnly", 5, at(2020, 6, 1, 8), 0, "2012:05:03 13:45:12", DateRuleError::None, "2012:05:03 08:00:00"},
    {"NegativeModeActsAsTimeOnly", -1, at(2020, 6, 1, 23, 1, 2), 0, "2012:05:03 13:45:12", DateRuleError::None, "2012:05:03 23:01:02"},
    {"FixedIgnoresFileDate", 0, at(2014, 7, 8, 9, 10, 11), 0, "garbage", DateRuleError::None, "2014:07:08 09:10:11"},
    {"FixedWithoutFileDate", 0, at(2014, 7, 8, 9, 10, 11), 0, std::nullopt, DateRuleError::None, "2014:07:08 09:10:11"},
    {"ShiftMissingDate", 99, {}, 60, std::nullopt, DateRuleError::NoFileDate, ""},
    {"DateOnlyMissingDate", 1, at(2013, 1, 15), 0, std::nullopt, DateRuleError::NoFileDate, ""},
    {"TimeOnlyMissingDate", 2, at(2013, 1, 15), 0, std::nullopt, DateRuleError::NoFileDate, ""},
    {"ShiftBlankDate", 99, {}, 60, "    :  :     :  :  ", DateRuleError::NoFileDate, ""},
    {"ShiftEmptyDate", 99, {}, 60, "", DateRuleError::NoFileDate, ""},
    {"ShiftAllZeros", 99, {}, 60, "0000:00:00 00:00:00", DateRuleError::NoFileDate, ""},
    {"ShiftMonth13", 99, {}, 60, "2012:13:01 00:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftThirtyFirstApril", 99, {}, 60, "2012:04:31 00:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftTwentyNinthFebNonLeap", 99, {}, 60, "2013:02:29 00:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftHour24", 99, {}, 60, "2012:01:01 24:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftSlashes", 99, {}, 60, "2012/01/01 10:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftTrailingText", 99, {}, 60, "2012:01:01 10:00:00+09:00", DateRuleError::BadFileDate, ""},
    {"ShiftYearZero", 99, {}, 60, "0000:01:01 10:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftZeroAtTheFirstDay", 99, {}, 0, "0001:01:01 00:00:00", DateRuleError::None, "0001:01:01 00:00:00"},
    {"ShiftZeroAtTheLastSecond", 99, {}, 0, "9999:12:31 23:59:59", DateRuleError::None, "9999:12:31 23:59:59"},
    {"ShiftIntoALeapCentury", 99, {}, 86400, "2000:02:28 12:00:00", DateRuleError::None, "2000:02:29 12:00:00"},
    {"ShiftToleratesTrailingBlanks", 99, {}, 0, "2012:05:03 13:45:12   ", DateRuleError::None, "2012:05:03 13:45:12"},
    {"ShiftNonLeapCentury", 99, {}, 60, "1900:02:29 12:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftSecond60", 99, {}, 60, "2012:05:03 13:45:60", DateRuleError::BadFileDate, ""},
    {"ShiftMinute60", 99, {}, 60, "2012:05:03 13:60:00", DateRuleError::BadFileDate, ""},
    {"ShiftMonthZero", 99, {}, 60, "2012:00:10 10:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftDayZero", 99, {}, 60, "2012:05:00 10:00:00", DateRuleError::BadFileDate, ""},
    {"ShiftOneDigitMonth", 99, {}, 60, "2012:5:03 13:45:12", DateRuleError::BadFileDate, ""},
    {"ShiftTSeparator", 99, {}, 60, "2012:05:03T13:45:12", DateRuleError::BadFileDate, ""},
    {"ShiftSignedYear", 99, {}, 60, "+012:05:03 13:45:12", DateRuleError::BadFileDate, ""},
    {"ShiftNoSeconds", 99, {}, 60, "2012:05:03 13:45", DateRuleError::BadFileDate, ""},
    {"ShiftPastYear9999", 99, {}, 86400, "9999:12:31 12:00:00", DateRuleError::OutOfRange, ""},
    {"ShiftBeforeYear1", 99, {}, -86400, "0001:01:01 12:00:00", DateRuleError::OutOfRange, ""},
};
// clang-format on

NewDate ruleOn(const RuleRow& row)
{
    const auto fileDate = row.fileDate ? std::optional<std::string_view>(*row.fileDate) : std::nullopt;
    return computeNewDate(DateArguments{row.mode, row.given, row.shift}, fileDate);
}

class DateRule : public testing::TestWithParam<RuleRow> {};

TEST_P(DateRule, FormsTheExpectedText)
{
    const NewDate result = ruleOn(GetParam());
    EXPECT_EQ(result.error, GetParam().error);
    EXPECT_EQ(result.text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, DateRule, testing::ValuesIn(kRules), kRowName);

// The rule works on the clock time written in the file: the machine's zone,
// daylight saving included, must never move a result.
TEST(DateRuleInZone, GivesTheSameResultsInEveryZone)
{
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    for (const std::string zone :
         {"Asia/Tokyo", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Pacific/Chatham"}) {
        // An unknown zone silently falls back to UTC, which would prove nothing.
        ASSERT_TRUE(std::filesystem::exists("/usr/share/zoneinfo/" + zone))
            << "time zone " << zone << " is not installed (package tzdata)";
        setenv("TZ", zone.c_str(), 1);
        tzset();
        for (const RuleRow& row : kRules)
            EXPECT_EQ(ruleOn(row).text, row.expected) << row.name << " in " << zone;
    }
    if (saved)
        setenv("TZ", saved->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(DateJoin, TakesTheDateOfOneAndTheTimeOfTheOther)
{
    EXPECT_EQ(formatExifDate(joinDateAndTime(at(2013, 1, 15, 8), at(2012, 5, 3, 13, 45, 12))), "2013:01:15 13:45:12");
    EXPECT_EQ(formatExifDate(joinDateAndTime(at(1, 1, 1), at(9999, 12, 31, 23, 59, 59))), "0001:01:01 23:59:59");
}

TEST(DateFields, RejectImpossibleValues)
{
    EXPECT_FALSE(makeLocalSeconds(2023, 2, 29, 0, 0, 0));
    EXPECT_FALSE(makeLocalSeconds(2023, 1, 1, 24, 0, 0));
    EXPECT_FALSE(makeLocalSeconds(2023, 1, 1, 0, 60, 0));
    EXPECT_TRUE(makeLocalSeconds(2024, 2, 29, 23, 59, 59));
}

// Apple's creation date and ©day texts: the zone a run gives is written in
// the text's own form and length, or refused when it cannot be.
struct ZoneRow {
    const char* name;
    const char* text;
    std::optional<std::int32_t> zone; // minutes east of UTC
    std::optional<std::string> expected; // nullopt: not written
};

const ZoneRow kZones[] = {
    {"FourDigits", "2019-03-02T10:11:12+0900", 330, "2019-03-03T10:11:12+0530"},
    {"WithColon", "2019-03-02T10:11:12+09:00", -210, "2019-03-03T10:11:12-03:30"},
    {"HoursOnly", "2019-03-02T10:11:12+09", -5 * 60, "2019-03-03T10:11:12-05"},
    {"HoursOnlyCannotHoldMinutes", "2019-03-02T10:11:12+09", 330, std::nullopt},
    {"FractionKept", "2019-03-02T10:11:12.345+0900", 60, "2019-03-03T10:11:12.345+0100"},
    {"UtcStaysUtc", "2019-03-02T10:11:12Z", 0, "2019-03-03T10:11:12Z"},
    {"UtcCannotTakeAnOffset", "2019-03-02T10:11:12Z", 60, std::nullopt},
    {"NoZoneCannotGainOne", "2019-03-02T10:11:12", 60, std::nullopt},
    {"OwnZoneKept", "2019-03-02T10:11:12+0900", std::nullopt, "2019-03-03T10:11:12+0900"},
    {"NotADate", "2019-02-30T10:11:12+0900", 60, std::nullopt},
    {"BadZone", "2019-03-02T10:11:12+0960", 60, std::nullopt},
};

class ZonedTextRow : public testing::TestWithParam<ZoneRow> {};

TEST_P(ZonedTextRow, TakesTheZoneInItsOwnFormOrRefuses)
{
    const ZoneRow& row = GetParam();
    const std::optional<ZonedText> parsed = parseZonedText(row.text);
    std::optional<std::string> written;
    if (parsed)
        written =
            rewriteZonedText(*parsed, parsed->wall + std::chrono::days{1}, row.zone ? row.zone : parsed->offsetMinutes);
    EXPECT_EQ(written, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ZonedTextRow, testing::ValuesIn(kZones), kRowName);

} // namespace
