// Failures seen from a whole run: every system call on the write path fails
// in turn, the disk is read-only or full, a file vanishes or changes under
// the run. Whatever happens, each file must end as its original or as its
// complete rewrite, no temporary file may stay behind, a file passed over
// must say why, and the run must go on with the next file.

#include "failing_sys_ops.h"
#include "file_times.h"
#include "fixtures.h"
#include "io/safe_replace.h"
#include "io/sys_ops.h"
#include "needed_tools.h"
#include "open_descriptors.h"
#include "run/batch_run.h"
#include "run/file_rewrite.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::Fixture;
using fixtures::TempFolder;

constexpr std::int32_t kOneHour = 3600;

// What makes the fixtures.
const std::vector<std::string> kTools = {"convert", "exiftool"};

DateArguments oneHourLater()
{
    return DateArguments{std::int32_t(DateMode::Shift), {}, kOneHour};
}

// Fixtures cost an exiftool run each; every test copies them from here.
const Bytes& fixtureBytes(Fixture fixture)
{
    static TempFolder folder;
    static std::map<Fixture, Bytes> made;
    auto found = made.find(fixture);
    if (found == made.end()) {
        const fixtures::MadeFixture result = fixtures::makeFixture(fixture, folder.path());
        EXPECT_TRUE(result.error.empty()) << fixtures::fixtureFileName(fixture) << ": " << result.error;
        found = made.emplace(fixture, result.error.empty() ? fixtures::readBytes(result.path) : Bytes{}).first;
    }
    return found->second;
}

