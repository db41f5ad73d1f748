#include "cli_args.h"
#include "table_row.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace shotdate::cli {
namespace {

using shotdate::PrintTo; // for the rows below, found by gtest through their namespace

// The options a command line gave, as one line of text: the action, then
// the run's settings where they differ from a plain run. Dates are written
// as EXIF text so that a wrong day or hour reads plainly in a failure.
std::string optionsText(const CliOptions& o)
{
    static const char* const actions[] = {"", "clean-temp ", "help", "version", "runs", "undo", "forget"};
    std::string t = actions[int(o.action)];
    if (o.action != Action::Run && o.action != Action::CleanTemp)
        return t;
    const RunSettings& s = o.settings;
    t += s.inputPath;
    for (const std::string& path : s.moreInputPaths)
        t += "|" + path;
    if (o.action == Action::Run)
        t += " mode=" + std::to_string(s.dates.mode);
    if (o.action == Action::Run && s.dates.mode != 99 && s.dates.datesChange)
        t += " " + formatExifDate(s.dates.givenDate).value_or("(no date)");
    if (s.dates.shiftSeconds != 0)
        t += " shift=" + std::to_string(s.dates.shiftSeconds);
    if (!s.dates.datesChange)
        t += " no-clock";
    if (s.dates.zoneMinutes)
        t += " zone=" + std::to_string(*s.dates.zoneMinutes);
    t += std::string(s.dates.allDates ? " all-dates" : "") + (s.subfolders ? " -r" : "") + (s.dryRun ? " -n" : "")
        + (o.json ? " json" : "") + (o.verbosity == Verbosity::Verbose ? " -v" : "")
        + (o.verbosity == Verbosity::Quiet ? " -q" : "") + (s.fileTime == FileTimeRule::Shooting ? " shooting" : "");
    return s.outputFolder ? t + " -o " + *s.outputFolder : t;
}

struct Accepted {
    std::string name;
    std::vector<std::string> args;
    std::string options;
};

class AcceptedArguments : public testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, BecomeTheExpectedSettings)
{
    const ParseResult result = parseArguments(GetParam().args);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(optionsText(result.options), GetParam().options);
}

constexpr std::int32_t kDay = 86400;
const std::string kMaxShift = std::to_string(kMaxShiftSeconds);
const std::string kSetDate = "2019-12-31";
const std::string kNewYearsEve = "photos mode=1 2019:12:31 00:00:00";

