#pragma once

#include "io/deferred_close.h"
#include "io/safe_replace.h"
#include "run/file_report.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shotdate {

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
        std::string fileName; // of the input, for the progress text
        PreparedReplacement prepared;
        // Its XMP sidecars, put in place right after it, in its folder.
        std::vector<PreparedReplacement> sidecars;
    };

    bool full() const;

    void add(Pending pending, std::uint64_t bytes);

    // Puts every pending file in place and hands its report on, in order.
    void flush(const std::function<void(Pending&)>& report);

private:
    void syncAll();

    std::vector<Pending> pending_;
    std::uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point started_;
    DeferredClose releases_;
};

} // namespace shotdate
