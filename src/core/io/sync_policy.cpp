#include "io/sync_policy.h"

#include "io/sys_ops.h"

#include <linux/magic.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace shotdate {

namespace {

constexpr std::uint32_t kHonoursSyncfs[] = {
    EXT4_SUPER_MAGIC, // also ext2 and ext3, driven by the ext4 code
    XFS_SUPER_MAGIC,  BTRFS_SUPER_MAGIC, F2FS_SUPER_MAGIC, TMPFS_MAGIC, OVERLAYFS_SUPER_MAGIC,
};

// "5.8", "6.1.0-18-amd64" -> at least 5.8?
bool atLeastLinux58(std::string_view release)
{
    int major = 0;
    int minor = 0;
    const char* end = release.data() + release.size();
    auto [afterMajor, majorError] = std::from_chars(release.data(), end, major);
    if (majorError != std::errc{} || afterMajor == end || *afterMajor != '.')
        return false;
    auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, minor);
    if (minorError != std::errc{})
        return false;
    return major > 5 || (major == 5 && minor >= 8);
}

} // namespace

bool syncfsIsTrusted(long fileSystemType, std::string_view kernelRelease)
{
    // f_type is a signed word on some targets: compare its low 32 bits.
    const auto type = static_cast<std::uint32_t>(fileSystemType);
    return atLeastLinux58(kernelRelease)
        && std::find(std::begin(kHonoursSyncfs), std::end(kHonoursSyncfs), type) != std::end(kHonoursSyncfs);
}

bool syncfsIsTrusted(int folderFd)
{
    struct statfs fileSystem {};
    struct utsname kernel {};
    if (sysOps().fstatfs(folderFd, &fileSystem) != 0 || sysOps().uname(&kernel) != 0)
        return false;
    return syncfsIsTrusted(long(fileSystem.f_type), kernel.release);
}

} // namespace shotdate
