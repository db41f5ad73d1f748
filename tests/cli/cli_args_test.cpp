#include "cli_args.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>
#include <string>
#include <vector>

namespace shotdate::cli {
namespace {

// What a command line should turn into. givenDate is written as EXIF text
// so that a wrong day or hour shows up readably in a failure.
struct Accepted {
    std::string name;
    std::vector<std::string> args;
    Action action = Action::Run;
    std::string path;
    std::vector<std::string> morePaths;
    std::int32_t mode = 0;
    std::string givenDate;  // "" when the mode has none
    std::int32_t shiftSeconds = 0;
    bool recursive = false;
    std::optional<std::string> output;
    bool dryRun = false;
    Verbosity verbosity = Verbosity::Normal;
    bool json = false;
    bool allDates = false;
    std::optional<std::int32_t> zoneMinutes;
    bool datesChange = true;
    FileTimeRule fileTime = FileTimeRule::Keep;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const Accepted& row, std::ostream* os)
{
    *os << row.name;
}

class AcceptedArguments : public testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, BecomeTheExpectedSettings)
{
    const Accepted& row = GetParam();
    const ParseResult result = parseArguments(row.args);
    ASSERT_TRUE(result.ok) << result.error;
    const CliOptions& options = result.options;
    EXPECT_EQ(options.action, row.action);
    if (row.action != Action::Run)
        return;
    const RunSettings& settings = options.settings;
    EXPECT_EQ(settings.inputPath, row.path);
    EXPECT_EQ(settings.moreInputPaths, row.morePaths);
    EXPECT_EQ(settings.dates.mode, row.mode);
    if (!row.givenDate.empty()) {
        const auto given = formatExifDate(settings.dates.givenDate);
        ASSERT_TRUE(given.has_value());
        EXPECT_EQ(*given, row.givenDate);
    }
    EXPECT_EQ(settings.dates.shiftSeconds, row.shiftSeconds);
    EXPECT_EQ(settings.subfolders, row.recursive);
    EXPECT_EQ(settings.outputFolder, row.output);
    EXPECT_EQ(settings.dryRun, row.dryRun);
    EXPECT_EQ(options.verbosity, row.verbosity);
    EXPECT_EQ(options.json, row.json);
    EXPECT_EQ(settings.dates.allDates, row.allDates);
    EXPECT_EQ(settings.dates.zoneMinutes, row.zoneMinutes);
    EXPECT_EQ(settings.dates.datesChange, row.datesChange);
    EXPECT_EQ(settings.fileTime, row.fileTime);
}

Accepted row(std::string name, std::vector<std::string> args, std::int32_t mode, std::string given,
             std::int32_t shift = 0)
{
    Accepted r;
    r.name = std::move(name);
    r.args = std::move(args);
    r.path = "photos";
    r.mode = mode;
    r.givenDate = std::move(given);
    r.shiftSeconds = shift;
    return r;
}

template <typename Change>
Accepted with(Accepted r, Change change)
{
    change(r);
    return r;
}

constexpr std::int32_t kDay = 86400;

const Accepted kAccepted[] = {
    row("SetDateAndTime", {"--set", "2023-04-05 06:07:08", "photos"}, 0, "2023:04:05 06:07:08"),
    row("SetWithEquals", {"--set=2023-04-05 06:07:08", "photos"}, 0, "2023:04:05 06:07:08"),
    row("SetLeapDay", {"--set", "2024-02-29 23:59:59", "photos"}, 0, "2024:02:29 23:59:59"),
    row("SetFirstYear", {"--set", "0001-01-01 00:00:00", "photos"}, 0, "0001:01:01 00:00:00"),
    row("SetLastYear", {"--set", "9999-12-31 23:59:59", "photos"}, 0, "9999:12:31 23:59:59"),
    row("SetDateIsMidnight", {"--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
    row("SetDateWithEquals", {"--set-date=2000-02-29", "photos"}, 1, "2000:02:29 00:00:00"),
    row("SetTimeOnFixedDay", {"--set-time", "13:45:12", "photos"}, 2, "2000:01:01 13:45:12"),
    row("SetTimeMidnight", {"--set-time=00:00:00", "photos"}, 2, "2000:01:01 00:00:00"),
    row("ShiftForward", {"--shift", "01:02:03", "photos"}, 99, "", 3723),
    row("ShiftPlusSign", {"--shift", "+01:02:03", "photos"}, 99, "", 3723),
    row("ShiftBackTakesDashValue", {"--shift", "-01:02:03", "photos"}, 99, "", -3723),
    row("ShiftBackWithEquals", {"--shift=-00:00:01", "photos"}, 99, "", -1),
    row("ShiftWithDays", {"--shift", "2:03:04:05", "photos"}, 99, "", 2 * kDay + 3 * 3600 + 4 * 60 + 5),
    row("ShiftLargest", {"--shift", "+366:23:59:59", "photos"}, 99, "", kMaxShiftSeconds),
    row("ShiftLargestBack", {"--shift", "-366:23:59:59", "photos"}, 99, "", -kMaxShiftSeconds),
    row("ShiftZeroDays", {"--shift", "0:00:00:00", "photos"}, 99, "", 0),
    row("ShiftPaddedDays", {"--shift", "007:00:00:00", "photos"}, 99, "", 7 * kDay),
    row("PathFirst", {"photos", "--set-date", "2019-12-31"}, 1, "2019:12:31 00:00:00"),
    with(row("Recursive", {"-r", "--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.recursive = true; }),
    with(row("RecursiveLong", {"photos", "--recursive", "--set-date", "2019-12-31"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.recursive = true; }),
    with(row("OutputShort", {"-o", "out", "--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.output = "out"; }),
    with(row("OutputAttached", {"-oout", "--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.output = "out"; }),
    with(row("OutputLongEquals", {"--output=out dir", "--set-date", "2019-12-31", "photos"}, 1,
             "2019:12:31 00:00:00"),
         [](Accepted& r) { r.output = "out dir"; }),
    with(row("OutputLongSeparate", {"photos", "--output", "-out", "--set-date", "2019-12-31"}, 1,
             "2019:12:31 00:00:00"),
         [](Accepted& r) { r.output = "-out"; }),
    with(row("DryRunVerbose", {"-n", "-v", "--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) {
             r.dryRun = true;
             r.verbosity = Verbosity::Verbose;
         }),
    with(row("JsonDryRun", {"--json", "-n", "--shift", "01:00:00", "photos"}, 99, "", 3600),
         [](Accepted& r) {
             r.json = true;
             r.dryRun = true;
         }),
    with(row("GroupedShortOptions", {"-rnq", "--set-date", "2019-12-31", "photos"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) {
             r.recursive = true;
             r.dryRun = true;
             r.verbosity = Verbosity::Quiet;
         }),
    with(row("GroupEndingInOutput", {"-rvo", "out", "--set-date", "2019-12-31", "photos"}, 1,
             "2019:12:31 00:00:00"),
         [](Accepted& r) {
             r.recursive = true;
             r.output = "out";
             r.verbosity = Verbosity::Verbose;
         }),
    with(row("LongFlags", {"--dry-run", "--quiet", "--set-date", "2019-12-31", "photos"}, 1,
             "2019:12:31 00:00:00"),
         [](Accepted& r) {
             r.dryRun = true;
             r.verbosity = Verbosity::Quiet;
         }),
    with(row("RepeatedFlagIsHarmless", {"-r", "-r", "--set-date", "2019-12-31", "photos"}, 1,
             "2019:12:31 00:00:00"),
         [](Accepted& r) { r.recursive = true; }),
    with(row("DoubleDashEndsOptions", {"--set-date", "2019-12-31", "--", "-r"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.path = "-r"; }),
    with(row("SingleDashIsAPath", {"--set-date", "2019-12-31", "-"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.path = "-"; }),
    with(row("PathWithBlanks", {"--set-date", "2019-12-31", "my photos/2019"}, 1, "2019:12:31 00:00:00"),
         [](Accepted& r) { r.path = "my photos/2019"; }),
    with(row("ShellExpandedFiles", {"--shift", "+01:00:00", "IMG_1.JPG", "IMG_2.JPG", "IMG_3.JPG"}, 99, "", 3600),
         [](Accepted& r) {
             r.path = "IMG_1.JPG";
             r.morePaths = {"IMG_2.JPG", "IMG_3.JPG"};
         }),
    with(row("PathsAroundOptionsKeepTheirOrder", {"b", "-o", "out", "a", "--set-date", "2019-12-31", "--", "-c", "b"},
             1, "2019:12:31 00:00:00"),
         [](Accepted& r) {
             r.path = "b";
             r.morePaths = {"a", "-c", "b"};
             r.output = "out";
         }),
    with(row("AllDates", {"--all-dates", "--shift", "01:00:00", "photos"}, 99, "", 3600),
         [](Accepted& r) { r.allDates = true; }),
    with(row("FileTimeShooting", {"--file-time", "shooting", "--shift", "01:00:00", "photos"}, 99, "", 3600),
         [](Accepted& r) { r.fileTime = FileTimeRule::Shooting; }),
    row("FileTimeKeep", {"--file-time=keep", "--shift", "01:00:00", "photos"}, 99, "", 3600),
    with(row("ZoneAloneMovesNoClock", {"--zone", "+09:00", "photos"}, 0, ""), [](Accepted& r) {
        r.zoneMinutes = 9 * 60;
        r.datesChange = false;
    }),
    with(row("ZoneWithAShiftDoesBoth", {"--shift", "+08:00:00", "--zone=-03:30", "photos"}, 99, "", 8 * 3600),
         [](Accepted& r) { r.zoneMinutes = -(3 * 60 + 30); }),
    with(row("ZoneZ", {"--zone", "Z", "--all-dates", "photos"}, 0, ""), [](Accepted& r) {
        r.zoneMinutes = 0;
        r.datesChange = false;
        r.allDates = true;
    }),
    with(row("ZoneEasternmost", {"--zone", "+14:00", "photos"}, 0, ""), [](Accepted& r) {
        r.zoneMinutes = 14 * 60;
        r.datesChange = false;
    }),
    with(row("ZoneWesternmost", {"--zone", "-12:00", "photos"}, 0, ""), [](Accepted& r) {
        r.zoneMinutes = -12 * 60;
        r.datesChange = false;
    }),
    with(row("Help", {"--help"}, 0, ""), [](Accepted& r) { r.action = Action::Help; }),
    with(row("HelpWinsOverErrors", {"--bogus", "--help", "a", "b"}, 0, ""),
         [](Accepted& r) { r.action = Action::Help; }),
    with(row("Version", {"photos", "--version"}, 0, ""), [](Accepted& r) { r.action = Action::Version; }),
};

INSTANTIATE_TEST_SUITE_P(Table, AcceptedArguments, testing::ValuesIn(kAccepted),
                         [](const testing::TestParamInfo<Accepted>& info) { return info.param.name; });

struct Rejected {
    std::string name;
    std::vector<std::string> args;
    std::string messagePart;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const Rejected& row, std::ostream* os)
{
    *os << row.name;
}

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

const Rejected kRejected[] = {
    {"Nothing", {}, "no new date"},
    {"NoDate", {"photos"}, "no new date"},
    {"AllDatesAloneIsNoDate", {"--all-dates", "photos"}, "or --zone"},
    {"ZonePastEast", {"--zone", "+14:01", "p"}, "-12:00 to +14:00"},
    {"ZonePastWest", {"--zone", "-12:30", "p"}, "-12:00 to +14:00"},
    {"ZoneMinute60", {"--zone", "+05:60", "p"}, "-12:00 to +14:00"},
    {"ZoneWithoutSign", {"--zone", "09:00", "p"}, "+HH:MM, -HH:MM or Z"},
    {"ZoneWithoutColon", {"--zone", "+0900", "p"}, "+HH:MM, -HH:MM or Z"},
    {"ZoneLowerZ", {"--zone", "z", "p"}, "+HH:MM, -HH:MM or Z"},
    {"ZoneTwice", {"--zone", "Z", "--zone", "Z", "p"}, "--zone is given more than once"},
    {"FileTimeUnknown", {"--file-time", "now", "--shift", "01:00:00", "p"}, "keep or shooting"},
    {"FileTimeTwice", {"--file-time", "keep", "--file-time", "keep", "--shift", "01:00:00", "p"}, "more than once"},
    {"CleanTempWithZone", {"--clean-temp", "--zone", "Z", "p"}, "--clean-temp takes only folders"},
    {"NoPath", {"--set-date", "2019-12-31"}, "no PATH"},
    {"EmptyPath", {"--set-date", "2019-12-31", ""}, "PATH is empty"},
    {"EmptyPathAmongOthers", {"--set-date", "2019-12-31", "a", "", "b"}, "PATH is empty"},
    {"TwoDateChoices", {"--set-date", "2019-12-31", "--set-time", "10:00:00", "p"}, "only one of"},
    {"SameDateOptionTwice", {"--shift", "01:00:00", "--shift", "02:00:00", "p"}, "only one of"},
    {"UnknownLong", {"--set-date", "2019-12-31", "--recurse", "p"}, "unknown option '--recurse'"},
    {"UnknownShort", {"--set-date", "2019-12-31", "-x", "p"}, "unknown option '-x'"},
    {"UnknownInGroup", {"--set-date", "2019-12-31", "-rz", "p"}, "unknown option '-z'"},
    {"AbbreviationIsUnknown", {"--set-d", "2019-12-31", "p"}, "unknown option '--set-d'"},
    {"MissingSetValue", {"p", "--set"}, "--set needs a value"},
    {"MissingOutputValue", {"--set-date", "2019-12-31", "p", "--output"}, "--output needs a value"},
    {"MissingShortOutputValue", {"--set-date", "2019-12-31", "p", "-o"}, "-o needs a value"},
    {"EmptyOutput", {"--set-date", "2019-12-31", "--output=", "p"}, "--output needs a folder"},
    {"OutputTwice", {"--set-date", "2019-12-31", "-o", "a", "-o", "b", "p"}, "more than once"},
    {"CleanTempWithADate", {"--clean-temp", "--shift", "01:00:00", "p"}, "--clean-temp takes only folders"},
    {"CleanTempWithOutput", {"--clean-temp", "-o", "out", "p"}, "--clean-temp takes only folders"},
    {"CleanTempWithJson", {"--clean-temp", "--json", "p"}, "--clean-temp takes only folders"},
    {"JsonTakesNoValue", {"--json=yes", "--shift", "01:00:00", "p"}, "--json takes no value"},
    {"CleanTempWithoutPath", {"--clean-temp"}, "no PATH"},
    {"FlagWithValue", {"--set-date", "2019-12-31", "--recursive=yes", "p"}, "--recursive takes no value"},
    {"VerboseAndQuiet", {"--set-date", "2019-12-31", "-v", "-q", "p"}, "--verbose and --quiet"},
    {"SetDateOnly", {"--set", "2023-04-05", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetWithT", {"--set", "2023-04-05T06:07:08", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetTrailingBlank", {"--set", "2023-04-05 06:07:08 ", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetSlashes", {"--set", "2023/04/05 06:07:08", "p"}, "YYYY-MM-DD HH:MM:SS"},
    {"SetFebruary30", {"--set", "2023-02-30 00:00:00", "p"}, "not a real date"},
    {"SetFebruary29NoLeap", {"--set", "2023-02-29 00:00:00", "p"}, "not a real date"},
    {"SetHour24", {"--set", "2023-01-01 24:00:00", "p"}, "not a real date"},
    {"SetMinute60", {"--set", "2023-01-01 00:60:00", "p"}, "not a real date"},
    {"SetSecond60", {"--set", "2023-01-01 00:00:60", "p"}, "not a real date"},
    {"SetMonth13", {"--set", "2023-13-01 00:00:00", "p"}, "not a real date"},
    {"SetYearZero", {"--set", "0000-01-01 00:00:00", "p"}, "0001-9999"},
    {"SetDateDay32", {"--set-date", "2023-01-32", "p"}, "not a real date"},
    {"SetDateDay0", {"--set-date", "2023-01-00", "p"}, "not a real date"},
    {"SetDateShortYear", {"--set-date", "23-01-01", "p"}, "YYYY-MM-DD"},
    {"SetDateSignedField", {"--set-date", "2023-+1-01", "p"}, "YYYY-MM-DD"},
    {"SetDateWithTime", {"--set-date", "2023-01-01 00:00:00", "p"}, "YYYY-MM-DD"},
    {"SetTimeShort", {"--set-time", "1:00:00", "p"}, "HH:MM:SS"},
    {"SetTimeHour24", {"--set-time", "24:00:00", "p"}, "00:00:00-23:59:59"},
    {"SetTimeSecond60", {"--set-time", "23:59:60", "p"}, "00:00:00-23:59:59"},
    {"ShiftDays367", {"--shift", "367:00:00:00", "p"}, "0-366"},
    {"ShiftFourDigitDays", {"--shift", "0001:00:00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftHour24", {"--shift", "24:00:00", "p"}, "hours must be 00-23"},
    {"ShiftMinute60", {"--shift", "1:00:60:00", "p"}, "minutes and seconds 00-59"},
    {"ShiftNoTime", {"--shift", "5", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftTwoSigns", {"--shift", "+-01:00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftEmptyDays", {"--shift", ":01:00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftEmpty", {"--shift=", "p"}, "[+|-][DAYS:]HH:MM:SS"},
    {"ShiftSecondsOnly", {"--shift", "00:00", "p"}, "[+|-][DAYS:]HH:MM:SS"},
};

INSTANTIATE_TEST_SUITE_P(Table, RejectedArguments, testing::ValuesIn(kRejected),
                         [](const testing::TestParamInfo<Rejected>& info) { return info.param.name; });

TEST(CleanTempArguments, NeedNoDateAndKeepTheSubfolderChoice)
{
    const ParseResult result = parseArguments({"-r", "--clean-temp", "photos"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.action, Action::CleanTemp);
    EXPECT_TRUE(result.options.settings.subfolders);
    EXPECT_EQ(result.options.settings.inputPath, "photos");
}

TEST(UsageText, NamesEveryOption)
{
    const std::string text = usageText();
    for (const char* option : {"--set ", "--set-date", "--set-time", "--shift", "--recursive", "--output",
                               "--dry-run", "--verbose", "--quiet", "--help", "--version"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

} // namespace
} // namespace shotdate::cli
