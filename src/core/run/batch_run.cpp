#include "run/batch_run.h"

#include "io/held_folder.h"
#include "io/path_text.h"
#include "run/durable_batch.h"
#include "run/file_rewrite.h"

#include <cerrno>
#include <new>
#include <set>
#include <utility>

namespace shotdate {

namespace {

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

RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks)
{
    RunSummary summary;
    const TargetList list = getIchiran(settings.inputPath, settings.subfolders);
    FolderTree& folders = *list.folders;
    if (callbacks.onTargets)
        callbacks.onTargets(list.targets.size());
    for (const auto& problem : list.problems) {
        summary.listingProblems.push_back(problem);
        if (callbacks.onListingProblem)
            callbacks.onListingProblem(problem);
    }
    // A folder put in place of the one the start check saw is not listed
    // from, let alone written to.
    if (!list.singleFile && !folders.empty() && settings.checkedInput && folders.identity(0) != *settings.checkedInput)
        folders.markGone(0, ESTALE);

    const OutputFolder output(settings);
    OutputClaims claims(list, output.fd());
    DurableBatch batch;
    std::set<std::pair<FolderTree::Id, std::string>> rewrittenInPlace;
    const FileRewriteOptions options{settings.dryRun};
    const auto report = [&](DurableBatch::Pending& done) {
        FileReport& fileReport = done.report;
        if (isSuccess(fileReport.reason)) {
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
            summary.passedOverFiles.push_back(fileReport);
        }
        // A callback that throws must not leave the rest of a batch unreported.
        try {
            if (callbacks.onFile)
                callbacks.onFile(fileReport);
        } catch (...) {
        }
    };

    for (std::size_t i = 0; i < list.targets.size(); ++i) {
        if (stop.load()) {
            summary.stopped = true;
            break;
        }
        const Target& target = list.targets[i];
        DurableBatch::Pending pending;
        FileReport& fileReport = pending.report;
        pending.fileName = lastPathComponent(target.inPath);
        fileReport.index = i + 1;
        fileReport.inPath = target.inPath;
        fileReport.outPath = plannedOutputPath(settings, list, target);
        if (target.passOver) {
            fileReport.reason = target.reason;
            batch.add(std::move(pending), 0); // reports stay in list order
            continue;
        }
        // Whatever becomes of this target, its folder waits for it no longer
        // (a prepared file holds a descriptor of its own).
        struct WorkDone {
            FolderTree& folders;
            FolderTree::Id id;
            ~WorkDone() { folders.finishWork(id); }
        } workDone{folders, target.folder};

        const int gone = folderUnusable(folders, target);
        const int outputGone = settings.outputFolder ? output.unusable() : 0;
        if (gone != 0 || outputGone != 0) {
            fileReport.reason = Reason::FolderGone;
            fileReport.error = gone != 0 ? gone : outputGone;
            batch.add(std::move(pending), 0);
            continue;
        }
        // In place, a symbolic link to a file the run already rewrote would
        // move its date a second time. (Hard links are separate names: each
        // still holds the old file when its turn comes.)
        if (!settings.outputFolder && !rewrittenInPlace.insert({target.folder, target.name}).second) {
            fileReport.reason = Reason::SameFileTwice;
            batch.add(std::move(pending), 0);
            continue;
        }
        const FileLocation in{folders.descriptor(target.folder), target.name, target.inPath};
        FileLocation out = in;
        if (settings.outputFolder) {
            const std::string planned = lastPathComponent(fileReport.outPath);
            std::string name = planned;
            for (int n = 2; claims.taken(name); ++n) {
                name = numberedFileName(planned, n);
                fileReport.renamed = true;
            }
            fileReport.outPath = joinPath(*settings.outputFolder, name);
            out = FileLocation{output.fd(), name, fileReport.outPath};
        }
        FileRewrite result;
        try {
            result = prepareFileRewrite(in, out, settings.dates, options, pending.prepared);
        } catch (const std::bad_alloc&) {
            result.reason = Reason::TooLarge;
        } catch (...) {
            result.reason = Reason::Unreadable;
        }
        if (result.folderFailed) {
            // A folder that fails to look a name up will fail the rest too.
            folders.markGone(target.folder, result.error);
            result.reason = Reason::FolderGone;
        } else if (result.reason == Reason::NotFound && folderUnusable(folders, target) != 0) {
            result.reason = Reason::FolderGone; // the file went with its folder
        }
        fileReport.reason = result.reason;
        fileReport.error = result.error;
        fileReport.oldDate = result.oldDate;
        fileReport.newDate = result.newDate;
        fileReport.exiv2Message = result.exiv2Message;
        if (isSuccess(fileReport.reason) && settings.outputFolder)
            claims.claimName(out.name); // a dry run plans the names it would use, too
        batch.add(std::move(pending), isSuccess(fileReport.reason) ? result.size : 0);
        if (batch.full())
            batch.flush(report);
    }
    batch.flush(report);
    return summary;
}

} // namespace shotdate
