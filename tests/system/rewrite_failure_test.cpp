// The safe write path and its failures. First what the new file carries
// over and where its temporary lies; then one table of failing steps:
// replaceFile meets each at one call, whole runs at every call of its kind
// in turn; then files that vanish or change under a run. Each file must end
// as its original or its complete rewrite, with no temporary left behind; a
// file passed over says why, and the run goes on with the next.

#include "failing_sys_ops.h"
#include "file_times.h"
#include "io/safe_replace.h"
#include "needed_tools.h"
#include "open_descriptors.h"
#include "run_outcome.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <tuple>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

const std::vector<std::string> kTools = {"convert", "exiftool"}; // what makes the fixtures

// --- the safe write path on its own ------------------------------------------

Bytes patternBytes(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return bytes;
}

// A photo in its own folder, with owner, permissions and times worth keeping.
class SafeReplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(target, oldBytes));
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        setTimes(target);
        original = lstatOf(target);
    }

    void expectOnlyTargetInFolder()
    {
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    }
    TempFolder folder;
    std::string target = folder / "photo.jpg";
    Bytes oldBytes = patternBytes(3000, 1);
    Bytes newBytes = patternBytes(10000, 7);
    struct stat original {};
};

class KeptAttributesTest : public SafeReplaceTest, public ::testing::WithParamInterface<mode_t> {};

TEST_P(KeptAttributesTest, ReplacesContentAndKeepsOwnerPermissionsAndTimes)
{
    // Only root can hand a file to someone else; then prove the owner is carried over.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), GetParam()), 0); // chown cleared the set-id bits
    const struct stat before = lstatOf(target);
    ASSERT_FALSE(replaceFile(target, newBytes, before));
    const struct stat after = lstatOf(target);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file must have been replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, GetParam());
    EXPECT_EQ(std::pair(after.st_uid, after.st_gid), std::pair(before.st_uid, before.st_gid));
    EXPECT_TRUE(sameTime(after.st_mtim, kMtime)) << after.st_mtim.tv_sec << "." << after.st_mtim.tv_nsec;
    EXPECT_TRUE(sameTime(after.st_atim, kAtime)) << after.st_atim.tv_sec << "." << after.st_atim.tv_nsec;
    EXPECT_EQ(readBytes(target), newBytes);
    expectOnlyTargetInFolder();
}

// Read-only, private and executable files, set-user-ID and set-group-ID ones.
const mode_t kModes[] = {0640, 0755, 0600, 0444, 04750, 02755};
const char* const kModeNames[] = {"owner_rw_group_r", "executable",  "private",
                                  "read_only",        "set_user_id", "set_group_id"};
INSTANTIATE_TEST_SUITE_P(Modes, KeptAttributesTest, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(kModeNames[info.index]); });

TEST_F(SafeReplaceTest, CopiesExtendedAttributesFromTheSource)
{
    const char value[] = "kept";
    if (::setxattr(target.c_str(), "user.shotdate.test", value, sizeof value, 0) != 0)
        GTEST_SKIP() << "this file system has no user extended attributes (errno " << errno << ")";
    const int source = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(source, 0);
    const ReplaceError error = replaceFile(target, newBytes, original, source);
    ::close(source);
    ASSERT_FALSE(error);
    char copied[16] = {};
    ASSERT_EQ(::getxattr(target.c_str(), "user.shotdate.test", copied, sizeof copied),
              static_cast<ssize_t>(sizeof value));
    EXPECT_STREQ(copied, value);
    EXPECT_TRUE(sameTime(lstatOf(target).st_mtim, kMtime)) << "copying attributes must not move the time";
}

