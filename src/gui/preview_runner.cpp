#include "preview_runner.h"

#include <QMetaObject>

#include <exception>

PreviewRunner::PreviewRunner(QObject* parent)
    : QObject(parent)
{
}

PreviewRunner::~PreviewRunner()
{
    if (worker_.joinable()) {
        stop_.store(true);
        worker_.join();
    }
}

void PreviewRunner::setFileHookForTests(std::function<void(const shotdate::FileReport&)> hook)
{
    fileHook_ = std::move(hook);
}

bool PreviewRunner::start(shotdate::RunSettings settings)
{
    if (worker_.joinable())
        return false;
    {
        std::lock_guard lock(mutex_);
        newRows_.clear();
        counts_ = Counts{};
        queued_ = false;
    }
    stop_.store(false);
    settings.dryRun = true;
    worker_ = std::thread(&PreviewRunner::work, this, std::move(settings));
    return true;
}

void PreviewRunner::work(shotdate::RunSettings settings)
{
    bool stopped = true;
    try {
        shotdate::RunCallbacks callbacks;
        callbacks.onTargets = [this](std::size_t total) {
            {
                std::lock_guard lock(mutex_);
                counts_.total = int(total);
            }
            post();
        };
        callbacks.onListingProblem = [this](const shotdate::ListingProblem& problem) {
            Row row;
            row.path = problem.path;
            row.reason = shotdate::Reason::Unreadable;
            row.unreadableFolder = true;
            keep(std::move(row));
        };
        callbacks.onFile = [this](const shotdate::FileReport& report) {
            {
                std::lock_guard lock(mutex_);
                counts_.done = int(report.index);
                if (shotdate::isSuccess(report.reason))
                    ++counts_.wouldRewrite;
            }
            keep(Row{report.inPath, report.reason, report.oldDate, report.newDate, false});
            if (fileHook_)
                fileHook_(report);
        };
        stopped = shotdate::runBatch(settings, stop_, callbacks).stopped;
    } catch (const std::exception&) {
        // Out of memory in a callback: the preview ends with what it has.
    }
    {
        std::lock_guard lock(mutex_);
        counts_.finished = true;
        counts_.stopped = stopped;
    }
    // After every update the batch made, so the last counts arrive first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (worker_.joinable())
                worker_.join();
            deliver();
            emit finished();
        },
        Qt::QueuedConnection);
}

void PreviewRunner::keep(Row row)
{
    {
        std::lock_guard lock(mutex_);
        if (!shotdate::isSuccess(row.reason))
            ++counts_.passedOver;
        if (counts_.rows < kMaxRows) {
            ++counts_.rows;
            newRows_.push_back(std::move(row));
        }
    }
    post();
}

void PreviewRunner::post()
{
    {
        std::lock_guard lock(mutex_);
        if (queued_)
            return;  // the queued update will carry this too
        queued_ = true;
    }
    QMetaObject::invokeMethod(this, &PreviewRunner::deliver, Qt::QueuedConnection);
}

void PreviewRunner::deliver()
{
    {
        std::lock_guard lock(mutex_);
        queued_ = false;
    }
    emit updated();
}

std::vector<PreviewRunner::Row> PreviewRunner::takeNewRows()
{
    std::lock_guard lock(mutex_);
    std::vector<Row> rows;
    rows.swap(newRows_);
    return rows;
}

PreviewRunner::Counts PreviewRunner::counts() const
{
    std::lock_guard lock(mutex_);
    return counts_;
}
