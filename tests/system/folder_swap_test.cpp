// A run touches only the folders it was given, even when a neighbour on a
// shared folder swaps a folder or a file for a symbolic link mid-run, or a
// folder is removed or fails: each such moment is set off at one exact
// system call of the run (tests/system/failing_sys_ops.h). Then photos
// reached twice through links, and more folders than descriptors.

#include "failing_sys_ops.h"
#include "open_descriptors.h"
#include "rewrite/date_rewrite.h"
#include "run_outcome.h"
#include "tiff_builder.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <filesystem>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

constexpr int kPhotos = 20;
constexpr const char* kOldDate = "2016:09:28 18:18:05";
constexpr const char* kNewDate = "2016:09:28 19:18:05";
const fixtures::Bytes kPhoto = jpegWith(exifTiff(kOldDate, kOldDate));

enum class Act { SwapOutputForLink, SwapSubfolderForLink, SwapFileForDeviceLink, RemoveSubfolder, FailWithIoError };

struct SwapCase {
    const char* name;
    bool toOutputFolder;
    const char* trigger; // the first lookup of this name sets the act off
    Act act;
    int rewritten;
    Reason otherReason; // what the rest are reported as
    const char* resultFolder; // where the rewritten photos are afterwards
    bool listingProblem = false;
};

std::string photoName(int i)
{
    return (i < 10 ? "s0" : "s") + std::to_string(i) + ".jpg";
}

std::string dateOf(const fs::path& path)
{
    return rewriteExifDates(fixtures::readBytes(path), DateArguments{99, {}, 0}).oldDate;
}

class FolderSwapTest : public testing::TestWithParam<SwapCase> {
protected:
    // in/sub holds the photos; elsewhere/ holds files of the same names, a
    // neighbour's, which no run over in/ may touch.
    FolderSwapTest()
    {
        fs::create_directories(root_ / "in/sub");
        fs::create_directories(root_ / "out");
        fs::create_directories(root_ / "elsewhere");
        for (int i = 1; i <= kPhotos; ++i) {
            fixtures::writeBytes(root_ / "in/sub" / photoName(i), kPhoto);
            fixtures::writeBytes(root_ / "elsewhere" / photoName(i), kPhoto);
        }
    }
    void act(Act what)
    {
        const fs::path sub = root_ / "in/sub";
        switch (what) {
        case Act::SwapOutputForLink:
            fs::rename(root_ / "out", root_ / "out-moved");
            fs::create_directory_symlink(root_ / "elsewhere", root_ / "out");
            break;
        case Act::SwapSubfolderForLink:
            fs::rename(sub, root_ / "in/sub-moved");
            fs::create_directory_symlink("../elsewhere", sub);
            break;
        case Act::SwapFileForDeviceLink:
            fs::remove(sub / photoName(2));
            fs::create_symlink("/dev/zero", sub / photoName(2));
            break;
        case Act::RemoveSubfolder: fs::remove_all(sub); break;
        case Act::FailWithIoError: break;
        }
    }
    fixtures::TempFolder folder_;
    fs::path root_ = folder_.path();
};

TEST_P(FolderSwapTest, NothingOutsideTheGivenFoldersIsWritten)
{
    const SwapCase& row = GetParam();
    RunSettings settings;
    settings.inputPath = root_ / "in";
    settings.subfolders = true;
    if (row.toOutputFolder)
        settings.outputFolder = root_ / "out";
    settings.dates = kOneHourLater;
    ASSERT_EQ(checkAndNoteRunSettings(settings), SettingsError::None);
    bool fired = false;
    int readOpensAfter = 0; // opens of the trigger's name for reading once the act is done
    RunSummary summary;
    {
        FailingSysOps hook([&](int, const char* path, int flags) {
            if (fs::path(path).filename() != row.trigger)
                return 0;
            const bool first = !fired;
            if (first)
                act(row.act);
            fired = true;
            readOpensAfter += (flags & O_PATH) == 0 ? 1 : 0;
            return first && row.act == Act::FailWithIoError ? EIO : 0;
        });
        std::atomic<bool> stop{false};
        summary = runBatch(settings, stop);
    }
    ASSERT_TRUE(fired);
    int shifted = 0;
    for (int i = 1; i <= kPhotos; ++i) {
        EXPECT_EQ(fixtures::readBytes(root_ / "elsewhere" / photoName(i)), kPhoto) << "written outside";
        const fs::path path = root_ / row.resultFolder / photoName(i);
        shifted += fs::is_regular_file(fs::symlink_status(path)) && dateOf(path) == kNewDate ? 1 : 0;
    }
    EXPECT_EQ(summary.rewritten, row.rewritten);
    EXPECT_EQ(shifted, row.rewritten) << "in " << row.resultFolder;
    for (const FileReport& report : summary.passedOverFiles)
        EXPECT_EQ(report.reason, row.otherReason) << report.inPath << ": " << reasonKey(report.reason);
    EXPECT_EQ(summary.rewritten + int(summary.passedOverFiles.size()), row.listingProblem ? 0 : kPhotos);
    EXPECT_EQ(!summary.listingProblems.empty(), row.listingProblem);
    if (row.act == Act::SwapFileForDeviceLink) {
        EXPECT_EQ(readOpensAfter, 0) << "the device was opened for reading";
    }
}

