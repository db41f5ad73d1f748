#include "stop_signal.h"

#include <csignal>

namespace shotdate::cli {

namespace {

// Written from a signal handler: only a lock-free atomic is safe there.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int)
{
    gStop.store(true, std::memory_order_relaxed);
}

} // namespace

bool installStopOnInterrupt()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a read or write that the signal interrupts goes on, so the
    // current file is not failed with EINTR.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    // A polite kill (SIGTERM, SIGHUP from a closed terminal) stops the same
    // way: the current file is finished, never left half-done.
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0
        && sigaction(SIGHUP, &action, nullptr) == 0;
}

const std::atomic<bool>& stopFlag()
{
    return gStop;
}

} // namespace shotdate::cli
