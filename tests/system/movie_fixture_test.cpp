// Movies made by ffmpeg (and one built byte by byte with 64-bit times and
// no media data), rewritten in every mode under a set time zone: exiftool
// and ffprobe read the new UTC times back, Apple's creation date keeps its
// own zone, every byte outside the header times and the date texts stays,
// and the result decodes wherever the original did. Damaged and oversized
// layouts are passed over untouched.

#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "table_row.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;
using testing_support::put32;

// 2019-03-02 01:11:12 UTC, as the fixtures record it.
constexpr long long kRecorded = 1551489072;
constexpr long long kUnset = -1; // the reader finds no date

// --- fixtures ----------------------------------------------------------------

Bytes box(const std::string& type, const Bytes& payload)
{
    Bytes out;
    put32(out, 8 + payload.size(), true);
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A version 1 header box: 64-bit creation and modification times, then
// `rest` zero bytes.
Bytes timesV1(const std::string& type, std::uint64_t time, std::size_t rest)
{
    Bytes payload{1, 0, 0, 0};
    put32(payload, time, true, 8);
    put32(payload, time, true, 8);
    payload.resize(payload.size() + rest);
    return box(type, payload);
}

// ftyp and a moov of 64-bit times (2050-01-01 00:00:00 UTC, past what 32
// bits hold) and no media data at all.
Bytes headersOnlyMovie()
{
    constexpr std::uint64_t k2050 = 4607452800ull; // seconds since 1904
    Bytes trak = box("trak", [&] {
        Bytes inner = timesV1("tkhd", k2050, 4 + 4 + 8 + 8 + 8 + 36 + 8);
        const Bytes mdia = box("mdia", timesV1("mdhd", k2050, 4 + 8 + 4));
        inner.insert(inner.end(), mdia.begin(), mdia.end());
        return inner;
    }());
    Bytes moovPayload = timesV1("mvhd", k2050, 4 + 8 + 80);
    moovPayload.insert(moovPayload.end(), trak.begin(), trak.end());
    Bytes file = box("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0, 'q', 't', ' ', ' '});
    const Bytes moov = box("moov", moovPayload);
    file.insert(file.end(), moov.begin(), moov.end());
    return file;
}

const Bytes kFtyp = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 0, 0, 'i', 's', 'o', 'm'});

// A file of `size` bytes, all holes but for `head` at its start and `tail` at its end.
bool writeSparse(const std::string& path, const Bytes& head, std::uint64_t size, const Bytes& tail)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
    out.seekp(std::streamoff(size - tail.size()));
    out.write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
    out.close();
    fs::resize_file(path, size);
    return bool(out);
}

using Maker = std::function<bool(const std::string& path)>;

// A second of ffmpeg's test picture, recorded at kRecorded unless `recorded` is false.
Maker ffmpeg(const std::string& container, const std::vector<std::string>& extra = {}, bool recorded = true)
{
    return [=](const std::string& out) {
        std::vector<std::string> argv{"ffmpeg", "-v",   "error", "-y", "-f", "lavfi", "-i", "testsrc=d=1:s=64x48",
                                      "-c:v",   "mpeg4"};
        if (recorded)
            argv.insert(argv.end(), {"-metadata", "creation_time=2019-03-02T01:11:12Z"});
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.insert(argv.end(), {"-f", container, out});
        return runCommand(argv).exitCode == 0;
    };
}

const Maker kMovWithAppleDate = ffmpeg(
    "mov",
    {"-movflags", "use_metadata_tags", "-metadata", "com.apple.quicktime.creationdate=2019-03-02T10:11:12+0900"});
// ffmpeg writes "date" as ©day: in udta for MOV, in udta/meta/ilst for MP4.
const Maker kMovWithDay = ffmpeg("mov", {"-metadata", "date=2019-03-02T10:11:12+0900"});
const Maker kMp4WithDay = ffmpeg("mp4", {"-metadata", "date=2019-03-02T10:11:12+0900"});
const Maker kMov = ffmpeg("mov");
const Maker kMp4MoovLast = ffmpeg("mp4");
const Maker kMp4MoovFirst = ffmpeg("mp4", {"-movflags", "faststart"});
const Maker kMp4Fragmented = ffmpeg("mp4", {"-movflags", "frag_keyframe+empty_moov"});
const Maker kMp4ZeroTimes = ffmpeg("mp4", {}, false);
const Maker kHeadersOnly = [](const std::string& p) { return writeBytes(p, headersOnlyMovie()); };
// A recording cut off mid-way: mdat says more than the file holds.
const Maker kCutOff = [](const std::string& p) {
    if (!kMp4MoovFirst(p))
        return false;
    fs::resize_file(p, fs::file_size(p) - 100);
    return true;
};
// moov beyond what is read whole (sparse: no time spent writing it).
const Maker kHugeHeader = [](const std::string& p) {
    Bytes head = kFtyp;
    put32(head, (65ull << 20), true);
    head.insert(head.end(), {'m', 'o', 'o', 'v'});
    return writeSparse(p, head, kFtyp.size() + (65ull << 20), {});
};
// Over 4 GiB: a 64-bit mdat size, the movie header after it.
const Maker kOver4GiB = [](const std::string& p) {
    const Bytes all = headersOnlyMovie();
    const Bytes moov(all.begin() + std::ptrdiff_t(20), all.end());
    const std::uint64_t mdat = 5ull << 30;
    Bytes head = kFtyp;
    put32(head, 1, true);
    head.insert(head.end(), {'m', 'd', 'a', 't'});
    put32(head, mdat, true, 8);
    return writeSparse(p, head, kFtyp.size() + mdat + moov.size(), moov);
};