// clang-format off
const Accepted kAccepted[] = {
    {"SetDateAndTime", {"--set", "2023-04-05 06:07:08", "photos"}, "photos mode=0 2023:04:05 06:07:08"},
    {"SetFirstYear", {"--set", "0001-01-01 00:00:00", "photos"}, "photos mode=0 0001:01:01 00:00:00"},
    {"SetLastYear", {"--set", "9999-12-31 23:59:59", "photos"}, "photos mode=0 9999:12:31 23:59:59"},
    {"SetDateIsMidnight", {"--set-date", kSetDate, "photos"}, kNewYearsEve},
    {"SetDateWithEquals", {"--set-date=2000-02-29", "photos"}, "photos mode=1 2000:02:29 00:00:00"},
    {"SetTimeOnFixedDay", {"--set-time", "13:45:12", "photos"}, "photos mode=2 2000:01:01 13:45:12"},
    {"ShiftForward", {"--shift", "01:02:03", "photos"}, "photos mode=99 shift=3723"},
    {"ShiftBackTakesDashValue", {"--shift", "-01:02:03", "photos"}, "photos mode=99 shift=-3723"},
    {"ShiftBackWithEquals", {"--shift=-00:00:01", "photos"}, "photos mode=99 shift=-1"},
    {"ShiftWithDays", {"--shift", "2:03:04:05", "photos"}, "photos mode=99 shift=" + std::to_string(2 * kDay + 11045)},
    {"ShiftLargest", {"--shift", "+366:23:59:59", "photos"}, "photos mode=99 shift=" + kMaxShift},
    {"ShiftLargestBack", {"--shift", "-366:23:59:59", "photos"}, "photos mode=99 shift=-" + kMaxShift},
    {"ShiftPaddedDays", {"--shift", "007:00:00:00", "photos"}, "photos mode=99 shift=" + std::to_string(7 * kDay)},
    {"ShiftOneDigitHour", {"--shift", "-1:00:00", "photos"}, "photos mode=99 shift=-3600"},
    {"Recursive", {"-r", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -r"},
    {"RecursiveLong", {"photos", "--recursive", "--set-date", kSetDate}, kNewYearsEve + " -r"},
    {"OutputAttached", {"-oout", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -o out"},
    {"OutputLongEquals", {"--output=out dir", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -o out dir"},
    {"OutputLongSeparate", {"photos", "--output", "-out", "--set-date", kSetDate}, kNewYearsEve + " -o -out"},
    {"JsonDryRun", {"--json", "-n", "--shift", "01:00:00", "photos"}, "photos mode=99 shift=3600 -n json"},
    {"GroupedShortOptions", {"-rnq", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -r -n -q"},
    {"GroupEndingInOutput", {"-rvo", "out", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -r -v -o out"},
    {"LongFlags", {"--dry-run", "--quiet", "--set-date", kSetDate, "photos"}, kNewYearsEve + " -n -q"},
    {"DoubleDashEndsOptions", {"--set-date", kSetDate, "--", "-r"}, "-r mode=1 2019:12:31 00:00:00"},
    {"SingleDashIsAPath", {"--set-date", kSetDate, "-"}, "- mode=1 2019:12:31 00:00:00"},
    {"PathsAroundOptionsKeepTheirOrder", {"b", "-o", "out", "a", "--set-date", kSetDate, "--", "-c", "b"},
     "b|a|-c|b mode=1 2019:12:31 00:00:00 -o out"},
    {"AllDates", {"--all-dates", "--shift", "01:00:00", "photos"}, "photos mode=99 shift=3600 all-dates"},
    {"FileTimeShooting", {"--file-time", "shooting", "--shift", "01:00:00", "photos"}, "photos mode=99 shift=3600 shooting"},
    {"ZoneAloneMovesNoClock", {"--zone", "+09:00", "photos"}, "photos mode=0 no-clock zone=540"},
    {"ZoneWithAShiftDoesBoth", {"--shift", "+08:00:00", "--zone=-03:30", "photos"}, "photos mode=99 shift=28800 zone=-210"},
    {"ZoneZ", {"--zone", "Z", "--all-dates", "photos"}, "photos mode=0 no-clock zone=0 all-dates"},
    {"ZoneEasternmost", {"--zone", "+14:00", "photos"}, "photos mode=0 no-clock zone=840"},
    {"ZoneWesternmost", {"--zone", "-12:00", "photos"}, "photos mode=0 no-clock zone=-720"},
    {"HelpWinsOverErrors", {"--bogus", "--help", "a", "b"}, "help"},
    {"Version", {"photos", "--version"}, "version"},
    // --clean-temp needs no date and keeps the subfolder choice.
    {"CleanTempKeepsTheSubfolderChoice", {"-r", "--clean-temp", "photos"}, "clean-temp photos -r"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, AcceptedArguments, testing::ValuesIn(kAccepted), kRowName);

struct Rejected {
    std::string name;
    std::vector<std::string> args;
    std::string messagePart;
};

class RejectedArguments : public testing::TestWithParam<Rejected> {};

TEST_P(RejectedArguments, GiveAMessageNamingTheProblem)
{
    const Rejected& row = GetParam();
    const ParseResult result = parseArguments(row.args);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(row.messagePart), std::string::npos)
        << "message: \"" << result.error << "\", expected it to contain \"" << row.messagePart << "\"";
    EXPECT_EQ(result.error.find('\n'), std::string::npos) << "a usage error is one line";
}

// clang-format off
const Rejected kRejected[] = {
    {"NoDate", {"photos"}, "no new date"},
    {"AllDatesAloneIsNoDate", {"--all-dates", "photos"}, "or --zone"},
    {"ZonePastEast", {"--zone", "+14:01", "p"}, "-12:00 to +14:00"},
    {"ZonePastWest", {"--zone", "-12:30", "p"}, "-12:00 to +14:00"},
    {"ZoneWithoutSign", {"--zone", "09:00", "p"}, "+HH:MM, -HH:MM or Z"},
    {"FileTimeUnknown", {"--file-time", "now", "--shift", "01:00:00", "p"}, "keep or shooting"},
    {"NoPath", {"--set-date", "2019-12-31"}, "no PATH"},
    {"EmptyPathAmongOthers", {"--set-date", "2019-12-31", "a", "", "b"}, "PATH is empty"},
    {"TwoDateChoices", {"--set-date", "2019-12-31", "--set-time", "10:00:00", "p"}, "only one of"},
    {"SameDateOptionTwice", {"--shift", "01:00:00", "--shift", "02:00:00", "p"}, "only one of"},
    {"UnknownLong", {"--set-date", "2019-12-31", "--recurse", "p"}, "unknown option '--recurse'"},
    {"UnknownInGroup", {"--set-date", "2019-12-31", "-rz", "p"}, "unknown option '-z'"},
    {"AbbreviationIsUnknown", {"--set-d", "2019-12-31", "p"}, "unknown option '--set-d'"},
    {"MissingSetValue", {"p", "--set"}, "--set needs a value"},
    {"MissingShortOutputValue", {"--set-date", "2019-12-31", "p", "-o"}, "-o needs a value"},
    {"EmptyOutput", {"--set-date", "2019-12-31", "--output=", "p"}, "--output needs a folder"},
    {"OutputTwice", {"--set-date", "2019-12-31", "-o", "a", "-o", "b", "p"}, "more than once"},
    {"CleanTempWithADate", {"--clean-temp", "--shift", "01:00:00", "p"}, "--clean-temp takes only folders"},
    {"CleanTempWithOutput", {"--clean-temp", "-o", "out", "p"}, "--clean-temp takes only folders"},
    {"CleanTempWithoutPath", {"--clean-temp"}, "no PATH"},
    {"UndoWithADate", {"--undo", "--set-date", "2019-12-31"}, "takes no new date"},
    {"ForgetWithoutARun", {"--forget"}, "--forget needs a run"},
    {"RunsAndUndo", {"--runs", "--undo"}, "only one of --runs"},
    {"FlagWithValue", {"--set-date", "2019-12-31", "--recursive=yes", "p"}, "--recursive takes no value"},
    {"VerboseAndQuiet", {"--set-date", "2019-12-31", "-v", "-q", "p"}, "--verbose and --quiet"},
    {"SetDateOnly", {"--set", "2023-04-05", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetWithT", {"--set", "2023-04-05T06:07:08", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetTrailingBlank", {"--set", "2023-04-05 06:07:08 ", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetFebruary30", {"--set", "2023-02-30 00:00:00", "p"}, "not a real date"},
    {"SetYearZero", {"--set", "0000-01-01 00:00:00", "p"}, "0001-9999"},
    {"SetDateDay32", {"--set-date", "2023-01-32", "p"}, "not a real date"},
    {"SetDateSignedField", {"--set-date", "2023-+1-01", "p"}, "YYYY-MM-DD"},
    {"SetDateWithTime", {"--set-date", "2023-01-01 00:00:00", "p"}, "YYYY-MM-DD"},
    {"SetTimeShort", {"--set-time", "1:00:00", "p"}, "HH:MM:SS"},
    {"SetTimeHour24", {"--set-time", "24:00:00", "p"}, "00:00:00-23:59:59"},
    {"SetTimeSecond60", {"--set-time", "23:59:60", "p"}, "00:00:00-23:59:59"},
    {"ShiftDays367", {"--shift", "367:00:00:00", "p"}, "0-366"},
    {"ShiftFourDigitDays", {"--shift", "0001:00:00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftHour24", {"--shift", "24:00:00", "p"}, "hours must be 00-23"},
    {"ShiftMinute60", {"--shift", "1:00:60:00", "p"}, "minutes and seconds 00-59"},
    {"ShiftTwoSigns", {"--shift", "+-01:00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftEmpty", {"--shift=", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftSecondsOnly", {"--shift", "00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftOneDigitMinutes", {"--shift", "01:0:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, RejectedArguments, testing::ValuesIn(kRejected), kRowName);

TEST(UsageText, NamesEveryOption)
{
    const std::string text = usageText();
    for (const char* option : {"--set ", "--set-date", "--set-time", "--shift", "--recursive", "--output", "--dry-run",
                               "--verbose", "--quiet", "--help", "--version"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

} // namespace
} // namespace shotdate::cli
