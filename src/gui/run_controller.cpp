#include "run_controller.h"

#include <QFile>
#include <QMetaObject>

#include "io/path_text.h"
#include "run/run_journal.h"
#include "run/undo_run.h"

#include <cerrno>
#include <ctime>
#include <exception>
#include <optional>

RunController::RunController(QObject* parent)
    : QObject(parent)
{
    progressTimer_.setSingleShot(true);
    connect(&progressTimer_, &QTimer::timeout, this, &RunController::deliverProgress);
}

RunController::~RunController()
{
    if (worker_.joinable()) {
        stop_.store(true);
        worker_.join();
    }
}

void RunController::setFileHookForTests(std::function<void(const shotdate::FileReport&)> hook)
{
    fileHook_ = std::move(hook);
}

bool RunController::start(const shotdate::RunSettings& settings)
{
    return begin(settings, {});
}

bool RunController::startUndo(const std::string& runId)
{
    return begin({}, runId);
}

bool RunController::begin(const shotdate::RunSettings& settings, const std::string& undoId)
{
    if (worker_.joinable())
        return false;
    {
        std::lock_guard lock(progressMutex_);
        latest_ = Progress{};
        progressQueued_ = false;
    }
    progressDeliveries_ = 0;
    lastRunId_.clear();
    lastJournalFailed_ = false;
    sinceProgress_.invalidate();
    worker_ = std::thread(&RunController::work, this, settings, undoId);
    return true;
}

void RunController::work(shotdate::RunSettings settings, std::string undoId)
{
    shotdate::RunSummary summary;
    try {
        shotdate::RunCallbacks callbacks;
        callbacks.onTargets = [this](std::size_t total) {
            QMetaObject::invokeMethod(
                this, [this, total] { emit targetsCounted(int(total)); }, Qt::QueuedConnection);
        };
        callbacks.onFile = [this](const shotdate::FileReport& report) {
            {
                std::lock_guard lock(progressMutex_);
                latest_.filesDone = int(report.index);
            }
            if (fileHook_)
                fileHook_(report);
            postProgress();
        };
        callbacks.onProgress = [this](int count, const std::string& fileName) {
            {
                std::lock_guard lock(progressMutex_);
                latest_.count = count;
                latest_.fileName = QFile::decodeName(QByteArray::fromStdString(fileName));
                latest_.hasSuccess = true;
            }
            postProgress();
        };
        summary = journaledRun(settings, undoId, callbacks);
    } catch (const std::exception&) {
        // The core never throws; a failure to allocate in a callback still
        // ends the run in order, with the count reached so far.
        std::lock_guard lock(progressMutex_);
        summary.rewritten = latest_.count;
        summary.stopped = true;
    }
    // Queued after every progress report the batch made, so the window sees
    // the last count before the end.
    QMetaObject::invokeMethod(
        this, [this, summary] { deliverFinished(summary); }, Qt::QueuedConnection);
}

shotdate::RunSummary RunController::journaledRun(const shotdate::RunSettings& settings, const std::string& undoId,
                                                const shotdate::RunCallbacks& callbacks)
{
    using namespace shotdate;
    if (settings.dryRun)
        return runBatch(settings, stop_, callbacks);
    forgetOldJournals(std::time(nullptr));
    std::optional<JournalRun> undone;
    if (!undoId.empty()) {
        undone = readJournal(joinPath(journalFolder(), undoId + ".jsonl"));
        if (!undone) {
            RunSummary none;
            none.journalError = ENOENT;
            return none;
        }
    }
    int error = 0;
    const auto journal = RunJournal::start(
        undone ? journalHeaderFor(undoSettings(*undone), undoId) : journalHeaderFor(settings), error);
    if (journal)
        lastRunId_ = journal->header().id;
    RunSummary summary = undone ? runUndo(*undone, stop_, callbacks, journal.get())
                                : runBatch(settings, stop_, callbacks, journal.get());
    if (journal)
        journal->finish(summary.rewritten, summary.stopped);
    else
        summary.journalError = error;
    lastJournalFailed_ = summary.journalError != 0;
    return summary;
}

void RunController::postProgress()
{
    {
        std::lock_guard lock(progressMutex_);
        if (progressQueued_)
            return;  // the queued report will carry these values too
        progressQueued_ = true;
    }
    QMetaObject::invokeMethod(this, &RunController::deliverProgress, Qt::QueuedConnection);
}

void RunController::deliverProgress()
{
    if (sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressGapMs) {
        // Still queued as far as the worker knows: it posts nothing more,
        // and the timer delivers whatever is latest by then.
        if (!progressTimer_.isActive())
            progressTimer_.start(int(kProgressGapMs - sinceProgress_.elapsed()));
        return;
    }
    progressTimer_.stop();
    sinceProgress_.start();
    Progress p;
    {
        std::lock_guard lock(progressMutex_);
        p = latest_;
        progressQueued_ = false;
    }
    ++progressDeliveries_;
    if (p.hasSuccess)
        emit progressed(p.count, p.fileName, p.filesDone);
    else
        emit progressed(0, QString(), p.filesDone);
}

void RunController::deliverFinished(const shotdate::RunSummary& summary)
{
    if (worker_.joinable())
        worker_.join();  // the worker has nothing left to do but return
    // The last count, if the timer still holds it back.
    bool held = false;
    {
        std::lock_guard lock(progressMutex_);
        held = progressQueued_;
    }
    if (held) {
        sinceProgress_.invalidate();
        deliverProgress();
    }
    emit finished(summary);
}
