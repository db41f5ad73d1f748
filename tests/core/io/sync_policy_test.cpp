#include "io/sync_policy.h"

#include <gtest/gtest.h>

#include <linux/magic.h>

#include <string>

namespace shotdate {
namespace {

constexpr long kFuse = 0x65735546;

struct SyncfsRow {
    const char* name;
    long fileSystemType;
    std::string release;
    bool trusted;
};

class SyncfsRule : public testing::TestWithParam<SyncfsRow> {};

// A wrong "true" lets a crash lose photos the run reported as rewritten.
TEST_P(SyncfsRule, TrustsOnlyKnownFileSystemsOnRecentKernels)
{
    EXPECT_EQ(syncfsIsTrusted(GetParam().fileSystemType, GetParam().release), GetParam().trusted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SyncfsRule,
    testing::Values(
        SyncfsRow{"ext4", EXT4_SUPER_MAGIC, "6.1.0-18-amd64", true}, SyncfsRow{"xfs", XFS_SUPER_MAGIC, "5.10.0", true},
        SyncfsRow{"btrfs_as_a_negative_word", long(int(BTRFS_SUPER_MAGIC)), "6.1.0", true},
        SyncfsRow{"f2fs_on_5_8", F2FS_SUPER_MAGIC, "5.8.0", true}, SyncfsRow{"tmpfs", TMPFS_MAGIC, "10.0", true},
        SyncfsRow{"overlayfs", OVERLAYFS_SUPER_MAGIC, "6.18.44-custom", true},
        SyncfsRow{"ext4_on_5_7", EXT4_SUPER_MAGIC, "5.7.19", false},
        SyncfsRow{"ext4_on_4_19", EXT4_SUPER_MAGIC, "4.19.0-26-amd64", false},
        SyncfsRow{"release_unreadable", EXT4_SUPER_MAGIC, "linux", false},
        SyncfsRow{"release_empty", EXT4_SUPER_MAGIC, "", false}, SyncfsRow{"fuse", kFuse, "6.1.0", false},
        SyncfsRow{"fat", MSDOS_SUPER_MAGIC, "6.1.0", false}, SyncfsRow{"nfs", NFS_SUPER_MAGIC, "6.1.0", false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace shotdate