// What an undisturbed rewrite makes of `bytes`, worked out by the engine on
// a copy of its own; the tests only ask whether a file is this or the original.
Bytes rewrittenBytes(const Bytes& bytes, const std::string& name)
{
    TempFolder side;
    fixtures::writeBytes(side / name, bytes);
    const FileRewrite result = rewriteFile(side / name, side / name, oneHourLater());
    EXPECT_EQ(result.reason, Reason::Rewritten) << name << " cannot be rewritten even without a failure";
    return fixtures::readBytes(side / name);
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A run with its per-file reports gathered by input path.
struct RunOutcome {
    RunSummary summary;
    std::map<std::string, FileReport> reports;
};

RunOutcome runOver(const std::string& input, std::optional<std::string> output = std::nullopt,
                   std::function<void()> afterListing = {})
{
    RunSettings settings;
    settings.inputPath = input;
    settings.outputFolder = std::move(output);
    settings.dates = oneHourLater();
    RunOutcome outcome;
    RunCallbacks callbacks;
    callbacks.onTargets = [&](std::size_t) {
        if (afterListing)
            afterListing();
    };
    callbacks.onFile = [&](const FileReport& report) { outcome.reports[report.inPath] = report; };
    const std::atomic<bool> stop{false};
    outcome.summary = runBatch(settings, stop, callbacks);
    return outcome;
}

// A victim of the scene's format and an ordinary JPEG listed after it, in
// one folder; with an output folder beside it when the scene writes there.
struct Scene {
    const char* name;
    Fixture victim;
    bool toOutputFolder;
};

void PrintTo(const Scene& scene, std::ostream* os)
{
    *os << scene.name;
}

class SceneFiles {
public:
    explicit SceneFiles(const Scene& scene)
        : scene_(scene), input_(folder_ / "photos"), victim_(input_ + "/a-" + fixtures::fixtureFileName(scene.victim)),
          next_(input_ + "/b-next.jpg")
    {
        fs::create_directory(input_);
        if (scene.toOutputFolder)
            fs::create_directory(output());
        victimOriginal_ = fixtureBytes(scene.victim);
        nextOriginal_ = fixtureBytes(Fixture::JpegLittleEndian);
        victimRewritten_ = rewrittenBytes(victimOriginal_, fs::path(victim_).filename());
        nextRewritten_ = rewrittenBytes(nextOriginal_, "b-next.jpg");
    }

    void lay() const
    {
        fixtures::writeBytes(victim_, victimOriginal_);
        fixtures::writeBytes(next_, nextOriginal_);
        fixtures::setTimes(victim_);
        fixtures::setTimes(next_);
    }

    std::string input() const { return input_; }
    std::optional<std::string> outputFolder() const
    {
        return scene_.toOutputFolder ? std::optional<std::string>(output()) : std::nullopt;
    }
    std::string output() const { return folder_ / "out"; }
    const std::string& victim() const { return victim_; }
    const std::string& next() const { return next_; }

    std::string outputOf(const std::string& inPath) const
    {
        return scene_.toOutputFolder ? output() + "/" + fs::path(inPath).filename().string() : inPath;
    }
    const Bytes& original(const std::string& inPath) const
    {
        return inPath == victim_ ? victimOriginal_ : nextOriginal_;
    }
    const Bytes& rewritten(const std::string& inPath) const
    {
        return inPath == victim_ ? victimRewritten_ : nextRewritten_;
    }

    std::vector<std::string> leftovers() const { return fixtures::leftoverTemporaryFiles(folder_.path()); }

private:
    Scene scene_;
    TempFolder folder_;
    std::string input_;
    std::string victim_;
    std::string next_;
    Bytes victimOriginal_;
    Bytes nextOriginal_;
    Bytes victimRewritten_;
    Bytes nextRewritten_;
};

// --- every step of the write path fails in turn ---------------------------------

struct Step {
    const char* name;
    InjectedFailure failure; // `nth` is filled in: every call of this kind in turn
    std::vector<Reason> reasons; // how a file hit by it may be reported
    bool mayBeHarmless; // a failure the write path works around (EPERM owner, a clone)
};

void PrintTo(const Step& step, std::ostream* os)
{
    *os << step.name;
}

class SeamFailureTest : public ::testing::TestWithParam<std::tuple<Scene, Step>> {};

TEST_P(SeamFailureTest, EachCallFailingInTurnLosesNothingAndTheRunGoesOn)
{
    SKIP_WITHOUT_TOOLS(kTools);
    const auto& [scene, step] = GetParam();
    SceneFiles files(scene);
    ASSERT_FALSE(HasFailure());

    // A run without failures counts the calls of this kind.
    int calls = 0;
    {
        files.lay();
        InjectedFailure counting = step.failure;
        counting.nth = 0;
        counting.maxBytes = 0;
        FailingSysOps failing(counting);
        const RunOutcome clean = runOver(files.input(), files.outputFolder());
        calls = failing.calls(step.failure.call);
        ASSERT_EQ(clean.summary.rewritten, 2) << "the scene does not rewrite cleanly";
    }
    // A copy into an output folder belongs to the runner: no owner to change.
    const bool ownerOfACopy = step.failure.call == SysCall::Fchown && scene.toOutputFolder;
    if ((step.mayBeHarmless || ownerOfACopy) && calls == 0)
        GTEST_SKIP() << step.name << ": this write path makes no such call";
    ASSERT_GT(calls, 0) << "the run never makes the call " << step.name << " is about";

    int victimPassedOver = 0;
    int filesPassedOver = 0;
    for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE(std::string(step.name) + " at call " + std::to_string(nth) + " of " + std::to_string(calls));
        if (scene.toOutputFolder) {
            fs::remove_all(files.output());
            fs::create_directory(files.output());
        }
        files.lay();
        const int descriptors = fixtures::openDescriptorCount();
        RunOutcome outcome;
        {
            InjectedFailure failure = step.failure;
            failure.nth = nth;
            FailingSysOps failing(failure);
            outcome = runOver(files.input(), files.outputFolder());
        }
        EXPECT_EQ(&sysOps(), &realSysOps());
        EXPECT_EQ(fixtures::openDescriptorCount(), descriptors) << "a descriptor leaked";
        EXPECT_TRUE(files.leftovers().empty()) << "temporary left: " << files.leftovers().front();
        if (outcome.reports.empty()) {
            // The input folder itself could not be opened: nothing listed, nothing touched.
            ASSERT_EQ(outcome.summary.listingProblems.size(), 1u);
            EXPECT_EQ(outcome.summary.listingProblems[0].error, step.failure.error);
            for (const std::string& in : {files.victim(), files.next()})
                EXPECT_EQ(fixtures::readBytes(in), files.original(in)) << in;
            continue;
        }
        ASSERT_EQ(outcome.reports.size(), 2u);

        int failed = 0;
        bool folderFailed = false;
        for (const std::string& in : {files.victim(), files.next()}) {
            const FileReport& report = outcome.reports.at(in);
            const std::string out = files.outputOf(in);
            if (scene.toOutputFolder) {
                EXPECT_EQ(fixtures::readBytes(in), files.original(in)) << "the input itself changed: " << in;
            }
            if (report.reason == Reason::Rewritten) {
                EXPECT_EQ(fixtures::readBytes(out), files.rewritten(in)) << out;
                continue;
            }
            ++failed;
            folderFailed = folderFailed || report.reason == Reason::FolderGone;
            victimPassedOver += in == files.victim() ? 1 : 0;
            EXPECT_NE(std::find(step.reasons.begin(), step.reasons.end(), report.reason), step.reasons.end())
                << in << ": reported as " << reasonKey(report.reason);
            EXPECT_EQ(report.error, step.failure.error) << in << ": the reason hides the system's error";
            // After the rename only the folder's sync can still fail: the new
            // file stands complete under its name, counted as rewritten, and
            // listed because the run cannot promise it is durable.
            if (report.reason == Reason::RewrittenNotSynced) {
                EXPECT_EQ(fixtures::readBytes(out), files.rewritten(in)) << "reported as rewritten: " << out;
                EXPECT_EQ(std::count_if(outcome.summary.passedOverFiles.begin(), outcome.summary.passedOverFiles.end(),
                                        [&](const FileReport& r) { return r.inPath == in; }),
                          1);
                continue;
            }
            if (scene.toOutputFolder) {
                EXPECT_FALSE(exists(out)) << "a file was left in the output folder: " << out;
            } else {
                EXPECT_EQ(fixtures::readBytes(out), files.original(in)) << "the original changed: " << out;
            }
        }
        // One failing call costs at most the file it belongs to; only a
        // folder's sync (and the descriptor it needs), or the folder itself,
        // is shared by the files in it.
        if (step.failure.call != SysCall::Fsync && step.failure.call != SysCall::Dup && !folderFailed) {
            EXPECT_LE(failed, 1) << "one failure cost more than one file";
        }
        if (!step.mayBeHarmless) {
            EXPECT_GE(failed, 1) << "the failure went unnoticed";
        }
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

const Scene kScenes[] = {
    {"jpeg_in_place", Fixture::JpegLittleEndian, false},
    {"tiff_in_place", Fixture::TiffThreePages, false},
    {"jpeg_to_output_folder", Fixture::JpegLittleEndian, true},
    // Adding a missing date lays the metadata out again: the new file is
    // written from memory rather than copied.
    {"jpeg_laid_out_again", Fixture::JpegOriginalOnly, false},
};

const Step kSteps[] = {
    {"open_refused",
     {.call = SysCall::Openat, .error = EACCES},
     {Reason::Unreadable, Reason::WriteFailed, Reason::FolderGone},
     false},
    {"read_io_error", {.call = SysCall::Read, .error = EIO}, {Reason::Unreadable}, false},
    {"write_io_error", {.call = SysCall::Write, .error = EIO}, {Reason::WriteFailed}, false},
    {"write_disk_full", {.call = SysCall::Write, .error = ENOSPC}, {Reason::WriteFailed}, false},
    // Short writes of 100 bytes, then one that makes no progress at all.
    {"short_write_then_no_progress",
     {.call = SysCall::Write, .error = EIO, .maxBytes = 100, .returnsZero = true},
     {Reason::WriteFailed},
     false},
    {"clone_unsupported", {.call = SysCall::Clone, .error = EOPNOTSUPP}, {}, true},
    {"sync_io_error", {.call = SysCall::Fsync, .error = EIO}, {Reason::WriteFailed, Reason::RewrittenNotSynced}, true},
    // A batch's shared sync failing sends each file to its own sync; this
    // makes that one fail too.
    {"sync_io_error_twice",
     {.call = SysCall::Fsync, .times = 2, .error = EIO},
     {Reason::WriteFailed, Reason::RewrittenNotSynced},
     true},
    // No descriptor to sync the folder with: the files are in place, not durable.
    {"folder_descriptor_refused", {.call = SysCall::Dup, .error = EMFILE}, {Reason::RewrittenNotSynced}, false},
    {"owner_io_error", {.call = SysCall::Fchown, .error = EIO}, {Reason::WriteFailed}, false},
    // In place another user's photo would silently become the runner's.
    {"owner_not_permitted", {.call = SysCall::Fchown, .error = EPERM}, {Reason::CannotKeepOwner}, false},
    {"permissions_refused", {.call = SysCall::Fchmod, .error = EPERM}, {Reason::WriteFailed}, false},
    {"times_refused", {.call = SysCall::Futimens, .error = EPERM}, {Reason::WriteFailed}, false},
    {"rename_across_devices", {.call = SysCall::Renameat, .error = EXDEV}, {Reason::RenameFailed}, false},
    {"rename_io_error", {.call = SysCall::Renameat, .error = EIO}, {Reason::RenameFailed}, false},
};

INSTANTIATE_TEST_SUITE_P(Steps, SeamFailureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kSteps)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "__" + std::get<1>(info.param).name;
                         });