// exiftool keeps a MOV's XMP in moov/udta/XMP_ and an MP4's in a top-level uuid box.
Maker withXmp(Maker make, std::vector<std::string> tags)
{
    return [=](const std::string& p) { return make(p) && runCommand(exiftoolWrite(tags, p)).exitCode == 0; };
}
const std::vector<std::string> kXmpDates{"-XMP-xmp:CreateDate=2019:03:02T10:11:12+09:00",
                                         "-XMP-exif:DateTimeOriginal=2019:03:02T10:11:12",
                                         "-XMP-xmp:ModifyDate=2019:03:02T10:11"};
// A UTC date in a packet without padding: a zone given makes it longer.
const Maker kMp4XmpNoPadding =
    withXmp(kMp4MoovLast, {"-api", "Compact=NoPadding", "-XMP-xmp:CreateDate=2019:03:02T01:11:12Z"});
// An XMP box beyond what is read whole, beside a small moov (sparse).
const Maker kHugeXmpBox = [](const std::string& p) {
    Bytes head = headersOnlyMovie();
    const std::uint64_t box = 32 + (65ull << 20);
    put32(head, 1, true); // a 64-bit size: the uuid's bytes then end the 32 read of a box header
    head.insert(head.end(), {'u', 'u', 'i', 'd'});
    put32(head, box, true, 8);
    head.insert(head.end(),
                {0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8, 0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC});
    return writeSparse(p, head, head.size() - 32 + box, {});
};

// --- independent readers -------------------------------------------------------

// QuickTime:CreateDate as seconds since 1970, as exiftool reads it.
long long exiftoolCreateDate(const std::string& path)
{
    const CommandResult r =
        runCommand({"exiftool", "-api", "QuickTimeUTC", "-d", "%s", "-s3", "-QuickTime:CreateDate", path});
    return r.out.empty() || r.out[0] < '1' || r.out[0] > '9' ? kUnset : std::stoll(r.out);
}

// creation_time as ffprobe reports it, to the second ("2019-03-02T01:11:12Z").
std::string ffprobeCreationTime(const std::string& path)
{
    const CommandResult r = runCommand(
        {"ffprobe", "-v", "error", "-show_entries", "format_tags=creation_time", "-of", "default=nw=1:nk=1", path});
    return r.out.substr(0, 19) + "Z";
}

std::string exiftoolXmpCreateDate(const std::string& path)
{
    const std::string out = runCommand({"exiftool", "-s3", "-XMP-xmp:CreateDate", path}).out;
    return out.substr(0, out.find('\n'));
}