// Paths as a user types them, resolved against the working folder.
TEST_F(SafeReplaceTest, PutsTheTemporaryBesideTheTarget)
{
    ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0755), 0);
    const fs::path cwd = fs::current_path();
    fs::current_path(folder.path());
    for (const std::string path : {"photo.jpg", "./photo.jpg", "sub/photo.jpg", "sub//photo.jpg", "sub/../photo.jpg"}) {
        SCOPED_TRACE(path);
        const Bytes bytes = patternBytes(100 + path.size(), 3);
        PreparedReplacement prepared;
        ASSERT_FALSE(prepareReplacement(path, bytes, original, prepared));
        const fs::path temporary = prepared.temporaryPath();
        EXPECT_TRUE(isOurTemporaryName(temporary.filename().string())) << temporary;
        EXPECT_TRUE(fs::equivalent(fs::absolute(temporary).parent_path(), fs::absolute(path).parent_path()))
            << temporary;
        EXPECT_EQ(readBytes(temporary), bytes);
        EXPECT_EQ(prepared.targetPath(), path);
        ASSERT_FALSE(prepared.commit());
        EXPECT_EQ(readBytes(path), bytes);
        EXPECT_FALSE(fs::exists(temporary));
    }
    fs::current_path(cwd);
}

// A file already at a temporary's name (another run's, or one planted
// there) is neither opened nor overwritten: a fresh name is drawn.
TEST_F(SafeReplaceTest, AFileAtTheTemporarysNameIsLeftAlone)
{
    std::string planted;
    {
        FailingSysOps plant([&](int dirfd, const char* name, int) {
            if (planted.empty() && isOurTemporaryName(name)) {
                planted = name;
                const int fd = ::openat(dirfd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                EXPECT_EQ(::write(fd, "theirs", 6), 6);
                ::close(fd);
            }
            return 0;
        });
        ASSERT_FALSE(replaceFile(target, newBytes, original));
    }
    EXPECT_EQ(readBytes(target), newBytes);
    EXPECT_EQ(readBytes(folder / planted), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
}

// --- the steps ----------------------------------------------------------------------

// One way a step of the write path fails. replaceFile alone meets it at call
// `nth`; a whole run at every call of its kind in turn (`nth` ignored).
struct Step {
    const char* name;
    InjectedFailure failure;
    std::optional<ReplaceStep> step; // what replaceFile reports (None: it works round it); nullopt: runs only
    std::vector<Reason> reasons; // how a run may report a file hit by it; empty and not harmless: replaceFile only
    bool mayBeHarmless = false; // a run may work round it
};

const std::vector<Reason> kOpenReasons = {Reason::Unreadable, Reason::WriteFailed, Reason::FolderGone};
const std::vector<Reason> kSyncReasons = {Reason::WriteFailed, Reason::RewrittenNotSynced};
using enum SysCall;
using RS = ReplaceStep;

// clang-format off
const Step kSteps[] = {
    {"open_refused", {.call = Openat, .error = EACCES}, RS::CreateTemp, kOpenReasons},
    {"temporary_create_refused", {.call = Openat, .nth = 2, .error = EACCES}, RS::CreateTemp, {}},
    {"temporary_names_always_taken", {.call = Openat, .nth = 2, .times = 0, .error = EEXIST}, RS::CreateTemp, {}},
    {"read_io_error", {.call = Read, .error = EIO}, std::nullopt, {Reason::Unreadable}},
    {"write_io_error", {.call = Write, .error = EIO}, RS::Write, {Reason::WriteFailed}},
    {"write_disk_full", {.call = Write, .error = ENOSPC}, RS::Write, {Reason::WriteFailed}},
    {"later_write_io_error", {.call = Write, .nth = 3, .maxBytes = 1000}, RS::Write, {}},
    // Short writes of 100 bytes, then one that makes no progress at all.
    {"short_write_then_no_progress", {.call = Write, .nth = 2, .maxBytes = 100, .returnsZero = true}, RS::Write, {Reason::WriteFailed}},
    {"short_writes", {.call = Write, .nth = 0, .maxBytes = 7}, RS::None, {}},
    {"write_interrupted", {.call = Write, .times = 3, .error = EINTR}, RS::None, {}},
    {"clone_unsupported", {.call = Clone, .error = EOPNOTSUPP}, std::nullopt, {}, true},
    {"sync_io_error", {.call = Fsync}, RS::Sync, kSyncReasons, true},
    // A batch's shared sync failing sends each file to its own sync; this
    // makes that one fail too.
    {"sync_io_error_twice", {.call = Fsync, .times = 2}, std::nullopt, kSyncReasons, true},
    // After the rename: the new file is in place but may not survive a power cut.
    {"folder_sync_io_error", {.call = Fsync, .nth = 2}, RS::SyncFolder, {}},
    // No descriptor to sync the folder with: the files are in place, not durable.
    {"folder_descriptor_refused", {.call = Dup, .error = EMFILE}, std::nullopt, {Reason::RewrittenNotSynced}},
    {"owner_io_error", {.call = Fchown}, RS::Attributes, {Reason::WriteFailed}},
    // In place another user's photo would silently become the runner's.
    {"owner_not_permitted", {.call = Fchown, .error = EPERM}, RS::Owner, {Reason::CannotKeepOwner}},
    {"permissions_refused", {.call = Fchmod, .error = EPERM}, RS::Attributes, {Reason::WriteFailed}},
    {"times_refused", {.call = Futimens, .error = EPERM}, RS::Attributes, {Reason::WriteFailed}},
    {"rename_across_devices", {.call = Renameat, .error = EXDEV}, RS::Rename, {Reason::RenameFailed}},
    {"rename_io_error", {.call = Renameat}, RS::Rename, {Reason::RenameFailed}},
};
// clang-format on

std::vector<Step> stepsOf(bool inRuns)
{
    std::vector<Step> steps;
    for (const Step& s : kSteps)
        if (inRuns ? !s.reasons.empty() || s.mayBeHarmless : s.step.has_value())
            steps.push_back(s);
    return steps;
}

// --- replaceFile meets one failing call ------------------------------------------------

class InjectedFailureTest : public SafeReplaceTest, public ::testing::WithParamInterface<Step> {};

TEST_P(InjectedFailureTest, LeavesTheTargetIntactAndNothingBehind)
{
    const Step& c = GetParam();
    const int descriptorsBefore = openDescriptorCount();
    ReplaceError error;
    bool preparedWasActive = false;
    {
        FailingSysOps failing(c.failure);
        PreparedReplacement prepared;
        error = prepareReplacement(target, newBytes, original, prepared);
        preparedWasActive = prepared.active();
        if (!error)
            error = prepared.commit();
        EXPECT_GT(failing.calls(c.failure.call), 0) << "the injected call was never made";
    }
    EXPECT_EQ(&sysOps(), &realSysOps());
    EXPECT_EQ(std::pair(error.step, error.error), std::pair(*c.step, *c.step == RS::None ? 0 : c.failure.error));
    const bool failedInPrepare =
        *c.step == RS::CreateTemp || *c.step == RS::Write || *c.step == RS::Attributes || *c.step == RS::Owner;
    EXPECT_EQ(preparedWasActive, !failedInPrepare);
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
    const struct stat now = lstatOf(target); // before reading, which may move the access time
    EXPECT_TRUE(sameTime(now.st_mtim, kMtime));
    if (*c.step == RS::None || *c.step == RS::SyncFolder) {
        EXPECT_EQ(readBytes(target), newBytes);
    } else {
        EXPECT_EQ(now.st_ino, original.st_ino);
        EXPECT_EQ(readBytes(target), oldBytes);
    }
    expectOnlyTargetInFolder();
}

INSTANTIATE_TEST_SUITE_P(Steps, InjectedFailureTest, ::testing::ValuesIn(stepsOf(false)), kRowName);

// --- whole runs meet every call failing in turn --------------------------------------

// A victim of the scene's format and an ordinary JPEG listed after it, in
// one folder; with an output folder beside it when the scene writes there.
struct Scene {
    const char* name;
    Fixture victim;
    bool toOutputFolder;
};

const Scene kScenes[] = {
    {"jpeg_in_place", Fixture::JpegLittleEndian, false},
    {"tiff_in_place", Fixture::TiffThreePages, false},
    {"jpeg_to_output_folder", Fixture::JpegLittleEndian, true},
    // Adding a missing date lays the metadata out again: the new file is
    // written from memory rather than copied.
    {"jpeg_laid_out_again", Fixture::JpegOriginalOnly, false},
};

// The folder a whole run is given, and an output folder beside it.
class RunFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_TOOLS(kTools);
        fs::create_directory(input);
        fs::create_directory(output);
    }
    TempFolder folder;
    const std::string input = folder / "photos";
    const std::string output = folder / "out";
};