// --- a real read-only or full file system -----------------------------------------

// A small tmpfs mounted on a folder of its own, unmounted afterwards. Root in
// a container may lack the right to mount; the tests then skip.
class SmallMount {
public:
    SmallMount(const std::string& at, const std::string& options) : at_(at)
    {
        fs::create_directory(at_);
        if (::mount("tmpfs", at_.c_str(), "tmpfs", 0, options.c_str()) != 0)
            error_ = errno;
        else
            mounted_ = true;
    }
    ~SmallMount()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallMount(const SmallMount&) = delete;
    SmallMount& operator=(const SmallMount&) = delete;

    bool mounted() const { return mounted_; }
    std::string why() const { return std::strerror(error_); }
    bool makeReadOnly() { return ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    std::string at_;
    bool mounted_ = false;
    int error_ = 0;
};

#define SKIP_UNLESS_MOUNTED(mount)                                                                                     \
    do {                                                                                                               \
        if (!(mount).mounted())                                                                                        \
            GTEST_SKIP() << "cannot mount a tmpfs here (" << (mount).why() << "): skipped";                            \
    } while (false)

class RealFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_TOOLS(kTools);
        photo = fixtureBytes(Fixture::JpegLittleEndian);
        photoRewritten = rewrittenBytes(photo, "photo.jpg");
    }

    TempFolder folder;
    Bytes photo;
    Bytes photoRewritten;
};

