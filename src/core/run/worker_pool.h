#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace shotdate {

// A few threads that take jobs in the order they were handed in. Reading
// and checking a small photo costs more processor time than writing its
// changed bytes, so a run reads ahead on every core while it writes.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t threads);
    // Runs every job still queued, then joins.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The job must not throw; its future is ready once it has run.
    std::future<void> submit(std::function<void()> job);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> queued_;
    bool finishing_ = false;
    std::vector<std::thread> threads_;
};

} // namespace shotdate
