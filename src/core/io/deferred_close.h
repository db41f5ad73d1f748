#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace shotdate {

// Closes descriptors on a thread of its own. When the last reference to a
// file that a rename replaced goes, the kernel frees its blocks and drops
// its cached pages there and then: milliseconds for a large photo, which a
// run need not wait for. Without a thread, descriptors are closed at once.
class DeferredClose {
public:
    DeferredClose();
    // Closes whatever is still queued, then joins.
    ~DeferredClose();
    DeferredClose(const DeferredClose&) = delete;
    DeferredClose& operator=(const DeferredClose&) = delete;

    // Takes ownership of `fd` (ignored when negative).
    void add(int fd);

private:
    // Beyond this many the caller closes its own, so that a slow disk cannot
    // run the process out of descriptors.
    static constexpr std::size_t kMaxQueued = 256;

    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<int> queued_;
    bool finishing_ = false;
    std::thread worker_;
};

} // namespace shotdate