// One photo of the scene: where it lies, what it is before and after.
struct ScenePhoto {
    std::string in;
    std::string out;
    Bytes original;
    Bytes rewritten;
};

class SeamFailureTest : public RunFolderTest, public ::testing::WithParamInterface<std::tuple<Scene, Step>> {};

TEST_P(SeamFailureTest, EachCallFailingInTurnLosesNothingAndTheRunGoesOn)
{
    const auto& [scene, step] = GetParam();
    const std::optional<std::string> outputFolder = scene.toOutputFolder ? std::optional(output) : std::nullopt;
    std::vector<ScenePhoto> photos;
    for (const auto& [name, fixture] : {std::pair(std::string("a-") + fixtureFileName(scene.victim), scene.victim),
                                        std::pair(std::string("b-next.jpg"), Fixture::JpegLittleEndian)}) {
        const Bytes& original = fixtureBytes(fixture);
        photos.push_back({input + "/" + name, (scene.toOutputFolder ? output : input) + "/" + name, original,
                          rewrittenBytes(original, name)});
    }
    ASSERT_FALSE(HasFailure());
    const auto lay = [&] {
        fs::remove_all(output);
        if (scene.toOutputFolder)
            fs::create_directory(output);
        for (const ScenePhoto& photo : photos) {
            writeBytes(photo.in, photo.original);
            setTimes(photo.in);
        }
    };

    // A run without failures counts the calls of this kind.
    int calls = 0;
    {
        lay();
        FailingSysOps failing({.call = step.failure.call, .nth = 0});
        ASSERT_EQ(runOver(input, outputFolder).summary.rewritten, 2) << "the scene does not rewrite cleanly";
        calls = failing.calls(step.failure.call);
    }
    // A copy into an output folder belongs to the runner: no owner to change.
    const bool ownerOfACopy = step.failure.call == Fchown && scene.toOutputFolder;
    if ((step.mayBeHarmless || ownerOfACopy) && calls == 0)
        GTEST_SKIP() << step.name << ": this write path makes no such call";
    ASSERT_GT(calls, 0) << "the run never makes the call " << step.name << " is about";
    int victimPassedOver = 0, filesPassedOver = 0;
    for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE(std::string(step.name) + " at call " + std::to_string(nth) + " of " + std::to_string(calls));
        lay();
        const int descriptors = openDescriptorCount();
        RunOutcome outcome;
        {
            InjectedFailure failure = step.failure;
            failure.nth = nth;
            FailingSysOps failing(failure);
            outcome = runOver(input, outputFolder);
        }
        EXPECT_EQ(&sysOps(), &realSysOps());
        EXPECT_EQ(openDescriptorCount(), descriptors) << "a descriptor leaked";
        EXPECT_EQ(leftoverTemporaryFiles(folder.path()), std::vector<std::string>{});
        if (outcome.reports.empty()) {
            // The input folder itself could not be opened: nothing listed, nothing touched.
            ASSERT_EQ(outcome.summary.listingProblems.size(), 1u);
            EXPECT_EQ(outcome.summary.listingProblems[0].error, step.failure.error);
            for (const ScenePhoto& photo : photos)
                EXPECT_EQ(readBytes(photo.in), photo.original) << photo.in;
            continue;
        }
        ASSERT_EQ(outcome.reports.size(), 2u);
        int failed = 0;
        bool folderFailed = false;
        for (const ScenePhoto& photo : photos) {
            const FileReport& report = outcome.reports.at(photo.in);
            if (scene.toOutputFolder) {
                EXPECT_EQ(readBytes(photo.in), photo.original) << "the input itself changed: " << photo.in;
            }
            // After the rename only the folder's sync can still fail: the new
            // file stands complete, counted as rewritten, and listed because
            // the run cannot promise it is durable.
            if (report.reason == Reason::Rewritten || report.reason == Reason::RewrittenNotSynced) {
                EXPECT_EQ(readBytes(photo.out), photo.rewritten) << photo.out;
            } else if (scene.toOutputFolder) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(photo.out)))
                    << "a file was left in the output folder: " << photo.out;
            } else {
                EXPECT_EQ(readBytes(photo.out), photo.original) << "the original changed: " << photo.out;
            }
            if (report.reason == Reason::Rewritten)
                continue;
            ++failed;
            folderFailed = folderFailed || report.reason == Reason::FolderGone;
            victimPassedOver += &photo == &photos.front() ? 1 : 0;
            EXPECT_NE(std::find(step.reasons.begin(), step.reasons.end(), report.reason), step.reasons.end())
                << photo.in << ": reported as " << reasonKey(report.reason);
            EXPECT_EQ(report.error, step.failure.error) << photo.in << ": the reason hides the system's error";
        }
        // One failing call costs at most the file it belongs to; only a
        // folder's sync (and the descriptor it needs), or the folder itself,
        // is shared by the files in it.
        if (step.failure.call != Fsync && step.failure.call != Dup && !folderFailed) {
            EXPECT_LE(failed, 1) << "one failure cost more than one file";
        }
        if (!step.mayBeHarmless) {
            EXPECT_GE(failed, 1) << "the failure went unnoticed";
        }
        EXPECT_EQ(outcome.summary.passedOverFiles.size(), std::size_t(failed)) << "the closing list is wrong";
        EXPECT_EQ(outcome.summary.rewritten + outcome.summary.passedOver, 2);
        EXPECT_EQ(outcome.summary.rewritten,
                  std::count_if(outcome.reports.begin(), outcome.reports.end(),
                                [](const auto& r) { return countsAsRewritten(r.second.reason); }));
        filesPassedOver += failed;
    }
    if (!step.mayBeHarmless) {
        EXPECT_GT(victimPassedOver, 0) << "no failure ever hit the " << scene.name << " file itself";
    }
    std::cout << "[ figure ] " << scene.name << ", " << step.name << ": " << calls << " calls failed in turn, "
              << filesPassedOver << " files passed over, " << victimPassedOver << " of them the victim\n";
}

