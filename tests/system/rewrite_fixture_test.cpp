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
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
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

LocalSeconds givenDate()
{
    return *makeLocalSeconds(2021, 7, 4, 5, 6, 7);
}

DateArguments withMode(DateMode mode)
{
    return DateArguments{std::int32_t(mode), givenDate(), 0};
}

DateArguments shiftBy(std::int32_t seconds)
{
    return DateArguments{std::int32_t(DateMode::Shift), {}, seconds};
}

void copyFile(const std::string& from, const std::string& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Makes `fixture` in `folder`, failing the test when the tools cannot.
std::string made(Fixture fixture, const std::string& folder)
{
    const MadeFixture result = makeFixture(fixture, folder);
    EXPECT_TRUE(result.error.empty()) << "cannot make " << fixtureFileName(fixture) << ": " << result.error;
    return result.path;
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
    // A container made by the Debian tools instead, without DateTimeDigitized unless `withDigitized`.
    std::optional<Container> container = {};
    bool withDigitized = true;
    Layout layout = Layout::Patched;
    Decoder decoder = Decoder::Identify;
    // exiv2 0.27.6 reads a HEIF iloc only when each entry is 14, 16 or 18
    // bytes long with one extent: heif-enc's base offsets and split items
    // are beyond it. It reads a RAF only when the raw data is laid out as a camera's.
    bool exiv2MayNotRead = false;
    bool viaLink = false; // given as a symbolic link from another folder, which must stay a link
    bool dryRun = false;
};

void PrintTo(const RewriteRow& row, std::ostream* out)
{
    *out << row.name;
}

// All five ways of forming the date on a file dated kFixtureDate
// (2020:02:29 23:30:15), with the outcome for each.
std::vector<RewriteRow> everyMode(const std::string& name, Fixture fixture, Reason outcome = Reason::Rewritten)
{
    const bool ok = outcome == Reason::Rewritten;
    return {
        {name + "_date_and_time", fixture, withMode(DateMode::DateAndTime), outcome, ok ? "2021:07:04 05:06:07" : ""},
        {name + "_date_only", fixture, withMode(DateMode::DateOnly), outcome, ok ? "2021:07:04 23:30:15" : ""},
        {name + "_time_only", fixture, withMode(DateMode::TimeOnly), outcome, ok ? "2020:02:29 05:06:07" : ""},
        {name + "_shift_day_and_hour", fixture, shiftBy(kDayAndHour), outcome, ok ? "2020:03:02 00:30:15" : ""},
        {name + "_shift_back_most", fixture, shiftBy(-kMaxShiftSeconds), outcome, ok ? "2019:02:27 23:30:16" : ""},
    };
}

// A container shifted by a day and an hour: patched, laid out again, given
// an Exif IFD, or (no layout) passed over where a field cannot be added.
RewriteRow containerRow(const char* name, Container container, bool withDigitized, std::optional<Layout> layout,
                        Decoder decoder, bool exiv2MayNotRead = false)
{
    return {name,
            {},
            shiftBy(kDayAndHour),
            layout ? Reason::Rewritten : Reason::CannotAddDate,
            layout ? "2020:03:02 00:30:15" : "",
            false,
            container,
            withDigitized,
            layout.value_or(Layout::Patched),
            decoder,
            exiv2MayNotRead};
}

std::vector<RewriteRow> rewriteRows()
{
    std::vector<RewriteRow> rows;
    auto add = [&](std::vector<RewriteRow> more) { rows.insert(rows.end(), more.begin(), more.end()); };
    // Both dates stored as 20-byte values: patched where they lie.
    add(everyMode("jpeg_little_endian", Fixture::JpegLittleEndian));
    add(everyMode("jpeg_big_endian", Fixture::JpegBigEndian));
    add(everyMode("tiff_three_pages", Fixture::TiffThreePages));
    add(everyMode("tiff_named_jpg", Fixture::TiffNamedJpg));
    add(everyMode("png_exif", Fixture::PngExif));
    add(everyMode("webp_exif", Fixture::WebpExif));
    // DateTimeDigitized missing: the metadata is laid out again.
    add(everyMode("jpeg_original_only", Fixture::JpegOriginalOnly));
    add(everyMode("tiff_original_only", Fixture::TiffOriginalOnly));
    add(everyMode("webp_original_only", Fixture::WebpOriginalOnly));
    // A PNG keeps its EXIF in an eXIf chunk that is written anew.
    add(everyMode("png_original_only", Fixture::PngOriginalOnly));
    // Modes that read the file's own date need a real one; mode 0 does not.
    add({
        {"exif_no_dates_date_and_time", Fixture::JpegExifNoDates, withMode(DateMode::DateAndTime), Reason::Rewritten,
         "2021:07:04 05:06:07"},
        {"exif_no_dates_date_only", Fixture::JpegExifNoDates, withMode(DateMode::DateOnly), Reason::NoFileDate, ""},
        {"exif_no_dates_shift", Fixture::JpegExifNoDates, shiftBy(kDayAndHour), Reason::NoFileDate, ""},
        {"blank_dates_date_and_time", Fixture::JpegBlankDates, withMode(DateMode::DateAndTime), Reason::Rewritten,
         "2021:07:04 05:06:07"},
        {"blank_dates_date_only", Fixture::JpegBlankDates, withMode(DateMode::DateOnly), Reason::NoFileDate, ""},
        {"blank_dates_time_only", Fixture::JpegBlankDates, withMode(DateMode::TimeOnly), Reason::NoFileDate, ""},
        {"blank_dates_shift", Fixture::JpegBlankDates, shiftBy(kDayAndHour), Reason::NoFileDate, ""},
        {"zero_dates_date_and_time", Fixture::JpegZeroDates, withMode(DateMode::DateAndTime), Reason::Rewritten,
         "2021:07:04 05:06:07"},
        {"zero_dates_time_only", Fixture::JpegZeroDates, withMode(DateMode::TimeOnly), Reason::NoFileDate, ""},
        {"zero_dates_shift", Fixture::JpegZeroDates, shiftBy(kDayAndHour), Reason::NoFileDate, ""},
        {"bad_date_date_and_time", Fixture::JpegBadDate, withMode(DateMode::DateAndTime), Reason::Rewritten,
         "2021:07:04 05:06:07"},
        {"bad_date_date_only", Fixture::JpegBadDate, withMode(DateMode::DateOnly), Reason::BadFileDate, ""},
        {"bad_date_time_only", Fixture::JpegBadDate, withMode(DateMode::TimeOnly), Reason::BadFileDate, ""},
        {"bad_date_shift", Fixture::JpegBadDate, shiftBy(kDayAndHour), Reason::BadFileDate, ""},
    });
    // No Exif IFD, or no image at all: passed over whatever the mode.
    add({
        {"no_exif_date_and_time", Fixture::JpegNoExif, withMode(DateMode::DateAndTime), Reason::NoExif, ""},
        {"no_exif_shift", Fixture::JpegNoExif, shiftBy(kDayAndHour), Reason::NoExif, ""},
        {"ifd0_only_date_and_time", Fixture::JpegIfd0Only, withMode(DateMode::DateAndTime), Reason::NoExif, ""},
        {"ifd0_only_time_only", Fixture::JpegIfd0Only, withMode(DateMode::TimeOnly), Reason::NoExif, ""},
        {"text_named_jpg_date_and_time", Fixture::TextNamedJpg, withMode(DateMode::DateAndTime), Reason::NotAnImage,
         ""},
        {"text_named_jpg_shift", Fixture::TextNamedJpg, shiftBy(kDayAndHour), Reason::NotAnImage, ""},
    });
    // The ends of the calendar.
    add({
        {"last_day_shift_forward", Fixture::JpegLastDay, shiftBy(kDayAndHour), Reason::DateOutOfRange, ""},
        {"last_day_shift_back", Fixture::JpegLastDay, shiftBy(-kMaxShiftSeconds), Reason::Rewritten,
         "9998:12:29 23:30:01"},
        {"first_day_shift_back", Fixture::JpegFirstDay, shiftBy(-kDayAndHour), Reason::DateOutOfRange, ""},
        {"first_day_shift_forward", Fixture::JpegFirstDay, shiftBy(kDayAndHour), Reason::Rewritten,
         "0001:01:02 01:30:00"},
        // Unknown mode values act as time only.
        {"unknown_mode_acts_as_time_only", Fixture::JpegLittleEndian, DateArguments{7, givenDate(), 0},
         Reason::Rewritten, "2020:02:29 05:06:07"},
    });
    // Into another folder: the input stays as it was.
    const std::tuple<const char*, Fixture, Reason> elsewhere[] = {
        {"patched_jpeg", Fixture::JpegLittleEndian, Reason::Rewritten},
        {"relaid_jpeg", Fixture::JpegOriginalOnly, Reason::Rewritten},
        {"three_page_tiff", Fixture::TiffThreePages, Reason::Rewritten},
        {"png_relaid", Fixture::PngOriginalOnly, Reason::Rewritten},
        {"no_exif", Fixture::JpegNoExif, Reason::NoExif},
        {"text", Fixture::TextNamedJpg, Reason::NotAnImage}};
    for (const auto& [name, fixture, reason] : elsewhere)
        rows.push_back({std::string("elsewhere_") + name, fixture, withMode(DateMode::DateAndTime), reason,
                        reason == Reason::Rewritten ? "2021:07:04 05:06:07" : "", true});
    RewriteRow link{"through_a_symbolic_link", Fixture::JpegBigEndian, shiftBy(kDayAndHour), Reason::Rewritten,
                    "2020:03:02 00:30:15"};
    link.viaLink = true;
    rows.push_back(link);
    // A dry run checks everything, here on a file to be laid out again, and writes nothing.
    for (const bool elsewhere : {false, true}) {
        RewriteRow dry{elsewhere ? "dry_run_elsewhere" : "dry_run",
                       Fixture::JpegOriginalOnly,
                       shiftBy(kDayAndHour),
                       Reason::WouldRewrite,
                       "2020:03:02 00:30:15",
                       elsewhere};
        dry.dryRun = true;
        rows.push_back(dry);
    }
    const auto patched = Layout::Patched;
    for (const RewriteRow& row :
         {containerRow("jpeg_xmp_before_exif", Container::JpegXmpFirst, true, patched, Decoder::Identify),
          containerRow("jpeg_two_exif_segments", Container::JpegTwoExif, true, patched, Decoder::Identify),
          containerRow("dng", Container::Dng, true, patched, Decoder::IdentifyAsTiff),
          containerRow("png_exif_after_idat", Container::PngExifAfterIdat, true, patched, Decoder::Identify),
          containerRow("heic_base_offsets", Container::HeicBaseOffsets, true, patched, Decoder::Identify, true),
          containerRow("heic_plain_offsets", Container::HeicPlainOffsets, true, patched, Decoder::Identify),
          containerRow("heic_exif_in_two_extents", Container::HeicSplitExif, true, patched, Decoder::Identify, true),
          containerRow("avif", Container::Avif, true, patched, Decoder::Avifdec),
          containerRow("jpeg_xl_exif_box", Container::JpegXl, true, patched, Decoder::Djxl),
          containerRow("raf", Container::Raf, true, patched, Decoder::None, true),
          containerRow("jpeg_no_digitized", Container::JpegXmpFirst, false, Layout::LaidOut, Decoder::Identify),
          containerRow("dng_no_digitized", Container::Dng, false, Layout::Appended, Decoder::IdentifyAsTiff),
          // PNG: Exiv2 would turn eXIf into a text chunk, so only the block is
          // laid out again and goes back into its chunk, where it was.
          containerRow("png_after_idat_no_digitized", Container::PngExifAfterIdat, false, Layout::LaidOut,
                       Decoder::Identify),
          containerRow("heic_no_digitized", Container::HeicBaseOffsets, false, {}, Decoder::Identify, true),
          containerRow("heic_two_extents_no_digitized", Container::HeicSplitExif, false, {}, Decoder::Identify, true),
          containerRow("avif_no_digitized", Container::Avif, false, {}, Decoder::Avifdec),
          containerRow("jpeg_xl_no_digitized", Container::JpegXl, false, {}, Decoder::Djxl),
          containerRow("raf_no_digitized", Container::Raf, false, {}, Decoder::None, true)})
        rows.push_back(row);
    return rows;
}

class RewriteFixtureTest : public ::testing::TestWithParam<RewriteRow> {};

TEST_P(RewriteFixtureTest, RewritesInPlaceOrLeavesTheFileAlone)
{
    const RewriteRow& row = GetParam();
    std::vector<std::string> tools = kTools;
    tools.push_back(decoderTool(row.decoder));
    if (row.container)
        for (const auto& tool : makerTools(*row.container))
            tools.push_back(tool);
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
    copyFile(path, original);
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
    if (!storedDate.empty() && row.expected != Reason::NotAnImage) {
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

INSTANTIATE_TEST_SUITE_P(Fixtures, RewriteFixtureTest, ::testing::ValuesIn(rewriteRows()),
                         [](const ::testing::TestParamInfo<RewriteRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A whole run over a folder with everything a real folder may hold.

// A run that never finishes fails instead of hanging the suite; a run stuck
// on the FIFO is set free by opening its other end.
RunSummary runWithin(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks,
                     const std::string& fifo = {})
{
    auto run = std::async(std::launch::async, [&] { return runBatch(settings, stop, callbacks); });
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the run blocked";
        if (!fifo.empty()) {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            if (fd >= 0)
                ::close(fd);
        }
    }
    return run.get();
}

struct RunRecord {
    std::size_t targetCount = 0;
    std::vector<FileReport> files;
    std::vector<std::pair<int, std::string>> progress;

    RunCallbacks callbacks()
    {
        RunCallbacks callbacks;
        callbacks.onTargets = [this](std::size_t count) { targetCount = count; };
        callbacks.onFile = [this](const FileReport& report) { files.push_back(report); };
        callbacks.onProgress = [this](int count, const std::string& name) { progress.emplace_back(count, name); };
        return callbacks;
    }

    // Each reported file as its path below `input` and its reason's key, in report order.
    std::vector<std::pair<std::string, std::string>> reasonsBelow(const std::string& input) const
    {
        std::vector<std::pair<std::string, std::string>> reasons;
        for (const auto& file : files)
            reasons.emplace_back(file.inPath.substr(input.size() + 1), std::string(reasonKey(file.reason)));
        return reasons;
    }
};

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class BatchRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_TOOLS(kTools);
        for (const char* folder : {"input", "input/sub", "input/sub2", "input/empty", "output", "elsewhere", "make"})
            fs::create_directory(temp_ / folder);
        const std::string bigEndian = made(Fixture::JpegBigEndian, temp_ / "make");
        const std::string littleEndian = made(Fixture::JpegLittleEndian, temp_ / "make");
        ASSERT_FALSE(bigEndian.empty() || littleEndian.empty());
        copyFile(bigEndian, input_ + "/a.jpg");
        copyFile(bigEndian, input_ + "/sub/b.jpg");
        copyFile(littleEndian, input_ + "/sub2/a.jpg"); // same name as a.jpg, other content
        copyFile(littleEndian, temp_ / "elsewhere/c.jpg");
        copyFile(bigEndian, temp_ / "elsewhere/in-linked-folder.jpg");
        writeBytes(input_ + "/not-an-image.txt", Bytes{'h', 'i', '\n'});
        ASSERT_EQ(::mkfifo((input_ + "/fifo").c_str(), 0644), 0);
        fs::create_symlink("../nowhere.jpg", input_ + "/dangling.jpg");
        fs::create_symlink(temp_ / "elsewhere/c.jpg", input_ + "/outside.jpg");
        fs::create_symlink(temp_ / "elsewhere", input_ + "/linked-folder");
        fs::remove_all(temp_ / "make");
        snapshot_ = contentsBelow(temp_.path());
    }

    // Every regular file below `folder` (following no links) with its bytes.
    static std::map<std::string, Bytes> contentsBelow(const std::string& folder)
    {
        std::map<std::string, Bytes> contents;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file() && !entry.is_symlink())
                contents[entry.path().string()] = readBytes(entry.path().string());
        return contents;
    }

    // The bytes the engine makes of `input` with `args`.
    static Bytes rewritten(const std::string& input, const DateArguments& args)
    {
        return rewriteExifDates(readBytes(input), args).bytes;
    }

    RunSettings settings(bool subfolders, std::optional<std::string> output) const
    {
        RunSettings s;
        s.inputPath = input_;
        s.subfolders = subfolders;
        s.outputFolder = std::move(output);
        s.dates = shiftBy(kDayAndHour);
        return s;
    }

    TempFolder temp_;
    std::string input_ = temp_ / "input";
    std::string output_ = temp_ / "output";
    std::map<std::string, Bytes> snapshot_;
};

TEST_F(BatchRunTest, DeepRunIntoAnOutputFolderWritesFlatAndNumbersClashingNames)
{
    RunRecord record;
    const std::atomic<bool> stop{false};
    const RunSummary summary = runWithin(settings(true, output_), stop, record.callbacks(), input_ + "/fifo");

    EXPECT_EQ(summary.rewritten, 3);
    EXPECT_EQ(summary.passedOver, 4);
    EXPECT_FALSE(summary.stopped);
    EXPECT_TRUE(summary.listingProblems.empty());
    EXPECT_EQ(record.targetCount, 7u);

    // Folders (empty, linked or not) are never reported; the rest in path order.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a.jpg", "rewritten"},          {"dangling.jpg", "dangling-link"},
        {"fifo", "not-regular-file"},    {"not-an-image.txt", "not-an-image"},
        {"outside.jpg", "link-outside"}, {"sub/b.jpg", "rewritten"},
        {"sub2/a.jpg", "rewritten"},
    };
    EXPECT_EQ(record.reasonsBelow(input_), expected);
    for (std::size_t i = 0; i < record.files.size(); ++i)
        EXPECT_EQ(record.files[i].index, i + 1);

    ASSERT_EQ(record.files.size(), 7u);
    EXPECT_EQ(record.files[6].outPath, output_ + "/a (2).jpg");
    EXPECT_TRUE(record.files[6].renamed);
    EXPECT_FALSE(record.files[0].renamed);
    const std::vector<std::pair<int, std::string>> progress = {{1, "a.jpg"}, {2, "b.jpg"}, {3, "a.jpg"}};
    EXPECT_EQ(record.progress, progress);

    EXPECT_EQ(namesIn(output_), (std::set<std::string>{"a.jpg", "a (2).jpg", "b.jpg"}));
    const DateArguments args = shiftBy(kDayAndHour);
    EXPECT_TRUE(readBytes(output_ + "/a.jpg") == rewritten(input_ + "/a.jpg", args)) << "a.jpg";
    EXPECT_TRUE(readBytes(output_ + "/a (2).jpg") == rewritten(input_ + "/sub2/a.jpg", args)) << "sub2/a.jpg";
    EXPECT_TRUE(readBytes(output_ + "/b.jpg") == rewritten(input_ + "/sub/b.jpg", args)) << "sub/b.jpg";
    for (const char* name : {"a.jpg", "a (2).jpg", "b.jpg"})
        EXPECT_EQ(exiv2Dates(output_ + "/" + name)["Exif.Photo.DateTimeOriginal"], "2020:03:02 00:30:15") << name;

    // Nothing outside the output folder changed, links included.
    auto now = contentsBelow(temp_.path());
    for (auto it = now.begin(); it != now.end();)
        it = it->first.starts_with(output_ + "/") ? now.erase(it) : std::next(it);
    EXPECT_TRUE(now == snapshot_) << "an input or a file outside the run changed";
    EXPECT_TRUE(fs::is_symlink(input_ + "/outside.jpg"));
    EXPECT_EQ(leftoverTemporaryFiles(temp_.path()), std::vector<std::string>{});
}

