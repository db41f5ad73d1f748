// Cleaning up after a killed run removes our unfinished copies and nothing
// else: not a look-alike name, not a link, not a folder, not a photo.
#include "io/temporary_cleanup.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace shotdate;

namespace {

class CleanupFolder : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(root_ / "sub"); }

    void touch(const fs::path& path) { std::ofstream(path) << "x"; }

    fixtures::TempFolder folder_;
    fs::path root_ = folder_.path();
};

TEST_F(CleanupFolder, RemovesOnlyOurUnfinishedFiles)
{
    const std::string ours = ".shotdate-0123456789abcdef.tmp";
    touch(root_ / ours);
    touch(root_ / "sub" / ".shotdate-fedcba9876543210.tmp");
    touch(root_ / "IMG_0001.JPG");
    touch(root_ / ".shotdate-0123456789ABCDEF.tmp"); // upper-case hex: not a name we make
    touch(root_ / ".shotdate-0123456789abcde.tmp"); // one digit short
    touch(root_ / "shotdate-0123456789abcdef.tmp"); // not hidden
    touch(root_ / ".shotdate-0123456789abcdeg.tmp");
    touch(root_ / ".shotdate-0123456789abcdef.TMP");
    fs::create_directory(root_ / ".shotdate-1111111111111111.tmp");
    fs::create_symlink(root_ / "IMG_0001.JPG", root_ / ".shotdate-2222222222222222.tmp");

    const CleanupReport flat = removeOurTemporaryFiles(root_.string(), false);
    EXPECT_EQ(flat.removed.size(), 1u);
    EXPECT_TRUE(flat.problems.empty());
    EXPECT_FALSE(fs::exists(root_ / ours));
    EXPECT_TRUE(fs::exists(root_ / "sub" / ".shotdate-fedcba9876543210.tmp")) << "not below without subfolders";
    for (const char* kept : {"IMG_0001.JPG", ".shotdate-0123456789ABCDEF.tmp", ".shotdate-0123456789abcde.tmp",
                             "shotdate-0123456789abcdef.tmp", ".shotdate-0123456789abcdeg.tmp",
                             ".shotdate-0123456789abcdef.TMP", ".shotdate-1111111111111111.tmp"})
        EXPECT_TRUE(fs::exists(root_ / kept)) << kept;
    EXPECT_TRUE(fs::is_symlink(root_ / ".shotdate-2222222222222222.tmp"));

    const CleanupReport deep = removeOurTemporaryFiles(root_.string(), true);
    EXPECT_EQ(deep.removed.size(), 1u);
    EXPECT_FALSE(fs::exists(root_ / "sub" / ".shotdate-fedcba9876543210.tmp"));
}

TEST_F(CleanupFolder, ReportsAFolderThatCannotBeRead)
{
    const CleanupReport report = removeOurTemporaryFiles((root_ / "missing").string(), true);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].error, ENOENT);
}

} // namespace
