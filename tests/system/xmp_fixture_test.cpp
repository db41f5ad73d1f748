// With every copy of the date, the XMP dates of a photo (in each container
// that keeps them) and of its sidecars move with DateTimeOriginal, each in
// its own form; everything else stays, as exiftool reads it back. Without
// it, XMP and sidecars are left exactly as they were.
#include "file_bytes.h"
#include "file_times.h"
#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "run/batch_run.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace shotdate;
using namespace shotdate::fixtures;

namespace {

// One value of each form: seconds, minutes only, a fraction, a zone, UTC,
// a date alone.
const std::vector<std::string> kXmpDates = {
    "-XMP-exif:DateTimeOriginal=2020:02:29 23:30:15",   "-XMP-exif:DateTimeDigitized=2020:02:29 23:30",
    "-XMP-xmp:CreateDate=2020:02:29 23:30:15.25+02:00", "-XMP-xmp:ModifyDate=2020:02:29 23:30Z",
    "-XMP-tiff:DateTime=2020:02:29 23:30:15Z",          "-XMP-photoshop:DateCreated=2020:02:29",
};

// The same after a shift of one day and one hour (and in zone +09:00), as
// `exiftool -n` prints them. The date alone moves by the day.
std::map<std::string, std::string> movedDates(bool zone)
{
    return {
        {"XMP-exif:DateTimeOriginal", "2020:03:02 00:30:15"},
        {"XMP-exif:DateTimeDigitized", "2020:03:02 00:30"},
        {"XMP-xmp:CreateDate", zone ? "2020:03:02 00:30:15.25+09:00" : "2020:03:02 00:30:15.25+02:00"},
        {"XMP-xmp:ModifyDate", zone ? "2020:03:02 00:30+09:00" : "2020:03:02 00:30Z"},
        {"XMP-tiff:DateTime", zone ? "2020:03:02 00:30:15+09:00" : "2020:03:02 00:30:15Z"},
        {"XMP-photoshop:DateCreated", "2020:03:01"},
    };
}

DateArguments moveAll(bool allDates = true, bool zone = true)
{
    DateArguments args{.mode = int(DateMode::Shift), .shiftSeconds = 86400 + 3600, .allDates = allDates};
    if (zone)
        args.zoneMinutes = 9 * 60;
    return args;
}

RunSummary run(const std::string& input, const DateArguments& args, std::optional<std::string> output = {})
{
    RunSettings settings;
    settings.inputPath = input;
    settings.outputFolder = std::move(output);
    settings.dates = args;
    std::atomic<bool> stop{false};
    return runBatch(settings, stop);
}

// Every tag but the XMP dates and the copies other parts of a run move
// (ModifyDate, offsets, IPTC): those are checked by value.
TagList untouchedTags(const TagList& tags)
{
    TagList kept;
    for (const auto& [key, value] : comparableTags(tags, true)) {
        const bool otherCopy = key == "IFD0:ModifyDate" || key.find("OffsetTime") != std::string::npos
            || key.starts_with("IPTC:") || key.starts_with("Composite:");
        if (!movedDates(false).count(key) && !otherCopy)
            kept.emplace_back(key, value);
    }
    return kept;
}

std::string lastPathComponentOf(const std::string& path)
{
    return fs::path(path).filename().string();
}

bool made(const CommandResult& result)
{
    return result.exitCode == 0;
}

Bytes sidecarBytes(const std::string& date)
{
    const std::string text = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                             "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                             "<rdf:Description rdf:about='' xmlns:xap='http://ns.adobe.com/xap/1.0/' xap:CreateDate='"
        + date + "'/></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>";
    return Bytes(text.begin(), text.end());
}

struct PhotoRow {
    const char* name;
    Fixture fixture;
    bool allDates = true;
    // Made large: only its head is read (JPEG), or, its IFDs after the picture, all of it (TIFF).
    const char* bigPicture = nullptr;
    // exiftool writes a PNG's packet without padding: no room for a longer
    // zone; HEIF, AVIF and JPEG XL cannot take the offset tags a zone adds.
    bool zone = true;
    // Made by the container fixtures instead (HEIF, AVIF, JPEG XL).
    std::optional<format_fixtures::Container> container = std::nullopt;
};

void PrintTo(const PhotoRow& row, std::ostream* os)
{
    *os << row.name;
}

class XmpInPhoto : public testing::TestWithParam<PhotoRow> {};

TEST_P(XmpInPhoto, EveryCopyMovesAndNothingElse)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    const PhotoRow& row = GetParam();
    TempFolder folder;
    std::string path;
    if (row.container) {
        SKIP_WITHOUT_TOOLS(format_fixtures::makerTools(*row.container));
        const auto made = format_fixtures::makeContainer(*row.container, true, folder.path());
        ASSERT_TRUE(made.error.empty()) << made.error;
        path = made.path;
    } else if (row.bigPicture) {
        path = folder / row.bigPicture;
        ASSERT_TRUE(made(runCommand({"convert", "-size", "600x600", "xc:gray", "+noise", "Random", path})));
        ASSERT_TRUE(
            made(runCommand({"exiftool", "-q", "-overwrite_original", "-EXIF:DateTimeOriginal=2020:02:29 23:30:15",
                             "-EXIF:CreateDate=2020:02:29 23:30:15", path})));
        ASSERT_GT(fs::file_size(path), 256u * 1024);
    } else {
        const MadeFixture fixture = makeFixture(row.fixture, folder.path());
        ASSERT_TRUE(fixture.error.empty()) << fixture.error;
        path = fixture.path;
    }
    std::vector<std::string> write = {"exiftool", "-q", "-overwrite_original"};
    write.insert(write.end(), kXmpDates.begin(), kXmpDates.end());
    write.push_back(path);
    ASSERT_TRUE(made(runCommand(write)));
    const TagList before = readAllTags({path}).begin()->second;

