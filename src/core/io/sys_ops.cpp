#include "io/sys_ops.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>

namespace shotdate {
namespace {

// Thin wrappers rather than the libc symbols themselves: the signatures then
// match the table exactly (openat is variadic) whatever attributes or
// fortified inline versions the C library declares.
const SysOps kRealSysOps{
    [](int dirfd, const char* path, int flags, mode_t mode) { return ::openat(dirfd, path, flags, mode); },
    [](int fd, const void* buf, size_t count) { return ::write(fd, buf, count); },
    [](int fd, void* buf, size_t count) { return ::read(fd, buf, count); },
    [](int fd) { return ::fsync(fd); },
    [](int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); },
    [](int fd, mode_t mode) { return ::fchmod(fd, mode); },
    [](int fd, const struct timespec times[2]) { return ::futimens(fd, times); },
    [](int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
        return ::renameat(olddirfd, oldpath, newdirfd, newpath);
    },
    [](int dirfd, const char* path, int flags) { return ::unlinkat(dirfd, path, flags); },
    [](int fd) { return ::close(fd); },
    [](int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t length) {
        return ::copy_file_range(fdIn, offIn, fdOut, offOut, length, 0);
    },
    [](int destFd, int srcFd) { return ::ioctl(destFd, FICLONE, srcFd); },
    [](int fd, const void* buf, size_t count, off_t offset) { return ::pwrite(fd, buf, count, offset); },
    [](int fd) { return ::syncfs(fd); },
    [](int fd, struct stat* st) { return ::fstat(fd, st); },
    [](int dirfd, const char* path, struct stat* st, int flags) { return ::fstatat(dirfd, path, st, flags); },
    [](int fd) { return ::dup(fd); },
    [](int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); },
    [](int dirfd, const char* path, int mode, int flags) { return ::faccessat(dirfd, path, mode, flags); },
    [](int fd, struct statfs* st) { return ::fstatfs(fd, st); },
    [](struct utsname* name) { return ::uname(name); },
    [](int fd, const char* name, const void* value, size_t size, int flags) {
        return ::fsetxattr(fd, name, value, size, flags);
    },
    [](int dirfd, const char* path, mode_t mode) { return ::mkdirat(dirfd, path, mode); },
    [](int fd, void* buf, size_t count, off_t offset) { return ::pread(fd, buf, count, offset); },
    [](int fd, int operation) { return ::flock(fd, operation); },
};

const SysOps* currentSysOps = &kRealSysOps;

} // namespace

const SysOps& sysOps()
{
    return *currentSysOps;
}

const SysOps& realSysOps()
{
    return kRealSysOps;
}

ScopedSysOps::ScopedSysOps(const SysOps& ops) : previous_(currentSysOps)
{
    currentSysOps = &ops;
}

ScopedSysOps::~ScopedSysOps()
{
    currentSysOps = previous_;
}

} // namespace shotdate