TEST_F(RealFileSystemTest, AReadOnlyFolderPassesEveryFileOverUntouched)
{
    // Permission bits do not stop root, a read-only mount does.
    const std::string photos = folder / "photos";
    std::optional<SmallMount> mount;
    if (::geteuid() == 0) {
        mount.emplace(photos, "size=1m");
        SKIP_UNLESS_MOUNTED(*mount);
    } else {
        fs::create_directory(photos);
    }
    fixtures::writeBytes(photos + "/a.jpg", photo);
    fixtures::writeBytes(photos + "/b.jpg", photo);
    if (mount) {
        ASSERT_TRUE(mount->makeReadOnly()) << std::strerror(errno);
    } else {
        ASSERT_EQ(::chmod(photos.c_str(), 0555), 0);
    }

    const RunOutcome outcome = runOver(photos);

    EXPECT_EQ(outcome.summary.rewritten, 0);
    EXPECT_EQ(outcome.summary.passedOver, 2);
    for (const auto& [path, report] : outcome.reports) {
        EXPECT_EQ(report.reason, Reason::WriteFailed) << path;
        EXPECT_TRUE(report.error == EROFS || report.error == EACCES) << path << ": errno " << report.error;
        EXPECT_EQ(fixtures::readBytes(path), photo) << path;
    }
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(photos).empty());
    ::chmod(photos.c_str(), 0755);
}

TEST_F(RealFileSystemTest, AReadOnlyOutputFolderIsRefusedBeforeAnythingHappens)
{
    const std::string out = folder / "out";
    std::optional<SmallMount> mount;
    if (::geteuid() == 0) {
        mount.emplace(out, "size=1m");
        SKIP_UNLESS_MOUNTED(*mount);
        ASSERT_TRUE(mount->makeReadOnly()) << std::strerror(errno);
    } else {
        fs::create_directory(out);
        ASSERT_EQ(::chmod(out.c_str(), 0555), 0);
    }
    fixtures::writeBytes(folder / "a.jpg", photo);

    RunSettings settings;
    settings.inputPath = folder / "a.jpg";
    settings.outputFolder = out;
    settings.dates = oneHourLater();
    EXPECT_EQ(checkRunSettings(settings), SettingsError::OutputNotWritable);

    // And if a front end started the run anyway, the file says why.
    const RunOutcome outcome = runOver(folder / "a.jpg", out);
    ASSERT_EQ(outcome.summary.passedOver, 1);
    EXPECT_EQ(outcome.summary.passedOverFiles.front().reason, Reason::WriteFailed);
    EXPECT_EQ(fixtures::readBytes(folder / "a.jpg"), photo);
    EXPECT_FALSE(exists(out + "/a.jpg"));
    ::chmod(out.c_str(), 0755);
}

