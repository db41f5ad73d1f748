#pragma once

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <sys/utsname.h>

#include <cstddef>

namespace shotdate {

// Every system call the engine makes goes through this table, so that
// tests can make any one step fail (EIO, ENOSPC, a short write, ...) and
// prove that the user's file survives. Production code uses the real calls.
struct SysOps {
    int (*openat)(int dirfd, const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* buf, size_t count);
    ssize_t (*read)(int fd, void* buf, size_t count);
    int (*fsync)(int fd);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    int (*renameat)(int olddirfd, const char* oldpath, int newdirfd, const char* newpath);
    int (*unlinkat)(int dirfd, const char* path, int flags);
    int (*close)(int fd);
    // Copying a file's bytes without passing them through user memory.
    ssize_t (*copyFileRange)(int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t length);
    int (*cloneFile)(int destFd, int srcFd); // ioctl FICLONE: shares the extents on btrfs/XFS
    ssize_t (*pwrite)(int fd, const void* buf, size_t count, off_t offset);
    int (*syncfs)(int fd);
    int (*fstat)(int fd, struct stat* st);
    // stat() and lstat() too: AT_FDCWD and AT_SYMLINK_NOFOLLOW.
    int (*fstatat)(int dirfd, const char* path, struct stat* st, int flags);
    int (*dup)(int fd);
    int (*fcntl)(int fd, int cmd, int arg); // the commands that take an int (F_GETFL, F_SETFL)
    int (*faccessat)(int dirfd, const char* path, int mode, int flags);
    // What kind of file system and kernel a folder lives on: whether syncfs
    // can be trusted, whether names fold case.
    int (*fstatfs)(int fd, struct statfs* st);
    int (*uname)(struct utsname* name);
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
    int (*mkdirat)(int dirfd, const char* path, mode_t mode); // the journal's folders
    ssize_t (*pread)(int fd, void* buf, size_t count, off_t offset);
    int (*flock)(int fd, int operation); // a live run's hold on its journal
};

// The table in force. Not thread-safe to swap: tests swap it while no run
// is active.
const SysOps& sysOps();

// The real system calls.
const SysOps& realSysOps();

// Replaces the table for the life of the object (tests only).
class ScopedSysOps {
public:
    explicit ScopedSysOps(const SysOps& ops);
    ~ScopedSysOps();
    ScopedSysOps(const ScopedSysOps&) = delete;
    ScopedSysOps& operator=(const ScopedSysOps&) = delete;

private:
    const SysOps* previous_;
};

} // namespace shotdate
