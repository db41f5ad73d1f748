#pragma once

#include "run/journal_record.h"
#include "run/reason.h"
#include "run/run_settings.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {

// A run's journal: one JSON Lines file per run in journalFolder(), a header
// line and then one line per file written (made durable before the file is
// renamed into place), one when it is in place, and a last line when the
// run ends. The format is in the README.

// $XDG_STATE_HOME/shotdate/runs, or ~/.local/state/shotdate/runs.
std::string journalFolder();

struct JournalHeader {
    std::string id; // also the file's name, without ".jsonl"; sorts by time
    std::int64_t when = 0; // seconds since 1970, UTC
    std::int64_t whenNanoseconds = 0; // within that second: orders runs started in the same second
    std::string mode; // "set", "set-date", "set-time", "shift" or "undo"
    std::optional<std::string> date; // the given date, as EXIF text
    std::int32_t shiftSeconds = 0;
    bool subfolders = false;
    bool allDates = false;
    std::optional<std::int32_t> zoneMinutes;
    std::vector<std::string> inputs; // absolute
    std::optional<std::string> output; // absolute
    std::string uuid, fsid, mountPoint, mountRelative; // of the output folder or first input
    std::optional<std::string> undoes; // the run an undo run undid
    // The kernel's boot id: records left by an earlier boot can be told
    // from those of a run killed in this one.
    std::string bootId;
};

// A journal read back.
struct JournalRun {
    JournalHeader header;
    std::string path;
    std::vector<JournalFile> files;
    bool ended = false;
    int rewritten = 0; // from the last line, or the files known in place
};

class RunJournal {
public:
    // Creates the folder (0700) and the file (0600), writes the header and
    // makes both durable. nullptr when it cannot, with the errno in `error`.
    static std::unique_ptr<RunJournal> start(JournalHeader header, int& error);

    // The records of files about to be renamed into place, made durable
    // (written and fsynced). After a failure the journal stays silent and
    // error() says why: the run goes on without it.
    void recordPrepared(std::vector<JournalFile*> files);
    // Files now in place; durable with the next sync.
    void recordDone(const std::string& path, Reason reason);
    void finish(int rewritten, bool stopped);

    int error() const { return error_; }
    const JournalHeader& header() const { return header_; }

    // The absolute form of a path the run was given.
    std::string absolute(const std::string& path) const;

private:
    RunJournal() = default;
    static std::unique_ptr<RunJournal> startJournal(JournalHeader header, int& error);
    void write(const std::string& lines, bool durable);

    struct Impl;
    std::shared_ptr<Impl> impl_;
    JournalHeader header_;
    std::string cwd_;
    int error_ = 0;
};

// The line that says a file's outcome (`path` absolute): "rewritten" and
// "rewritten-not-synced" mark it done, any reason settles it.
std::string journalDoneLine(const std::string& absolutePath, Reason reason);

// This boot's id (/proc/sys/kernel/random/boot_id), "" when unreadable.
std::string currentBootId();

// The header a run with these settings starts its journal with; `undoes`
// for an undo run.
JournalHeader journalHeaderFor(const RunSettings& settings, std::optional<std::string> undoes = std::nullopt);

// A journal read back; with `headerOnly`, only its first line (no files).
std::optional<JournalRun> readJournal(const std::string& path, bool headerOnly = false);

// Every journal in the folder, oldest first.
std::vector<JournalRun> readAllJournals(const std::string& folder = journalFolder(), bool headersOnly = false);

// The id of the run that undid `id` and was not undone itself, if any.
std::optional<std::string> undoneBy(const std::vector<JournalRun>& runs, const std::string& id);

// The latest run that is neither an undo nor undone.
const JournalRun* latestUndoable(const std::vector<JournalRun>& runs);

// Deletes the journals of runs older than `maxAgeDays`; how many went.
int forgetOldJournals(std::time_t now, int maxAgeDays = 90, const std::string& folder = journalFolder());

// Deletes one run's journal; 0, ENOENT when there is none, or the errno.
int forgetJournal(const std::string& id, const std::string& folder = journalFolder());

// The runs within the last 24 hours that shifted one of the files below
// `inputs` (by path, or by device and inode of what stands there now), and
// were not undone. `runs` may hold only headers: the few runs that could
// matter are then read whole.
std::vector<const JournalRun*> recentShiftsOf(const std::vector<JournalRun>& runs, const RunSettings& settings,
                                              std::time_t now);

} // namespace shotdate
