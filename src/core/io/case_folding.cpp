#include "io/case_folding.h"

#include "io/safe_replace.h"
#include "io/sys_ops.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

namespace shotdate {

namespace {

// Not in <linux/magic.h>: the NTFS drivers (ntfs3 and the old ntfs) share it.
constexpr std::uint32_t kNtfsMagic = 0x5346544e;
constexpr std::uint32_t kFoldingFileSystems[] = {MSDOS_SUPER_MAGIC, EXFAT_SUPER_MAGIC, kNtfsMagic};

bool foldingFileSystem(int folderFd)
{
    struct statfs fileSystem {};
    if (sysOps().fstatfs(folderFd, &fileSystem) != 0)
        return false;
    const auto type = static_cast<std::uint32_t>(fileSystem.f_type);
    return std::find(std::begin(kFoldingFileSystems), std::end(kFoldingFileSystems), type)
        != std::end(kFoldingFileSystems);
}

bool casefoldFlagSet(int folderFd)
{
    long flags = 0;
    return ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
}

bool probeFolds(int folderFd)
{
    const SysOps& ops = sysOps();
    const std::string name = newTemporaryName();
    const int fd = ops.openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true;
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    struct stat created {};
    struct stat found {};
    const bool folds = ops.fstat(fd, &created) == 0
        && ops.fstatat(folderFd, upper.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 && found.st_dev == created.st_dev
        && found.st_ino == created.st_ino;
    ops.close(fd);
    ops.unlinkat(folderFd, name.c_str(), 0);
    return folds;
}

} // namespace

bool folderFoldsCase(const std::string& folder, bool mayProbe)
{
    const SysOps& ops = sysOps();
    const int folderFd = ops.openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folderFd < 0)
        return true;
    const bool folds = foldingFileSystem(folderFd) || casefoldFlagSet(folderFd) || (mayProbe && probeFolds(folderFd));
    ops.close(folderFd);
    return folds;
}

} // namespace shotdate
