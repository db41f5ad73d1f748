#pragma once

// Makes one system call on the write path fail on purpose, so that a test can
// prove what survives an I/O error, a full disk or a refused rename:
//     FailingSysOps failing({.call = SysCall::Write, .nth = 2, .error = ENOSPC});
// makes the second write fail with ENOSPC. Every other call goes to the real
// system. A hook can also act at one exact call (swap a folder for a link
// the moment its name is looked up), never by timing. The plan lives in one
// shared place: one FailingSysOps at a time.

#include "io/sys_ops.h"

#include <array>
#include <cerrno>
#include <functional>
#include <tuple>

namespace shotdate {

// Writes, copies and patches of a file's content all count as Write, reads
// of it as Read, and fsync and syncfs both as Fsync: a plan names the step,
// not the system call that happens to carry it out.
enum class SysCall { Openat, Write, Read, Fsync, Fchown, Fchmod, Futimens, Renameat, Clone, Dup };

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
// Sees every openat first; a non-zero answer fails the call with that errno.
using OpenHook = std::function<int(int dirfd, const char* path, int flags)>;

class FailingSysOps {
public:
    explicit FailingSysOps(const InjectedFailure& plan, BeforeCall before = {}, OpenHook onOpen = {}) : scope_(table())
    {
        if (state().installed)
            std::abort(); // two plans at once would silently mix their counts
        state() = State{plan, std::move(before), std::move(onOpen), {}, true};
    }
    explicit FailingSysOps(OpenHook onOpen) : FailingSysOps({.nth = 0}, {}, std::move(onOpen)) {}
    ~FailingSysOps() { state() = State{}; }
    FailingSysOps(const FailingSysOps&) = delete;
    FailingSysOps& operator=(const FailingSysOps&) = delete;

    // How often `call` was made (failed calls included) since construction.
    int calls(SysCall call) const { return state().counts[std::size_t(call)]; }

private:
    struct State {
        InjectedFailure plan;
        BeforeCall before;
        OpenHook onOpen;
        std::array<int, 32> counts{}; // room for more kinds of call
        bool installed = false;
    };
    static State& state()
    {
        static State shared;
        return shared;
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

    // The real `member`, counted as `call` and failing when the plan says so.
    // Argument `fdArg` is the descriptor the hook sees; a read or write moves
    // at most the plan's maxBytes of its count at `countArg`.
    template <SysCall call, auto member, int fdArg = 0, int countArg = -1, typename R, typename... A>
    static auto seam(R (*)(A...)) -> R (*)(A...)
    {
        return [](A... args) -> R {
            std::tuple<A...> a(args...);
            const InjectedFailure& plan = state().plan;
            if (fails(call, int(std::get<fdArg>(a))))
                return R(countArg >= 0 && plan.returnsZero ? 0 : -1);
            if constexpr (countArg >= 0) {
                if (plan.call == call && plan.maxBytes > 0 && std::get<countArg>(a) > plan.maxBytes)
                    std::get<countArg>(a) = plan.maxBytes;
            }
            return std::apply(realSysOps().*member, a);
        };
    }
    static const SysOps& table()
    {
        using enum SysCall;
        static const SysOps ops = [] {
            SysOps t = realSysOps();
            static const auto counted = seam<Openat, &SysOps::openat>(t.openat);
            t.openat = [](int dirfd, const char* path, int flags, mode_t mode) {
                const int error = state().onOpen ? state().onOpen(dirfd, path, flags) : 0;
                errno = error != 0 ? error : errno;
                return error != 0 ? -1 : counted(dirfd, path, flags, mode);
            };
            t.write = seam<Write, &SysOps::write, 0, 2>(t.write);
            t.pwrite = seam<Write, &SysOps::pwrite, 0, 2>(t.pwrite);
            t.copyFileRange = seam<Write, &SysOps::copyFileRange, 0, 4>(t.copyFileRange);
            t.read = seam<Read, &SysOps::read, 0, 2>(t.read);
            t.pread = seam<Read, &SysOps::pread, 0, 2>(t.pread);
            t.fsync = seam<Fsync, &SysOps::fsync>(t.fsync);
            t.syncfs = seam<Fsync, &SysOps::syncfs>(t.syncfs);
            t.fchown = seam<Fchown, &SysOps::fchown>(t.fchown);
            t.fchmod = seam<Fchmod, &SysOps::fchmod>(t.fchmod);
            t.futimens = seam<Futimens, &SysOps::futimens>(t.futimens);
            t.renameat = seam<Renameat, &SysOps::renameat>(t.renameat);
            t.cloneFile = seam<Clone, &SysOps::cloneFile, 1>(t.cloneFile); // the source
            t.dup = seam<Dup, &SysOps::dup>(t.dup);
            return t;
        }();
        return ops;
    }
    ScopedSysOps scope_;
};

} // namespace shotdate
