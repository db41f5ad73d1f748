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
#include <functional>
#include <utility>

namespace shotdate {

// Writes, copies and patches of a file's content all count as Write, reads
// of it as Read, and fsync and syncfs both as Fsync: a plan names the step,
// not the system call that happens to carry it out.
enum class SysCall { Openat, Write, Read, Fsync, Fchown, Fchmod, Futimens, Renameat, Unlinkat, Close, Clone, Dup };

struct InjectedFailure {
    SysCall call = SysCall::Write;
    int nth = 1; // first call of `call` that fails, counting from 1; 0: none fails
    int times = 1; // how many calls in a row fail; 0: every call from `nth` on
    int error = EIO; // errno of a failing call
    std::size_t maxBytes = 0; // read/write: each call moves at most this many bytes (0: no limit)
    bool returnsZero = false; // read/write: a failing call returns 0 (no progress) instead of -1
};

// Runs before every counted call, with the descriptor the call reads from
// (the source of a copy or clone) or else acts on: lets a test change a file
// at one exact moment of a run.
using BeforeCall = std::function<void(SysCall call, int fd)>;

class FailingSysOps {
public:
    explicit FailingSysOps(const InjectedFailure& plan, BeforeCall before = {})
        : scope_(install(plan, std::move(before)))
    {}
    ~FailingSysOps() { state() = State{}; }
    FailingSysOps(const FailingSysOps&) = delete;
    FailingSysOps& operator=(const FailingSysOps&) = delete;

    // How often `call` was made (failed calls included) since construction.
    int calls(SysCall call) const { return state().counts[std::size_t(call)]; }

private:
    struct State {
        InjectedFailure plan;
        BeforeCall before;
        std::array<int, 12> counts{};
        bool installed = false;
    };

    static State& state()
    {
        static State shared;
        return shared;
    }

    static const SysOps& install(const InjectedFailure& plan, BeforeCall before)
    {
        if (state().installed)
            std::abort(); // two plans at once would silently mix their counts
        state() = State{plan, std::move(before), {}, true};
        return table();
    }

    // Counts the call and decides whether it fails; a failing call has errno set.
    static bool fails(SysCall call, int fd)
    {
        State& s = state();
        if (s.before)
            s.before(call, fd);
        const int n = ++s.counts[std::size_t(call)];
        const InjectedFailure& plan = s.plan;
        if (plan.call != call || plan.nth <= 0 || n < plan.nth || (plan.times > 0 && n >= plan.nth + plan.times))
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

    // The real calls, but for those a plan can make fail.
    static const SysOps& table()
    {
        static const SysOps ops = [] {
            SysOps t = realSysOps();
            t.openat = [](int dirfd, const char* path, int flags, mode_t mode) {
                return fails(SysCall::Openat, dirfd) ? -1 : realSysOps().openat(dirfd, path, flags, mode);
            };
            t.write = [](int fd, const void* buf, size_t count) {
                return fails(SysCall::Write, fd) ? failedTransfer()
                                                 : realSysOps().write(fd, buf, limited(SysCall::Write, count));
            };
            t.pwrite = [](int fd, const void* buf, size_t count, off_t offset) {
                return fails(SysCall::Write, fd) ? failedTransfer()
                                                 : realSysOps().pwrite(fd, buf, limited(SysCall::Write, count), offset);
            };
            t.copyFileRange = [](int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t length) {
                return fails(SysCall::Write, fdIn)
                    ? failedTransfer()
                    : realSysOps().copyFileRange(fdIn, offIn, fdOut, offOut, limited(SysCall::Write, length));
            };
            t.read = [](int fd, void* buf, size_t count) {
                return fails(SysCall::Read, fd) ? failedTransfer()
                                                : realSysOps().read(fd, buf, limited(SysCall::Read, count));
            };
            t.pread = [](int fd, void* buf, size_t count, off_t offset) {
                return fails(SysCall::Read, fd) ? failedTransfer()
                                                : realSysOps().pread(fd, buf, limited(SysCall::Read, count), offset);
            };
            t.fsync = [](int fd) { return fails(SysCall::Fsync, fd) ? -1 : realSysOps().fsync(fd); };
            t.syncfs = [](int fd) { return fails(SysCall::Fsync, fd) ? -1 : realSysOps().syncfs(fd); };
            t.fchown = [](int fd, uid_t owner, gid_t group) {
                return fails(SysCall::Fchown, fd) ? -1 : realSysOps().fchown(fd, owner, group);
            };
            t.fchmod = [](int fd, mode_t mode) {
                return fails(SysCall::Fchmod, fd) ? -1 : realSysOps().fchmod(fd, mode);
            };
            t.futimens = [](int fd, const struct timespec times[2]) {
                return fails(SysCall::Futimens, fd) ? -1 : realSysOps().futimens(fd, times);
            };
            t.renameat = [](int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
                return fails(SysCall::Renameat, olddirfd) ? -1
                                                          : realSysOps().renameat(olddirfd, oldpath, newdirfd, newpath);
            };
            t.unlinkat = [](int dirfd, const char* path, int flags) {
                return fails(SysCall::Unlinkat, dirfd) ? -1 : realSysOps().unlinkat(dirfd, path, flags);
            };
            // A close that "fails" still releases the descriptor, as on Linux.
            t.close = [](int fd) {
                const bool failing = fails(SysCall::Close, fd);
                const int result = realSysOps().close(fd);
                errno = failing ? state().plan.error : errno;
                return failing ? -1 : result;
            };
            t.cloneFile = [](int destFd, int srcFd) {
                return fails(SysCall::Clone, srcFd) ? -1 : realSysOps().cloneFile(destFd, srcFd);
            };
            t.dup = [](int fd) { return fails(SysCall::Dup, fd) ? -1 : realSysOps().dup(fd); };
            return t;
        }();
        return ops;
    }

    ScopedSysOps scope_;
};

} // namespace shotdate