    const RunSummary summary = run(path, moveAll(row.allDates, row.zone));
    ASSERT_EQ(summary.rewritten, 1) << (summary.passedOverFiles.empty() ? ""
                                                                        : reasonKey(summary.passedOverFiles[0].reason));
    const TagList after = readAllTags({path}).begin()->second;
    for (const auto& [key, moved] : movedDates(row.zone))
        EXPECT_EQ(tagValue(after, key), row.allDates ? moved : tagValue(before, key)) << key;
    EXPECT_EQ(untouchedTags(before), untouchedTags(after));
    EXPECT_TRUE(pngCrcsValid(readBytes(path)));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, XmpInPhoto,
    testing::Values(PhotoRow{"jpeg", Fixture::JpegLittleEndian}, PhotoRow{"jpeg_big_endian", Fixture::JpegBigEndian},
                    PhotoRow{"jpeg_laid_out_again", Fixture::JpegOriginalOnly},
                    PhotoRow{"jpeg_head_only", Fixture::JpegLittleEndian, true, "large.jpg"},
                    PhotoRow{"tiff", Fixture::TiffThreePages},
                    PhotoRow{"tiff_read_whole", Fixture::TiffThreePages, true, "large.tif"},
                    PhotoRow{"png", Fixture::PngExif, true, nullptr, false}, PhotoRow{"webp", Fixture::WebpExif},
                    PhotoRow{"heic", {}, true, nullptr, false, format_fixtures::Container::HeicBaseOffsets},
                    PhotoRow{"avif", {}, true, nullptr, false, format_fixtures::Container::Avif},
                    PhotoRow{"jpeg_xl", {}, true, nullptr, false, format_fixtures::Container::JpegXl},
                    PhotoRow{"jpeg_without_all_dates", Fixture::JpegLittleEndian, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A packet without padding cannot take a longer zone: the photo and its
// sidecar stay exactly as they were.
TEST(XmpInPhoto, APacketWithoutRoomPassesThePhotoOverWithItsSidecar)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    TempFolder folder;
    const MadeFixture fixture = makeFixture(Fixture::JpegLittleEndian, folder.path());
    ASSERT_TRUE(fixture.error.empty()) << fixture.error;
    ASSERT_TRUE(made(runCommand({"exiftool", "-q", "-overwrite_original", "-api", "Compact=NoPadding",
                                 "-XMP-xmp:CreateDate=2020:02:29 23:30:15Z", fixture.path})));
    const std::string sidecar = folder / (fs::path(fixture.path).stem().string() + ".xmp");
    writeBytes(sidecar, sidecarBytes("2020-02-29T23:30:15"));
    const Bytes photoBefore = readBytes(fixture.path);
    const Bytes sidecarBefore = readBytes(sidecar);

    const RunSummary summary = run(folder.path(), moveAll());
    EXPECT_EQ(summary.rewritten, 0);
    ASSERT_EQ(summary.passedOverFiles.size(), 1u); // the sidecar is no target of its own
    EXPECT_EQ(summary.passedOverFiles[0].reason, Reason::CannotChangeCopy);
    EXPECT_EQ(readBytes(fixture.path), photoBefore);
    EXPECT_EQ(readBytes(sidecar), sidecarBefore);
    EXPECT_TRUE(leftoverTemporaryFiles(folder.path()).empty());
}

// Sidecars in both conventions, in any case, one shared by a raw+JPEG
// pair, and one whose photo is not part of the run.
class Sidecars : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"IMG_1.JPG", "IMG_1.CR2"}) {
            const MadeFixture fixture = makeFixture(
                std::string(name).ends_with("JPG") ? Fixture::JpegLittleEndian : Fixture::TiffThreePages, in_.path());
            ASSERT_TRUE(fixture.error.empty()) << fixture.error;
            fs::rename(fixture.path, in_ / name);
        }
        for (const char* name : {"IMG_1.xmp", "IMG_1.JPG.XMP", "IMG_9.xmp"}) {
            writeBytes(in_ / name, sidecarBytes("2020-02-29T23:30:15+02:00"));
            setTimes(in_ / name);
        }
    }

    void expectSidecar(const std::string& path, const std::string& date)
    {
        EXPECT_EQ(readBytes(path), sidecarBytes(date)) << path;
    }

    TempFolder in_;
    TempFolder out_;
};

