#include "run/batch_run.h"

#include "io/deferred_close.h"
#include "run/file_rewrite.h"
#include "io/safe_replace.h"
#include "io/sys_ops.h"
#include "io/path_text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <chrono>
#include <map>
#include <new>
#include <set>
#include <utility>

namespace shotdate {

namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// Within one run no file the run wrote and no input of the run is ever
// replaced by another file of the same run.
class OutputClaims {
public:
    explicit OutputClaims(const TargetList& list)
    {
        for (const auto& target : list.targets)
            if (const auto id = identityOf(target.inPath))
                inputs_.insert(*id);
    }

    bool taken(const std::string& path) const
    {
        if (paths_.count(path))
            return true;
        const auto id = identityOf(path);
        return id && (inputs_.count(*id) || written_.count(*id));
    }

    // At prepare time the name is taken; once the file stands there, its
    // identity too.
    void claimPath(const std::string& path) { paths_.insert(path); }
    void claimWritten(const std::string& path)
    {
        if (const auto id = identityOf(path))
            written_.insert(*id);
    }

private:
    std::set<FileIdentity> inputs_;
    std::set<FileIdentity> written_;
    std::set<std::string> paths_;
};


// Files prepared but not yet in place. Syncing each file on its own costs a
// journal commit per file, more than the data on most disks; instead the
// temporaries of up to kMaxFiles files are made durable with one syncfs,
// then renamed, then each folder synced once. Every file is still either
// old or new after a crash: no rename happens before its data is on disk.
class DurableBatch {
public:
    static constexpr std::size_t kMaxFiles = 64;
    static constexpr std::uint64_t kMaxBytes = 256ull << 20;
    // Progress should not stall behind a batch of slow files.
    static constexpr std::chrono::milliseconds kMaxDelay{500};

    struct Pending {
        FileReport report;
        std::string fileName;  // of the input, for the progress text
        PreparedReplacement prepared;
    };

    bool full() const
    {
        return pending_.size() >= kMaxFiles || bytes_ >= kMaxBytes
            || (!pending_.empty() && std::chrono::steady_clock::now() - started_ >= kMaxDelay);
    }

    void add(Pending pending, std::uint64_t bytes)
    {
        if (pending_.empty())
            started_ = std::chrono::steady_clock::now();
        pending_.push_back(std::move(pending));
        bytes_ += bytes;
    }

    // Puts every pending file in place and hands its report on, in order.
    template <typename Report>
    void flush(Report report)
    {
        if (pending_.empty())
            return;
        syncAll();
        std::map<FileIdentity, int> folders;  // one descriptor per folder, synced after the renames
        std::vector<std::optional<FileIdentity>> folderOf(pending_.size());
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            Pending& p = pending_[i];
            if (!p.prepared.active())
                continue;  // passed over, or a dry run: nothing to put in place
            struct stat st {};
            const int dirFd = p.prepared.folderDescriptor();
            if (::fstat(dirFd, &st) == 0) {
                folderOf[i] = FileIdentity{st.st_dev, st.st_ino};
                if (!folders.count(*folderOf[i]))
                    folders[*folderOf[i]] = ::dup(dirFd);
            }
            // The replaced file is let go of on another thread.
            const int replaced = p.prepared.holdTarget();
            const ReplaceError error = p.prepared.commit(false);
            releases_.add(replaced);
            if (error) {
                p.report.reason = reasonForCommit(error);
                p.report.error = error.error;
            }
        }
        std::set<FileIdentity> unsynced;
        for (const auto& [id, fd] : folders) {
            if (fd >= 0 && sysOps().fsync(fd) != 0)
                unsynced.insert(id);
            if (fd >= 0)
                ::close(fd);
        }
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            Pending& p = pending_[i];
            // The new file is in place but its name may not survive a crash:
            // reported, not counted as done.
            const bool folderFailed = folderOf[i] && unsynced.count(*folderOf[i]);
            if (folderFailed && isSuccess(p.report.reason)) {
                p.report.reason = Reason::WriteFailed;
                p.report.error = EIO;
            }
            report(p);
        }
        pending_.clear();
        bytes_ = 0;
    }

private:
    void syncAll()
    {
        std::set<dev_t> synced;
        bool ok = true;
        for (auto& p : pending_) {
            if (!p.prepared.active())
                continue;
            struct stat st {};
            const int dirFd = p.prepared.folderDescriptor();
            if (::fstat(dirFd, &st) != 0) {
                ok = false;
                continue;
            }
            if (synced.insert(st.st_dev).second && sysOps().syncfs(dirFd) != 0)
                ok = false;
        }
        // Without a trustworthy syncfs each file is synced on its own at commit.
        if (ok)
            for (auto& p : pending_)
                p.prepared.markSynced();
    }

    std::vector<Pending> pending_;
    std::uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point started_;
    DeferredClose releases_;
};

} // namespace

SettingsError checkRunSettings(const RunSettings& settings)
{
    struct stat st {};
    if (settings.inputPath.empty()
        || (::stat(settings.inputPath.c_str(), &st) != 0 && ::lstat(settings.inputPath.c_str(), &st) != 0))
        return SettingsError::InputMissing;
    if (!settings.outputFolder)
        return SettingsError::None;
    const std::string& folder = *settings.outputFolder;
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0)
        return SettingsError::OutputMissing;
    if (!S_ISDIR(st.st_mode))
        return SettingsError::OutputNotFolder;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return SettingsError::OutputNotWritable;
    return SettingsError::None;
}

std::string numberedFileName(const std::string& fileName, int number)
{
    const std::string suffix = " (" + std::to_string(number) + ")";
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return fileName + suffix;
    return fileName.substr(0, dot) + suffix + fileName.substr(dot);
}

std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target)
{
    if (!settings.outputFolder)
        return target.inPath;
    if (list.singleFile)
        return joinPath(*settings.outputFolder, lastPathComponent(settings.inputPath));
    return joinPath(*settings.outputFolder, settings.subfolders ? lastPathComponent(target.relative) : target.relative);
}

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

    OutputClaims claims(list);
    DurableBatch batch;
    std::set<std::string> rewrittenInPlace;
    const FileRewriteOptions options{settings.dryRun};
    const auto report = [&](DurableBatch::Pending& done) {
        FileReport& fileReport = done.report;
        if (isSuccess(fileReport.reason)) {
            ++summary.rewritten;
            claims.claimWritten(fileReport.outPath);
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
            batch.add(std::move(pending), 0);  // reports stay in list order
            continue;
        }
        // In place, a symbolic link to a file the run already rewrote would
        // move its date a second time. (Hard links are separate names: each
        // still holds the old file when its turn comes.)
        if (!settings.outputFolder) {
            char resolved[PATH_MAX];
            const char* real = ::realpath(target.inPath.c_str(), resolved);
            if (!rewrittenInPlace.insert(real ? std::string(real) : target.inPath).second) {
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
        std::uint64_t size = 0;
        if (isSuccess(fileReport.reason)) {
            claims.claimPath(fileReport.outPath);  // a dry run plans the names it would use, too
            struct stat st {};
            if (::stat(target.inPath.c_str(), &st) == 0)
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