TEST_F(BatchRunTest, OutputFolderEqualToTheInputNeverReplacesAnInput)
{
    const std::string flat = temp_ / "flat";
    fs::create_directory(flat);
    copyFile(input_ + "/a.jpg", flat + "/a.jpg");
    copyFile(input_ + "/sub2/a.jpg", flat + "/a (2).jpg");
    copyFile(input_ + "/sub/b.jpg", flat + "/b.jpg");
    const auto before = contentsBelow(flat);
    RunSettings s = settings(false, flat);
    s.inputPath = flat;
    RunRecord record;
    const std::atomic<bool> stop{false};

    const RunSummary summary = runWithin(s, stop, record.callbacks());

    EXPECT_EQ(summary.rewritten, 3);
    auto now = contentsBelow(flat);
    for (const auto& [path, bytes] : before)
        EXPECT_TRUE(now[path] == bytes) << path << " was replaced";
    EXPECT_EQ(namesIn(flat),
              (std::set<std::string>{"a.jpg", "a (2).jpg", "b.jpg", "a (2) (2).jpg", "a (3).jpg", "b (2).jpg"}));
    for (const auto& file : record.files)
        EXPECT_TRUE(file.renamed) << file.inPath;
    const DateArguments args = shiftBy(kDayAndHour);
    EXPECT_TRUE(now[flat + "/a (3).jpg"] == rewritten(flat + "/a.jpg", args));
    EXPECT_TRUE(now[flat + "/a (2) (2).jpg"] == rewritten(flat + "/a (2).jpg", args));
}

