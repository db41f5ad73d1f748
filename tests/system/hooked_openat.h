#pragma once

// Lets a test act at one exact system call of a run: swap a folder for a
// link, remove it, or make the call fail, at the very moment the engine
// looks a name up, never by timing.
//
//     HookedOpenat hook([&](int, const char* path, int) { ...; return 0; });
//
// The hook sees every openat before it goes to the system; a non-zero
// answer fails the call with that errno. Only one may exist at a time.

#include "io/sys_ops.h"

#include <cerrno>
#include <functional>
#include <utility>

namespace shotdate {

class HookedOpenat {
public:
    using Hook = std::function<int(int dirfd, const char* path, int flags)>;

    explicit HookedOpenat(Hook hook) : scope_(install(std::move(hook))) {}
    ~HookedOpenat() { current() = nullptr; }
    HookedOpenat(const HookedOpenat&) = delete;
    HookedOpenat& operator=(const HookedOpenat&) = delete;

private:
    static Hook& current()
    {
        static Hook hook;
        return hook;
    }

    static const SysOps& install(Hook hook)
    {
        current() = std::move(hook);
        static const SysOps ops = [] {
            SysOps table = realSysOps();
            table.openat = [](int dirfd, const char* path, int flags, mode_t mode) {
                if (current()) {
                    if (const int error = current()(dirfd, path, flags)) {
                        errno = error;
                        return -1;
                    }
                }
                return realSysOps().openat(dirfd, path, flags, mode);
            };
            return table;
        }();
        return ops;
    }

    ScopedSysOps scope_;
};

} // namespace shotdate