TEST_F(RealFileSystemTest, AFullFileSystemPassesTheFileOverAndTheNextSmallerOneStillFits)
{
    const std::string photos = folder / "photos";
    SmallMount mount(photos, "size=64k");
    SKIP_UNLESS_MOUNTED(mount);

    // A photo padded after its image data to 24 KiB, too big to be copied
    // once the disk is nearly full; a small one that still fits after it.
    Bytes big = photo;
    for (std::size_t i = 0; big.size() < 24 * 1024; ++i)
        big.push_back(static_cast<std::uint8_t>(i * 7));
    const Bytes bigRewritten = rewrittenBytes(big, "a-big.jpg");
    fixtures::writeBytes(photos + "/a-big.jpg", big);
    fixtures::writeBytes(photos + "/b-small.jpg", photo);

    // Fill the disk, then free two pages: room for the small copy only.
    const std::string filler = photos + "/filler.bin";
    {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::vector<char> page(4096, 'x');
        off_t size = 0;
        for (ssize_t n; (n = ::write(fd, page.data(), page.size())) > 0;)
            size += n;
        ASSERT_EQ(errno, ENOSPC);
        ASSERT_EQ(::ftruncate(fd, size > 8192 ? size - 8192 : 0), 0);
        ::close(fd);
    }
    const Bytes fillerBytes = fixtures::readBytes(filler);

    const RunOutcome outcome = runOver(photos);

    const FileReport& bigReport = outcome.reports.at(photos + "/a-big.jpg");
    EXPECT_EQ(bigReport.reason, Reason::WriteFailed);
    EXPECT_EQ(bigReport.error, ENOSPC);
    EXPECT_EQ(fixtures::readBytes(photos + "/a-big.jpg"), big);
    EXPECT_EQ(outcome.reports.at(photos + "/b-small.jpg").reason, Reason::Rewritten);
    EXPECT_EQ(fixtures::readBytes(photos + "/b-small.jpg"), photoRewritten);
    EXPECT_EQ(fixtures::readBytes(filler), fillerBytes);
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(photos).empty());

    // Once there is room again the same file goes through.
    ASSERT_EQ(::unlink(filler.c_str()), 0);
    const RunOutcome again = runOver(photos + "/a-big.jpg");
    EXPECT_EQ(again.summary.rewritten, 1);
    EXPECT_EQ(fixtures::readBytes(photos + "/a-big.jpg"), bigRewritten);
}

// --- a file vanishes or is replaced after the listing -------------------------------

struct Replacement {
    const char* name;
    std::function<void(const std::string& path)> replace; // acts on the path of the file
    Reason reason;
};

void PrintTo(const Replacement& replacement, std::ostream* os)
{
    *os << replacement.name;
}

class ReplacedAfterListingTest : public ::testing::TestWithParam<std::tuple<Replacement, bool>> {};

TEST_P(ReplacedAfterListingTest, TheChangedEntryIsPassedOverAndLeftAlone)
{
    SKIP_WITHOUT_TOOLS(kTools);
    const auto& [replacement, toOutputFolder] = GetParam();
    const Bytes& photo = fixtureBytes(Fixture::JpegLittleEndian);
    const Bytes rewritten = rewrittenBytes(photo, "photo.jpg");
    TempFolder folder;
    const std::string photos = folder / "photos";
    const std::string out = folder / "out";
    fs::create_directory(photos);
    fs::create_directory(out);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        fixtures::writeBytes(photos + "/" + name, photo);
    const std::string victim = photos + "/b.jpg";

    const RunOutcome outcome = runOver(photos, toOutputFolder ? std::optional<std::string>(out) : std::nullopt,
                                       [&] { replacement.replace(victim); });

    ASSERT_EQ(outcome.reports.size(), 3u);
    const FileReport& report = outcome.reports.at(victim);
    EXPECT_EQ(report.reason, replacement.reason) << reasonKey(report.reason);
    for (const char* name : {"a.jpg", "c.jpg"}) {
        EXPECT_EQ(outcome.reports.at(photos + "/" + name).reason, Reason::Rewritten) << name;
        EXPECT_EQ(fixtures::readBytes((toOutputFolder ? out : photos) + "/" + name), rewritten) << name;
    }
    EXPECT_FALSE(exists(out + "/b.jpg"));
    struct stat st {};
    if (::lstat(victim.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        EXPECT_TRUE(fs::is_empty(victim)) << "something was written into the folder";
    }
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(folder.path()).empty());
}

