// A journaled in-place run writes a date change into the photo itself when it
// lies within one page: the inode, its links and its times stay. Every step
// failing leaves the file old or new; power loss, simulated by keeping only
// the writes made durable and tearing the rest by sectors, is put right by
// the replay at the next start.

#include "failing_sys_ops.h"
#include "file_times.h"
#include "io/journal_file.h"
#include "run/patch_replay.h"
#include "run_outcome.h"
#include "tiff_builder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

constexpr const char* kOld = "2020:02:29 23:30:15";
constexpr const char* kNew = "2020:03:01 00:30:15"; // an hour later

// A JPEG whose two dates start `dateOffset` bytes into the file (a comment
// segment after SOI moves them), or wherever they fall when 0.
Bytes photo(std::size_t dateOffset = 0)
{
    const Bytes plain = testing_support::jpegWith(testing_support::exifTiff(kOld, kOld));
    const std::size_t natural = std::search(plain.begin(), plain.end(), kOld, kOld + 19) - plain.begin();
    if (dateOffset == 0)
        return plain;
    const std::size_t padding = dateOffset - natural - 4; // the comment's marker and length
    Bytes out{0xFF, 0xD8, 0xFF, 0xFE, std::uint8_t((padding + 2) >> 8), std::uint8_t(padding + 2)};
    out.insert(out.end(), padding, ' ');
    out.insert(out.end(), plain.begin() + 2, plain.end());
    return out;
}

Bytes withDates(Bytes bytes, const char* date)
{
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), kOld, kOld + 19)) != bytes.end(); at += 19)
        std::copy(date, date + 19, at);
    return bytes;
}

class InPlaceTest : public JournalTest {
protected:
    std::string put(const std::string& name, const Bytes& bytes)
    {
        const std::string path = folder() + "/" + name;
        EXPECT_TRUE(writeBytes(path, bytes));
        setTimes(path);
        return path;
    }
};

TEST_F(InPlaceTest, PatchesTheFileItselfOnceForAllItsNames)
{
    const std::string path = put("a.jpg", photo());
    ASSERT_EQ(::link(path.c_str(), (folder() + "/b.jpg").c_str()), 0);
    const ino_t inode = statOf(path).st_ino;
    std::vector<FileReport> reports;
    EXPECT_EQ(journaledRun(&reports).rewritten, 1);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].reason, Reason::SameFileTwice);
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_ino, inode);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_TRUE(sameTime(after.st_mtim, kMtime) && sameTime(after.st_atim, kAtime));
    EXPECT_EQ(readBytes(folder() + "/b.jpg"), withDates(photo(), kNew));
}

// A patch that cannot be safe falls back to a rename (a new inode); a step
// failing leaves the file old or new, and says why.
struct StepCase {
    const char* name;
    InjectedFailure failure; // armed once the journal is open: the counts are the batch's own
    Reason reason;
    bool fileIsNew;
    bool renamed = false;
    std::size_t dateOffset = 0;
    bool writeDenied = false; // opening it for writing fails (another user's photo, a read-only file)
    bool journaled = true;
};

class InPlaceStep : public InPlaceTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(InPlaceStep, LeavesTheFileOldOrNewAndSaysWhy)
{
    const StepCase& c = GetParam();
    const std::string path = put("a.jpg", photo(c.dateOffset));
    const ino_t inode = statOf(path).st_ino;
    std::optional<FailingSysOps> failing;
    std::vector<FileReport> reports;
    const OpenHook deny = [&](int, const char* name, int flags) {
        return c.writeDenied && std::string(name) == "a.jpg" && (flags & O_ACCMODE) == O_RDWR ? EACCES : 0;
    };
    const auto arm = [&] { failing.emplace(c.failure, BeforeCall{}, deny); };
    journaledRun(&reports, arm, c.journaled);
    failing.reset();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].reason, c.reason) << reasonKey(reports[0].reason);
    EXPECT_EQ(readBytes(path), withDates(photo(c.dateOffset), c.fileIsNew ? kNew : kOld));
    EXPECT_EQ(statOf(path).st_ino != inode, c.renamed);
}

using enum SysCall;
using R = Reason;
constexpr InjectedFailure kNone{.nth = 0};

