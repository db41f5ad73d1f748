// Every copy of the date (IPTC, ModifyDate, the XMP dates in each container
// that keeps them), the zone tags and the file time, on fixtures made by
// exiftool and read back by exiftool: the copies the run asks for change by
// their rule, everything else stays, and exiftool finds no new problem.

#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "run/file_rewrite.h"
#include "table_row.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

namespace shotdate {
namespace {

using namespace fixtures;

// A FotoStation trailer appended after the JPEG's end: its IPTC record,
// then (so that only the file's head is read) a large preview record.
enum class Trailer { None, IptcAndLargePreview, IptcCutShort };

Bytes fotoStationTrailer(Trailer kind)
{
    Bytes out;
    const auto record = [&](std::uint16_t tag, const Bytes& data) {
        out.insert(out.end(), data.begin(), data.end());
        testing_support::put32(out, tag, true, 2);
        testing_support::put32(out, data.size() + 10, true);
        testing_support::put32(out, 0xA1B2C3D4, true);
    };
    Bytes iim;
    for (const auto& [number, text] : std::vector<std::pair<int, std::string>>{
             {55, "20200229"}, {60, "233015+0100"}, {62, "20200229"}, {63, "233015+0000"}}) {
        iim.insert(iim.end(), {0x1C, 2, std::uint8_t(number), 0, std::uint8_t(text.size())});
        iim.insert(iim.end(), text.begin(), text.end());
    }
    if (kind == Trailer::IptcCutShort)
        iim.resize(iim.size() - 3);
    record(1, iim);
    if (kind == Trailer::IptcAndLargePreview)
        record(4, Bytes(300 * 1024, 0));
    return out;
}

using Tags = std::map<std::string, std::string>;

struct AllDatesRow {
    std::string name;
    Fixture fixture;
    std::vector<std::string> before = {}; // exiftool assignments made on the fixture first
    DateArguments args;
    Reason reason = Reason::Rewritten;
    // Tags expected afterwards (exiftool -G1 -n names); "" for absent.
    Tags expected = {};
    std::vector<std::string> notes = {};
    // With a zone (TZ) set: the new file's modification time, seconds since 1970.
    const char* zone = nullptr;
    std::time_t mtime = 0;
    Trailer trailer = Trailer::None;
    std::optional<format_fixtures::Container> container = {}; // made by the container fixtures instead
    // Made large: only its head is read (JPEG), or, its IFDs after the picture, all of it (TIFF).
    const char* bigPicture = nullptr;
};

DateArguments args(DateMode mode, int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   bool allDates = true)
{
    return {std::int32_t(mode), *makeLocalSeconds(year, month, day, hour, minute, 0), 0, allDates};
}

DateArguments shift(std::int32_t seconds, bool allDates, std::optional<std::int32_t> zone = std::nullopt)
{
    return {std::int32_t(DateMode::Shift), {}, seconds, allDates, zone};
}

DateArguments zoneOnly(std::int32_t minutes, bool allDates = false)
{
    return {.allDates = allDates, .zoneMinutes = minutes, .datesChange = false};
}

constexpr const char* kShifted = "2020:03:01 00:30:15"; // the fixture date one hour on
const std::vector<std::string> kAllZones = {"-ExifIFD:OffsetTime=+01:00", "-ExifIFD:OffsetTimeOriginal=+01:00",
                                            "-ExifIFD:OffsetTimeDigitized=+01:00"};

const std::vector<std::string> kIptc = {"-IPTC:DateCreated=2020:02:29", "-IPTC:TimeCreated=23:30:15+01:00",
                                        "-IPTC:DigitalCreationDate=2020:02:29",
                                        "-IPTC:DigitalCreationTime=23:30:15+00:00", "-IPTCDigest=new"};
const std::vector<std::string> kIptcAndZones = {kIptc[0], kIptc[1],     kIptc[2],     kIptc[3],
                                                kIptc[4], kAllZones[0], kAllZones[1], kAllZones[2]};

// One XMP value of each form: seconds, minutes only, a fraction, a zone,
// UTC, a date alone.
const std::vector<std::string> kXmp = {
    "-XMP-exif:DateTimeOriginal=2020:02:29 23:30:15",   "-XMP-exif:DateTimeDigitized=2020:02:29 23:30",
    "-XMP-xmp:CreateDate=2020:02:29 23:30:15.25+02:00", "-XMP-xmp:ModifyDate=2020:02:29 23:30Z",
    "-XMP-tiff:DateTime=2020:02:29 23:30:15Z",          "-XMP-photoshop:DateCreated=2020:02:29",
};

// The same after a shift of one day and one hour (and in zone +09:00), as
// `exiftool -n` prints them, with ModifyDate and the offsets that move along.
// The date alone moves by the day.
Tags movedXmp(bool zone, bool modifyDate = true)
{
    Tags moved = {
        {"XMP-exif:DateTimeOriginal", "2020:03:02 00:30:15"},
        {"XMP-exif:DateTimeDigitized", "2020:03:02 00:30"},
        {"XMP-xmp:CreateDate", zone ? "2020:03:02 00:30:15.25+09:00" : "2020:03:02 00:30:15.25+02:00"},
        {"XMP-xmp:ModifyDate", zone ? "2020:03:02 00:30+09:00" : "2020:03:02 00:30Z"},
        {"XMP-tiff:DateTime", zone ? "2020:03:02 00:30:15+09:00" : "2020:03:02 00:30:15Z"},
        {"XMP-photoshop:DateCreated", "2020:03:01"},
    };
    if (zone)
        moved["ExifIFD:OffsetTimeOriginal"] = moved["ExifIFD:OffsetTimeDigitized"] = "+09:00";
    if (modifyDate)
        moved["IFD0:ModifyDate"] = "2019:01:03 04:04:05";
    return moved;
}

const DateArguments kMoveXmp = shift(86400 + 3600, true, 9 * 60);
// exiftool writes a PNG's packet without padding: no room for a longer
// zone; HEIF, AVIF and JPEG XL cannot take the offset tags a zone adds.
const DateArguments kMoveXmpKeepZone = shift(86400 + 3600, true);

// The IPTC dates of kIptc one hour on, with ModifyDate, and `also`.
Tags movedIptc(const std::string& group = "IPTC", Tags also = {})
{
    also.insert({{group + ":DateCreated", "2020:03:01"},
                 {group + ":TimeCreated", "00:30:15+01:00"},
                 {group + ":DigitalCreationDate", "2020:03:01"},
                 {group + ":DigitalCreationTime", "00:30:15+00:00"},
                 {"IFD0:ModifyDate", "2019:01:02 04:04:05"}});
    return also;
}

// One row a line or a few, so that the rows read as a table.
// clang-format off
const AllDatesRow kRows[] = {
    {.name = "IptcInApp13MovesWithItsDigest", .fixture = Fixture::JpegLittleEndian, .before = kIptc,
     .args = shift(3600, true), .expected = movedIptc()},
    {.name = "IptcZoneOnlyRelabelsTheTimes", .fixture = Fixture::JpegBigEndian, .before = kIptc,
     .args = zoneOnly(-(3 * 60 + 30), true),
     .expected = {{"IPTC:DateCreated", "2020:02:29"}, {"IPTC:TimeCreated", "23:30:15-03:30"},
                  {"IPTC:DigitalCreationTime", "23:30:15-03:30"}, {"ExifIFD:OffsetTimeOriginal", "-03:30"},
                  {"ExifIFD:OffsetTimeDigitized", "-03:30"}}},
    {.name = "IptcMovesWhenExiv2LaysOutTheJpeg", .fixture = Fixture::JpegOriginalOnly, .before = kIptc,
     .args = shift(3600, true), .expected = movedIptc("IPTC", {{"ExifIFD:CreateDate", kShifted}})},
    // ModifyDate and the zone tags stay too.
    {.name = "IptcStaysWithoutAllDates", .fixture = Fixture::JpegLittleEndian, .before = kIptcAndZones,
     .args = shift(3600, false),
     .expected = {{"IPTC:DateCreated", "2020:02:29"}, {"ExifIFD:DateTimeOriginal", kShifted}}},
    {.name = "IptcAndItsDigestInATiffSetByTheTimeOnly", .fixture = Fixture::TiffThreePages, .before = kIptc,
     .args = args(DateMode::TimeOnly, 2001, 1, 1, 7, 8),
     .expected = {{"IPTC:DateCreated", "2020:02:29"}, {"IPTC:TimeCreated", "07:08:00+01:00"},
                  {"IPTC:DigitalCreationTime", "07:08:00+00:00"}, {"ExifIFD:DateTimeOriginal", "2020:02:29 07:08:00"},
                  {"IFD0:ModifyDate", "2019:01:02 07:08:00"}}},
    {.name = "ModifyDateNotADateIsLeftAndNoted", .fixture = Fixture::JpegLittleEndian,
     .before = {"-n", "-IFD0:ModifyDate=2019:13:45 10:00:00"}, .args = args(DateMode::DateOnly, 2001, 2, 3, 0, 0),
     .expected = {{"IFD0:ModifyDate", "2019:13:45 10:00:00"}, {"ExifIFD:DateTimeOriginal", "2001:02:03 23:30:15"}},
     .notes = {"EXIF:ModifyDate: not a date"}},
    {.name = "ModifyDateMissingIsNotAdded", .fixture = Fixture::PngExif, .before = {"-IFD0:ModifyDate="},
     .args = shift(3600, true), .expected = {{"IFD0:ModifyDate", ""}, {"ExifIFD:DateTimeOriginal", kShifted}}},
    {.name = "ZoneAloneAddsTheShootingOffsetsToAJpeg", .fixture = Fixture::JpegLittleEndian, .args = zoneOnly(9 * 60),
     .expected = {{"ExifIFD:OffsetTimeOriginal", "+09:00"}, {"ExifIFD:OffsetTimeDigitized", "+09:00"},
                  {"ExifIFD:OffsetTime", ""}, {"ExifIFD:DateTimeOriginal", kFixtureDate},
                  {"IFD0:ModifyDate", kFixtureModifyDate}}},
    {.name = "ZoneAndShiftAppendedToATiff", .fixture = Fixture::TiffThreePages, .args = shift(3600, true, -5 * 60),
     .expected = {{"ExifIFD:OffsetTimeOriginal", "-05:00"}, {"ExifIFD:OffsetTimeDigitized", "-05:00"},
                  {"ExifIFD:DateTimeOriginal", kShifted}, {"IFD0:ModifyDate", "2019:01:02 04:04:05"}}},
    {.name = "ZonePatchedWhereItStandsWithOffsetTime", .fixture = Fixture::JpegBigEndian, .before = kAllZones,
     .args = zoneOnly(0, true),
     .expected = {{"ExifIFD:OffsetTime", "+00:00"}, {"ExifIFD:OffsetTimeOriginal", "+00:00"},
                  {"ExifIFD:OffsetTimeDigitized", "+00:00"}, {"ExifIFD:DateTimeOriginal", kFixtureDate}}},
    {.name = "ZoneAddedToAPngEXIfChunk", .fixture = Fixture::PngExif, .args = zoneOnly(5 * 60 + 30),
     .expected = {{"ExifIFD:OffsetTimeOriginal", "+05:30"}, {"ExifIFD:OffsetTimeDigitized", "+05:30"},
                  {"ExifIFD:DateTimeOriginal", kFixtureDate}}},
    {.name = "ZoneAddedToAWebp", .fixture = Fixture::WebpExif, .args = shift(3600, false, -12 * 60),
     .expected = {{"ExifIFD:OffsetTimeOriginal", "-12:00"}, {"ExifIFD:OffsetTimeDigitized", "-12:00"},
                  {"ExifIFD:DateTimeOriginal", kShifted}}},
    {.name = "FileTimeIsTheNewDateInTheComputersZone", .fixture = Fixture::JpegLittleEndian,
     .args = shift(3600, false), .zone = "Europe/Berlin", .mtime = 1583019015},
    {.name = "FileTimeInTheSpringGapMovesForward", .fixture = Fixture::JpegLittleEndian,
     .args = args(DateMode::DateAndTime, 2021, 3, 28, 2, 30, false), .zone = "Europe/Berlin", .mtime = 1616895000},
    {.name = "FileTimeRepeatedInAutumnTakesTheEarlier", .fixture = Fixture::TiffThreePages,
     .args = args(DateMode::DateAndTime, 2021, 10, 31, 2, 30, false), .zone = "Europe/Berlin", .mtime = 1635640200},
    // A date alone is its day's midnight: one hour on, the same day.
    {.name = "IptcInAFotoStationTrailerReadFromTheEnd", .fixture = Fixture::JpegLittleEndian,
     .before = {"-IPTC:DateCreated=2020:02:29"}, .args = shift(3600, true),
     .expected = movedIptc("IPTC2", {{"IPTC:DateCreated", "2020:02:29"}}),
     .trailer = Trailer::IptcAndLargePreview},
    {.name = "FotoStationTrailerWithUnreadableIptcPassesTheFileOver", .fixture = Fixture::JpegLittleEndian,
     .args = shift(3600, true), .reason = Reason::CannotAddDate, .trailer = Trailer::IptcCutShort},
    {.name = "XmpStaysWithoutAllDates", .fixture = Fixture::JpegLittleEndian, .before = kXmp,
     .args = shift(86400 + 3600, false, 9 * 60),
     .expected = {{"ExifIFD:OffsetTimeOriginal", "+09:00"}, {"ExifIFD:OffsetTimeDigitized", "+09:00"}}},
};
// clang-format on

// XMP dates of every form in each container that keeps them, moved with the dates.
AllDatesRow xmp(const char* name, Fixture fixture, bool zone, const char* bigPicture = nullptr,
                std::optional<format_fixtures::Container> container = {})
{
    return {.name = name,
            .fixture = fixture,
            .before = kXmp,
            .args = zone ? kMoveXmp : kMoveXmpKeepZone,
            .expected = movedXmp(zone, !bigPicture),
            .container = container,
            .bigPicture = bigPicture};
}

std::vector<AllDatesRow> allRows()
{
    using format_fixtures::Container;
    std::vector<AllDatesRow> rows(std::begin(kRows), std::end(kRows));
    rows.insert(rows.end(),
                {xmp("XmpInAJpeg", Fixture::JpegLittleEndian, true),
                 xmp("XmpInAJpegLaidOutAgain", Fixture::JpegOriginalOnly, true),
                 xmp("XmpInAJpegReadByItsHead", {}, true, "large.jpg"),
                 xmp("XmpInATiff", Fixture::TiffThreePages, true), xmp("XmpInATiffReadWhole", {}, true, "large.tif"),
                 xmp("XmpInAPng", Fixture::PngExif, false), xmp("XmpInAWebp", Fixture::WebpExif, true),
                 xmp("XmpInAHeic", {}, false, nullptr, Container::HeicBaseOffsets),
                 xmp("XmpInAnAvif", {}, false, nullptr, Container::Avif),
                 xmp("XmpInAJpegXl", {}, false, nullptr, Container::JpegXl)});
    return rows;
}

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

TEST_P(AllDates, ChangeTheCopiesAskedForAndNothingElse)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    const AllDatesRow& row = GetParam();
    TempFolder folder;
    MadeFixture made;
    if (row.container) {
        SKIP_WITHOUT_TOOLS(format_fixtures::makerTools(*row.container));
        made = format_fixtures::makeContainer(*row.container, true, folder.path());
    } else if (row.bigPicture) {
        made.path = folder / row.bigPicture;
        runStep({"convert", "-size", "600x600", "xc:gray", "+noise", "Random", made.path}, made.error)
            && runStep(
                exiftoolWrite({"-EXIF:DateTimeOriginal=2020:02:29 23:30:15", "-EXIF:CreateDate=2020:02:29 23:30:15"},
                              made.path),
                made.error);
    } else {
        made = makeFixture(row.fixture, folder.path());
    }
    ASSERT_TRUE(made.error.empty()) << made.error;
    std::string error;
    ASSERT_TRUE(row.before.empty() || runStep(exiftoolWrite(row.before, made.path), error)) << error;
    if (row.trailer != Trailer::None) {
        Bytes bytes = readBytes(made.path);
        const Bytes trailer = fotoStationTrailer(row.trailer);
        bytes.insert(bytes.end(), trailer.begin(), trailer.end());
        ASSERT_TRUE(writeBytes(made.path, bytes));
    }
    const std::string out = folder / ("out-" + std::filesystem::path(made.path).filename().string());
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
    EXPECT_TRUE(pngCrcsValid(readBytes(out)));
    // A digest that matched the IPTC data still does.
    if (tagValue(before, "Photoshop:IPTCDigest") == tagValue(before, "File:CurrentIPTCDigest")) {
        EXPECT_EQ(tagValue(after, "Photoshop:IPTCDigest"), tagValue(after, "File:CurrentIPTCDigest"));
    }
    for (const DateChange& change : result.changes)
        EXPECT_NE(change.newValue, "") << change.name;
    EXPECT_EQ(std::pair(state.st_mtim.tv_sec, state.st_atim.tv_sec),
              std::pair(row.zone ? row.mtime : original.st_mtim.tv_sec, original.st_atim.tv_sec));
    if (row.trailer != Trailer::None) {
        // Patched in place: only digits of dates differ.
        const Bytes in = readBytes(made.path);
        const Bytes written = readBytes(out);
        ASSERT_EQ(written.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            const bool same = in[i] == written[i] || (std::isdigit(in[i]) && std::isdigit(written[i]));
            ASSERT_TRUE(same) << "byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, AllDates, testing::ValuesIn(allRows()), kRowName);

} // namespace
} // namespace shotdate
