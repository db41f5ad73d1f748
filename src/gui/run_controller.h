#pragma once

#include "run/batch_run.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs the core's batch on a thread of its own and reports back on the UI
// thread, in the order the batch produced the events. Progress is
// coalesced: at most one progress report waits in the UI thread's queue at
// any time, carrying the latest values, so a run over thousands of small
// files cannot flood the window.
class RunController : public QObject {
    Q_OBJECT
public:
    explicit RunController(QObject* parent = nullptr);
    // A run still going is asked to stop and waited for: the current file
    // is always finished, never cut off.
    ~RunController() override;

    // False (and nothing starts) while a run is active. A run that writes
    // keeps a journal; its id is lastRunId() once it has finished.
    bool start(const shotdate::RunSettings& settings);
    // Undoes the journaled run `runId`, as a run of its own.
    bool startUndo(const std::string& runId);
    const std::string& lastRunId() const { return lastRunId_; }
    // Whether the last run wrote its journal whole (read after finished).
    bool lastJournalFailed() const { return lastJournalFailed_; }

    bool isRunning() const { return worker_.joinable(); }

    // The stop request the batch tests before each file.
    void requestStop() { stop_.store(true); }
    void clearStop() { stop_.store(false); }
    bool stopRequested() const { return stop_.load(); }

    // Tests only: called on the worker thread after each target's report,
    // to slow a run down or hold it at a chosen file.
    void setFileHookForTests(std::function<void(const shotdate::FileReport&)> hook);

    // How many progress reports reached the UI thread in the last run.
    int progressDeliveries() const { return progressDeliveries_; }

signals:
    void targetsCounted(int total);
    // count: files rewritten so far; fileName: the last one's name;
    // filesDone: targets handled so far, successes or not.
    void progressed(int count, const QString& fileName, int filesDone);
    void finished(const shotdate::RunSummary& summary);

private:
    struct Progress {
        int count = 0;
        QString fileName;
        int filesDone = 0;
        bool hasSuccess = false;
    };

    void work(shotdate::RunSettings settings, std::string undoId);
    bool begin(const shotdate::RunSettings& settings, const std::string& undoId);
    shotdate::RunSummary journaledRun(const shotdate::RunSettings& settings, const std::string& undoId,
                                      const shotdate::RunCallbacks& callbacks);
    void postProgress();
    void deliverProgress();
    void deliverFinished(const shotdate::RunSummary& summary);

    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::function<void(const shotdate::FileReport&)> fileHook_;

    // Shared with the worker: the latest progress and whether a delivery of
    // it is already queued.
    std::mutex progressMutex_;
    Progress latest_;
    bool progressQueued_ = false;

    int progressDeliveries_ = 0;
    // Written by the worker, read on the UI thread once it has joined.
    std::string lastRunId_;
    bool lastJournalFailed_ = false;

    // A label repainted for every quick file costs the run time on a busy
    // machine and shows nothing a person can read: reports closer together
    // than this wait for the timer, and the last one is always shown.
    static constexpr int kProgressGapMs = 40;
    QElapsedTimer sinceProgress_;
    QTimer progressTimer_;
};