INSTANTIATE_TEST_SUITE_P(Steps, SeamFailureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(stepsOf(true))),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "__" + std::get<1>(info.param).name;
                         });

// --- a file vanishes, is replaced or changes under the run ---------------------------

// Another program writes into the same file, keeping its size: only the
// times tell. With `timeSetBack` it even restores the modification time,
// and only the change time is left to tell.
void overwriteInPlace(const char* path, bool timeSetBack)
{
    struct stat st {};
    const int fd = ::open(path, O_WRONLY);
    ASSERT_TRUE(fd >= 0 && ::fstat(fd, &st) == 0);
    ASSERT_EQ(::pwrite(fd, "edit", 4, st.st_size / 2), 4);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_TRUE(!timeSetBack || ::futimens(fd, times) == 0);
    ::close(fd);
}

constexpr int kAfterListing = -2;
constexpr int kAtSync = -1; // once the new file is complete, before its rename

// The middle one of three photos is changed at one moment of the run.
struct Disturbance {
    const char* name;
    int at; // kAfterListing, kAtSync, the nth read of the file, or 0: when the copy of its bytes starts
    void (*change)(const char* path);
    Reason reason = Reason::ChangedWhileReading;
    bool toOutputFolder = false;
};

class DisturbedTest : public RunFolderTest, public ::testing::WithParamInterface<Disturbance> {};