// clang-format off
INSTANTIATE_TEST_SUITE_P(InPlace, InPlaceStep, ::testing::Values(
    StepCase{"SpanCrossesAPage", kNone, R::Rewritten, true, true, 4096 - 30},
    StepCase{"WriteDenied", kNone, R::Rewritten, true, true, 0, true},
    StepCase{"NoJournal", kNone, R::Rewritten, true, true, 0, false, false},
    StepCase{"Pwrite", {.call = Write, .nth = 2}, R::WriteFailed, false},
    StepCase{"ShortPwrite", {.call = Write, .nth = 0, .maxBytes = 8}, R::WriteFailed, false},
    StepCase{"Futimens", {.call = Futimens}, R::WriteFailed, false},
    StepCase{"Sync", {.call = Fsync, .nth = 2, .times = 0}, R::RewrittenNotSynced, true},
    StepCase{"JournalRecord", {.call = Write}, R::WriteFailed, false}),
    kRowName);
// clang-format on

// Another program's save between the run's read and its write: the sync of
// the batch's records is the last moment before the span is checked again.
TEST_F(InPlaceTest, ASpanChangedMeanwhileIsPassedOver)
{
    const std::string path = put("a.jpg", photo());
    const Bytes other = withDates(photo(), "2001:01:01 01:01:01");
    std::optional<FailingSysOps> onFirstSync;
    std::vector<FileReport> reports;
    journaledRun(&reports, [&] {
        onFirstSync.emplace(InjectedFailure{.nth = 0}, [&](SysCall call, int) {
            if (call == SysCall::Fsync && readBytes(path) != other)
                writeBytes(path, other);
        });
    });
    onFirstSync.reset();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].reason, Reason::ChangedWhileReading);
    EXPECT_EQ(readBytes(path), other);
}

// --- power loss --------------------------------------------------------------

// Every write to a file and every sync, in order, as the disk would see them.
struct DiskEvent {
    enum Kind { Write, Sync, SyncAll } kind;
    std::string path;
    std::uint64_t offset = 0;
    Bytes bytes;
};

std::vector<DiskEvent>& recorded()
{
    static std::vector<DiskEvent> events;
    return events;
}

std::string pathOfFd(int fd)
{
    return fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).string();
}

const SysOps& recordingOps()
{
    static const SysOps ops = [] {
        SysOps table = realSysOps();
        table.pwrite = [](int fd, const void* buf, size_t count, off_t offset) {
            const auto* from = static_cast<const std::uint8_t*>(buf);
            recorded().push_back({DiskEvent::Write, pathOfFd(fd), std::uint64_t(offset), Bytes(from, from + count)});
            return realSysOps().pwrite(fd, buf, count, offset);
        };
        table.write = [](int fd, const void* buf, size_t count) { // the journal appends
            return recordingOps().pwrite(fd, buf, count, ::lseek(fd, 0, SEEK_END));
        };
        table.fsync = [](int fd) {
            recorded().push_back({DiskEvent::Sync, pathOfFd(fd), 0, {}});
            return realSysOps().fsync(fd);
        };
        table.syncfs = [](int fd) {
            recorded().push_back({DiskEvent::SyncAll, {}, 0, {}});
            return realSysOps().syncfs(fd);
        };
        return table;
    }();
    return ops;
}

// The files as power loss at event `cut` leaves them: writes made durable
// before the cut whole, the others torn by 512-byte sectors at random. The
// journal only grows: of its writes not yet durable, a random few in order.
std::map<std::string, Bytes> afterPowerLoss(const std::map<std::string, Bytes>& before, std::size_t cut,
                                            std::mt19937& random)
{
    std::map<std::string, Bytes> files = before;
    std::map<std::string, bool> appendsLost;
    const auto& events = recorded();
    for (std::size_t i = 0; i < cut; ++i) {
        const DiskEvent& write = events[i];
        if (write.kind != DiskEvent::Write || !files.count(write.path))
            continue;
        const bool durable = std::any_of(
            events.begin() + std::ptrdiff_t(i) + 1, events.begin() + std::ptrdiff_t(cut), [&](const DiskEvent& sync) {
                return sync.kind == DiskEvent::SyncAll || (sync.kind == DiskEvent::Sync && sync.path == write.path);
            });
        Bytes& file = files[write.path];
        if (write.path.ends_with(".jsonl")) {
            bool& lost = appendsLost[write.path];
            lost = lost || (!durable && random() % 2 == 0);
            if (!lost)
                file.insert(file.end(), write.bytes.begin(), write.bytes.end());
            continue;
        }
        std::map<std::uint64_t, bool> sectorKept;
        for (std::size_t k = 0; k < write.bytes.size(); ++k) {
            auto [kept, fresh] = sectorKept.try_emplace((write.offset + k) / 512, true);
            if (fresh)
                kept->second = durable || random() % 2 == 0;
            if (kept->second)
                file[write.offset + k] = write.bytes[k];
        }
    }
    return files;
}

