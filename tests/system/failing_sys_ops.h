#pragma once

// Makes one system call on the write path fail on purpose, so that a test can
// prove what survives an I/O error, a full disk or a refused rename.
//
//     FailingSysOps failing({.call = SysCall::Write, .nth = 2, .error = ENOSPC});
//     ... code under test ...   // its second write fails with ENOSPC
//
// Every other call goes to the real system. The table holds plain function
// pointers, so the plan lives in one shared place: only one FailingSysOps may
// exist at a time.

#include "io/sys_ops.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

namespace shotdate {

// Writes, copies and patches of a file's content all count as Write, and
// fsync and syncfs both as Fsync: a plan names the step, not the system call
// that happens to carry it out.
enum class SysCall { Openat, Write, Read, Fsync, Fchown, Fchmod, Futimens, Renameat, Unlinkat, Close, Clone, Dup };

struct InjectedFailure {
    SysCall call = SysCall::Write;
    int nth = 1; // first call of `call` that fails, counting from 1; 0: none fails
    int times = 1; // how many calls in a row fail; 0: every call from `nth` on
    int error = EIO; // errno of a failing call
    std::size_t maxBytes = 0; // read/write: each call moves at most this many bytes (0: no limit)
    bool returnsZero = false; // read/write: a failing call returns 0 (no progress) instead of -1
};

class FailingSysOps {
public:
    explicit FailingSysOps(const InjectedFailure& plan) : scope_(install(plan)) {}
    ~FailingSysOps() { state().installed = false; }
    FailingSysOps(const FailingSysOps&) = delete;
    FailingSysOps& operator=(const FailingSysOps&) = delete;

    // How often `call` was made (failed calls included) since construction.
    int calls(SysCall call) const { return state().counts[index(call)]; }

private:
    struct State {
        InjectedFailure plan;
        std::array<int, 12> counts{};
        bool installed = false;
    };

    static State& state()
    {
        static State shared;
        return shared;
    }

    static std::size_t index(SysCall call) { return static_cast<std::size_t>(call); }

    static const SysOps& install(const InjectedFailure& plan)
    {
        if (state().installed)
            std::abort(); // two plans at once would silently mix their counts
        state() = State{plan, {}, true};
        return table();
    }

    // Counts the call and decides whether it fails; a failing call has errno set.
    static bool fails(SysCall call)
    {
        State& s = state();
        const int n = ++s.counts[index(call)];
        const InjectedFailure& plan = s.plan;
        if (plan.call != call || plan.nth <= 0 || n < plan.nth)
            return false;
        if (plan.times > 0 && n >= plan.nth + plan.times)
            return false;
        errno = plan.error;
        return true;
    }

    static ssize_t failedTransfer() { return state().plan.returnsZero ? 0 : -1; }

    static std::size_t limited(SysCall call, std::size_t count)
    {
        const InjectedFailure& plan = state().plan;
        return plan.call == call && plan.maxBytes > 0 && count > plan.maxBytes ? plan.maxBytes : count;
    }

    static const SysOps& table()
    {
        static const SysOps ops{
            [](int dirfd, const char* path, int flags, mode_t mode) {
                return fails(SysCall::Openat) ? -1 : realSysOps().openat(dirfd, path, flags, mode);
            },
            [](int fd, const void* buf, size_t count) {
                return fails(SysCall::Write) ? failedTransfer()
                                             : realSysOps().write(fd, buf, limited(SysCall::Write, count));
            },
            [](int fd, void* buf, size_t count) {
                return fails(SysCall::Read) ? failedTransfer()
                                            : realSysOps().read(fd, buf, limited(SysCall::Read, count));
            },
            [](int fd) { return fails(SysCall::Fsync) ? -1 : realSysOps().fsync(fd); },
            [](int fd, uid_t owner, gid_t group) {
                return fails(SysCall::Fchown) ? -1 : realSysOps().fchown(fd, owner, group);
            },
            [](int fd, mode_t mode) { return fails(SysCall::Fchmod) ? -1 : realSysOps().fchmod(fd, mode); },
            [](int fd, const struct timespec times[2]) {
                return fails(SysCall::Futimens) ? -1 : realSysOps().futimens(fd, times);
            },
            [](int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
                return fails(SysCall::Renameat) ? -1 : realSysOps().renameat(olddirfd, oldpath, newdirfd, newpath);
            },
            [](int dirfd, const char* path, int flags) {
                return fails(SysCall::Unlinkat) ? -1 : realSysOps().unlinkat(dirfd, path, flags);
            },
            // A close that "fails" still releases the descriptor, as on Linux.
            [](int fd) {
                const bool failing = fails(SysCall::Close);
                const int result = realSysOps().close(fd);
                if (failing)
                    errno = state().plan.error;
                return failing ? -1 : result;
            },
            [](int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t length) -> ssize_t {
                return fails(SysCall::Write)
                    ? failedTransfer()
                    : realSysOps().copyFileRange(fdIn, offIn, fdOut, offOut, limited(SysCall::Write, length));
            },
            [](int destFd, int srcFd) { return fails(SysCall::Clone) ? -1 : realSysOps().cloneFile(destFd, srcFd); },
            [](int fd, const void* buf, size_t count, off_t offset) -> ssize_t {
                return fails(SysCall::Write) ? failedTransfer()
                                             : realSysOps().pwrite(fd, buf, limited(SysCall::Write, count), offset);
            },
            [](int fd) { return fails(SysCall::Fsync) ? -1 : realSysOps().syncfs(fd); },
            // Looking, not writing: always the real calls.
            [](int fd, struct stat* st) { return realSysOps().fstat(fd, st); },
            [](int dirfd, const char* path, struct stat* st, int flags) {
                return realSysOps().fstatat(dirfd, path, st, flags);
            },
            [](int fd) { return fails(SysCall::Dup) ? -1 : realSysOps().dup(fd); },
            [](int fd, int cmd, int arg) { return realSysOps().fcntl(fd, cmd, arg); },
            [](int dirfd, const char* path, int mode, int flags) {
                return realSysOps().faccessat(dirfd, path, mode, flags);
            },
            [](int fd, struct statfs* st) { return realSysOps().fstatfs(fd, st); },
            [](struct utsname* name) { return realSysOps().uname(name); },
            [](int fd, const char* name, const void* value, size_t size, int flags) {
                return realSysOps().fsetxattr(fd, name, value, size, flags);
            },
            [](int dirfd, const char* path, mode_t mode) { return realSysOps().mkdirat(dirfd, path, mode); },
            [](int fd, void* buf, size_t count, off_t offset) -> ssize_t {
                return fails(SysCall::Read) ? failedTransfer()
                                            : realSysOps().pread(fd, buf, limited(SysCall::Read, count), offset);
            },
            [](int fd, int operation) { return realSysOps().flock(fd, operation); },
        };
        return ops;
    }

    ScopedSysOps scope_;
};

} // namespace shotdate
