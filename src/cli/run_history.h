#pragma once

#include "run/batch_run.h"
#include "run/run_journal.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace shotdate::cli {

// "+1:01:00:00", "-00:30:00": a shift as --shift takes it.
std::string shiftText(std::int32_t seconds);

// One line per journaled run, oldest first: id, time, path, mode, files
// rewritten, and the run that undid it.
void printRuns(std::FILE* out, const std::vector<JournalRun>& runs);

// Before a run: a note on stderr for each run of the last 24 hours that
// already shifted files of this one.
void noteRecentShifts(std::FILE* err, const RunSettings& settings, std::time_t now);

// The journal of a run about to start; when it cannot be written the run
// goes on without it, and this says so (once).
std::unique_ptr<RunJournal> startJournal(std::FILE* err, JournalHeader header);

// After the run: whether the journal broke part-way, said once.
void noteJournalBroken(std::FILE* err, const RunSummary& summary);

} // namespace shotdate::cli
