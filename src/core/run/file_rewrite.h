#pragma once

#include "dates/date_rule.h"
#include "io/safe_replace.h"
#include "rewrite/date_rewrite.h"
#include "run/file_report.h"
#include "run/in_place_rewrite.h"
#include "run/journal_record.h"
#include "run/reason.h"
#include "run/run_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shotdate {

struct FileRewriteOptions {
    bool dryRun = false; // read and check everything, write nothing
    // Most rewrites read only the head of a file. One that must read the
    // whole file (a TIFF, a HEIF, a date laid out again) passes over files
    // larger than this (TooLarge) rather than let memory grow without bound.
    std::uint64_t maxFileBytes = 1ull << 30;
    FileTimeRule fileTime = FileTimeRule::Keep;
};

struct FileRewrite {
    Reason reason = Reason::NotFound;
    int error = 0; // errno behind Unreadable / WriteFailed / RenameFailed
    std::string oldDate;
    std::string newDate;
    std::string exiv2Message; // see DateRewrite
    std::vector<DateChange> changes; // see DateRewrite
    std::vector<std::string> notes;
    std::uint64_t size = 0; // of the input, as read
    bool folderFailed = false; // the folder itself gave an I/O error when the file was looked up
    JournalFile change; // on success: what the new file changes, for the run's journal
    std::vector<JournalFile> sidecarChanges; // one for each sidecar prepared, in the same order
};

// A file as the run reaches it: the entry `name` of a folder it holds open.
// `path` names it in reports and is never opened.
struct FileLocation {
    int folderFd = -1;
    std::string name;
    std::string path;
};

// Rewrites one file: reads `inPath` (following a symbolic link), forms the
// new dates, and puts the new file at `outPath` through the safe write path.
// In place (`outPath` == `inPath`) a symbolic link stays a link and the file
// it points to is replaced. The new file takes the input's owner,
// permissions, extended attributes and times. On any failure `outPath` is
// left as it was and no temporary file remains. Sidecars are left to a run
// (runBatch).
FileRewrite rewriteFile(const std::string& inPath, const std::string& outPath, const DateArguments& args,
                        const FileRewriteOptions& options = {});

// A file's state as the journal keeps it.
FileStamp stampOf(const struct stat& st);

// What a rewrite changes, as the journal keeps it: the bytes of each patch
// before and after (`read` holds at least every patched byte inside the
// file) and the two EXIF dates before and after.
JournalFile describeChange(const std::string& path, const struct stat& before, const std::vector<std::uint8_t>& read,
                           const DateRewrite& rewrite);

// The reason for a failed commit of a prepared rewrite.
Reason reasonForCommit(const ReplaceError& error);

// Everything but the commit: on success (reason Rewritten) the new file
// stands complete under a hidden name beside its target, and `prepared`
// holds it until the caller syncs and commits it (or abandons it). A batch
// uses this to make many files durable with one sync. `in` is read without
// following a link; `out` the same as `in` rewrites in place. Given `patch`
// (a journaled run), a change that allows it is held there instead, to be
// written into the file itself (run/in_place_rewrite); `prepared` then
// stays inactive.
FileRewrite prepareFileRewrite(const FileLocation& in, const FileLocation& out, const DateArguments& args,
                               const FileRewriteOptions& options, PreparedReplacement& prepared,
                               PreparedPatch* patch = nullptr);

} // namespace shotdate
