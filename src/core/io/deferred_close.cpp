#include "io/deferred_close.h"

#include <unistd.h>

#include <system_error>

namespace shotdate {

DeferredClose::DeferredClose()
{
    try {
        worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // No thread to spare: add() closes at once.
    }
}

DeferredClose::~DeferredClose()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable())
        worker_.join();
    for (const int fd : queued_)
        ::close(fd);
}

void DeferredClose::add(int fd)
{
    if (fd < 0)
        return;
    {
        std::lock_guard lock(mutex_);
        if (worker_.joinable() && queued_.size() < kMaxQueued) {
            queued_.push_back(fd);
            wake_.notify_one();
            return;
        }
    }
    ::close(fd);
}

void DeferredClose::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return finishing_ || !queued_.empty(); });
        if (queued_.empty())
            return; // finishing, and nothing left
        const int fd = queued_.front();
        queued_.pop_front();
        lock.unlock();
        ::close(fd);
        lock.lock();
    }
}

} // namespace shotdate
