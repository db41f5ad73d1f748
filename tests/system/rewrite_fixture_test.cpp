// The engine end to end on real files: every fixture made by ImageMagick
// and exiftool, and every container the Debian tools make (heif-enc,
// avifenc, cjxl, reshaped where no tool writes a camera's layout), rewritten
// on disk, then read back by tools that share no code with the engine.

#include "file_times.h"
#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "rewrite/date_rewrite.h"
#include "run/batch_run.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "table_row.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;
using namespace format_fixtures;

constexpr std::int32_t kDayAndHour = 86400 + 3600;

// What makes the fixtures and what reads the results back.
const std::vector<std::string> kTools = {"convert", "identify", "exiftool", "exiv2"};

// 2021:07:04 05:06:07 given in `mode`.
DateArguments withMode(DateMode mode)
{
    return DateArguments{std::int32_t(mode), *makeLocalSeconds(2021, 7, 4, 5, 6, 7), 0};
}

DateArguments shiftBy(std::int32_t seconds)
{
    return DateArguments{std::int32_t(DateMode::Shift), {}, seconds};
}

// ---------------------------------------------------------------------------
// One fixture, one set of date arguments, rewritten in place, elsewhere,
// through a link or as a dry run.

struct RewriteRow {
    std::string name;
    Fixture fixture;
    DateArguments args;
    Reason expected;
    std::string newDate; // on success
    bool elsewhere = false; // written to another folder, the input left as it was
    bool viaLink = false; // given as a symbolic link from another folder, which must stay a link
    bool dryRun = false;
    // A container made by the Debian tools instead, without DateTimeDigitized unless `withDigitized`.
    std::optional<Container> container = {};
    bool withDigitized = true;
    Layout layout = Layout::Patched;
    Decoder decoder = Decoder::Identify;
    // exiv2 0.27.6 reads a HEIF iloc only when each entry is 14, 16 or 18
    // bytes long with one extent: heif-enc's base offsets and split items
    // are beyond it. It reads a RAF only when the raw data is laid out as a camera's.
    bool exiv2MayNotRead = false;
};

// A container shifted by a day and an hour: patched, laid out again, given
// an Exif IFD, or (no layout) passed over where a field cannot be added.
RewriteRow containerRow(const char* name, Container container, bool withDigitized, std::optional<Layout> layout,
                        Decoder decoder, bool exiv2MayNotRead = false, Reason passedOver = Reason::CannotAddDate)
{
    RewriteRow row{
        name, {}, shiftBy(kDayAndHour), layout ? Reason::Rewritten : passedOver, layout ? "2020:03:02 00:30:15" : ""};
    row.container = container;
    row.withDigitized = withDigitized;
    row.layout = layout.value_or(Layout::Patched);
    row.decoder = decoder;
    row.exiv2MayNotRead = exiv2MayNotRead;
    return row;
}

