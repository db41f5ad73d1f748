#include "run/durable_batch.h"

#include "io/file_probe.h"
#include "io/sys_ops.h"
#include "run/file_rewrite.h"

#include <cerrno>
#include <map>
#include <optional>
#include <set>

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
    const SysOps& ops = sysOps();
    std::map<FileIdentity, int> folders; // one descriptor per folder, synced after the renames
    std::vector<std::optional<FileIdentity>> folderOf(pending_.size());
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        Pending& p = pending_[i];
        if (!p.prepared.active())
            continue; // passed over, or a dry run: nothing to put in place
        struct stat st {};
        const int dirFd = p.prepared.folderDescriptor();
        if (ops.fstat(dirFd, &st) == 0) {
            folderOf[i] = FileIdentity{st.st_dev, st.st_ino};
            if (!folders.count(*folderOf[i]))
                folders[*folderOf[i]] = ops.dup(dirFd);
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
        if (fd >= 0 && ops.fsync(fd) != 0)
            unsynced.insert(id);
        if (fd >= 0)
            ops.close(fd);
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

void DurableBatch::syncAll()
{
    std::set<dev_t> synced;
    bool ok = true;
    for (auto& p : pending_) {
        if (!p.prepared.active())
            continue;
        struct stat st {};
        const int dirFd = p.prepared.folderDescriptor();
        if (sysOps().fstat(dirFd, &st) != 0) {
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

} // namespace shotdate