const Replacement kReplacements[] = {
    {"deleted", [](const std::string& p) { ASSERT_EQ(::unlink(p.c_str()), 0); }, Reason::NotFound},
    {"replaced_by_a_folder",
     [](const std::string& p) {
         ASSERT_EQ(::unlink(p.c_str()), 0);
         ASSERT_EQ(::mkdir(p.c_str(), 0755), 0);
     },
     Reason::NotRegularFile},
    {"replaced_by_a_fifo",
     [](const std::string& p) {
         ASSERT_EQ(::unlink(p.c_str()), 0);
         ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0);
     },
     Reason::NotRegularFile},
    {"replaced_by_a_dangling_link",
     [](const std::string& p) {
         ASSERT_EQ(::unlink(p.c_str()), 0);
         ASSERT_EQ(::symlink("nowhere.jpg", p.c_str()), 0);
     },
     Reason::NotRegularFile}, // a link swapped in after listing is never followed
    {"replaced_by_a_link_to_a_folder",
     [](const std::string& p) {
         ASSERT_EQ(::unlink(p.c_str()), 0);
         ASSERT_EQ(::symlink(".", p.c_str()), 0);
     },
     Reason::NotRegularFile},
};

INSTANTIATE_TEST_SUITE_P(Replacements, ReplacedAfterListingTest,
                         ::testing::Combine(::testing::ValuesIn(kReplacements), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name)
                                 + (std::get<1>(info.param) ? "__to_output_folder" : "__in_place");
                         });

// --- a file changes while it is read ------------------------------------------------

// The real system calls, except that reading or copying the watched file,
// or the sync that comes before the renames, first lets the test change it,
// once.
class ChangingFileOps {
public:
    static constexpr int kAtSync = -1;

    ChangingFileOps(std::string path, int atRead, std::function<void(const std::string&)> change)
        : scope_(install(std::move(path), atRead, std::move(change)))
    {}
    ~ChangingFileOps() { state() = {}; }
    ChangingFileOps(const ChangingFileOps&) = delete;
    ChangingFileOps& operator=(const ChangingFileOps&) = delete;

    static int reads() { return state().reads; }
    static bool changed() { return state().done; }

private:
    struct State {
        std::string path;
        int atRead = 0; // 1-based read of the watched file; 0: at the start of the copy; kAtSync
        int reads = 0;
        bool done = false;
        std::function<void(const std::string&)> change;
    };
    static State& state()
    {
        static State shared;
        return shared;
    }

    static bool isWatched(int fd)
    {
        struct stat a {};
        struct stat b {};
        return ::fstat(fd, &a) == 0 && ::stat(state().path.c_str(), &b) == 0 && a.st_ino == b.st_ino
            && a.st_dev == b.st_dev;
    }

    static void changeAtSync()
    {
        State& s = state();
        if (s.done || s.atRead != kAtSync)
            return;
        s.done = true;
        s.change(s.path);
    }

    static void maybeChange(int fd, bool isRead)
    {
        State& s = state();
        if (s.done || s.atRead == kAtSync || !isWatched(fd))
            return;
        if (isRead && ++s.reads != s.atRead)
            return;
        if (!isRead && s.atRead != 0)
            return;
        s.done = true;
        s.change(s.path);
    }

