// With every copy of the date, a photo's sidecars move with it, each date in
// its own form; without it, they are left exactly as they were. A photo
// whose XMP packet has no room passes over with its sidecar.
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

DateArguments moveAll(bool allDates = true, bool zone = true)
{
    DateArguments args{.mode = int(DateMode::Shift), .shiftSeconds = 86400 + 3600, .allDates = allDates};
    if (zone)
        args.zoneMinutes = 9 * 60;
    return args;
}

RunSummary run(const std::string& input, const DateArguments& args, std::optional<std::string> output = {},
               const RunCallbacks& callbacks = {})
{
    RunSettings settings;
    settings.inputPath = input;
    settings.outputFolder = std::move(output);
    settings.dates = args;
    std::atomic<bool> stop{false};
    return runBatch(settings, stop, callbacks);
}

Bytes sidecarBytes(const std::string& date)
{
    const std::string text = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                             "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                             "<rdf:Description rdf:about='' xmlns:xap='http://ns.adobe.com/xap/1.0/' xap:CreateDate='"
        + date + "'/></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>";
    return Bytes(text.begin(), text.end());
}

// A packet without padding cannot take a longer zone: the photo and its
// sidecar stay exactly as they were.
TEST(XmpInPhoto, APacketWithoutRoomPassesThePhotoOverWithItsSidecar)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
    TempFolder folder;
    const MadeFixture fixture = makeFixture(Fixture::JpegLittleEndian, folder.path());
    ASSERT_TRUE(fixture.error.empty()) << fixture.error;
    std::string error;
    ASSERT_TRUE(runStep(
        exiftoolWrite({"-api", "Compact=NoPadding", "-XMP-xmp:CreateDate=2020:02:29 23:30:15Z"}, fixture.path), error))
        << error;
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
    RunCallbacks callbacks;
    callbacks.onFile = [&](const FileReport& report) { reports.push_back(report); };
    run(in_.path(), moveAll(), {}, callbacks);

    expectSidecar(in_ / "IMG_1.xmp", "2020-03-02T00:30:15+09:00"); // once, not twice
    expectSidecar(in_ / "IMG_1.JPG.XMP", "2020-03-02T00:30:15+09:00");
    expectSidecar(in_ / "IMG_9.xmp", "2020-02-29T23:30:15+02:00"); // no photo of the run
    EXPECT_TRUE(sameTime(statOf(in_ / "IMG_1.xmp").st_mtim, kMtime));
    // Each sidecar's change is reported once, with the photo that took it along.
    std::vector<std::string> names;
    for (const FileReport& report : reports)
        for (const DateChange& change : report.changes)
            if (change.name.ends_with(")")) // a sidecar's
                names.push_back(fs::path(report.inPath).filename().string() + ": " + change.name);
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