TEST_F(BatchRunTest, StopFlagSetBeforeTheStartRewritesNothing)
{
    RunRecord record;
    const std::atomic<bool> stop{true};
    const RunSummary summary = runWithin(settings(true, output_), stop, record.callbacks(), input_ + "/fifo");

    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.rewritten, 0);
    EXPECT_TRUE(record.files.empty());
    EXPECT_TRUE(record.progress.empty());
    EXPECT_TRUE(namesIn(output_).empty());
    EXPECT_TRUE(contentsBelow(temp_.path()) == snapshot_);
}

TEST_F(BatchRunTest, DryRunWritesNothing)
{
    const std::atomic<bool> stop{false};
    for (const bool intoOutput : {true, false}) {
        RunSettings s = settings(true, intoOutput ? std::optional<std::string>(output_) : std::nullopt);
        s.dryRun = true;
        RunRecord record;
        const RunSummary summary = runWithin(s, stop, record.callbacks(), input_ + "/fifo");

        EXPECT_EQ(summary.rewritten, 3) << "output folder: " << intoOutput;
        EXPECT_EQ(summary.passedOver, 4);
        EXPECT_EQ(record.progress.size(), 3u);
        // A dry run that failed every photo would also write nothing: the
        // photos must be the ones that would have been rewritten.
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"a.jpg", "would-rewrite"},           {"dangling.jpg", "dangling-link"}, {"fifo", "not-regular-file"},
            {"not-an-image.txt", "not-an-image"}, {"outside.jpg", "link-outside"},   {"sub/b.jpg", "would-rewrite"},
            {"sub2/a.jpg", "would-rewrite"},
        };
        EXPECT_EQ(record.reasonsBelow(input_), expected);
        EXPECT_TRUE(namesIn(output_).empty());
        EXPECT_TRUE(contentsBelow(temp_.path()) == snapshot_);
        EXPECT_EQ(leftoverTemporaryFiles(temp_.path()), std::vector<std::string>{});
    }
}

