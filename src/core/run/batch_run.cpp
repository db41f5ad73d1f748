#include "run/batch_run.h"

#include "io/case_folding.h"
#include "io/file_probe.h"
#include "io/path_text.h"
#include "run/durable_batch.h"
#include "run/file_rewrite.h"

#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace shotdate {

RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks)
{
    RunSummary summary;
    // Every input is listed before the first file is touched: the count is
    // the whole run's, and the output names must know all the run's inputs.
    std::vector<TargetList> lists;
    std::size_t targetCount = 0;
    for (const std::string& input : runInputs(settings)) {
        lists.push_back(getIchiran(input, settings.subfolders));
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
    OutputClaims claims(lists, foldsCase);
    DurableBatch batch;
    std::set<std::string> rewrittenInPlace;
    const FileRewriteOptions options{settings.dryRun};
    const auto report = [&](DurableBatch::Pending& done) {
        FileReport& fileReport = done.report;
        if (countsAsRewritten(fileReport.reason)) {
            ++summary.rewritten;
            claims.claimWritten(fileReport.outPath);
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

    std::size_t index = 0;
    // Reports keep list order: the inputs in the order given, each sorted.
    const auto handle = [&](const TargetList& list, const Target& target) {
        DurableBatch::Pending pending;
        FileReport& fileReport = pending.report;
        pending.fileName = lastPathComponent(target.inPath);
        fileReport.index = ++index;
        fileReport.inPath = target.inPath;
        fileReport.outPath = plannedOutputPath(settings, list, target);
        if (target.passOver) {
            fileReport.reason = target.reason;
            batch.add(std::move(pending), 0);
            return;
        }
        // In place, a file reached again (through a symbolic link, or named
        // by two inputs) would have its date moved a second time. (Hard
        // links are separate names: each still holds the old file when its
        // turn comes.)
        if (!settings.outputFolder) {
            if (!rewrittenInPlace.insert(resolvedPath(target.inPath).value_or(target.inPath)).second) {
                fileReport.reason = Reason::SameFileTwice;
                batch.add(std::move(pending), 0);
                return;
            }
        }
        if (settings.outputFolder) {
            const std::string planned = fileReport.outPath;
            for (int n = 2; claims.taken(fileReport.outPath); ++n) {
                fileReport.outPath = joinPath(parentPath(planned), numberedFileName(lastPathComponent(planned), n));
                fileReport.renamed = true;
            }
        }
        FileRewrite result;
        try {
            result = prepareFileRewrite(target.inPath, fileReport.outPath, settings.dates, options, pending.prepared);
        } catch (const std::bad_alloc&) {
            result.reason = Reason::TooLarge;
        } catch (...) {
            result.reason = Reason::Unreadable;
        }
        fileReport.reason = result.reason;
        fileReport.error = result.error;
        fileReport.oldDate = result.oldDate;
        fileReport.newDate = result.newDate;
        fileReport.exiv2Message = result.exiv2Message;
        std::uint64_t size = 0;
        if (isSuccess(fileReport.reason)) {
            claims.claimPath(fileReport.outPath); // a dry run plans the names it would use, too
            struct stat st {};
            if (statPath(target.inPath, st))
                size = std::uint64_t(st.st_size);
        }
        batch.add(std::move(pending), size);
        if (batch.full())
            batch.flush(report);
    };

    for (const TargetList& list : lists) {
        for (const Target& target : list.targets) {
            if (stop.load()) {
                summary.stopped = true;
                break;
            }
            handle(list, target);
        }
        if (summary.stopped)
            break;
    }
    batch.flush(report);
    return summary;
}

} // namespace shotdate
