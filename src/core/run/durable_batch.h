#pragma once

#include "io/deferred_close.h"
#include "io/safe_replace.h"
#include "run/file_report.h"
#include "run/in_place_rewrite.h"
#include "run/journal_record.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {

class RunJournal;

// Files prepared but not yet in place. Syncing each file on its own costs a
// journal commit per file, more than the data on most disks; instead the
// temporaries of up to kMaxFiles files are made durable with one syncfs,
// then renamed, then each folder synced once. Every file is still either
// old or new after a crash: no rename happens before its data is on disk.
// Files patched in place share the batch: their records are made durable
// with the others', then each span is written, then they are synced (one
// syncfs again where it is trusted) before their records are marked done.
class DurableBatch {
public:
    static constexpr std::size_t kMaxFiles = 64;
    static constexpr std::uint64_t kMaxBytes = 256ull << 20;
    // Progress should not stall behind a batch of slow files.
    static constexpr std::chrono::milliseconds kMaxDelay{500};

    struct Pending {
        FileReport report;
        std::string fileName; // of the input, for the progress text
        PreparedReplacement prepared;
        PreparedPatch patch; // or, when active, written into the file itself
        std::optional<JournalFile> change; // what the file changes, for the journal
        // Its XMP sidecars, put in place right after it, in its folder.
        std::vector<PreparedReplacement> sidecars;
        std::vector<JournalFile> sidecarChanges; // beside `sidecars`, when journaled
    };

    // Every file's change goes to the journal, made durable after the
    // files' data and before the first rename of the batch.
    void setJournal(RunJournal* journal) { journal_ = journal; }

    bool full() const;

    void add(Pending pending, std::uint64_t bytes);

    // Puts every pending file in place and hands its report on, in order.
    void flush(const std::function<void(Pending&)>& report);

private:
    void syncAll();
    void journalChanges();
    void applyPatches();
    void syncPatches();

    std::vector<Pending> pending_;
    std::uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point started_;
    DeferredClose releases_;
    RunJournal* journal_ = nullptr;
};

} // namespace shotdate
