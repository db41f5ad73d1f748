#include "io/safe_replace.h"

#include "failing_sys_ops.h"
#include "file_bytes.h"
#include "file_times.h"
#include "io/sys_ops.h"
#include "open_descriptors.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

std::set<std::string> entriesOf(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

int countOurTemporaries(const std::string& folder)
{
    int count = 0;
    for (const std::string& name : entriesOf(folder))
        count += isOurTemporaryName(name) ? 1 : 0;
    return count;
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

    // The target must be exactly as before: same file, same bytes, same time.
    void expectTargetUntouched()
    {
        const struct stat now = lstatOf(target); // before reading, which may move the access time
        EXPECT_EQ(now.st_ino, original.st_ino);
        EXPECT_TRUE(sameTime(now.st_mtim, original.st_mtim));
        EXPECT_EQ(readBytes(target), oldBytes);
    }

    void expectOnlyTargetInFolder()
    {
        EXPECT_EQ(entriesOf(folder.path()), std::set<std::string>{"photo.jpg"});
        EXPECT_EQ(countOurTemporaries(folder.path()), 0);
    }

    TempFolder folder;
    std::string target = folder / "photo.jpg";
    Bytes oldBytes = patternBytes(3000, 1);
    Bytes newBytes = patternBytes(10000, 7); // several writes when they are limited to 1000 bytes
    struct stat original {};
};

// --- success ---------------------------------------------------------------

struct KeptAttributesCase {
    const char* name;
    mode_t mode;
};

void PrintTo(const KeptAttributesCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeptAttributesTest : public SafeReplaceTest, public ::testing::WithParamInterface<KeptAttributesCase> {};

TEST_P(KeptAttributesTest, ReplacesContentAndKeepsOwnerPermissionsAndTimes)
{
    // Only root can hand a file to someone else; then prove the owner is carried over.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), GetParam().mode), 0); // chown cleared the set-id bits
    setTimes(target, kAtime, kMtime);
    const struct stat before = lstatOf(target);

    ASSERT_FALSE(replaceFile(target, newBytes, before));

    const struct stat after = lstatOf(target);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file must have been replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, GetParam().mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_TRUE(sameTime(after.st_mtim, kMtime)) << after.st_mtim.tv_sec << "." << after.st_mtim.tv_nsec;
    EXPECT_TRUE(sameTime(after.st_atim, kAtime)) << after.st_atim.tv_sec << "." << after.st_atim.tv_nsec;
    EXPECT_EQ(readBytes(target), newBytes);
    expectOnlyTargetInFolder();
}

INSTANTIATE_TEST_SUITE_P(Modes, KeptAttributesTest,
                         ::testing::Values(KeptAttributesCase{"owner_rw_group_r", 0640},
                                           KeptAttributesCase{"executable", 0755}, KeptAttributesCase{"private", 0600},
                                           KeptAttributesCase{"read_only", 0444},
                                           KeptAttributesCase{"set_user_id", 04750},
                                           KeptAttributesCase{"set_group_id", 02755}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeReplaceTest, CreatesATargetThatDidNotExistYet)
{
    const std::string fresh = folder / "new.jpg";
    struct stat attributes = original;
    attributes.st_mode = S_IFREG | 0604;

    ASSERT_FALSE(replaceFile(fresh, newBytes, attributes));

    EXPECT_EQ(lstatOf(fresh).st_mode & 07777, 0604u);
    EXPECT_EQ(readBytes(fresh), newBytes);
    EXPECT_EQ(entriesOf(folder.path()), (std::set<std::string>{"new.jpg", "photo.jpg"}));
}

TEST_F(SafeReplaceTest, ReplacesASymbolicLinkItselfNotTheFileItPointsTo)
{
    // The rename acts on the name it is given. A caller that wants the file
    // behind a link rewritten resolves the link first and passes that path.
    const std::string link = folder / "link.jpg";
    ASSERT_EQ(::symlink("photo.jpg", link.c_str()), 0);

    ASSERT_FALSE(replaceFile(link, newBytes, original));

    EXPECT_TRUE(S_ISREG(lstatOf(link).st_mode));
    EXPECT_EQ(readBytes(link), newBytes);
    expectTargetUntouched();
}

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
struct PathFormCase {
    const char* name;
    const char* path; // relative to the test folder
};

void PrintTo(const PathFormCase& c, std::ostream* os)
{
    *os << c.name;
}

class PathFormTest : public SafeReplaceTest, public ::testing::WithParamInterface<PathFormCase> {
protected:
    void SetUp() override
    {
        SafeReplaceTest::SetUp();
        ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0755), 0);
        ASSERT_TRUE(writeBytes(folder / "sub/photo.jpg", oldBytes));
        char cwd[PATH_MAX];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        previousCwd = cwd;
        ASSERT_EQ(::chdir(folder.path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(::chdir(previousCwd.c_str()), 0); }

    std::string previousCwd;
};

TEST_P(PathFormTest, PutsTheTemporaryBesideTheTarget)
{
    const std::string path = GetParam().path;
    PreparedReplacement prepared;
    ASSERT_FALSE(prepareReplacement(path, newBytes, original, prepared));

    const fs::path temporary = prepared.temporaryPath();
    EXPECT_TRUE(isOurTemporaryName(temporary.filename().string())) << temporary;
    EXPECT_TRUE(fs::equivalent(temporary.parent_path().empty() ? "." : temporary.parent_path(),
                               fs::path(path).parent_path().empty() ? "." : fs::path(path).parent_path()))
        << temporary;
    EXPECT_EQ(readBytes(temporary), newBytes);
    EXPECT_EQ(prepared.targetPath(), path);

    ASSERT_FALSE(prepared.commit());
    EXPECT_EQ(readBytes(path), newBytes);
    EXPECT_FALSE(fs::exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(Forms, PathFormTest,
                         ::testing::Values(PathFormCase{"bare_name", "photo.jpg"},
                                           PathFormCase{"dot_slash", "./photo.jpg"},
                                           PathFormCase{"sub_folder", "sub/photo.jpg"},
                                           PathFormCase{"doubled_slash", "sub//photo.jpg"},
                                           PathFormCase{"dot_dot", "sub/../photo.jpg"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the two phases ----------------------------------------------------------

TEST_F(SafeReplaceTest, PreparedFileIsCompleteWhileTheTargetIsStillUntouched)
{
    PreparedReplacement prepared;
    ASSERT_FALSE(prepareReplacement(target, newBytes, original, prepared));
    ASSERT_TRUE(prepared.active());

    const struct stat temporary = lstatOf(prepared.temporaryPath());
    EXPECT_EQ(temporary.st_mode & 07777, 0640u);
    EXPECT_TRUE(sameTime(temporary.st_mtim, kMtime));
    EXPECT_EQ(readBytes(prepared.temporaryPath()), newBytes);
    expectTargetUntouched();
    EXPECT_EQ(countOurTemporaries(folder.path()), 1);

    ASSERT_FALSE(prepared.sync());
    ASSERT_FALSE(prepared.commit());
    EXPECT_FALSE(prepared.active());
    EXPECT_EQ(readBytes(target), newBytes);
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, AbandonAndDestructionRemoveTheTemporary)
{
    PreparedReplacement abandoned;
    ASSERT_FALSE(prepareReplacement(target, newBytes, original, abandoned));
    abandoned.abandon();
    EXPECT_FALSE(abandoned.active());
    {
        PreparedReplacement dropped;
        ASSERT_FALSE(prepareReplacement(target, newBytes, original, dropped));
    }
    expectTargetUntouched();
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, MovingHandsTheTemporaryOver)
{
    PreparedReplacement first;
    ASSERT_FALSE(prepareReplacement(target, newBytes, original, first));
    const std::string temporary = first.temporaryPath();

    PreparedReplacement moved(std::move(first));
    EXPECT_FALSE(first.active());
    first = PreparedReplacement(); // the empty husk must not remove anything
    EXPECT_TRUE(fs::exists(temporary));

    PreparedReplacement assigned;
    ASSERT_FALSE(prepareReplacement(folder / "other.jpg", oldBytes, original, assigned));
    const std::string replacedTemporary = assigned.temporaryPath();
    assigned = std::move(moved); // drops what `assigned` held before
    EXPECT_FALSE(fs::exists(replacedTemporary));
    EXPECT_EQ(assigned.temporaryPath(), temporary);

    ASSERT_FALSE(assigned.commit());
    EXPECT_EQ(readBytes(target), newBytes);
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, TwoPreparedReplacementsOfOneTargetDoNotCollide)
{
    const Bytes secondBytes = patternBytes(7000, 99);
    PreparedReplacement first;
    PreparedReplacement second;
    ASSERT_FALSE(prepareReplacement(target, newBytes, original, first));
    ASSERT_FALSE(prepareReplacement(target, secondBytes, original, second));
    EXPECT_NE(first.temporaryPath(), second.temporaryPath());

    ASSERT_FALSE(first.commit());
    EXPECT_EQ(readBytes(target), newBytes);
    ASSERT_FALSE(second.commit());
    EXPECT_EQ(readBytes(target), secondBytes);
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, AFolderRenamedMidwayStillReceivesTheFile)
{
    // The folder is held open from the start, so the new file follows the
    // folder and never lands in whatever takes the old name.
    const std::string inner = folder / "album";
    ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
    ASSERT_TRUE(writeBytes(inner + "/photo.jpg", oldBytes));
    PreparedReplacement prepared;
    ASSERT_FALSE(prepareReplacement(inner + "/photo.jpg", newBytes, original, prepared));

    ASSERT_EQ(::rename(inner.c_str(), (folder / "album-moved").c_str()), 0);
    ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
    ASSERT_FALSE(prepared.commit());

    EXPECT_EQ(readBytes(folder / "album-moved/photo.jpg"), newBytes);
    EXPECT_TRUE(entriesOf(inner).empty());
    EXPECT_EQ(entriesOf(folder / "album-moved"), std::set<std::string>{"photo.jpg"});
}

// --- failures ----------------------------------------------------------------

struct InjectionCase {
    const char* name;
    InjectedFailure failure;
    ReplaceStep step; // None: the replacement must still succeed
    int error;
};

void PrintTo(const InjectionCase& c, std::ostream* os)
{
    *os << c.name;
}

class InjectedFailureTest : public SafeReplaceTest, public ::testing::WithParamInterface<InjectionCase> {};

TEST_P(InjectedFailureTest, LeavesTheTargetIntactAndNothingBehind)
{
    const InjectionCase& c = GetParam();
    const int descriptorsBefore = openDescriptorCount();
    ReplaceError error;
    bool preparedWasActive = false;
    {
        FailingSysOps failing(c.failure);
        PreparedReplacement prepared;
        error = prepareReplacement(target, newBytes, original, prepared);
        preparedWasActive = prepared.active();
        if (!error)
            error = prepared.commit();
        EXPECT_GT(failing.calls(c.failure.call), 0) << "the injected call was never made";
    }
    EXPECT_EQ(&sysOps(), &realSysOps());

    EXPECT_EQ(static_cast<int>(error.step), static_cast<int>(c.step));
    EXPECT_EQ(error.error, c.error);
    const bool failedInPrepare = c.step == ReplaceStep::CreateTemp || c.step == ReplaceStep::Write
        || c.step == ReplaceStep::Attributes || c.step == ReplaceStep::Owner;
    EXPECT_EQ(preparedWasActive, !failedInPrepare);
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
    if (c.step == ReplaceStep::None || c.step == ReplaceStep::SyncFolder) {
        // After a failed folder sync the new file is in place but may not
        // survive a power cut: the caller reports it as not durable.
        EXPECT_EQ(readBytes(target), newBytes);
        EXPECT_TRUE(sameTime(lstatOf(target).st_mtim, kMtime));
    } else {
        expectTargetUntouched();
    }
    expectOnlyTargetInFolder();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InjectedFailureTest,
    ::testing::Values(
        InjectionCase{"folder_open_refused",
                      {.call = SysCall::Openat, .nth = 1, .error = EACCES},
                      ReplaceStep::CreateTemp,
                      EACCES},
        InjectionCase{"temporary_create_refused",
                      {.call = SysCall::Openat, .nth = 2, .error = EACCES},
                      ReplaceStep::CreateTemp,
                      EACCES},
        InjectionCase{
            "temporary_name_taken_once", {.call = SysCall::Openat, .nth = 2, .error = EEXIST}, ReplaceStep::None, 0},
        InjectionCase{"temporary_names_always_taken",
                      {.call = SysCall::Openat, .nth = 2, .times = 0, .error = EEXIST},
                      ReplaceStep::CreateTemp,
                      EEXIST},
        InjectionCase{
            "first_write_disk_full", {.call = SysCall::Write, .nth = 1, .error = ENOSPC}, ReplaceStep::Write, ENOSPC},
        InjectionCase{"later_write_io_error",
                      {.call = SysCall::Write, .nth = 3, .error = EIO, .maxBytes = 1000},
                      ReplaceStep::Write,
                      EIO},
        InjectionCase{"write_makes_no_progress",
                      {.call = SysCall::Write, .nth = 2, .maxBytes = 1000, .returnsZero = true},
                      ReplaceStep::Write,
                      EIO},
        InjectionCase{"short_writes", {.call = SysCall::Write, .nth = 0, .maxBytes = 7}, ReplaceStep::None, 0},
        InjectionCase{
            "write_interrupted", {.call = SysCall::Write, .nth = 1, .times = 3, .error = EINTR}, ReplaceStep::None, 0},
        InjectionCase{
            "owner_not_permitted", {.call = SysCall::Fchown, .nth = 1, .error = EPERM}, ReplaceStep::Owner, EPERM},
        InjectionCase{
            "owner_io_error", {.call = SysCall::Fchown, .nth = 1, .error = EIO}, ReplaceStep::Attributes, EIO},
        InjectionCase{
            "permissions_refused", {.call = SysCall::Fchmod, .nth = 1, .error = EPERM}, ReplaceStep::Attributes, EPERM},
        InjectionCase{
            "times_refused", {.call = SysCall::Futimens, .nth = 1, .error = EPERM}, ReplaceStep::Attributes, EPERM},
        InjectionCase{"file_sync_io_error", {.call = SysCall::Fsync, .nth = 1, .error = EIO}, ReplaceStep::Sync, EIO},
        InjectionCase{
            "rename_across_devices", {.call = SysCall::Renameat, .nth = 1, .error = EXDEV}, ReplaceStep::Rename, EXDEV},
        InjectionCase{
            "folder_sync_io_error", {.call = SysCall::Fsync, .nth = 2, .error = EIO}, ReplaceStep::SyncFolder, EIO}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeReplaceTest, AFailedSyncDropsThePreparedFile)
{
    // A second fsync after a failed one may report success for pages the
    // kernel already threw away, so the file must not be committed later.
    FailingSysOps failing({.call = SysCall::Fsync, .nth = 1, .error = EIO});
    PreparedReplacement prepared;
    ASSERT_FALSE(prepareReplacement(target, newBytes, original, prepared));

    const ReplaceError syncError = prepared.sync();
    EXPECT_EQ(syncError.step, ReplaceStep::Sync);
    EXPECT_EQ(syncError.error, EIO);
    EXPECT_FALSE(prepared.active());
    EXPECT_TRUE(prepared.commit()) << "a dropped replacement must not commit";
    EXPECT_EQ(failing.calls(SysCall::Renameat), 0);
    expectTargetUntouched();
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, AReadOnlyFolderRefusesTheTemporary)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the injected EACCES rows cover this path";
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);

    const ReplaceError error = replaceFile(target, newBytes, original);

    EXPECT_EQ(error.step, ReplaceStep::CreateTemp);
    EXPECT_EQ(error.error, EACCES);
    expectTargetUntouched();
    expectOnlyTargetInFolder();
}

TEST_F(SafeReplaceTest, AMissingFolderFailsBeforeAnythingIsWritten)
{
    const ReplaceError error = replaceFile(folder / "absent/photo.jpg", newBytes, original);
    EXPECT_EQ(error.step, ReplaceStep::CreateTemp);
    EXPECT_EQ(error.error, ENOENT);
    expectOnlyTargetInFolder();
}

// --- temporary names -----------------------------------------------------------

struct TemporaryNameCase {
    const char* name;
    const char* fileName;
    bool ours;
};

void PrintTo(const TemporaryNameCase& c, std::ostream* os)
{
    *os << c.name;
}

class TemporaryNameTest : public ::testing::TestWithParam<TemporaryNameCase> {};

TEST_P(TemporaryNameTest, RecognisesOnlyOurOwnNames)
{
    EXPECT_EQ(isOurTemporaryName(GetParam().fileName), GetParam().ours) << GetParam().fileName;
}

INSTANTIATE_TEST_SUITE_P(
    Names, TemporaryNameTest,
    ::testing::Values(TemporaryNameCase{"digits", ".shotdate-0123456789abcdef.tmp", true},
                      TemporaryNameCase{"all_f", ".shotdate-ffffffffffffffff.tmp", true},
                      TemporaryNameCase{"all_zero", ".shotdate-0000000000000000.tmp", true},
                      TemporaryNameCase{"fifteen_digits", ".shotdate-0123456789abcde.tmp", false},
                      TemporaryNameCase{"seventeen_digits", ".shotdate-0123456789abcdef0.tmp", false},
                      TemporaryNameCase{"upper_case_hex", ".shotdate-0123456789ABCDEF.tmp", false},
                      TemporaryNameCase{"not_hex", ".shotdate-0123456789abcdeg.tmp", false},
                      TemporaryNameCase{"no_dot", "shotdate-0123456789abcdef.tmp", false},
                      TemporaryNameCase{"other_suffix", ".shotdate-0123456789abcdef.jpg", false},
                      TemporaryNameCase{"suffix_upper_case", ".shotdate-0123456789abcdef.TMP", false},
                      TemporaryNameCase{"other_prefix", ".shotdata-0123456789abcdef.tmp", false},
                      TemporaryNameCase{"a_photo", "photo.jpg", false}, TemporaryNameCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TemporaryNames, FreshNamesAreOursAndDiffer)
{
    TempFolder folder;
    std::set<std::string> seen;
    std::vector<PreparedReplacement> prepared(50);
    const struct stat attributes = [] {
        struct stat st {};
        st.st_mode = S_IFREG | 0600;
        st.st_uid = ::geteuid();
        st.st_gid = ::getegid();
        st.st_atim = kAtime;
        st.st_mtim = kMtime;
        return st;
    }();
    for (auto& replacement : prepared) {
        ASSERT_FALSE(prepareReplacement(folder / "photo.jpg", Bytes{1, 2, 3}, attributes, replacement));
        const std::string name = fs::path(replacement.temporaryPath()).filename().string();
        EXPECT_TRUE(isOurTemporaryName(name)) << name;
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), prepared.size());
}

} // namespace
} // namespace shotdate