std::vector<RewriteRow> rewriteRows()
{
    const DateArguments shift = shiftBy(kDayAndHour);
    const DateArguments fixed = withMode(DateMode::DateAndTime);
    const Fixture jpeg = Fixture::JpegLittleEndian;
    // clang-format off
    const RewriteRow rows[] = {
        // A given date and a shift on a file dated kFixtureDate (2020:02:29 23:30:15); the other modes are the
        // date rule's (date_rule_test.cpp), whatever the layout.
        {"jpeg_little_endian_date_and_time", jpeg, fixed, Reason::Rewritten, "2021:07:04 05:06:07"},
        {"jpeg_little_endian_shift_day_and_hour", jpeg, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        // Both dates stored as 20-byte values: patched where they lie.
        {"jpeg_big_endian", Fixture::JpegBigEndian, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"tiff_three_pages", Fixture::TiffThreePages, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"tiff_named_jpg", Fixture::TiffNamedJpg, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"png_exif", Fixture::PngExif, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"webp_exif", Fixture::WebpExif, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        // DateTimeDigitized missing: the metadata is laid out again; a PNG's eXIf chunk is written anew.
        {"jpeg_original_only", Fixture::JpegOriginalOnly, fixed, Reason::Rewritten, "2021:07:04 05:06:07"},
        {"tiff_original_only", Fixture::TiffOriginalOnly, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"webp_original_only", Fixture::WebpOriginalOnly, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        {"png_original_only", Fixture::PngOriginalOnly, shift, Reason::Rewritten, "2020:03:02 00:30:15"},
        // Modes that read the file's own date need a real one; mode 0 does not.
        {"exif_no_dates_date_and_time", Fixture::JpegExifNoDates, fixed, Reason::Rewritten, "2021:07:04 05:06:07"},
        {"exif_no_dates_date_only", Fixture::JpegExifNoDates, withMode(DateMode::DateOnly), Reason::NoFileDate, ""},
        {"ifd0_only_time_only", Fixture::JpegIfd0Only, withMode(DateMode::TimeOnly), Reason::NoExif, ""},
        // Past the end of the calendar (the arithmetic is the date rule's).
        {"last_day_shift_forward", Fixture::JpegLastDay, shift, Reason::DateOutOfRange, ""},
        // Into another folder: the input stays as it was. Other files passed over are the hostile folder's.
        {"elsewhere_patched_jpeg", jpeg, fixed, Reason::Rewritten, "2021:07:04 05:06:07", true},
        {"elsewhere_relaid_jpeg", Fixture::JpegOriginalOnly, fixed, Reason::Rewritten, "2021:07:04 05:06:07", true},
        {"elsewhere_no_exif", Fixture::JpegNoExif, fixed, Reason::NoExif, "", true},
        {"through_a_symbolic_link", Fixture::JpegBigEndian, shift, Reason::Rewritten, "2020:03:02 00:30:15", false, true},
        // A dry run checks everything, here on a file to be laid out again, and writes nothing.
        {"dry_run", Fixture::JpegOriginalOnly, shift, Reason::WouldRewrite, "2020:03:02 00:30:15", false, false, true},
        {"dry_run_elsewhere", Fixture::JpegOriginalOnly, shift, Reason::WouldRewrite, "2020:03:02 00:30:15", true, false, true},
        containerRow("jpeg_xmp_before_exif", Container::JpegXmpFirst, true, Layout::Patched, Decoder::Identify),
        containerRow("jpeg_two_exif_segments", Container::JpegTwoExif, true, Layout::Patched, Decoder::Identify),
        containerRow("dng", Container::Dng, true, Layout::Patched, Decoder::IdentifyAsTiff),
        containerRow("png_exif_after_idat", Container::PngExifAfterIdat, true, Layout::Patched, Decoder::Identify),
        containerRow("heic_base_offsets", Container::HeicBaseOffsets, true, Layout::Patched, Decoder::Identify, true),
        containerRow("heic_plain_offsets", Container::HeicPlainOffsets, true, Layout::Patched, Decoder::Identify),
        containerRow("heic_exif_in_two_extents", Container::HeicSplitExif, true, Layout::Patched, Decoder::Identify, true),
        containerRow("avif", Container::Avif, true, Layout::Patched, Decoder::Avifdec),
        containerRow("jpeg_xl_exif_box", Container::JpegXl, true, Layout::Patched, Decoder::Djxl),
        containerRow("raf", Container::Raf, true, Layout::Patched, Decoder::None, true),
        containerRow("jpeg_no_digitized", Container::JpegXmpFirst, false, Layout::LaidOut, Decoder::Identify),
        containerRow("dng_no_digitized", Container::Dng, false, Layout::Appended, Decoder::IdentifyAsTiff),
        // PNG: Exiv2 would turn eXIf into a text chunk, so only the block is laid out again and goes back where it was.
        containerRow("png_after_idat_no_digitized", Container::PngExifAfterIdat, false, Layout::LaidOut, Decoder::Identify),
        containerRow("heic_no_digitized", Container::HeicBaseOffsets, false, {}, Decoder::Identify, true),
        containerRow("heic_two_extents_no_digitized", Container::HeicSplitExif, false, {}, Decoder::Identify, true),
        containerRow("avif_no_digitized", Container::Avif, false, {}, Decoder::Avifdec),
        containerRow("jpeg_xl_no_digitized", Container::JpegXl, false, {}, Decoder::Djxl),
        containerRow("raf_no_digitized", Container::Raf, false, {}, Decoder::None, true),
        // cjxl keeps a JPEG's EXIF Brotli-compressed in a brob box.
        containerRow("jpeg_xl_brotli_exif", Container::JpegXlBrob, true, {}, Decoder::Djxl, false, Reason::UnsupportedFormat),
    };
    // clang-format on
    return {std::begin(rows), std::end(rows)};
}

class RewriteFixtureTest : public ::testing::TestWithParam<RewriteRow> {};

TEST_P(RewriteFixtureTest, RewritesInPlaceOrLeavesTheFileAlone)
{
    const RewriteRow& row = GetParam();
    std::vector<std::string> tools = kTools;
    tools.push_back(decoderTool(row.decoder));
    if (row.container)
        std::ranges::copy(makerTools(*row.container), std::back_inserter(tools));
    SKIP_WITHOUT_TOOLS(tools);
    TempFolder temp;
    for (const char* folder : {"photos", "originals", "out"})
        fs::create_directory(temp / folder);
    const MadeFixture made = row.container ? makeContainer(*row.container, row.withDigitized, temp / "photos")
                                           : makeFixture(row.fixture, temp / "photos");
    ASSERT_TRUE(made.error.empty()) << "cannot make the fixture: " << made.error;
    const std::string path = made.path;
    const std::string name = fs::path(path).filename().string();
    const std::string storedDate = row.container ? kFormatFixtureDate : fixtureStoredDate(row.fixture);
    const std::string original = temp / ("originals/" + name);
    fs::copy_file(path, original);
    const std::string link = temp / ("out/link-" + name);
    if (row.viaLink)
        fs::create_symlink("../photos/" + name, link);
    const std::string given = row.viaLink ? link : path;
    const std::string output = row.elsewhere ? temp / ("out/" + name) : given;
    const Bytes before = readBytes(path);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    // Last, as any read of the file may move its access time.
    setTimes(path);
    const struct stat old = statOf(path);

    const FileRewrite result = rewriteFile(given, output, row.args, {.dryRun = row.dryRun});
    const DateRewrite inMemory = rewriteExifDates(before, row.args);

    EXPECT_EQ(reasonKey(result.reason), reasonKey(row.expected));
    EXPECT_EQ(reasonKey(inMemory.reason), reasonKey(row.dryRun ? Reason::Rewritten : row.expected)) << "in memory";
    if (!row.newDate.empty()) {
        EXPECT_EQ(result.newDate, row.newDate);
    }
    if (row.viaLink) {
        EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced by a file";
        EXPECT_EQ(fs::read_symlink(link).string(), "../photos/" + name);
    }
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
    if (!storedDate.empty() && row.expected != Reason::NotAnImage && row.expected != Reason::UnsupportedFormat) {
        EXPECT_EQ(result.oldDate, storedDate) << "the date the file had";
    }
    if (row.elsewhere || result.reason != Reason::Rewritten) {
        EXPECT_TRUE(readBytes(path) == before) << "the input must stay byte for byte as it was";
        EXPECT_EQ(statOf(path).st_ino, old.st_ino) << "the input must not be replaced";
        EXPECT_TRUE(sameTime(statOf(path).st_mtim, kMtime)) << "the input's modification time";
    }
    if (result.reason != Reason::Rewritten) {
        EXPECT_EQ(fs::exists(output), !row.elsewhere) << "a file passed over must not produce an output";
        return;
    }
    const struct stat now = statOf(output);
    EXPECT_EQ(now.st_mode & 07777, 0640u) << "permissions";
    EXPECT_TRUE(sameTime(now.st_mtim, kMtime)) << "modification time to the nanosecond";
    // The engine's own read moves the old file's access time; the new file
    // must carry the time from before that read.
    EXPECT_TRUE(sameTime(now.st_atim, kAtime)) << "access time to the nanosecond";
    EXPECT_EQ(now.st_uid, old.st_uid);
    EXPECT_EQ(now.st_gid, old.st_gid);
    const Layout layout = row.container ? row.layout : fixtureLayout(row.fixture);
    EXPECT_TRUE(readBytes(output) == inMemory.bytes) << "the file on disk is not what the in-memory rewrite made";
    EXPECT_EQ(inMemory.patchedInPlace, layout != Layout::LaidOut);
    Faithful expect{.oldDate = storedDate,
                    .newDate = row.newDate,
                    .layout = layout,
                    .decoder = row.decoder,
                    .exiv2Reads = !row.exiv2MayNotRead};
    if (row.container == Container::JpegTwoExif)
        expect.laterCopies = {kSecondSegmentDate}; // only the first Exif segment counts
    expectFaithfulRewrite(original, output, expect);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RewriteFixtureTest, ::testing::ValuesIn(rewriteRows()), kRowName);

// ---------------------------------------------------------------------------
// A run whose output folder it also reads (as its input, or as a later
// input) gives every new file a free name and replaces no file it has yet
// to read; a run stopped before it starts writes nothing. Reasons for every
// kind of entry, and numbering across subfolders, are the hostile folder's
// test; several inputs into one output are the command line's.

struct SharedFolderRow {
    std::string name;
    std::vector<std::string> inputs; // below the test's folder
    std::string output;
    bool stopped;
    std::vector<std::string> reports; // "input reason output", below the test's folder
};

std::map<std::string, Bytes> contentsBelow(const std::string& folder)
{
    std::map<std::string, Bytes> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            contents[entry.path().string()] = readBytes(entry.path().string());
    return contents;
}

class SharedFolderRun : public ::testing::TestWithParam<SharedFolderRow> {};

TEST_P(SharedFolderRun, NumbersEveryNewFileAndReplacesNoInput)
{
    const SharedFolderRow& row = GetParam();
    using testing_support::exifTiff;
    using testing_support::jpegWith;
    const Bytes first = jpegWith(exifTiff(kFixtureDate, kFixtureDate));
    const Bytes second = jpegWith(exifTiff(kFixtureModifyDate, kFixtureModifyDate, true));
    TempFolder temp;
    for (const char* folder : {"input", "output", "flat"})
        fs::create_directory(temp / folder);
    const std::map<std::string, const Bytes&> files = {{"input/a.jpg", first},
                                                       {"output/a.jpg", second},
                                                       {"flat/a.jpg", first},
                                                       {"flat/a (2).jpg", second},
                                                       {"flat/b.jpg", first}};
    for (const auto& [name, bytes] : files)
        writeBytes(temp / name, bytes);
    const auto before = contentsBelow(temp.path());
    RunSettings settings;
    settings.inputPath = temp / row.inputs.front();
    settings.outputFolder = temp / row.output;
    settings.dates = shiftBy(kDayAndHour);
    for (std::size_t i = 1; i < row.inputs.size(); ++i)
        settings.moreInputPaths.push_back(temp / row.inputs[i]);
    std::size_t targets = 0;
    std::vector<FileReport> reported;
    std::vector<std::pair<int, std::string>> progress;
    RunCallbacks callbacks;
    callbacks.onTargets = [&](std::size_t count) { targets = count; };
    callbacks.onFile = [&](const FileReport& report) { reported.push_back(report); };
    callbacks.onProgress = [&](int count, const std::string& name) { progress.emplace_back(count, name); };
    const std::atomic<bool> stop{row.stopped};

    const RunSummary summary = runBatch(settings, stop, callbacks);

    EXPECT_EQ(summary.stopped, row.stopped);
    const std::size_t below = temp.path().size() + 1;
    std::vector<std::string> reports;
    std::vector<std::pair<int, std::string>> rewritten;
    std::map<std::string, std::string> writtenFrom;
    for (const FileReport& file : reported) {
        reports.push_back(file.inPath.substr(below) + " " + std::string(reasonKey(file.reason)) + " "
                          + file.outPath.substr(below));
        writtenFrom[file.outPath] = file.inPath;
        EXPECT_EQ(file.index, reports.size());
        EXPECT_EQ(file.renamed, fs::path(file.outPath).filename() != fs::path(file.inPath).filename());
        rewritten.emplace_back(int(rewritten.size() + 1), fs::path(file.inPath).filename().string());
    }
    EXPECT_EQ(reports, row.reports);
    EXPECT_EQ(progress, rewritten);
    if (!row.stopped) {
        EXPECT_EQ(targets, row.reports.size());
    }
    EXPECT_EQ(summary.rewritten, int(row.reports.size()));
    // Each output holds its own input rewritten once; every other file is as it was.
    for (const auto& [path, bytes] : contentsBelow(temp.path())) {
        const auto from = writtenFrom.find(path);
        EXPECT_TRUE(bytes
                    == (from == writtenFrom.end() ? before.at(path)
                                                  : rewriteExifDates(before.at(from->second), settings.dates).bytes))
            << path;
    }
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
}

// clang-format off
const SharedFolderRow kSharedFolderRows[] = {
    {"OutputFolderIsTheInput", {"flat"}, "flat", false,
     {"flat/a (2).jpg rewritten flat/a (2) (2).jpg", "flat/a.jpg rewritten flat/a (3).jpg",
      "flat/b.jpg rewritten flat/b (2).jpg"}},
    // The first input's output must not land on a file the second input has yet to read.
    {"OutputFolderIsALaterInput", {"input/a.jpg", "output"}, "output", false,
     {"input/a.jpg rewritten output/a (2).jpg", "output/a.jpg rewritten output/a (3).jpg"}},
    {"StoppedBeforeTheStart", {"input"}, "output", true, {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Runs, SharedFolderRun, ::testing::ValuesIn(kSharedFolderRows), kRowName);

} // namespace
} // namespace shotdate
