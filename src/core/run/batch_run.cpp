#include "run/batch_run.h"

#include "io/case_folding.h"
#include "io/file_probe.h"
#include "io/held_folder.h"
#include "io/path_text.h"
#include "io/sys_ops.h"
#include "run/durable_batch.h"
#include "run/file_rewrite.h"
#include "run/run_journal.h"
#include "run/sidecar_rewrite.h"
#include "run/worker_pool.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <future>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace shotdate {

namespace {

// Readers beyond the cores a small photo needs, and files read ahead of
// the one being finished: enough to keep the cores busy while a batch is
// made durable, few enough to hold their descriptors (64 files wait in a
// batch already).
constexpr std::size_t kMaxReaders = 4;
constexpr std::size_t kReadAhead = 32;

// The output folder, opened once by the path the user gave and held for
// the whole run: renamed and replaced by a link mid-run, it still gets the
// files, and the link's target none.
class OutputFolder {
public:
    explicit OutputFolder(const RunSettings& settings)
    {
        if (!settings.outputFolder)
            return;
        fd_ = openFolderByPath(*settings.outputFolder);
        error_ = fd_ < 0 ? errno : 0;
        if (fd_ >= 0 && settings.checkedOutput && identityOfDescriptor(fd_) != settings.checkedOutput) {
            closeFolder(std::exchange(fd_, -1));
            error_ = ESTALE; // not the folder the start check saw
        }
    }
    ~OutputFolder() { closeFolder(fd_); }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    int fd() const { return fd_; }
    // 0 while files can go there, else the errno that says why not.
    int unusable() const
    {
        if (fd_ < 0)
            return error_ != 0 ? error_ : ENOENT;
        return folderGone(fd_) ? ENOENT : 0;
    }

private:
    int fd_ = -1;
    int error_ = 0;
};

// 0 while the folder a target lies in can still be read, else why not.
int folderUnusable(FolderTree& folders, const Target& target)
{
    const int fd = folders.descriptor(target.folder);
    if (fd < 0)
        return folders.goneError(target.folder);
    if (folderGone(fd)) {
        folders.markGone(target.folder, ENOENT);
        return ENOENT;
    }
    return 0;
}

} // namespace

RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks,
                    RunJournal* journal)
{
    RunSummary summary;
    // Every input is listed before the first file is touched: the count is
    // the whole run's, and the output names must know all the run's inputs.
    const std::vector<std::string> inputs = runInputs(settings);
    std::vector<TargetList> lists;
    std::size_t targetCount = 0;
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        lists.push_back(getIchiran(inputs[k], settings.subfolders));
        FolderTree& folders = *lists.back().folders;
        // A folder put in place of the one the start check saw is not
        // listed from, let alone written to.
        const bool checked = k < settings.checkedInputs.size() && settings.checkedInputs[k];
        if (!lists.back().singleFile && !folders.empty() && checked
            && folders.identity(0) != *settings.checkedInputs[k])
            folders.markGone(0, ESTALE);
        // The shell may name thousands of files: each input's folders wait
        // closed, and open again (the same folders, or none) at its turn.
        if (inputs.size() > 1)
            folders.setAside();
        targetCount += lists.back().targets.size();
    }
    if (callbacks.onTargets)
        callbacks.onTargets(targetCount);
    for (const TargetList& list : lists)
        for (const auto& problem : list.problems) {
            summary.listingProblems.push_back(problem);
            if (callbacks.onListingProblem)
                callbacks.onListingProblem(problem);
        }

    const OutputFolder output(settings);
    // Two names that differ only in case would land on one file on a memory
    // card: found out once, before the first file, when the names could clash.
    bool foldsCase = false;
    if (settings.outputFolder) {
        std::vector<std::string> planned;
        for (const TargetList& list : lists)
            for (const Target& target : list.targets)
                if (!target.passOver)
                    planned.push_back(plannedOutputPath(settings, list, target));
        foldsCase = caseCouldMatter(planned) && folderFoldsCase(*settings.outputFolder, !settings.dryRun);
    }
    OutputClaims claims(lists, output.fd(), foldsCase);
    DurableBatch batch;
    batch.setJournal(journal);
    // In place, the files already rewritten: their folder (by identity, the
    // same whichever input reached it) and name.
    std::set<std::pair<FileIdentity, std::string>> rewrittenInPlace;
    // The files patched in place, by device and inode.
    std::set<std::pair<std::uint64_t, std::uint64_t>> patchedFiles;
    SidecarRun sidecars;
    FileRewriteOptions options{settings.dryRun};
    options.fileTime = settings.fileTime;
    const auto report = [&](DurableBatch::Pending& done) {
        FileReport& fileReport = done.report;
        if (countsAsRewritten(fileReport.reason)) {
            ++summary.rewritten;
            if (settings.outputFolder)
                claims.claimWritten(lastPathComponent(fileReport.outPath));
            try {
                if (callbacks.onProgress)
                    callbacks.onProgress(summary.rewritten, done.fileName);
            } catch (...) {
            }
        } else {
            ++summary.passedOver;
        }
        if (!isSuccess(fileReport.reason))
            summary.passedOverFiles.push_back(fileReport);
        // A callback that throws must not leave the rest of a batch unreported.
        try {
            if (callbacks.onFile)
                callbacks.onFile(fileReport);
        } catch (...) {
        }
    };

    // A target on its way: decided at once (passed over), or being read and
    // prepared, perhaps on another thread.
    struct Slot {
        const TargetList* list = nullptr;
        const Target* target = nullptr;
        DurableBatch::Pending pending;
        bool holdsFolder = false; // its folder waits for it until it is finished
        FileLocation in, out;
        bool mayPatch = false;
        FileRewrite result;
        std::future<void> prepared; // valid while a worker prepares it
        bool preparing = false;
        // A worker reads through a folder descriptor of its own: the tree may
        // close its own (a folder found gone) while the worker still reads.
        int workerFolderFd = -1;
    };
    const auto prepare = [&](Slot& slot) {
        try {
            slot.result = prepareFileRewrite(slot.in, slot.out, settings.dates, options, slot.pending.prepared,
                                             slot.mayPatch ? &slot.pending.patch : nullptr);
        } catch (const std::bad_alloc&) {
            slot.result.reason = Reason::TooLarge;
        } catch (...) {
            slot.result.reason = Reason::Unreadable;
        }
    };

    // Files are read and prepared ahead on every core; everything else (the
    // checks against files already done, the names, the batch and every
    // report) happens here, in list order, as if one file followed another.
    // The fault-injection seams count calls in order, so tests that swap
    // the system calls run without read-ahead.
    // Slots live in a deque: a worker holds on to its slot while others come
    // and go. Declared before the readers, which finish their jobs first.
    std::deque<Slot> slots;
    std::optional<WorkerPool> readers;
    const std::size_t cores = std::thread::hardware_concurrency();
    if (!settings.outputFolder && cores > 1 && &sysOps() == &realSysOps())
        readers.emplace(std::min<std::size_t>(cores, kMaxReaders));
    const std::size_t readAhead = readers ? kReadAhead : 0;

    std::size_t index = 0;
    // Reports keep list order: the inputs in the order given, each sorted.
    const auto start = [&](const TargetList& list, const Target& target, Slot& slot) {
        slot.list = &list;
        slot.target = &target;
        DurableBatch::Pending& pending = slot.pending;
        FileReport& fileReport = pending.report;
        pending.fileName = lastPathComponent(target.inPath);
        fileReport.index = ++index;
        fileReport.inPath = target.inPath;
        fileReport.outPath = plannedOutputPath(settings, list, target);
        if (target.passOver) {
            fileReport.reason = target.reason;
            return;
        }
        FolderTree& folders = *list.folders;
        // Whatever becomes of this target, its folder waits for it until it
        // is finished (a prepared file holds a descriptor of its own).
        slot.holdsFolder = true;
        const int gone = folderUnusable(folders, target);
        const int outputGone = settings.outputFolder ? output.unusable() : 0;
        if (gone != 0 || outputGone != 0) {
            fileReport.reason = Reason::FolderGone;
            fileReport.error = gone != 0 ? gone : outputGone;
            return;
        }
        // In place, a file reached again (through a symbolic link, or named
        // by two inputs) would have its date moved a second time. (Hard
        // links are separate names: renamed over, each still holds the old
        // file when its turn comes; patched, they are told by their inode.)
        if (!settings.outputFolder && !rewrittenInPlace.insert({folders.identity(target.folder), target.name}).second) {
            fileReport.reason = Reason::SameFileTwice;
            return;
        }
        slot.in = FileLocation{folders.descriptor(target.folder), target.name, target.inPath};
        slot.out = slot.in;
        if (settings.outputFolder) {
            const std::string planned = lastPathComponent(fileReport.outPath);
            std::string name = planned;
            for (int n = 2; claims.taken(name); ++n) {
                name = numberedFileName(planned, n);
                fileReport.renamed = true;
            }
            fileReport.outPath = joinPath(*settings.outputFolder, name);
            slot.out = FileLocation{output.fd(), name, fileReport.outPath};
        }
        // Only a journal makes a patch in the file itself crash-safe.
        slot.mayPatch = journal && journal->error() == 0 && !settings.outputFolder;
        slot.preparing = true;
        if (readers && (slot.workerFolderFd = sysOps().dup(slot.in.folderFd)) >= 0) {
            slot.in.folderFd = slot.out.folderFd = slot.workerFolderFd; // in place: the same folder
            try {
                slot.prepared = readers->submit([&prepare, &slot] { prepare(slot); });
                return;
            } catch (...) {
                // No memory for the job: it is prepared here instead.
            }
        }
        prepare(slot);
    };

    const auto finish = [&](Slot& slot) {
        DurableBatch::Pending& pending = slot.pending;
        FileReport& fileReport = pending.report;
        if (slot.prepared.valid())
            slot.prepared.wait();
        // Closed when the slot is finished: the sidecars are still looked for there.
        const struct WorkerFolder {
            int fd;
            ~WorkerFolder()
            {
                if (fd >= 0)
                    sysOps().close(fd);
            }
        } workerFolder{std::exchange(slot.workerFolderFd, -1)};
        if (!slot.preparing) {
            if (slot.holdsFolder)
                slot.list->folders->finishWork(slot.target->folder);
            batch.add(std::move(pending), 0);
            if (batch.full())
                batch.flush(report);
            return;
        }
        // A journal that broke while this file was read ahead can no longer
        // cover a patch: the file is prepared again, to be renamed over.
        if (pending.patch.active() && journal && journal->error() != 0) {
            pending.patch.file.close();
            slot.mayPatch = false;
            prepare(slot);
        }
        const TargetList& list = *slot.list;
        const Target& target = *slot.target;
        FolderTree& folders = *list.folders;
        FileRewrite& result = slot.result;
        try {
            // One file under several names (hard links) is patched once: its
            // other names already show the new date.
            if (pending.patch.active()
                && !patchedFiles.insert({result.change.before.device, result.change.before.inode}).second) {
                pending.patch.file.close();
                result.reason = Reason::SameFileTwice;
            } else if (!settings.outputFolder && isSuccess(result.reason) && !pending.patch.active()
                       && patchedFiles.count({result.change.before.device, result.change.before.inode})) {
                pending.prepared.abandon();
                result.reason = Reason::SameFileTwice;
            }
            if (settings.dates.allDates && isSuccess(result.reason))
                addSidecarRewrites(slot.in, slot.out, settings.dates, settings.dryRun, sidecars, result,
                                   pending.prepared, pending.sidecars);
        } catch (const std::bad_alloc&) {
            result.reason = Reason::TooLarge;
        } catch (...) {
            result.reason = Reason::Unreadable;
        }
        if (!isSuccess(result.reason)) {
            pending.prepared.abandon(); // a sidecar that failed after the photo was prepared
            pending.patch.file.close();
            pending.sidecars.clear();
        }
        if (result.folderFailed) {
            // A folder that fails to look a name up will fail the rest too.
            folders.markGone(target.folder, result.error);
            result.reason = Reason::FolderGone;
        } else if (result.reason == Reason::NotFound && folderUnusable(folders, target) != 0) {
            result.reason = Reason::FolderGone; // the file went with its folder
        }
        folders.finishWork(target.folder);
        fileReport.reason = result.reason;
        fileReport.error = result.error;
        fileReport.oldDate = result.oldDate;
        fileReport.newDate = result.newDate;
        fileReport.exiv2Message = result.exiv2Message;
        if (fileReport.reason == Reason::Rewritten && journal) {
            pending.change = std::move(result.change);
            pending.change->relativePath =
                settings.outputFolder ? lastPathComponent(fileReport.outPath) : target.relative;
            // A sidecar stands beside its photo, in the same folder below the run's.
            const std::string& relative = pending.change->relativePath;
            const std::string folder = relative.substr(0, relative.rfind('/') + 1);
            for (JournalFile& sidecar : result.sidecarChanges)
                sidecar.relativePath = folder + lastPathComponent(sidecar.path);
            pending.sidecarChanges = std::move(result.sidecarChanges);
        }
        fileReport.changes = std::move(result.changes);
        fileReport.notes = std::move(result.notes);
        if (isSuccess(fileReport.reason) && settings.outputFolder)
            claims.claimName(slot.out.name); // a dry run plans the names it would use, too
        const bool patched = pending.patch.active();
        batch.add(std::move(pending), !isSuccess(fileReport.reason) ? 0 : patched ? kPatchPageBytes : result.size);
        if (batch.full())
            batch.flush(report);
    };

    for (const TargetList& list : lists) {
        for (const Target& target : list.targets) {
            if (stop.load()) {
                summary.stopped = true;
                break;
            }
            start(list, target, slots.emplace_back());
            while (slots.size() > readAhead) {
                finish(slots.front());
                slots.pop_front();
            }
        }
        if (summary.stopped)
            break;
    }
    // Those read ahead were begun before the stop flag was seen: finished too.
    for (; !slots.empty(); slots.pop_front())
        finish(slots.front());
    batch.flush(report);
    if (journal)
        summary.journalError = journal->error();
    return summary;
}

} // namespace shotdate
