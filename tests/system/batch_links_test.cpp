// In place, a photo reached twice (once by name, once through a symbolic
// link) has its date moved once, however far apart the two entries lie.
#include "file_bytes.h"
#include "rewrite/date_rewrite.h"
#include "run/batch_run.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

class InPlaceLinks : public testing::Test {
protected:
    void writePhoto(const fs::path& path)
    {
        fixtures::writeBytes(path, jpegWith(exifTiff("2016:09:28 18:18:05", "2016:09:28 18:18:05")));
    }

    std::string dateOf(const fs::path& path)
    {
        return rewriteExifDates(fixtures::readBytes(path), DateArguments{99, {}, 0}).oldDate;
    }

    RunSummary shiftOneHour()
    {
        RunSettings settings;
        settings.inputPath = root_.string();
        settings.dates = DateArguments{99, {}, 3600};
        std::atomic<bool> stop{false};
        return runBatch(settings, stop);
    }

    fixtures::TempFolder folder_;
    fs::path root_ = folder_.path();
};

TEST_F(InPlaceLinks, ASymlinkedPhotoMovesOnceEvenAcrossBatches)
{
    writePhoto(root_ / "a.jpg");
    // Enough photos between the two entries to put them in different batches.
    for (int i = 0; i < 80; ++i)
        writePhoto(root_ / ("m" + std::to_string(100 + i) + ".jpg"));
    fs::create_symlink("a.jpg", root_ / "z.jpg");

    const RunSummary summary = shiftOneHour();
    EXPECT_EQ(dateOf(root_ / "a.jpg"), "2016:09:28 19:18:05");
    EXPECT_TRUE(fs::is_symlink(root_ / "z.jpg"));
    EXPECT_EQ(summary.rewritten, 81);
    ASSERT_EQ(summary.passedOverFiles.size(), 1u);
    EXPECT_EQ(summary.passedOverFiles[0].reason, Reason::SameFileTwice);
    EXPECT_EQ(summary.passedOverFiles[0].inPath, (root_ / "z.jpg").string());
}

TEST_F(InPlaceLinks, AHardLinkedNameIsRewrittenOnItsOwn)
{
    writePhoto(root_ / "a.jpg");
    fs::create_hard_link(root_ / "a.jpg", root_ / "b.jpg");

    const RunSummary summary = shiftOneHour();
    EXPECT_EQ(summary.rewritten, 2);
    EXPECT_EQ(dateOf(root_ / "a.jpg"), "2016:09:28 19:18:05");
    EXPECT_EQ(dateOf(root_ / "b.jpg"), "2016:09:28 19:18:05");
}

} // namespace