using enum Act;
constexpr Reason kNone{};

const SwapCase kSwaps[] = {
    // Renamed and replaced by a link after the first file: the files follow
    // the folder the run holds, none goes to the link's target.
    {"output_folder_swapped_for_a_link", true, "s02.jpg", SwapOutputForLink, kPhotos, kNone, "out-moved"},
    {"subfolder_swapped_for_a_link_in_place", false, "s02.jpg", SwapSubfolderForLink, kPhotos, kNone, "in/sub-moved"},
    {"subfolder_swapped_for_a_link_to_an_output_folder", true, "s02.jpg", SwapSubfolderForLink, kPhotos, kNone, "out"},
    // Seen as a folder, a link by the time it is opened: not walked.
    {"subfolder_swapped_while_listed", false, "sub", SwapSubfolderForLink, 0, kNone, "in/sub-moved", true},
    // A file turned into a link to a device after listing is never opened for reading.
    {"file_swapped_for_a_device_link", false, "s02.jpg", SwapFileForDeviceLink, kPhotos - 1, Reason::NotRegularFile,
     "in/sub"},
    {"subfolder_removed", true, "s05.jpg", RemoveSubfolder, 4, Reason::FolderGone, "out"},
    {"subfolder_failing", false, "s05.jpg", FailWithIoError, 4, Reason::FolderGone, "in/sub"},
};

INSTANTIATE_TEST_SUITE_P(Moments, FolderSwapTest, testing::ValuesIn(kSwaps), kRowName);

// Ten thousand folders under the default limit of 1024 descriptors: the
// same, scaled down to a lower limit.
TEST(HeldFolders, ARunOverMoreFoldersThanDescriptorsFinishes)
{
    constexpr int kFolders = 600;
    fixtures::TempFolder folder;
    const fs::path root = folder.path();
    for (int i = 0; i < kFolders; ++i) {
        fs::create_directory(root / ("d" + std::to_string(1000 + i)));
        fixtures::writeBytes(root / ("d" + std::to_string(1000 + i)) / "p.jpg", kPhoto);
    }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit lower{400, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lower), 0);
    const int before = fixtures::openDescriptorCount();
    const RunSummary summary = runOver(root.string(), std::nullopt, true).summary;
    const int after = fixtures::openDescriptorCount();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(summary.rewritten, kFolders);
    EXPECT_EQ(after, before) << "descriptors left open";
    EXPECT_EQ(dateOf(root / "d1599/p.jpg"), kNewDate);
}

// A photo reached twice in place, by name and through a symbolic link
// batches apart, moves once; a hard-linked name is rewritten on its own.
TEST(InPlaceLinks, ASymlinkedPhotoMovesOnceEvenAcrossBatches)
{
    fixtures::TempFolder folder;
    const fs::path root = folder.path();
    fixtures::writeBytes(root / "a.jpg", kPhoto);
    fs::create_hard_link(root / "a.jpg", root / "b.jpg");
    for (int i = 0; i < 80; ++i)
        fixtures::writeBytes(root / ("m" + std::to_string(100 + i) + ".jpg"), kPhoto);
    fs::create_symlink("a.jpg", root / "z.jpg");
    const RunSummary summary = runOver(root.string()).summary;
    EXPECT_EQ(summary.rewritten, 82);
    EXPECT_EQ(dateOf(root / "a.jpg"), kNewDate);
    EXPECT_EQ(dateOf(root / "b.jpg"), kNewDate);
    EXPECT_TRUE(fs::is_symlink(root / "z.jpg"));
    ASSERT_EQ(summary.passedOverFiles.size(), 1u);
    EXPECT_EQ(summary.passedOverFiles[0].reason, Reason::SameFileTwice);
    EXPECT_EQ(summary.passedOverFiles[0].inPath, (root / "z.jpg").string());
}

} // namespace
} // namespace shotdate
