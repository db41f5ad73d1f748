#include "run/durable_batch.h"

#include "io/file_probe.h"
#include "io/path_text.h"
#include "io/sync_policy.h"
#include "io/sys_ops.h"
#include "run/file_rewrite.h"
#include "run/run_journal.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <optional>
#include <vector>

namespace shotdate {

bool DurableBatch::full() const
{
    return pending_.size() >= kMaxFiles || bytes_ >= kMaxBytes
        || (!pending_.empty() && std::chrono::steady_clock::now() - started_ >= kMaxDelay);
}

void DurableBatch::add(Pending pending, std::uint64_t bytes)
{
    if (pending_.empty())
        started_ = std::chrono::steady_clock::now();
    pending_.push_back(std::move(pending));
    bytes_ += bytes;
}

void DurableBatch::flush(const std::function<void(Pending&)>& report)
{
    if (pending_.empty())
        return;
    syncAll();
    journalChanges();
    applyPatches();
    const SysOps& ops = sysOps();
    // One descriptor per folder, synced once after the renames; -1 (with the
    // errno beside it) when none could be had: its files are then in place
    // but not durable, and must say so.
    struct Folder {
        int fd = -1;
        int error = 0;
    };
    std::map<FileIdentity, Folder> folders;
    std::vector<std::optional<FileIdentity>> folderOf(pending_.size());
    std::vector<int> noFolderError(pending_.size(), 0);
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        Pending& p = pending_[i];
        if (!p.prepared.active())
            continue; // passed over, or a dry run: nothing to put in place
        struct stat st {};
        const int dirFd = p.prepared.folderDescriptor();
        if (ops.fstat(dirFd, &st) == 0) {
            folderOf[i] = FileIdentity{st.st_dev, st.st_ino};
            if (!folders.count(*folderOf[i])) {
                Folder& folder = folders[*folderOf[i]];
                folder.fd = ops.dup(dirFd);
                folder.error = folder.fd < 0 ? errno : 0;
            }
        } else {
            noFolderError[i] = errno;
        }
        // The replaced file is let go of on another thread.
        const int replaced = p.prepared.holdTarget();
        struct stat before {};
        const bool hardLinked = replaced >= 0 && ops.fstat(replaced, &before) == 0 && before.st_nlink > 1;
        const ReplaceError error = p.prepared.commit(false);
        struct stat after {};
        if (!error && hardLinked && ops.fstat(replaced, &after) == 0)
            for (std::size_t later = i + 1; later < pending_.size(); ++later)
                pending_[later].prepared.expectedTargetChanged(before, after);
        releases_.add(replaced);
        if (error) {
            p.report.reason = reasonForCommit(error);
            p.report.error = error.error;
        }
        // The sidecars follow the photo, never go before it.
        for (PreparedReplacement& sidecar : p.sidecars) {
            if (error) {
                sidecar.abandon();
                continue;
            }
            if (const ReplaceError sidecarError = sidecar.commit(false); sidecarError && !error) {
                p.report.reason = reasonForCommit(sidecarError);
                p.report.error = sidecarError.error;
            }
        }
    }
    for (auto& [id, folder] : folders) {
        if (folder.fd >= 0 && ops.fsync(folder.fd) != 0)
            folder.error = errno;
        if (folder.fd >= 0)
            ops.close(folder.fd);
    }
    syncPatches();
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        Pending& p = pending_[i];
        const int folderError = folderOf[i] ? folders[*folderOf[i]].error : noFolderError[i];
        if (folderError != 0 && p.report.reason == Reason::Rewritten) {
            p.report.reason = Reason::RewrittenNotSynced;
            p.report.error = folderError;
        }
        if (journal_ && p.change && p.patch.active()) {
            // Any outcome settles the record, so that no replay writes a
            // span the run passed over; one not known durable stays open.
            if (p.report.reason != Reason::RewrittenNotSynced)
                journal_->recordDone(p.report.outPath, p.report.reason);
            p.patch.file.close();
        } else if (journal_ && p.change && p.prepared.active() == false && countsAsRewritten(p.report.reason)) {
            journal_->recordDone(p.report.outPath, p.report.reason);
            for (const JournalFile& sidecar : p.sidecarChanges)
                journal_->recordDone(sidecar.path, p.report.reason);
        }
        report(p);
    }
    pending_.clear();
    bytes_ = 0;
}

