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
    const TargetList list = getIchiran(settings.inputPath, settings.subfolders);
    if (callbacks.onTargets)
        callbacks.onTargets(list.targets.size());
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
        for (const Target& target : list.targets)
            if (!target.passOver)
                planned.push_back(plannedOutputPath(settings, list, target));
        foldsCase = caseCouldMatter(planned) && folderFoldsCase(*settings.outputFolder, !settings.dryRun);
    }
    OutputClaims claims(list, foldsCase);
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
        // In place, a symbolic link to a file the run already rewrote would
        // move its date a second time. (Hard links are separate names: each
        // still holds the old file when its turn comes.)
        if (!settings.outputFolder) {
            if (!rewrittenInPlace.insert(resolvedPath(target.inPath).value_or(target.inPath)).second) {
                fileReport.reason = Reason::SameFileTwice;
                batch.add(std::move(pending), 0);
                continue;
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
    }
    batch.flush(report);
    return summary;
}

} // namespace shotdate
