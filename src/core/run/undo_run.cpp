#include "run/undo_run.h"

#include "formats/format_table.h"
#include "io/file_system_identity.h"
#include "io/held_folder.h"
#include "io/input_file.h"
#include "io/path_text.h"
#include "rewrite/date_restore.h"
#include "run/durable_batch.h"
#include "run/file_rewrite.h"
#include "run/in_place_rewrite.h"
#include "run/run_journal.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <string>

namespace shotdate {

namespace {

// The largest file an undo reads whole to find its dates, as a run does.
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;

// Where a journaled file is now: by its path, or on the same file system
// mounted elsewhere since (a card read in another slot).
std::string currentPath(const JournalRun& run, const JournalFile& file)
{
    struct stat st {};
    if (::lstat(file.path.c_str(), &st) == 0 || run.header.uuid.empty() || run.header.mountPoint.empty())
        return file.path;
    const std::string& oldMount = run.header.mountPoint;
    if (!file.path.starts_with(oldMount == "/" ? oldMount : oldMount + "/"))
        return file.path;
    const auto newMount = mountPointOfUuid(run.header.uuid);
    if (!newMount || *newMount == oldMount)
        return file.path;
    return joinPath(*newMount, file.path.substr(oldMount == "/" ? 1 : oldMount.size() + 1));
}

const ChangedDate* dateNamed(const JournalFile& file, const char* name)
{
    const auto found =
        std::find_if(file.dates.begin(), file.dates.end(), [&](const ChangedDate& date) { return date.name == name; });
    return found == file.dates.end() ? nullptr : &*found;
}

bool rangesHold(const std::vector<std::uint8_t>& bytes, const JournalFile& file, bool newSide)
{
    return std::all_of(file.ranges.begin(), file.ranges.end(), [&](const ChangedRange& range) {
        const std::vector<std::uint8_t>& want = newSide ? range.newBytes : range.oldBytes;
        return range.offset + want.size() <= bytes.size()
            && std::equal(want.begin(), want.end(), bytes.begin() + std::ptrdiff_t(range.offset));
    });
}

struct UndoPlan {
    Reason reason = Reason::NotFound;
    int error = 0;
    JournalFile change; // what the undo changes, for its own journal
    // The DateTimeOriginal the file holds now, where it was read: a file
    // passed over is reported with what it holds, not with what the run
    // left in it.
    std::optional<std::string> foundDate;
};

// One file: checks it still holds what the run wrote, and prepares the file
// with the old dates beside it.
UndoPlan prepareUndo(const JournalFile& file, const FileLocation& where, PreparedReplacement& prepared,
                     PreparedPatch* patch)
{
    UndoPlan plan;
    InputFile input;
    bool opened = false;
    if (const int error = input.openAt(where.folderFd, where.name, opened)) {
        plan.error = error;
        plan.reason = !opened && error == ENOENT ? Reason::NotFound : Reason::Unreadable;
        return plan;
    }
    const struct stat& now = input.state();
    if (!input.isRegular()) {
        plan.reason = Reason::NotRegularFile;
        return plan;
    }
    input.readBlocking();
    const std::uint64_t size = std::uint64_t(now.st_size);
    if (size > kMaxFileBytes) {
        plan.reason = Reason::TooLarge;
        return plan;
    }
    // The file the run wrote, still the same inode and size: its bytes go
    // back. Another file of the same size whose ranges hold the run's bytes
    // was saved with the same layout, and takes them back too, unless the
    // run grew the file.
    const bool sameFile = std::uint64_t(now.st_dev) == file.after.device
        && std::uint64_t(now.st_ino) == file.after.inode && size == file.after.size;
    const bool sameLayout = size == file.after.size && size == file.oldSize;
    std::vector<std::uint8_t> bytes;
    if (!input.readInto(bytes, std::size_t(size) + 1)) {
        plan.error = errno;
        plan.reason = Reason::Unreadable;
        return plan;
    }
    if (bytes.size() != size || !input.unchanged()) {
        plan.reason = Reason::ChangedWhileReading;
        return plan;
    }
    std::vector<FilePatch> patches;
    std::vector<std::uint8_t> laidOut;
    DateRewrite restored;
    const ChangedDate* original = dateNamed(file, kOriginalDateName);
    const ChangedDate* digitized = dateNamed(file, kDigitizedDateName);
    if (!file.ranges.empty() && (sameFile || sameLayout) && rangesHold(bytes, file, true)) {
        for (const ChangedRange& range : file.ranges)
            patches.push_back({range.offset, range.oldBytes});
        plan.change.ranges.reserve(file.ranges.size());
        for (const ChangedRange& range : file.ranges)
            plan.change.ranges.push_back({range.offset, range.newBytes, range.oldBytes});
    } else if (original && digitized && file.dates.size() > 2) {
        // Other copies laid out again with the dates: undone by the two
        // dates alone, the file would be half old, half new.
        plan.reason = Reason::CannotRestoreCopies;
        return plan;
    } else if (original && digitized) {
        restored = restoreExifDates(
            bytes, {original->newValue, digitized->newValue, {original->oldValue, digitized->oldValue}});
        plan.foundDate = restored.oldDate;
        if (restored.reason == Reason::DatesChangedSince && restored.oldDate == original->oldValue.value_or("")
            && restored.oldDigitized == digitized->oldValue) {
            plan.reason = Reason::NotChangedByRun;
            return plan;
        }
        if (restored.reason != Reason::Rewritten) {
            plan.reason = restored.reason;
            return plan;
        }
        plan.change = describeChange(where.path, now, bytes, restored);
        if (restored.patchedInPlace)
            patches = std::move(restored.patches);
        else
            laidOut = std::move(restored.bytes);
    } else {
        plan.reason = !file.ranges.empty() && rangesHold(bytes, file, false) && size == file.oldSize
            ? Reason::NotChangedByRun
            : Reason::DatesChangedSince;
        return plan;
    }
    if (original && digitized) {
        plan.change.dates = {{kOriginalDateName, original->newValue, original->oldValue},
                             {kDigitizedDateName, digitized->newValue, digitized->oldValue}};
    }
    plan.change.path = where.path;
    plan.change.before = stampOf(now);
    plan.change.oldSize = size;
    plan.change.laidOut = !laidOut.empty();

    // The file the run patched, still the same one: its bytes go back the
    // same way, into the file itself.
    if (patch && sameFile && laidOut.empty() && size == file.oldSize) {
        const ContainerFormat* format = containerFormat(sniffFormat(bytes));
        const auto wanted = [](const ChangedDate* date) { return date ? date->oldValue : std::nullopt; };
        const PatchChoice choice = format ? preparePatch(where.folderFd, where.name, now, bytes, patches, *format,
                                                         wanted(original), wanted(digitized), now, *patch)
                                          : PatchChoice::Rename;
        if (choice == PatchChoice::VerifyFailed) {
            plan.reason = Reason::VerifyFailed;
            return plan;
        }
        if (choice == PatchChoice::Patch) {
            plan.change.after = plan.change.before;
            plan.change.inPlace = inPlaceRecordOf(*patch, {});
            plan.reason = Reason::Rewritten;
            return plan;
        }
    }
    const ReplaceTarget target{where.folderFd, where.name, where.path};
    ReplaceError error;
    if (laidOut.empty()) {
        bytes = {};
        const std::uint64_t copied = std::min(size, file.oldSize);
        error = prepareReplacement(target, CopySource{input.fd(), copied, patches}, now, prepared, input.fd(),
                                   AttributeRule::KeepEverything);
    } else {
        error = prepareReplacement(target, laidOut, now, prepared, input.fd(), AttributeRule::KeepEverything);
    }
    if (!error && !input.unchanged()) {
        prepared.abandon();
        plan.reason = Reason::ChangedWhileReading;
        return plan;
    }
    if (error) {
        plan.error = error.error;
        plan.reason = error.step == ReplaceStep::Owner      ? Reason::CannotKeepOwner
            : error.step == ReplaceStep::ExtendedAttributes ? Reason::CannotKeepAttributes
                                                            : Reason::WriteFailed;
        return plan;
    }
    prepared.expectTarget(now);
    plan.reason = Reason::Rewritten;
    return plan;
}

} // namespace

RunSettings undoSettings(const JournalRun& run)
{
    RunSettings settings;
    if (!run.header.inputs.empty()) {
        settings.inputPath = run.header.inputs.front();
        settings.moreInputPaths.assign(run.header.inputs.begin() + 1, run.header.inputs.end());
    }
    settings.outputFolder = run.header.output;
    settings.subfolders = run.header.subfolders;
    return settings;
}

RunSummary runUndo(const JournalRun& run, const std::atomic<bool>& stop, const RunCallbacks& callbacks,
                   RunJournal* journal)
{
    RunSummary summary;
    // Only the files the run wrote, once each (a killed run's last batch
    // has records for files that never reached their place: the check
    // below finds them unchanged).
    std::vector<const JournalFile*> files;
    for (const JournalFile& file : run.files)
        if (std::none_of(files.begin(), files.end(), [&](const JournalFile* seen) { return seen->path == file.path; }))
            files.push_back(&file);
    try {
        if (callbacks.onTargets)
            callbacks.onTargets(files.size());
    } catch (...) {
    }
    DurableBatch batch;
    batch.setJournal(journal);
    const auto report = [&](DurableBatch::Pending& done) {
        FileReport& fileReport = done.report;
        if (countsAsRewritten(fileReport.reason)) {
            ++summary.rewritten;
            try {
                if (callbacks.onProgress)
                    callbacks.onProgress(summary.rewritten, done.fileName);
            } catch (...) {
            }
        } else {
            ++summary.passedOver;
        }
        if (!isSuccess(fileReport.reason))
            summary.passedOverFiles.push_back(fileReport);
        try {
            if (callbacks.onFile)
                callbacks.onFile(fileReport);
        } catch (...) {
        }
    };
    std::size_t index = 0;
    for (const JournalFile* file : files) {
        if (stop.load()) {
            summary.stopped = true;
            break;
        }
        DurableBatch::Pending pending;
        FileReport& fileReport = pending.report;
        const std::string path = currentPath(run, *file);
        pending.fileName = lastPathComponent(path);
        fileReport.index = ++index;
        fileReport.inPath = path;
        fileReport.outPath = path;
        const int folder = openFolderByPath(parentPath(path));
        if (folder < 0) {
            fileReport.reason = errno == ENOENT ? Reason::NotFound : Reason::Unreadable;
            fileReport.error = errno;
            batch.add(std::move(pending), 0);
        } else {
            UndoPlan plan;
            try {
                plan = prepareUndo(*file, FileLocation{folder, lastPathComponent(path), path}, pending.prepared,
                                   journal && journal->error() == 0 ? &pending.patch : nullptr);
            } catch (const std::bad_alloc&) {
                plan.reason = Reason::TooLarge;
            } catch (...) {
                plan.reason = Reason::Unreadable;
            }
            closeFolder(folder); // the prepared file holds a descriptor of its own
            fileReport.reason = plan.reason;
            fileReport.error = plan.error;
            if (const ChangedDate* original = dateNamed(*file, kOriginalDateName)) {
                fileReport.oldDate = plan.foundDate.value_or(original->newValue.value_or(""));
                fileReport.newDate = original->oldValue.value_or("");
            }
            if (plan.reason == Reason::Rewritten && journal) {
                plan.change.relativePath = file->relativePath;
                pending.change = std::move(plan.change);
            }
            batch.add(std::move(pending), plan.reason == Reason::Rewritten ? file->after.size : 0);
        }
        if (batch.full())
            batch.flush(report);
    }
    batch.flush(report);
    if (journal)
        summary.journalError = journal->error();
    return summary;
}

} // namespace shotdate