void DurableBatch::journalChanges()
{
    if (!journal_)
        return;
    std::vector<JournalFile*> files;
    const std::string bootId = journal_->header().bootId.empty() ? currentBootId() : journal_->header().bootId;
    for (auto& p : pending_) {
        if (p.patch.active() && p.change && p.change->inPlace) {
            p.change->inPlace->bootId = bootId;
            files.push_back(&*p.change);
            continue;
        }
        if (!p.prepared.active() || !p.change)
            continue;
        struct stat st {};
        if (sysOps().fstat(p.prepared.fileDescriptor(), &st) == 0)
            p.change->after = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
                               st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
        struct stat existing {};
        p.change->replacedOther = p.change->before.inode != 0
            && sysOps().fstatat(p.prepared.folderDescriptor(), lastPathComponent(p.prepared.targetPath()).c_str(),
                                &existing, AT_SYMLINK_NOFOLLOW)
                == 0
            && (std::uint64_t(existing.st_ino) != p.change->before.inode
                || std::uint64_t(existing.st_dev) != p.change->before.device);
        files.push_back(&*p.change);
        // Its sidecars as files of their own, undone with it.
        for (std::size_t s = 0; s < p.sidecars.size() && s < p.sidecarChanges.size(); ++s) {
            JournalFile& sidecar = p.sidecarChanges[s];
            if (sysOps().fstat(p.sidecars[s].fileDescriptor(), &st) == 0)
                sidecar.after = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
                                 st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
            files.push_back(&sidecar);
        }
    }
    journal_->recordPrepared(std::move(files));
}

void DurableBatch::applyPatches()
{
    for (Pending& p : pending_) {
        if (!p.patch.active())
            continue;
        // No span is written before its record is durable: a journal that
        // failed leaves these files as they are.
        if (!journal_ || journal_->error() != 0) {
            p.report.reason = Reason::WriteFailed;
            p.report.error = journal_ ? journal_->error() : EIO;
            continue;
        }
        if (const PatchError error = p.patch.file.apply(p.patch.span, p.patch.times)) {
            p.report.reason = error.step == PatchStep::Changed ? Reason::ChangedWhileReading : Reason::WriteFailed;
            p.report.error = error.error;
        }
    }
}

void DurableBatch::syncPatches()
{
    std::map<dev_t, bool> syncedDevices;
    for (Pending& p : pending_) {
        if (!p.patch.active() || p.report.reason != Reason::Rewritten)
            continue;
        const int fd = p.patch.file.fd();
        auto [device, fresh] = syncedDevices.try_emplace(p.patch.file.state().st_dev, false);
        if (fresh)
            device->second = syncfsIsTrusted(fd) && sysOps().syncfs(fd) == 0;
        if (device->second)
            continue;
        if (const PatchError error = p.patch.file.sync()) {
            p.report.reason = Reason::RewrittenNotSynced;
            p.report.error = error.error;
        }
    }
}

void DurableBatch::syncAll()
{
    // Per file system: one syncfs where it is known to be honoured; the
    // files elsewhere are synced one by one at commit.
    std::map<dev_t, bool> syncedDevices;
    for (auto& p : pending_) {
        if (!p.prepared.active())
            continue;
        struct stat st {};
        const int dirFd = p.prepared.folderDescriptor();
        if (sysOps().fstat(dirFd, &st) != 0)
            continue;
        auto [device, fresh] = syncedDevices.try_emplace(st.st_dev, false);
        if (fresh)
            device->second = syncfsIsTrusted(dirFd) && sysOps().syncfs(dirFd) == 0;
        if (device->second) {
            p.prepared.markSynced();
            for (PreparedReplacement& sidecar : p.sidecars)
                sidecar.markSynced();
        }
    }
}

} // namespace shotdate