TEST_P(DisturbedTest, TheChangedEntryIsPassedOverAndLeftAlone)
{
    const Disturbance& disturbance = GetParam();
    const Bytes& photo = fixtureBytes(Fixture::JpegLittleEndian);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        writeBytes(input + "/" + name, photo);
    const std::string victim = input + "/b.jpg";
    setTimes(victim);
    Bytes changedBytes;
    bool changed = false;
    int reads = 0;
    const auto changeNow = [&] {
        changed = true;
        disturbance.change(victim.c_str());
        if (fs::is_regular_file(fs::symlink_status(victim)))
            changedBytes = readBytes(victim);
    };
    const auto isVictim = [&](int fd) {
        struct stat a {};
        struct stat b {};
        return ::fstat(fd, &a) == 0 && ::stat(victim.c_str(), &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    };
    RunOutcome outcome;
    {
        FailingSysOps ops({.nth = 0}, [&](SysCall call, int fd) {
            const int at = disturbance.at;
            if (!changed
                && (at == kAtSync      ? call == Fsync
                        : call == Read ? isVictim(fd) && ++reads == at
                                       : (call == Write || call == Clone) && at == 0 && isVictim(fd)))
                changeNow();
        });
        outcome = runOver(input, disturbance.toOutputFolder ? std::optional(output) : std::nullopt, false, [&] {
            if (disturbance.at == kAfterListing)
                changeNow();
        });
    }
    ASSERT_TRUE(changed) << "the run never reached the moment of the change (" << reads << " reads)";
    ASSERT_EQ(outcome.reports.size(), 3u);
    EXPECT_EQ(outcome.reports.at(victim).reason, disturbance.reason) << reasonKey(outcome.reports.at(victim).reason);
    for (const char* name : {"a.jpg", "c.jpg"}) {
        EXPECT_EQ(outcome.reports.at(input + "/" + name).reason, Reason::Rewritten) << name;
        EXPECT_EQ(readBytes((disturbance.toOutputFolder ? output : input) + "/" + name), rewrittenBytes(photo)) << name;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(output + "/b.jpg")));
    if (fs::is_regular_file(fs::symlink_status(victim))) {
        EXPECT_EQ(readBytes(victim), changedBytes) << "the changed file was written over";
    }
    EXPECT_TRUE(leftoverTemporaryFiles(folder.path()).empty());
}

