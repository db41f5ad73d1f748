#pragma once

#include "run/batch_run.h"
#include "run/run_journal.h"

#include <atomic>

namespace shotdate {

// Undoes a journaled run: each file it wrote whose dates still read as the
// run left them gets each field's own old value back. Where the run patched
// bytes and the name still leads to the file it wrote, the bytes go back
// exactly (the file then equals the original but for its change time and
// inode); otherwise the date fields are found where they now stand and
// given their old texts, so that another program's later edits stay. Files
// changed since, or gone, are passed over. Written through the same batch
// and journal as any run; `stop` and the callbacks work as in runBatch.
RunSummary runUndo(const JournalRun& run, const std::atomic<bool>& stop, const RunCallbacks& callbacks = {},
                   RunJournal* journal = nullptr);

// The settings of the undo of `run`, for its own journal's header.
RunSettings undoSettings(const JournalRun& run);

} // namespace shotdate
