// Whole runs on file systems and files unlike the test machine's own: a
// FUSE mount or an old kernel whose syncfs cannot be trusted, a memory card
// that folds case, another user's photo whose owner or ACL cannot be kept.
// The file system's answers are faked through the system-call table, so
// each case is exact and needs no mount.

#include "file_times.h"
#include "io/sys_ops.h"
#include "run_outcome.h"
#include "tiff_builder.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using fixtures::TempFolder;
using testing_support::Bytes;

constexpr long kFuseMagic = 0x65735546;
constexpr long kNtfsMagic = 0x5346544e;

// What the faked file system claims; zero values keep the real answer.
struct Look {
    long fileSystemType = 0;
    const char* kernelRelease = nullptr;
    bool foldsCase = false; // names looked up in a held folder match in any case
    int fchownError = 0; // every owner change fails with this
    int fsetxattrError = 0; // every extended attribute set fails with this
};

class LookalikeFileSystem {
public:
    explicit LookalikeFileSystem(const Look& look) : scope_(table()) { state() = State{look}; }
    ~LookalikeFileSystem() { state() = {}; }
    static int syncfsCalls() { return state().syncfs; }
    static int fileFsyncCalls() { return state().fileFsync; }

private:
    struct State {
        Look look;
        int syncfs = 0;
        int fileFsync = 0; // of regular files, not folders
    };
    static State& state()
    {
        static State shared;
        return shared;
    }
    static const SysOps& table()
    {
        static const SysOps ops = [] {
            SysOps copy = realSysOps();
            copy.fstatfs = [](int fd, struct statfs* st) {
                const int result = realSysOps().fstatfs(fd, st);
                if (result == 0 && state().look.fileSystemType != 0)
                    st->f_type = state().look.fileSystemType;
                return result;
            };
            copy.uname = [](struct utsname* name) {
                const int result = realSysOps().uname(name);
                if (result == 0 && state().look.kernelRelease)
                    std::snprintf(name->release, sizeof name->release, "%s", state().look.kernelRelease);
                return result;
            };
            copy.fstatat = [](int dirfd, const char* path, struct stat* st, int flags) {
                std::string name = path;
                if (state().look.foldsCase && dirfd != AT_FDCWD)
                    std::transform(name.begin(), name.end(), name.begin(),
                                   [](unsigned char c) { return char(std::tolower(c)); });
                return realSysOps().fstatat(dirfd, name.c_str(), st, flags);
            };
            copy.syncfs = [](int fd) {
                ++state().syncfs;
                return realSysOps().syncfs(fd);
            };
            copy.fsync = [](int fd) {
                struct stat st {};
                if (realSysOps().fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
                    ++state().fileFsync;
                return realSysOps().fsync(fd);
            };
            // errno set to 0 before a real call does no harm.
            copy.fchown = [](int fd, uid_t owner, gid_t group) {
                return (errno = state().look.fchownError) != 0 ? -1 : realSysOps().fchown(fd, owner, group);
            };
            copy.fsetxattr = [](int fd, const char* name, const void* value, size_t size, int flags) {
                return (errno = state().look.fsetxattrError) != 0
                    ? -1
                    : realSysOps().fsetxattr(fd, name, value, size, flags);
            };
            return copy;
        }();
        return ops;
    }
    ScopedSysOps scope_;
};

const Bytes kPhoto = testing_support::jpegWith(testing_support::exifTiff("2016:09:28 18:18:05", "2016:09:28 18:18:05"));

// --- syncfs only where it makes data durable ----------------------------------------

struct SyncRow {
    const char* name;
    Look look;
    bool batched; // one syncfs for the batch, else an fsync of each new file
};

class SyncChoice : public testing::TestWithParam<SyncRow> {};

TEST_P(SyncChoice, EachNewFileIsSyncedUnlessTheFileSystemIsTrusted)
{
    TempFolder folder;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        fixtures::writeBytes(folder / name, kPhoto);
    LookalikeFileSystem lookalike(GetParam().look);
    EXPECT_EQ(runOver(folder.path()).summary.rewritten, 3);
    EXPECT_EQ(LookalikeFileSystem::syncfsCalls(), GetParam().batched ? 1 : 0);
    EXPECT_EQ(LookalikeFileSystem::fileFsyncCalls(), GetParam().batched ? 0 : 3);
}

// A wrong "batched" lets a crash lose photos the run reported as rewritten.
// clang-format off
const SyncRow kSyncRows[] = {
    {"ext4", {.fileSystemType = EXT4_SUPER_MAGIC}, true},
    {"xfs_on_5_10", {.fileSystemType = XFS_SUPER_MAGIC, .kernelRelease = "5.10.0"}, true},
    {"btrfs_as_a_negative_word", {.fileSystemType = long(int(BTRFS_SUPER_MAGIC)), .kernelRelease = "6.1.0"}, true},
    {"f2fs_on_5_8", {.fileSystemType = F2FS_SUPER_MAGIC, .kernelRelease = "5.8.0"}, true},
    {"tmpfs_on_10_0", {.fileSystemType = TMPFS_MAGIC, .kernelRelease = "10.0"}, true},
    {"overlayfs", {.fileSystemType = OVERLAYFS_SUPER_MAGIC, .kernelRelease = "6.18.44-custom"}, true},
    {"fuse", {.fileSystemType = kFuseMagic}, false},
    {"fat", {.fileSystemType = MSDOS_SUPER_MAGIC}, false},
    {"nfs", {.fileSystemType = NFS_SUPER_MAGIC}, false},
    {"ext4_on_linux_5_7", {.fileSystemType = EXT4_SUPER_MAGIC, .kernelRelease = "5.7.19"}, false},
    {"ext4_on_linux_4_19", {.fileSystemType = EXT4_SUPER_MAGIC, .kernelRelease = "4.19.0-26-amd64"}, false},
    {"release_unreadable", {.fileSystemType = EXT4_SUPER_MAGIC, .kernelRelease = "linux"}, false},
    {"release_empty", {.fileSystemType = EXT4_SUPER_MAGIC, .kernelRelease = ""}, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, SyncChoice, testing::ValuesIn(kSyncRows), kRowName);

// --- output folders that fold case --------------------------------------------------

struct CaseRow {
    const char* name;
    Look look;
    bool folds;
    std::string first = "IMG_0001.JPG"; // from in/sub1
    std::string second = "img_0001.jpg"; // from in/sub2: numbered when the names fold to one
};

class CaseFoldingOutput : public testing::TestWithParam<CaseRow> {};

// sub1/IMG_0001.JPG and sub2/img_0001.jpg into one folder of a memory card:
// the second must not replace the first.
TEST_P(CaseFoldingOutput, NamesDifferingOnlyInCaseGetNumbers)
{
    const CaseRow& row = GetParam();
    TempFolder folder;
    for (const char* dir : {"in/sub1", "in/sub2", "out"})
        fs::create_directories(folder / dir);
    fixtures::writeBytes(folder / "in/sub1/" + row.first, kPhoto);
    fixtures::writeBytes(folder / "in/sub2/" + row.second, kPhoto);
    RunOutcome outcome;
    {
        LookalikeFileSystem lookalike(row.look);
        outcome = runOver(folder / "in", folder / "out", true);
    }
    ASSERT_EQ(outcome.summary.rewritten, 2);
    const FileReport& second = outcome.reports.at(folder / "in/sub2/" + row.second);
    const fs::path name(row.second);
    EXPECT_EQ(outcome.reports.at(folder / "in/sub1/" + row.first).outPath, folder / "out/" + row.first);
    EXPECT_EQ(second.outPath,
              folder / "out/" + (row.folds ? name.stem().string() + " (2)" + name.extension().string() : row.second));
    EXPECT_EQ(second.renamed, row.folds);
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(folder.path()).empty()) << "the probe was left behind";
}

// clang-format off
const CaseRow kCaseRows[] = {
    {"fat", {.fileSystemType = MSDOS_SUPER_MAGIC}, true},
    {"exfat_latin", {.fileSystemType = EXFAT_SUPER_MAGIC}, true, "\xC3\x84PFEL_\xC3\x89T\xC3\x89.JPG", "\xC3\xA4pfel_\xC3\xA9t\xC3\xA9.jpg"},
    {"ntfs_greek_and_cyrillic", {.fileSystemType = kNtfsMagic}, true, "\xCE\xA3\xCE\x9F\xCE\xA6\xD0\x96.jpg", "\xCF\x83\xCE\xBF\xCF\x86\xD0\xB6.jpg"},
    // Type unknown: the probe in the folder finds out.
    {"fuse_folding", {.fileSystemType = kFuseMagic, .foldsCase = true}, true},
    {"fuse_keeping_case", {.fileSystemType = kFuseMagic}, false},
    {"this_machine", {}, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CaseFoldingOutput, testing::ValuesIn(kCaseRows), kRowName);

// --- owner, group and ACLs ------------------------------------------------------------

// A POSIX access ACL granting user 4321 read access, in the kernel's xattr
// form: version 2, then tag, permissions and id (little-endian) of each entry.
const Bytes kAclForAnotherUser = {
    2,    0, 0, 0, 0x01, 0,    6,    0,    0xff, 0xff, 0xff, 0xff, // version; owner
    0x02, 0, 4, 0, 0xe1, 0x10, 0,    0, // user 4321
    0x04, 0, 4, 0, 0xff, 0xff, 0xff, 0xff, 0x10, 0,    4,    0,    0xff, 0xff, 0xff, 0xff, // group, mask
    0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, // others
};

struct OwnershipRow {
    const char* name;
    bool toOutputFolder;
    Look look;
    const char* attribute; // put on the photo first; nullptr: none
    Reason reason;
};

class Ownership : public testing::TestWithParam<OwnershipRow> {};

TEST_P(Ownership, AnOriginalIsReplacedOnlyByAFileWithTheSameOwnerAndAccess)
{
    const OwnershipRow& row = GetParam();
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the photo to another user: skipped";
    TempFolder folder;
    fs::create_directory(folder / "in");
    fs::create_directory(folder / "out");
    const std::string input = folder / "in/a.jpg";
    fixtures::writeBytes(input, kPhoto);
    // Another user's photo, set-group-ID, shared with the group only.
    ASSERT_EQ(::chown(input.c_str(), 4321, 4321), 0);
    ASSERT_EQ(::chmod(input.c_str(), 02640), 0);
    if (row.attribute) {
        const Bytes value =
            std::string(row.attribute).starts_with("system.posix_acl_") ? kAclForAnotherUser : Bytes{'r', 'e', 'd'};
        if (::setxattr(input.c_str(), row.attribute, value.data(), value.size(), 0) != 0)
            GTEST_SKIP() << "this file system takes no " << row.attribute << " (" << std::strerror(errno) << ")";
    }
    const struct stat before = fixtures::statOf(input);
    RunOutcome outcome;
    {
        LookalikeFileSystem lookalike(row.look);
        outcome = runOver(input, row.toOutputFolder ? std::optional(folder / "out") : std::nullopt);
    }
    const FileReport& report = outcome.reports.at(input);
    EXPECT_EQ(report.reason, row.reason) << reasonKey(report.reason);
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(folder.path()).empty());
    const struct stat after = fixtures::statOf(report.outPath);
    if (report.reason != Reason::Rewritten) {
        EXPECT_EQ(fixtures::readBytes(input), kPhoto) << "the original changed";
        EXPECT_EQ(after.st_ino, before.st_ino);
    } else if (row.toOutputFolder) {
        // The copy is the runner's: no set-ID bit, and no wider access than the original.
        EXPECT_EQ(std::pair(after.st_uid, after.st_mode & 07777), std::pair(::geteuid(), 0640u));
    } else {
        EXPECT_EQ(std::tuple(after.st_uid, after.st_gid, after.st_mode & 07777), std::tuple(4321u, 4321u, 02640u));
    }
}

constexpr const char* kAcl = "system.posix_acl_access";
constexpr const char* kLabel = "security.shotdate_test";
using R = Reason;

const OwnershipRow kOwnershipRows[] = {
    {"in_place", false, {}, nullptr, R::Rewritten},
    {"in_place_owner_refused", false, {.fchownError = EPERM}, nullptr, R::CannotKeepOwner},
    {"in_place_acl_refused", false, {.fsetxattrError = EOPNOTSUPP}, kAcl, R::CannotKeepAttributes},
    {"in_place_security_label_refused", false, {.fsetxattrError = EPERM}, kLabel, R::CannotKeepAttributes},
    {"in_place_user_attribute_refused", false, {.fsetxattrError = EOPNOTSUPP}, "user.tag", R::Rewritten},
    {"to_output_folder", true, {}, nullptr, R::Rewritten},
    {"to_output_folder_owner_refused", true, {.fchownError = EPERM}, nullptr, R::Rewritten},
    {"to_output_folder_acl_refused", true, {.fsetxattrError = EOPNOTSUPP}, kAcl, R::Rewritten},
};

INSTANTIATE_TEST_SUITE_P(Table, Ownership, testing::ValuesIn(kOwnershipRows), kRowName);

} // namespace
} // namespace shotdate
