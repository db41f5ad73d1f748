#pragma once

#include "dates/date_rule.h"
#include "run/file_report.h"
#include "run/output_names.h"
#include "run/reason.h"
#include "run/run_settings.h"
#include "run/target_list.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace shotdate {

// Called on the worker thread. Any of them may be empty.
struct RunCallbacks {
    std::function<void(std::size_t targetCount)> onTargets;
    // After each target, success or not.
    std::function<void(const FileReport&)> onFile;
    // After each success: the count so far and the input's file name,
    // the two values of the progress text.
    std::function<void(int count, const std::string& fileName)> onProgress;
    std::function<void(const ListingProblem&)> onListingProblem;
};

struct RunSummary {
    int rewritten = 0; // cntKaisu; includes files rewritten but not synced
    int passedOver = 0;
    bool stopped = false; // the stop flag was found set before a file
    // Every file the closing message lists: those passed over, and those
    // rewritten whose folder could not be synced.
    std::vector<FileReport> passedOverFiles;
    std::vector<ListingProblem> listingProblems;
    // The errno that stopped the run's journal part-way (0: it is whole, or
    // there was none): files written after that cannot be undone.
    int journalError = 0;
};

class RunJournal;

// The whole run: list the targets, then rewrite them one after another.
// `stop` is tested before each file; a file whose rewrite has begun is
// always finished. Never throws.
// With a journal, every file written is recorded in it first.
RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks = {},
                    RunJournal* journal = nullptr);

} // namespace shotdate
