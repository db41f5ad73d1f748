#pragma once

#include "run/batch_run.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Runs the batch as a dry run (every file read and checked, nothing
// written) on a thread of its own, for the preview. Keeps the first
// kMaxRows outcomes and counts the rest. Like the run, it reports at most
// one update at a time to the UI thread; the receiver takes what is new.
class PreviewRunner : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 500;

    struct Row {
        std::string path;
        shotdate::Reason reason = shotdate::Reason::WouldRewrite;
        std::string oldDate;
        std::string newDate;
        bool unreadableFolder = false;  // a folder the listing could not enter
    };

    struct Counts {
        int total = 0;           // targets listed
        int done = 0;            // targets checked so far
        int wouldRewrite = 0;
        int passedOver = 0;      // files, and folders that could not be read
        int rows = 0;            // rows kept, at most kMaxRows
        bool finished = false;
        bool stopped = false;
    };

    explicit PreviewRunner(QObject* parent = nullptr);
    // Stops a preview still going and waits for the file in hand.
    ~PreviewRunner() override;

    // The run's own settings; the dry run is set here. False while one is going.
    bool start(shotdate::RunSettings settings);
    void requestStop() { stop_.store(true); }
    bool isRunning() const { return worker_.joinable(); }

    // The rows that came in since the last call, and the counts so far.
    std::vector<Row> takeNewRows();
    Counts counts() const;

    // Tests only: called on the worker thread after each target.
    void setFileHookForTests(std::function<void(const shotdate::FileReport&)> hook);

signals:
    void updated();
    void finished();

private:
    void work(shotdate::RunSettings settings);
    void keep(Row row);
    void post();
    void deliver();

    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::function<void(const shotdate::FileReport&)> fileHook_;

    mutable std::mutex mutex_;
    std::vector<Row> newRows_;
    Counts counts_;
    bool queued_ = false;
};
