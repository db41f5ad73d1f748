#include "run/worker_pool.h"

namespace shotdate {

WorkerPool::WorkerPool(std::size_t threads)
{
    for (std::size_t i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

std::future<void> WorkerPool::submit(std::function<void()> job)
{
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    {
        const std::lock_guard lock(mutex_);
        queued_.push_back(std::move(task));
    }
    wake_.notify_one();
    return done;
}

void WorkerPool::work()
{
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return finishing_ || !queued_.empty(); });
            if (queued_.empty())
                return;
            task = std::move(queued_.front());
            queued_.pop_front();
        }
        task();
    }
}

} // namespace shotdate