TEST_F(Sidecars, MoveOnceWithTheirPhotosInPlace)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    std::vector<FileReport> reports;
    RunSettings settings;
    settings.inputPath = in_.path();
    settings.dates = moveAll();
    std::atomic<bool> stop{false};
    RunCallbacks callbacks;
    callbacks.onFile = [&](const FileReport& report) { reports.push_back(report); };
    runBatch(settings, stop, callbacks);

    expectSidecar(in_ / "IMG_1.xmp", "2020-03-02T00:30:15+09:00"); // once, not twice
    expectSidecar(in_ / "IMG_1.JPG.XMP", "2020-03-02T00:30:15+09:00");
    expectSidecar(in_ / "IMG_9.xmp", "2020-02-29T23:30:15+02:00"); // no photo of the run
    EXPECT_TRUE(sameTime(statOf(in_ / "IMG_1.xmp").st_mtim, kMtime));
    // Each sidecar's change is reported once, with the photo that took it along.
    std::vector<std::string> names;
    for (const FileReport& report : reports)
        for (const DateChange& change : report.changes)
            if (change.name.ends_with(")")) // a sidecar's
                names.push_back(lastPathComponentOf(report.inPath) + ": " + change.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"IMG_1.CR2: XMP-xmp:CreateDate (IMG_1.xmp)",
                                        "IMG_1.JPG: XMP-xmp:CreateDate (IMG_1.JPG.XMP)"}));
    EXPECT_TRUE(leftoverTemporaryFiles(in_.path()).empty());
}

TEST_F(Sidecars, FollowTheNewNameIntoAnOutputFolder)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    run(in_.path(), moveAll(), out_.path());
    expectSidecar(out_ / "IMG_1.xmp", "2020-03-02T00:30:15+09:00");
    expectSidecar(out_ / "IMG_1.JPG.XMP", "2020-03-02T00:30:15+09:00");
    EXPECT_FALSE(fs::exists(out_ / "IMG_9.xmp"));
    expectSidecar(in_ / "IMG_1.xmp", "2020-02-29T23:30:15+02:00");
}

TEST_F(Sidecars, StayAsTheyWereWithoutEveryCopy)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    run(in_.path(), moveAll(false), out_.path());
    for (const char* name : {"IMG_1.xmp", "IMG_1.JPG.XMP"}) {
        expectSidecar(in_ / name, "2020-02-29T23:30:15+02:00");
        EXPECT_FALSE(fs::exists(out_ / name)) << name;
    }
}

} // namespace