const auto append = [](const char* path) { std::ofstream(path, std::ios::app) << "more"; };
const auto unlinkFile = [](const char* path) { EXPECT_EQ(::unlink(path), 0); };
const auto fifoForFile = [](const char* path) { EXPECT_FALSE(::unlink(path) || ::mkfifo(path, 0644)); };

// Another program saves a new version by rename, as editors do: the name
// now stands for a file this run never read.
void replaceByRename(const char* path)
{
    writeBytes(std::string(path) + ".new", Bytes{'n', 'e', 'w'});
    EXPECT_EQ(::rename((std::string(path) + ".new").c_str(), path), 0);
}

// A FIFO must not block the open; a link swapped in after listing is never
// followed (folder_swap_test.cpp, which also swaps folders).
// clang-format off
const Disturbance kDisturbances[] = {
    {"deleted", kAfterListing, unlinkFile, Reason::NotFound},
    {"deleted_to_output_folder", kAfterListing, unlinkFile, Reason::NotFound, true},
    {"replaced_by_a_fifo", kAfterListing, fifoForFile, Reason::NotRegularFile},
    {"replaced_by_a_fifo_to_output_folder", kAfterListing, fifoForFile, Reason::NotRegularFile, true},
    {"grows_during_the_first_read", 1, append},
    {"grows_during_the_second_read", 2, append},
    {"shrinks_during_the_first_read", 1, [](const char* p) { EXPECT_EQ(::truncate(p, 100), 0); }},
    {"touched_during_the_first_read", 1, [](const char* p) { const timespec t[2] = {{0, UTIME_OMIT}, {1500000000, 1}}; EXPECT_EQ(::utimensat(AT_FDCWD, p, t, 0), 0); }},
    {"grows_when_the_copy_starts", 0, append},
    {"replaced_by_rename_during_the_first_read", 1, replaceByRename},
    {"overwritten_before_the_rename", kAtSync, [](const char* p) { overwriteInPlace(p, false); }},
    {"overwritten_before_the_rename_with_its_time_set_back", kAtSync, [](const char* p) { overwriteInPlace(p, true); }},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Disturbances, DisturbedTest, ::testing::ValuesIn(kDisturbances), kRowName);

} // namespace
} // namespace shotdate