bool decodes(const std::string& path)
{
    const CommandResult r = runCommand({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"});
    return r.exitCode == 0 && r.err.empty();
}

// Where a rewrite may change bytes: the two times after each mvhd, tkhd
// and mdhd type (by their version) and the old date texts, found by a plain
// search of the original.
std::vector<std::pair<std::size_t, std::size_t>> allowedRanges(const Bytes& file, const std::vector<std::string>& texts)
{
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (const std::string type : {"mvhd", "tkhd", "mdhd"})
        for (const std::size_t at : occurrences(file, type))
            ranges.push_back({at + 8, at + 8 + (at + 4 < file.size() && file[at + 4] == 1 ? 16 : 8)});
    for (const std::string& text : texts)
        for (const std::size_t at : occurrences(file, text))
            ranges.push_back({at, at + text.size()});
    return ranges;
}

// --- the table -------------------------------------------------------------------

struct MovieCase {
    const char* name;
    Maker make;
    DateArguments args;
    std::string zone; // TZ while the rewrite runs
    Reason reason;
    long long createDate; // QuickTime:CreateDate afterwards, seconds since 1970
    const char* appleDate; // the creation date text afterwards ("" when none)
    const char* shownNew; // FileReport's new date: the creation time as a wall clock
    bool dryRun = false;
    const char* xmpCreateDate = ""; // XMP-xmp:CreateDate afterwards, as exiftool shows it ("": not checked)
};

LocalSeconds given(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return *makeLocalSeconds(y, mo, d, h, mi, s);
}

const DateArguments kShift{int(DateMode::Shift), {}, 86400 + 3600};
const DateArguments kShiftEveryCopy{.mode = int(DateMode::Shift), .shiftSeconds = 86400 + 3600, .allDates = true};
const DateArguments kFixed{int(DateMode::DateAndTime), given(2020, 5, 6, 7, 8, 9)};
// ffmpeg's 32-bit header times end in February 2040: such a movie is passed over, never wrapped.
const DateArguments kFixedIn2050{int(DateMode::DateAndTime), given(2050, 1, 1, 0, 0, 0)};
const DateArguments kFixedEveryCopy{
    .mode = int(DateMode::DateAndTime), .givenDate = given(2020, 5, 6, 7, 8, 9), .allDates = true};
const DateArguments kDateOnly{int(DateMode::DateOnly), given(2020, 5, 6, 0, 0, 0)};
const DateArguments kTimeOnly{int(DateMode::TimeOnly), given(1, 1, 1, 7, 8, 9)};
const DateArguments kZoneOnly{.mode = int(DateMode::Shift), .zoneMinutes = 330, .datesChange = false};
const DateArguments kZoneOnlyEveryCopy{
    .mode = int(DateMode::Shift), .allDates = true, .zoneMinutes = 330, .datesChange = false};
constexpr long long kShifted = kRecorded + 90000;
constexpr long long k2050 = 2524698000;
constexpr auto kOk = Reason::Rewritten;
const std::string kBerlin = "Europe/Berlin";

// The zone conversions, gaps and repeated hours included, are the file time's (all_dates_test).
// clang-format off
const MovieCase kCases[] = {
    {"MovAppleShift", kMovWithAppleDate, kShift, kBerlin, kOk, kShifted, "2019-03-03T11:11:12+0900", "2019:03:03 11:11:12"},
    // The movie's own zone (+09:00), not the computer's, reads the given clock.
    {"MovAppleFixed", kMovWithAppleDate, kFixed, kBerlin, kOk, 1588716489, "2020-05-06T07:08:09+0900", "2020:05:06 07:08:09"},
    {"MovAppleZoneOnly", kMovWithAppleDate, kZoneOnly, kBerlin, kOk, kRecorded, "2019-03-02T10:11:12+0530", "2019:03:02 10:11:12"},
    {"MovDayEveryCopy", kMovWithDay, kShiftEveryCopy, "UTC", kOk, kShifted, "2019-03-03T11:11:12+0900", "2019:03:03 02:11:12"},
    {"Mp4DayEveryCopy", kMp4WithDay, kShiftEveryCopy, "UTC", kOk, kShifted, "2019-03-03T11:11:12+0900", "2019:03:03 02:11:12"},
    {"Mp4MoovLastFixed", kMp4MoovLast, kFixed, kBerlin, kOk, 1588741689, "", "2020:05:06 07:08:09"},
    {"Mp4MoovFirstDateOnly", kMp4MoovFirst, kDateOnly, kBerlin, kOk, 1588723872, "", "2020:05:06 02:11:12"},
    {"Mp4FragmentedTimeOnly", kMp4Fragmented, kTimeOnly, kBerlin, kOk, 1551506889, "", "2019:03:02 07:08:09"},
    {"HeadersOnly64BitShift", kHeadersOnly, kShift, "UTC", kOk, k2050, "", "2050:01:02 01:00:00"},
    {"Mp4FixedPast32Bits", kMp4MoovLast, kFixedIn2050, "UTC", Reason::DateOutOfRange, kRecorded, "", ""},
    {"ZeroTimesShift", kMp4ZeroTimes, kShift, "UTC", Reason::NoFileDate, kUnset, "", ""},
    {"ZeroTimesFixed", kMp4ZeroTimes, kFixed, "UTC", kOk, 1588748889, "", "2020:05:06 07:08:09"},
    {"CutOff", kCutOff, kShift, "UTC", Reason::BoxPastEnd, kRecorded, "", ""},
    {"HugeHeader", kHugeHeader, kShift, "UTC", Reason::MovieHeaderTooLarge, kUnset, "", "", true},
    {"Over4GiB", kOver4GiB, kShift, "UTC", Reason::WouldRewrite, kUnset, "", "2050:01:02 01:00:00", true},
    {"MovXmpEveryCopy", withXmp(kMov, kXmpDates), kShiftEveryCopy, "UTC", kOk, kShifted, "2019-03-03T11:11", "2019:03:03 02:11:12", false, "2019:03:03 11:11:12+09:00"},
    {"Mp4XmpEveryCopy", withXmp(kMp4MoovFirst, kXmpDates), kShiftEveryCopy, "UTC", kOk, kShifted, "2019-03-03T11:11", "2019:03:03 02:11:12", false, "2019:03:03 11:11:12+09:00"},
    {"Mp4XmpFixedEveryCopy", withXmp(kMp4MoovLast, kXmpDates), kFixedEveryCopy, "UTC", kOk, 1588748889, "2020-05-06T07:08:09+09:00", "2020:05:06 07:08:09", false, "2020:05:06 07:08:09+09:00"},
    {"Mp4XmpWithoutEveryCopy", withXmp(kMp4MoovLast, kXmpDates), kShift, "UTC", kOk, kShifted, "", "2019:03:03 02:11:12", false, "2019:03:02 10:11:12+09:00"},
    {"Mp4XmpNoRoom", kMp4XmpNoPadding, kZoneOnlyEveryCopy, "UTC", Reason::CannotChangeCopy, kRecorded, "", ""},
    {"Mp4XmpNoRoomWithoutEveryCopy", kMp4XmpNoPadding, kZoneOnly, "UTC", kOk, kRecorded, "", "", false, "2019:03:02 01:11:12Z"},
    {"HugeXmpBox", kHugeXmpBox, kShiftEveryCopy, "UTC", Reason::MovieHeaderTooLarge, kUnset, "", "", true},
    {"HugeXmpBoxWithoutEveryCopy", kHugeXmpBox, kShift, "UTC", Reason::WouldRewrite, kUnset, "", "2050:01:02 01:00:00", true},
};
// clang-format on

class MovieFixture : public testing::TestWithParam<MovieCase> {};

TEST_P(MovieFixture, RewritesOnlyTheDatesOrLeavesTheFileAlone)
{
    SKIP_WITHOUT_TOOLS({"ffmpeg", "ffprobe", "exiftool"});
    const MovieCase& c = GetParam();
    const ZoneSetting zone(c.zone.c_str());
    const TempFolder folder;
    const std::string in = folder / "in.mov";
    const std::string out = folder / "out.mov";
    ASSERT_TRUE(c.make(in)) << "could not make the fixture";
    const bool bigFile = fs::file_size(in) > (64ull << 20);
    const Bytes before = bigFile ? Bytes{} : readBytes(in);

    const FileRewrite result = rewriteFile(in, out, c.args, {.dryRun = c.dryRun});
    ASSERT_EQ(reasonKey(result.reason), reasonKey(c.reason));
    EXPECT_EQ(result.newDate, c.shownNew);
    if (!bigFile) {
        EXPECT_EQ(readBytes(in), before) << "the original changed";
    }
    if (!isSuccess(c.reason) || c.dryRun) {
        EXPECT_FALSE(fs::exists(out));
        if (c.createDate != kUnset) {
            EXPECT_EQ(exiftoolCreateDate(in), c.createDate);
        }
        return;
    }

    const Bytes after = readBytes(out);
    ASSERT_EQ(after.size(), before.size());
    std::vector<std::string> texts{"2019-03-02T10:11:12+0900", "2019-03-02T01:11:12Z"};
    if (c.args.allDates)
        texts.insert(texts.end(), {"2019-03-02T10:11:12+09:00", "2019-03-02T10:11:12", "2019-03-02T10:11"});
    const auto ranges = allowedRanges(before, texts);
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        const bool allowed =
            std::any_of(ranges.begin(), ranges.end(), [&](auto r) { return i >= r.first && i < r.second; });
        ASSERT_TRUE(allowed) << "byte " << i << " changed outside the dates";
    }
    EXPECT_EQ(exiftoolCreateDate(out), c.createDate);
    if (*c.appleDate) {
        EXPECT_FALSE(occurrences(after, c.appleDate).empty()) << "no " << c.appleDate << " in the new file";
    }
    if (*c.xmpCreateDate) {
        EXPECT_EQ(exiftoolXmpCreateDate(out), c.xmpCreateDate);
        const bool reported = std::any_of(result.changes.begin(), result.changes.end(),
                                          [](const DateChange& d) { return d.name == "XMP-xmp:CreateDate"; });
        EXPECT_EQ(reported, c.args.allDates);
    }
    if (decodes(in)) {
        EXPECT_TRUE(decodes(out));
        const std::time_t t = std::time_t(c.createDate);
        char expected[40];
        std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
        EXPECT_EQ(ffprobeCreationTime(out), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Movies, MovieFixture, testing::ValuesIn(kCases), kRowName);

} // namespace
} // namespace shotdate
