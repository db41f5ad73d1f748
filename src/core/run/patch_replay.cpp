#include "run/patch_replay.h"

#include "io/in_place_patch.h"
#include "io/journal_file.h"

#include <cerrno>
#include <string_view>

namespace shotdate {

namespace {

using Kind = ReplayOutcome::Kind;

ReplayOutcome replayOne(const JournalFile& file, const InPlaceRecord& record)
{
    ReplayOutcome outcome{file.path, Kind::Replayed, 0};
    InPlaceFile target;
    if (!target.openPath(file.path)) {
        outcome.error = errno;
        outcome.kind = errno == ENOENT || errno == ELOOP ? Kind::NotSameFile : Kind::Failed;
        return outcome;
    }
    const struct stat& st = target.state();
    if (std::uint64_t(st.st_dev) != file.before.device || std::uint64_t(st.st_ino) != file.before.inode
        || std::uint64_t(st.st_size) != file.before.size) {
        outcome.kind = Kind::NotSameFile;
        return outcome;
    }
    std::vector<std::uint8_t> now;
    if (!target.readSpan(record.offset, record.oldBytes.size(), now)) {
        outcome.error = errno;
        outcome.kind = Kind::Failed;
        return outcome;
    }
    // Torn by sectors, each byte is old or new; anything else was written
    // by someone else since.
    bool mixed = now.size() == record.oldBytes.size();
    for (std::size_t i = 0; mixed && i < now.size(); ++i)
        mixed = now[i] == record.oldBytes[i] || now[i] == record.newBytes[i];
    if (!mixed) {
        outcome.kind = Kind::ForeignBytes;
        return outcome;
    }
    const struct timespec times[2] = {{record.accessSeconds, record.accessNanoseconds},
                                      {record.modifySeconds, record.modifyNanoseconds}};
    int error = now == record.newBytes ? 0 : target.writeSpan(record.offset, record.newBytes);
    if (error == 0)
        error = target.setTimes(times);
    if (error == 0)
        error = target.sync().error;
    if (error != 0) {
        outcome.error = error;
        outcome.kind = Kind::Failed;
    }
    return outcome;
}

// The last line a journal gets once a later boot has looked it through:
// from then on one short read of its end tells it needs nothing.
constexpr std::string_view kReplayedLine = "{\"type\":\"replayed\"}\n";

bool lookedThrough(const std::string& path)
{
    std::string tail;
    return readFileTail(path, tail, kReplayedLine.size()) == 0 && tail == kReplayedLine;
}

void replayJournal(const JournalRun& header, const std::string& bootId, std::vector<ReplayOutcome>& outcomes)
{
    if (lookedThrough(header.path))
        return;
    AppendOnlyFile journal;
    // A journal held by a live run (or that cannot be held) is not ours to replay.
    if (journal.openExisting(header.path) != 0 || journal.lock() != 0)
        return;
    const auto run = readJournal(header.path);
    if (!run)
        return;
    bool failedAny = false;
    for (const JournalFile& file : run->files) {
        if (!file.inPlace || file.settled || file.inPlace->bootId.empty() || file.inPlace->bootId == bootId)
            continue;
        const ReplayOutcome outcome = replayOne(file, *file.inPlace);
        outcomes.push_back(outcome);
        if (outcome.kind == Kind::Failed) {
            failedAny = true;
            continue;
        }
        // Settled either way: a span left alone is reported once, not at every start.
        const Reason reason = outcome.kind == Kind::Replayed ? Reason::Rewritten
            : outcome.kind == Kind::ForeignBytes             ? Reason::DatesChangedSince
                                                             : Reason::NotFound;
        (void)journal.append(journalDoneLine(file.path, reason));
    }
    if (!failedAny)
        (void)journal.append(std::string(kReplayedLine));
    (void)journal.sync();
}

} // namespace

std::vector<ReplayOutcome> replayUnfinishedPatches(const std::string& folder, const std::string& bootId)
{
    std::vector<ReplayOutcome> outcomes;
    if (bootId.empty())
        return outcomes; // this boot cannot be told from another: no record is safe to replay
    try {
        for (const JournalRun& run : readAllJournals(folder, true))
            if (run.header.bootId != bootId)
                replayJournal(run, bootId, outcomes);
    } catch (...) {
        // Out of memory at start: the records wait for the next start.
    }
    return outcomes;
}

} // namespace shotdate