// Dates straddling a sector boundary, so that a torn page can split them.
constexpr std::size_t kAcrossSectors = 512 - 25;

TEST_F(InPlaceTest, PowerLossAtAnyPointIsPutRightByTheReplay)
{
    const Bytes oldFile = photo(kAcrossSectors);
    const Bytes newFile = withDates(oldFile, kNew);
    std::map<std::string, Bytes> before;
    std::vector<std::string> photos;
    for (int i = 0; i < 5; ++i)
        before[photos.emplace_back(put("p" + std::to_string(i) + ".jpg", oldFile))] = oldFile;
    recorded().clear();
    {
        ScopedSysOps scope(recordingOps());
        ASSERT_EQ(journaledRun().rewritten, 5);
    }
    for (const DiskEvent& event : recorded())
        if (event.path.ends_with(".jsonl"))
            before[event.path] = {};
    ASSERT_EQ(before.size(), photos.size() + 1);

    std::mt19937 random(20261207);
    int torn = 0;
    for (std::size_t cut = 0; cut <= recorded().size(); ++cut) {
        for (int trial = 0; trial < 4; ++trial) {
            for (const auto& [path, bytes] : afterPowerLoss(before, cut, random))
                ASSERT_TRUE(writeBytes(path, bytes));
            const auto isTorn = [&](const std::string& path) {
                const Bytes now = readBytes(path);
                return now != oldFile && now != newFile;
            };
            const bool anyTorn = std::any_of(photos.begin(), photos.end(), isTorn);
            torn += anyTorn ? 1 : 0;
            // In this boot the same records are a killed run's: not replayed.
            if (anyTorn && torn == 1) {
                replayUnfinishedPatches();
                EXPECT_TRUE(std::any_of(photos.begin(), photos.end(), isTorn));
            }
            replayUnfinishedPatches(journalFolder(), "a-later-boot");
            for (const std::string& path : photos)
                EXPECT_FALSE(isTorn(path)) << path << " after a cut at event " << cut << " of " << recorded().size();
        }
    }
    EXPECT_GT(torn, 0) << "no cut tore a page: the simulation tests nothing";
}

TEST_F(InPlaceTest, ReplayLeavesForeignBytesAndLiveRunsAlone)
{
    const std::string path = put("a.jpg", photo());
    ASSERT_EQ(journaledRun().rewritten, 1);
    // The run's record as if power failed before its done line.
    const std::string journal = readAllJournals()[0].path;
    std::string text;
    ASSERT_EQ(readWholeFile(journal, text), 0);
    const std::size_t done = text.find("\"type\":\"done\"");
    ASSERT_NE(done, std::string::npos);
    text.resize(text.rfind('\n', done) + 1);
    ASSERT_TRUE(writeBytes(journal, Bytes(text.begin(), text.end())));
    const Bytes foreign = withDates(photo(), "2001:01:01 01:01:01");
    ASSERT_TRUE(writeBytes(path, foreign));

    const int held = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_TRUE(replayUnfinishedPatches(journalFolder(), "a-later-boot").empty()); // a live run's
    ::close(held);

    const auto outcomes = replayUnfinishedPatches(journalFolder(), "a-later-boot");
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].kind, ReplayOutcome::Kind::ForeignBytes);
    EXPECT_EQ(readBytes(path), foreign);
    // Reported once: the record is settled now.
    EXPECT_TRUE(replayUnfinishedPatches(journalFolder(), "a-later-boot").empty());
}

} // namespace
} // namespace shotdate
