// Every copy of the date, the zone tags and the file time, on fixtures made
// by exiftool and read back by exiftool: the copies the run asks for change
// by its rule, everything else stays, and exiftool finds no new problem.

#include "fixtures.h"
#include "needed_tools.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace shotdate {
namespace {

using namespace fixtures;

struct AllDatesRow {
    std::string name;
    Fixture fixture;
    std::vector<std::string> before; // exiftool assignments made on the fixture first
    DateArguments args;
    Reason reason = Reason::Rewritten;
    // Tags expected afterwards (exiftool -G1 -n names); "" for absent.
    std::map<std::string, std::string> expected;
    std::vector<std::string> notes;
    // With a zone (TZ) set: the new file's modification time, seconds since 1970.
    std::optional<std::string> zone;
    std::time_t mtime = 0;
};

void PrintTo(const AllDatesRow& row, std::ostream* out)
{
    *out << row.name;
}

DateArguments args(DateMode mode, int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   bool allDates = true)
{
    DateArguments a{std::int32_t(mode), *makeLocalSeconds(year, month, day, hour, minute, 0), 0};
    a.allDates = allDates;
    return a;
}

DateArguments shift(std::int32_t seconds, bool allDates, std::optional<std::int32_t> zone = std::nullopt)
{
    DateArguments a{std::int32_t(DateMode::Shift), {}, seconds};
    a.allDates = allDates;
    a.zoneMinutes = zone;
    return a;
}

DateArguments zoneOnly(std::int32_t minutes, bool allDates = false)
{
    DateArguments a;
    a.zoneMinutes = minutes;
    a.datesChange = false;
    a.allDates = allDates;
    return a;
}

constexpr const char* kShifted = "2020:03:01 00:30:15"; // the fixture date one hour on
const std::vector<std::string> kAllZones = {"-ExifIFD:OffsetTime=+01:00", "-ExifIFD:OffsetTimeOriginal=+01:00",
                                            "-ExifIFD:OffsetTimeDigitized=+01:00"};

const std::vector<std::string> kIptc = {"-IPTC:DateCreated=2020:02:29", "-IPTC:TimeCreated=23:30:15+01:00",
                                        "-IPTC:DigitalCreationDate=2020:02:29",
                                        "-IPTC:DigitalCreationTime=23:30:15+00:00", "-IPTCDigest=new"};

const AllDatesRow kRows[] = {
    {"IptcInApp13MovesWithItsDigest",
     Fixture::JpegLittleEndian,
     kIptc,
     shift(3600, true),
     Reason::Rewritten,
     {{"IPTC:DateCreated", "2020:03:01"},
      {"IPTC:TimeCreated", "00:30:15+01:00"},
      {"IPTC:DigitalCreationDate", "2020:03:01"},
      {"IPTC:DigitalCreationTime", "00:30:15+00:00"},
      {"IFD0:ModifyDate", "2019:01:02 04:04:05"}},
     {},
     std::nullopt,
     0},
    {"IptcZoneOnlyRelabelsTheTimes",
     Fixture::JpegBigEndian,
     kIptc,
     zoneOnly(-(3 * 60 + 30), true),
     Reason::Rewritten,
     {{"IPTC:DateCreated", "2020:02:29"},
      {"IPTC:TimeCreated", "23:30:15-03:30"},
      {"IPTC:DigitalCreationTime", "23:30:15-03:30"},
      {"ExifIFD:OffsetTimeOriginal", "-03:30"},
      {"ExifIFD:OffsetTimeDigitized", "-03:30"}},
     {},
     std::nullopt,
     0},
    {"IptcMovesWhenExiv2LaysOutTheJpeg",
     Fixture::JpegOriginalOnly,
     kIptc,
     shift(3600, true),
     Reason::Rewritten,
     {{"IPTC:DateCreated", "2020:03:01"},
      {"IPTC:TimeCreated", "00:30:15+01:00"},
      {"IPTC:DigitalCreationDate", "2020:03:01"},
      {"IPTC:DigitalCreationTime", "00:30:15+00:00"},
      {"IFD0:ModifyDate", "2019:01:02 04:04:05"},
      {"ExifIFD:CreateDate", kShifted}},
     {},
     std::nullopt,
     0},
    {"IptcStaysWithoutAllDates",
     Fixture::JpegLittleEndian,
     kIptc,
     shift(3600, false),
     Reason::Rewritten,
     {{"IPTC:DateCreated", "2020:02:29"}, {"ExifIFD:DateTimeOriginal", kShifted}},
     {},
     std::nullopt,
     0},
    {"IptcAndItsDigestInATiffSetByTheTimeOnly",
     Fixture::TiffThreePages,
     kIptc,
     args(DateMode::TimeOnly, 2001, 1, 1, 7, 8),
     Reason::Rewritten,
     {{"IPTC:DateCreated", "2020:02:29"},
      {"IPTC:TimeCreated", "07:08:00+01:00"},
      {"IPTC:DigitalCreationTime", "07:08:00+00:00"},
      {"ExifIFD:DateTimeOriginal", "2020:02:29 07:08:00"},
      {"IFD0:ModifyDate", "2019:01:02 07:08:00"}},
     {},
     std::nullopt,
     0},
    {"ModifyDateShiftsFromItsOwnValue",
     Fixture::JpegLittleEndian,
     {},
     shift(3600, true),
     Reason::Rewritten,
     {{"IFD0:ModifyDate", "2019:01:02 04:04:05"}, {"ExifIFD:DateTimeOriginal", kShifted}},
     {},
     std::nullopt,
     0},
    {"WithoutAllDatesOnlyTheTwoDates",
     Fixture::JpegBigEndian,
     kAllZones,
     shift(3600, false),
     Reason::Rewritten,
     {{"IFD0:ModifyDate", kFixtureModifyDate}, {"ExifIFD:CreateDate", kShifted}},
     {},
     std::nullopt,
     0},
    {"ModifyDateSetByAFixedDateInATiff",
     Fixture::TiffThreePages,
     {},
     args(DateMode::DateAndTime, 2001, 2, 3, 4, 5),
     Reason::Rewritten,
     {{"IFD0:ModifyDate", "2001:02:03 04:05:00"}, {"ExifIFD:CreateDate", "2001:02:03 04:05:00"}},
     {},
     std::nullopt,
     0},
    {"ModifyDateNotADateIsLeftAndNoted",
     Fixture::JpegLittleEndian,
     {"-n", "-IFD0:ModifyDate=2019:13:45 10:00:00"},
     args(DateMode::DateOnly, 2001, 2, 3, 0, 0),
     Reason::Rewritten,
     {{"IFD0:ModifyDate", "2019:13:45 10:00:00"}, {"ExifIFD:DateTimeOriginal", "2001:02:03 23:30:15"}},
     {"EXIF:ModifyDate: not a date"},
     std::nullopt,
     0},
    {"ModifyDateMissingIsNotAdded",
     Fixture::PngExif,
     {"-IFD0:ModifyDate="},
     shift(3600, true),
     Reason::Rewritten,
     {{"IFD0:ModifyDate", ""}, {"ExifIFD:DateTimeOriginal", kShifted}},
     {},
     std::nullopt,
     0},
    {"ZoneAloneAddsTheShootingOffsetsToAJpeg",
     Fixture::JpegLittleEndian,
     {},
     zoneOnly(9 * 60),
     Reason::Rewritten,
     {{"ExifIFD:OffsetTimeOriginal", "+09:00"},
      {"ExifIFD:OffsetTimeDigitized", "+09:00"},
      {"ExifIFD:OffsetTime", ""},
      {"ExifIFD:DateTimeOriginal", kFixtureDate},
      {"IFD0:ModifyDate", kFixtureModifyDate}},
     {},
     std::nullopt,
     0},
    {"ZoneAndShiftAppendedToATiff",
     Fixture::TiffThreePages,
     {},
     shift(3600, true, -5 * 60),
     Reason::Rewritten,
     {{"ExifIFD:OffsetTimeOriginal", "-05:00"},
      {"ExifIFD:OffsetTimeDigitized", "-05:00"},
      {"ExifIFD:DateTimeOriginal", kShifted},
      {"IFD0:ModifyDate", "2019:01:02 04:04:05"}},
     {},
     std::nullopt,
     0},
    {"ZonePatchedWhereItStandsWithOffsetTime",
     Fixture::JpegBigEndian,
     kAllZones,
     zoneOnly(0, true),
     Reason::Rewritten,
     {{"ExifIFD:OffsetTime", "+00:00"},
      {"ExifIFD:OffsetTimeOriginal", "+00:00"},
      {"ExifIFD:OffsetTimeDigitized", "+00:00"},
      {"ExifIFD:DateTimeOriginal", kFixtureDate}},
     {},
     std::nullopt,
     0},
    {"ZoneAddedToAPngEXIfChunk",
     Fixture::PngExif,
     {},
     zoneOnly(5 * 60 + 30),
     Reason::Rewritten,
     {{"ExifIFD:OffsetTimeOriginal", "+05:30"},
      {"ExifIFD:OffsetTimeDigitized", "+05:30"},
      {"ExifIFD:DateTimeOriginal", kFixtureDate}},
     {},
     std::nullopt,
     0},
    {"ZoneAddedToAWebp",
     Fixture::WebpExif,
     {},
     shift(3600, false, -12 * 60),
     Reason::Rewritten,
     {{"ExifIFD:OffsetTimeOriginal", "-12:00"},
      {"ExifIFD:OffsetTimeDigitized", "-12:00"},
      {"ExifIFD:DateTimeOriginal", kShifted}},
     {},
     std::nullopt,
     0},
    {"FileTimeIsTheNewDateInTheComputersZone",
     Fixture::JpegLittleEndian,
     {},
     shift(3600, false),
     Reason::Rewritten,
     {},
     {},
     "Europe/Berlin",
     1583019015},
    {"FileTimeInTheSpringGapMovesForward",
     Fixture::JpegLittleEndian,
     {},
     args(DateMode::DateAndTime, 2021, 3, 28, 2, 30, false),
     Reason::Rewritten,
     {},
     {},
     "Europe/Berlin",
     1616895000},
    {"FileTimeRepeatedInAutumnTakesTheEarlier",
     Fixture::TiffThreePages,
     {},
     args(DateMode::DateAndTime, 2021, 10, 31, 2, 30, false),
     Reason::Rewritten,
     {},
     {},
     "Europe/Berlin",
     1635640200},
};

class AllDates : public testing::TestWithParam<AllDatesRow> {};

int validationWarnings(const std::string& path)
{
    const CommandResult result = runCommand({"exiftool", "-validate", "-warning", "-a", "-s", path});
    return int(std::count_if(result.out.begin(), result.out.end(), [](char c) { return c == '\n'; }));
}

// Whatever the row expects to change, and what exiftool derives from it.
TagList unexpectedChanges(const TagList& tags, const AllDatesRow& row)
{
    TagList kept;
    for (const auto& [key, value] : comparableTags(tags, true))
        if (!row.expected.count(key) && !key.starts_with("Composite:") && !key.starts_with("File:")
            && key != "Photoshop:IPTCDigest")
            kept.emplace_back(key, value);
    return kept;
}

class ZoneSetting {
public:
    explicit ZoneSetting(const std::optional<std::string>& zone)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        if (zone)
            setenv("TZ", zone->c_str(), 1);
        tzset();
    }
    ~ZoneSetting()
    {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST_P(AllDates, ChangeTheCopiesAskedForAndNothingElse)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    const AllDatesRow& row = GetParam();
    TempFolder folder;
    const MadeFixture made = makeFixture(row.fixture, folder.path());
    ASSERT_FALSE(made.path.empty()) << made.error;
    if (!row.before.empty()) {
        std::vector<std::string> argv = {"exiftool", "-q", "-q", "-overwrite_original"};
        argv.insert(argv.end(), row.before.begin(), row.before.end());
        argv.push_back(made.path);
        ASSERT_EQ(runCommand(argv).exitCode, 0);
    }
    const std::string out = folder / ("out-" + fixtureFileName(row.fixture));
    const TagList before = readAllTags({made.path}).begin()->second;
    const int warningsBefore = validationWarnings(made.path);

    struct stat original {};
    ASSERT_EQ(stat(made.path.c_str(), &original), 0);
    const ZoneSetting zone(row.zone);
    FileRewriteOptions options;
    options.fileTime = row.zone ? FileTimeRule::Shooting : FileTimeRule::Keep;
    const FileRewrite result = rewriteFile(made.path, out, row.args, options);
    ASSERT_EQ(result.reason, row.reason) << int(result.reason);
    EXPECT_EQ(result.notes, row.notes);
    if (row.reason != Reason::Rewritten)
        return;
    // Before anything reads the new file and moves its access time.
    struct stat state {};
    ASSERT_EQ(stat(out.c_str(), &state), 0);

    const TagList after = readAllTags({out}).begin()->second;
    for (const auto& [key, value] : row.expected)
        EXPECT_EQ(tagValue(after, key), value) << key;
    EXPECT_EQ(unexpectedChanges(after, row), unexpectedChanges(before, row));
    EXPECT_LE(validationWarnings(out), warningsBefore);
    // A digest that matched the IPTC data still does.
    if (tagValue(before, "Photoshop:IPTCDigest") == tagValue(before, "File:CurrentIPTCDigest")) {
        EXPECT_EQ(tagValue(after, "Photoshop:IPTCDigest"), tagValue(after, "File:CurrentIPTCDigest"));
    }
    for (const DateChange& change : result.changes)
        EXPECT_NE(change.newValue, "") << change.name;
    EXPECT_EQ(state.st_mtim.tv_sec, row.zone ? row.mtime : original.st_mtim.tv_sec);
    EXPECT_EQ(state.st_atim.tv_sec, original.st_atim.tv_sec);
}

INSTANTIATE_TEST_SUITE_P(Table, AllDates, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<AllDatesRow>& info) { return info.param.name; });

} // namespace
} // namespace shotdate