// Several inputs in one run share its output names: no file of the run
// replaces an input or an output of another input, and in place a file
// reached twice is rewritten once.
struct SeveralInputsRow {
    std::string name;
    std::vector<std::string> inputs; // below the test's folder
    bool intoOutput;
    std::vector<std::string> reports; // "input reason output", below the test's folder
};

void PrintTo(const SeveralInputsRow& row, std::ostream* out)
{
    *out << row.name;
}

class SeveralInputsTest : public BatchRunTest, public ::testing::WithParamInterface<SeveralInputsRow> {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // A photo already in the output folder: replaced, unless the run reads it too.
        copyFile(input_ + "/sub2/a.jpg", output_ + "/a.jpg");
        snapshot_ = contentsBelow(temp_.path());
    }
};

TEST_P(SeveralInputsTest, ShareTheOutputNames)
{
    const SeveralInputsRow& row = GetParam();
    RunSettings s = settings(false, row.intoOutput ? std::optional<std::string>(output_) : std::nullopt);
    s.inputPath = temp_ / row.inputs.front();
    for (std::size_t i = 1; i < row.inputs.size(); ++i)
        s.moreInputPaths.push_back(temp_ / row.inputs[i]);
    RunRecord record;
    const std::atomic<bool> stop{false};

    const RunSummary summary = runWithin(s, stop, record.callbacks());

    const std::size_t below = temp_.path().size() + 1;
    std::vector<std::string> reports;
    std::map<std::string, std::string> writtenFrom;
    for (const FileReport& file : record.files) {
        const bool success = isSuccess(file.reason);
        reports.push_back(file.inPath.substr(below) + " " + std::string(reasonKey(file.reason)) + " "
                          + (success ? file.outPath.substr(below) : "-"));
        if (success)
            writtenFrom[file.outPath] = file.inPath;
        EXPECT_EQ(file.index, reports.size());
    }
    EXPECT_EQ(reports, row.reports);
    EXPECT_EQ(record.targetCount, row.reports.size());
    EXPECT_EQ(std::size_t(summary.rewritten + summary.passedOver), row.reports.size());
    // Each output holds its own input rewritten once; every other file is as it was.
    const DateArguments args = shiftBy(kDayAndHour);
    for (const auto& [path, bytes] : contentsBelow(temp_.path())) {
        const auto from = writtenFrom.find(path);
        const Bytes expected =
            from == writtenFrom.end() ? snapshot_[path] : rewriteExifDates(snapshot_[from->second], args).bytes;
        EXPECT_TRUE(bytes == expected) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SeveralInputsTest,
    ::testing::Values(
        SeveralInputsRow{"SameNamesFromTwoInputs",
                         {"input/a.jpg", "input/sub2/a.jpg"},
                         true,
                         {"input/a.jpg rewritten output/a.jpg", "input/sub2/a.jpg rewritten output/a (2).jpg"}},
        // The first input's output must not land on a file the second input has yet to read.
        SeveralInputsRow{"OutputFolderIsALaterInput",
                         {"input/a.jpg", "output"},
                         true,
                         {"input/a.jpg rewritten output/a (2).jpg", "output/a.jpg rewritten output/a (3).jpg"}},
        SeveralInputsRow{"FolderAndAFileInItInPlace",
                         {"input/sub", "input/sub/b.jpg", "input/sub"},
                         false,
                         {"input/sub/b.jpg rewritten input/sub/b.jpg", "input/sub/b.jpg same-file-twice -",
                          "input/sub/b.jpg same-file-twice -"}}),
    [](const ::testing::TestParamInfo<SeveralInputsRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Refusing a run before anything is touched.

enum class PathKind { None, Empty, Missing, Folder, File, ReadOnlyFolder };

struct SettingsRow {
    std::string name;
    PathKind input;
    PathKind output;
    SettingsError expected;
};

void PrintTo(const SettingsRow& row, std::ostream* out)
{
    *out << row.name;
}

class CheckRunSettingsTest : public ::testing::TestWithParam<SettingsRow> {};

std::optional<std::string> pathOfKind(PathKind kind, const TempFolder& temp, const std::string& name)
{
    const std::string path = temp / name;
    switch (kind) {
    case PathKind::None: return std::nullopt;
    case PathKind::Empty: return std::string();
    case PathKind::Missing: return path;
    case PathKind::Folder: fs::create_directory(path); return path;
    case PathKind::File: writeBytes(path, Bytes{'x'}); return path;
    case PathKind::ReadOnlyFolder:
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
        return path;
    }
    return std::nullopt;
}

TEST_P(CheckRunSettingsTest, RefusesOnlyWhatCannotWork)
{
    const SettingsRow& row = GetParam();
    if ((row.input == PathKind::ReadOnlyFolder || row.output == PathKind::ReadOnlyFolder) && ::geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder: skipped";
    TempFolder temp;
    RunSettings settings;
    settings.inputPath = pathOfKind(row.input, temp, "input").value_or("");
    settings.outputFolder = pathOfKind(row.output, temp, "output");

    EXPECT_EQ(int(checkRunSettings(settings)), int(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CheckRunSettingsTest,
    ::testing::Values(SettingsRow{"input_missing", PathKind::Missing, PathKind::Folder, SettingsError::InputMissing},
                      SettingsRow{"input_empty", PathKind::Empty, PathKind::None, SettingsError::InputMissing},
                      SettingsRow{"output_missing", PathKind::Folder, PathKind::Missing, SettingsError::OutputMissing},
                      SettingsRow{"output_empty", PathKind::Folder, PathKind::Empty, SettingsError::OutputMissing},
                      SettingsRow{"output_is_a_file", PathKind::Folder, PathKind::File, SettingsError::OutputNotFolder},
                      SettingsRow{"output_not_writable", PathKind::Folder, PathKind::ReadOnlyFolder,
                                  SettingsError::OutputNotWritable},
                      SettingsRow{"folder_in_place", PathKind::Folder, PathKind::None, SettingsError::None},
                      SettingsRow{"folder_into_output", PathKind::Folder, PathKind::Folder, SettingsError::None},
                      SettingsRow{"file_into_output", PathKind::File, PathKind::Folder, SettingsError::None}),
    [](const ::testing::TestParamInfo<SettingsRow>& info) { return info.param.name; });

} // namespace
} // namespace shotdate
