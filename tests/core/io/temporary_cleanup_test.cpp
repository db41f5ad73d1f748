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

TEST(Cleanup, RemovesOnlyOurUnfinishedFiles)
{
    const fixtures::TempFolder folder;
    const fs::path root = folder.path();
    const fs::path ours = root / ".shotdate-0123456789abcdef.tmp";
    const fs::path below = root / "sub/.shotdate-fedcba9876543210.tmp";
    const char* const kept[] = {"IMG_0001.JPG",
                                ".shotdate-0123456789ABCDEF.tmp", // upper-case hex: not a name we make
                                ".shotdate-0123456789abcde.tmp", // one digit short
                                "shotdate-0123456789abcdef.tmp", // not hidden
                                ".shotdate-0123456789abcdeg.tmp",
                                ".shotdate-0123456789abcdef.TMP"};
    fs::create_directories(root / "sub");
    for (const fs::path& path : {ours, below})
        std::ofstream(path) << "x";
    for (const char* name : kept)
        std::ofstream(root / name) << "x";
    fs::create_directory(root / ".shotdate-1111111111111111.tmp");
    fs::create_symlink(root / "IMG_0001.JPG", root / ".shotdate-2222222222222222.tmp");

    const CleanupReport flat = removeOurTemporaryFiles(root.string(), false);
    EXPECT_EQ(flat.removed.size(), 1u);
    EXPECT_TRUE(flat.problems.empty());
    EXPECT_FALSE(fs::exists(ours));
    EXPECT_TRUE(fs::exists(below)) << "not below without subfolders";
    for (const char* name : kept)
        EXPECT_TRUE(fs::exists(root / name)) << name;
    EXPECT_TRUE(fs::is_directory(root / ".shotdate-1111111111111111.tmp"));
    EXPECT_TRUE(fs::is_symlink(root / ".shotdate-2222222222222222.tmp"));

    EXPECT_EQ(removeOurTemporaryFiles(root.string(), true).removed.size(), 1u);
    EXPECT_FALSE(fs::exists(below));
    const CleanupReport missing = removeOurTemporaryFiles((root / "missing").string(), true);
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_EQ(missing.problems[0].error, ENOENT);
}

} // namespace
