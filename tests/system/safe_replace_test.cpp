// The safe write path on its own: what the new file carries over, where its
// temporary lies, the two phases and their hand-overs. Failing system calls
// are in rewrite_failure_test.cpp, in one table with whole runs.

#include "io/safe_replace.h"

#include "failing_sys_ops.h"
#include "file_bytes.h"
#include "file_times.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iterator>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

Bytes patternBytes(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return bytes;
}

// A photo in its own folder, with owner, permissions and times worth keeping.
class SafeReplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(target, oldBytes));
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        setTimes(target, kAtime, kMtime);
        original = lstatOf(target);
    }

    // No temporary or other leftover beside it.
    void expectOnlyTargetInFolder()
    {
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    }
    TempFolder folder;
    std::string target = folder / "photo.jpg";
    Bytes oldBytes = patternBytes(3000, 1);
    Bytes newBytes = patternBytes(10000, 7);
    struct stat original {};
};

// --- success ---------------------------------------------------------------

class KeptAttributesTest : public SafeReplaceTest, public ::testing::WithParamInterface<mode_t> {};

TEST_P(KeptAttributesTest, ReplacesContentAndKeepsOwnerPermissionsAndTimes)
{
    // Only root can hand a file to someone else; then prove the owner is carried over.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), GetParam()), 0); // chown cleared the set-id bits
    setTimes(target, kAtime, kMtime);
    const struct stat before = lstatOf(target);
    ASSERT_FALSE(replaceFile(target, newBytes, before));
    const struct stat after = lstatOf(target);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file must have been replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, GetParam());
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_TRUE(sameTime(after.st_mtim, kMtime)) << after.st_mtim.tv_sec << "." << after.st_mtim.tv_nsec;
    EXPECT_TRUE(sameTime(after.st_atim, kAtime)) << after.st_atim.tv_sec << "." << after.st_atim.tv_nsec;
    EXPECT_EQ(readBytes(target), newBytes);
    expectOnlyTargetInFolder();
}

// Read-only, private and executable files, set-user-ID and set-group-ID ones.
const mode_t kModes[] = {0640, 0755, 0600, 0444, 04750, 02755};
const char* const kModeNames[] = {"owner_rw_group_r", "executable",  "private",
                                  "read_only",        "set_user_id", "set_group_id"};
INSTANTIATE_TEST_SUITE_P(Modes, KeptAttributesTest, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(kModeNames[info.index]); });

TEST_F(SafeReplaceTest, CopiesExtendedAttributesFromTheSource)
{
    const char value[] = "kept";
    if (::setxattr(target.c_str(), "user.shotdate.test", value, sizeof value, 0) != 0)
        GTEST_SKIP() << "this file system has no user extended attributes (errno " << errno << ")";
    const int source = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(source, 0);
    const ReplaceError error = replaceFile(target, newBytes, original, source);
    ::close(source);
    ASSERT_FALSE(error);
    char copied[16] = {};
    ASSERT_EQ(::getxattr(target.c_str(), "user.shotdate.test", copied, sizeof copied),
              static_cast<ssize_t>(sizeof value));
    EXPECT_STREQ(copied, value);
    EXPECT_TRUE(sameTime(lstatOf(target).st_mtim, kMtime)) << "copying attributes must not move the time";
}

// Paths as a user types them, resolved against the working folder.
TEST_F(SafeReplaceTest, PutsTheTemporaryBesideTheTarget)
{
    ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0755), 0);
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(folder.path().c_str()), 0);
    for (const std::string path : {"photo.jpg", "./photo.jpg", "sub/photo.jpg", "sub//photo.jpg", "sub/../photo.jpg"}) {
        SCOPED_TRACE(path);
        const Bytes bytes = patternBytes(100 + path.size(), 3);
        PreparedReplacement prepared;
        ASSERT_FALSE(prepareReplacement(path, bytes, original, prepared));
        const fs::path temporary = prepared.temporaryPath();
        EXPECT_TRUE(isOurTemporaryName(temporary.filename().string())) << temporary;
        EXPECT_TRUE(fs::equivalent(temporary.parent_path().empty() ? "." : temporary.parent_path(),
                                   fs::path(path).parent_path().empty() ? "." : fs::path(path).parent_path()))
            << temporary;
        EXPECT_EQ(readBytes(temporary), bytes);
        EXPECT_EQ(prepared.targetPath(), path);
        ASSERT_FALSE(prepared.commit());
        EXPECT_EQ(readBytes(path), bytes);
        EXPECT_FALSE(fs::exists(temporary));
    }
    ASSERT_EQ(::chdir(cwd), 0);
}

// A file already at a temporary's name (another run's, or one planted
// there) is neither opened nor overwritten: a fresh name is drawn.
TEST_F(SafeReplaceTest, AFileAtTheTemporarysNameIsLeftAlone)
{
    std::string planted;
    {
        FailingSysOps plant([&](int dirfd, const char* name, int) {
            if (planted.empty() && isOurTemporaryName(name)) {
                planted = name;
                const int fd = ::openat(dirfd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                EXPECT_EQ(::write(fd, "theirs", 6), 6);
                ::close(fd);
            }
            return 0;
        });
        ASSERT_FALSE(replaceFile(target, newBytes, original));
    }
    EXPECT_EQ(readBytes(target), newBytes);
    EXPECT_EQ(readBytes(folder / planted), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
}

} // namespace
} // namespace shotdate