    static const SysOps& install(std::string path, int atRead, std::function<void(const std::string&)> change)
    {
        state() = State{std::move(path), atRead, 0, false, std::move(change)};
        static SysOps ops = [] {
            SysOps copy = realSysOps();
            copy.read = [](int fd, void* buf, size_t count) {
                maybeChange(fd, true);
                return realSysOps().read(fd, buf, count);
            };
            copy.copyFileRange = [](int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t length) {
                maybeChange(fdIn, false);
                return realSysOps().copyFileRange(fdIn, offIn, fdOut, offOut, length);
            };
            copy.cloneFile = [](int destFd, int srcFd) {
                maybeChange(srcFd, false);
                return realSysOps().cloneFile(destFd, srcFd);
            };
            copy.syncfs = [](int fd) {
                changeAtSync();
                return realSysOps().syncfs(fd);
            };
            copy.fsync = [](int fd) {
                changeAtSync();
                return realSysOps().fsync(fd);
            };
            return copy;
        }();
        return ops;
    }

    ScopedSysOps scope_;
};

void appendBytes(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "more", 4), 4);
    ::close(fd);
}

// Another program writes into the same file, keeping its size: only the
// times tell. With `timeSetBack` it even restores the modification time,
// and only the change time is left to tell.
void overwrittenInPlace(const std::string& path, bool timeSetBack)
{
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "edit", 4, st.st_size / 2), 4);
    if (timeSetBack) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::futimens(fd, times), 0);
    }
    ::close(fd);
}

struct Change {
    const char* name;
    int atRead; // 0: when the copy starts; kAtSync: after the new file is complete, before its rename
    std::function<void(const std::string& path)> change;
};

void PrintTo(const Change& change, std::ostream* os)
{
    *os << change.name;
}

class ChangedWhileReadingTest : public ::testing::TestWithParam<Change> {};

TEST_P(ChangedWhileReadingTest, TheFileIsPassedOverAndNothingIsWritten)
{
    SKIP_WITHOUT_TOOLS(kTools);
    const Change& change = GetParam();
    const Bytes& photo = fixtureBytes(Fixture::JpegLittleEndian);
    const Bytes rewritten = rewrittenBytes(photo, "photo.jpg");
    TempFolder folder;
    const std::string victim = folder / "a.jpg";
    fixtures::writeBytes(victim, photo);
    fixtures::writeBytes(folder / "b.jpg", photo);
    fixtures::setTimes(victim);

    RunOutcome outcome;
    Bytes changedBytes;
    {
        ChangingFileOps ops(victim, change.atRead, [&](const std::string& path) {
            change.change(path);
            changedBytes = fixtures::readBytes(path);
        });
        outcome = runOver(folder.path());
        ASSERT_TRUE(ChangingFileOps::changed())
            << "the run never reached the moment of the change (" << ChangingFileOps::reads() << " reads)";
    }

    EXPECT_EQ(outcome.reports.at(victim).reason, Reason::ChangedWhileReading)
        << reasonKey(outcome.reports.at(victim).reason);
    EXPECT_EQ(fixtures::readBytes(victim), changedBytes) << "the changed file was written over";
    EXPECT_EQ(outcome.reports.at(folder / "b.jpg").reason, Reason::Rewritten);
    EXPECT_EQ(fixtures::readBytes(folder / "b.jpg"), rewritten);
    EXPECT_TRUE(fixtures::leftoverTemporaryFiles(folder.path()).empty());
}

const Change kChanges[] = {
    {"grows_during_the_first_read", 1, appendBytes},
    {"grows_during_the_second_read", 2, appendBytes},
    {"shrinks_during_the_first_read", 1, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 100), 0); }},
    {"touched_during_the_first_read", 1,
     [](const std::string& p) {
         const struct timespec times[2] = {{0, UTIME_OMIT}, {1500000000, 1}};
         ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
     }},
    {"grows_when_the_copy_starts", 0, appendBytes},
    // Another program saves a new version by rename, as editors do: the
    // name now stands for a file this run never read.
    {"replaced_by_rename_during_the_first_read", 1,
     [](const std::string& p) {
         const std::string other = p + ".new";
         fixtures::writeBytes(other, Bytes{'n', 'e', 'w'});
         ASSERT_EQ(::rename(other.c_str(), p.c_str()), 0);
     }},
    {"overwritten_before_the_rename", ChangingFileOps::kAtSync,
     [](const std::string& p) { overwrittenInPlace(p, false); }},
    {"overwritten_before_the_rename_with_its_time_set_back", ChangingFileOps::kAtSync,
     [](const std::string& p) { overwrittenInPlace(p, true); }},
};

INSTANTIATE_TEST_SUITE_P(Changes, ChangedWhileReadingTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace shotdate
