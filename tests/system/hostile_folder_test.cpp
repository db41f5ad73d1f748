// A folder full of entries that break naive tools: FIFOs, sockets, devices,
// symbolic link loops, links out of the folder, dangling links, names with
// newlines or invalid UTF-8, Japanese and 255-byte names, a path deeper than
// PATH_MAX, empty and unreadable files, and 2 GiB sparse files. A recursive
// run, in place and into an output folder, must not hang or crash, must give
// every entry a reason, and must touch nothing it should not.

#include "fixtures.h"
#include "io/safe_replace.h"
#include "needed_tools.h"
#include "run/batch_run.h"
#include "run/file_rewrite.h"
#include "run/target_list.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace shotdate {
namespace {

using fixtures::Bytes;
using fixtures::Fixture;
using fixtures::TempFolder;

constexpr std::int32_t kOneHour = 3600;
// A run over the hostile folder takes a second or two; far longer means a hang.
constexpr unsigned kWatchdogSeconds = 300;

// What makes the fixtures.
const std::vector<std::string> kTools = {"convert", "exiftool"};

DateArguments oneHourLater()
{
    return DateArguments{std::int32_t(DateMode::Shift), {}, kOneHour};
}

const Bytes& photoBytes()
{
    static TempFolder folder;
    static const Bytes bytes = [] {
        const fixtures::MadeFixture made = fixtures::makeFixture(Fixture::JpegLittleEndian, folder.path());
        EXPECT_TRUE(made.error.empty()) << made.error;
        return made.error.empty() ? fixtures::readBytes(made.path) : Bytes{};
    }();
    return bytes;
}

const Bytes& photoRewritten()
{
    static const Bytes bytes = [] {
        TempFolder side;
        fixtures::writeBytes(side / "photo.jpg", photoBytes());
        EXPECT_EQ(rewriteFile(side / "photo.jpg", side / "photo.jpg", oneHourLater()).reason, Reason::Rewritten);
        return fixtures::readBytes(side / "photo.jpg");
    }();
    return bytes;
}

struct RunOutcome {
    RunSummary summary;
    std::map<std::string, FileReport> reports; // by input path
};

RunOutcome runOver(const std::string& input, std::optional<std::string> output)
{
    RunSettings settings;
    settings.inputPath = input;
    settings.subfolders = true;
    settings.outputFolder = std::move(output);
    settings.dates = oneHourLater();
    RunOutcome outcome;
    RunCallbacks callbacks;
    callbacks.onFile = [&](const FileReport& report) {
        EXPECT_EQ(outcome.reports.count(report.inPath), 0u) << "reported twice: " << report.inPath;
        outcome.reports[report.inPath] = report;
    };
    const std::atomic<bool> stop{false};
    outcome.summary = runBatch(settings, stop, callbacks);
    return outcome;
}

// Kills the test program if a run hangs: a blocked open of a FIFO, an
// endless walk through a link loop.
class Watchdog {
public:
    Watchdog() { ::alarm(kWatchdogSeconds); }
    ~Watchdog() { ::alarm(0); }
};

// --- walking by descriptor ----------------------------------------------------

// Paths deeper than PATH_MAX can only be reached relative to a descriptor,
// both to build the tree and to take it down again.
void removeTreeAt(int parentFd, const char* name)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        ::fchmod(fd, 0755);
        if (DIR* dir = ::fdopendir(fd)) {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(dir))
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    names.emplace_back(entry->d_name);
            for (const auto& child : names)
                removeTreeAt(::dirfd(dir), child.c_str());
            ::closedir(dir);
        } else {
            ::close(fd);
        }
        ::unlinkat(parentFd, name, AT_REMOVEDIR);
    } else {
        ::unlinkat(parentFd, name, 0);
    }
}

int countTemporariesAt(int dirFd)
{
    const int fd = ::dup(dirFd);
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (isOurTemporaryName(name) || name.starts_with(".shotdate-"))
            ++count;
        struct stat st {};
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            const int child = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                count += countTemporariesAt(child);
                ::close(child);
            }
        }
    }
    ::closedir(dir);
    return count;
}

int countTemporaries(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << folder;
    const int count = fd >= 0 ? countTemporariesAt(fd) : 0;
    ::close(fd);
    return count;
}

// --- the hostile folder ---------------------------------------------------------

std::string readLink(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, std::size_t(n));
}

mode_t typeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// One entry of the folder and what a run must make of it.
struct Expected {
    std::optional<Reason> reason; // nullopt: must not be listed at all
    mode_t type; // what the entry itself still is afterwards
    std::string linkText; // for links: where they still point
    bool rewrittenInPlace = false; // the bytes it leads to are the rewrite after an in-place run
    Bytes bytes; // what it leads to otherwise (files, and links to photos)
};

class HostileFolder {
public:
    HostileFolder()
    {
        ::mkdir(photos().c_str(), 0755);
        ::mkdir(outside().c_str(), 0755);
        ::mkdir(output().c_str(), 0755);
        ::mkdir((outside() + "/album").c_str(), 0755);
        ::mkdir((photos() + "/sub").c_str(), 0755);
        fixtures::writeBytes(outside() + "/target.jpg", photoBytes());
        fixtures::writeBytes(outside() + "/album/in-linked-folder.jpg", photoBytes());

        photo("plain.jpg");
        photo("sub/nested.jpg");
        photo("sub/plain.jpg"); // a name met twice: into one output folder it gets a number
        photo(std::string("new\nline.jpg"));
        photo(std::string("bad\xff\xfe utf8.jpg"));
        photo("写真_日本語の名前.jpg");
        photo(std::string(251, 'L') + ".jpg"); // 255 bytes, the longest name allowed

        notAPhoto("empty.jpg", {});
        notAPhoto("notes.txt", Bytes{'h', 'i', '\n'});

        // Root reads it anyway; anyone else must be told it cannot be read.
        photo("unreadable.jpg");
        ::chmod((photos() + "/unreadable.jpg").c_str(), 0);
        expect("unreadable.jpg", ::geteuid() == 0 ? Reason::Rewritten : Reason::Unreadable, S_IFREG, {},
               ::geteuid() == 0, photoBytes());

        EXPECT_EQ(::mkfifo((photos() + "/fifo.jpg").c_str(), 0644), 0);
        expect("fifo.jpg", Reason::NotRegularFile, S_IFIFO);
        makeSocket(photos() + "/socket.jpg");
        expect("socket.jpg", Reason::NotRegularFile, S_IFSOCK);
        // A device node needs privileges a container may not grant.
        if (::mknod((photos() + "/device.jpg").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0)
            expect("device.jpg", Reason::NotRegularFile, S_IFCHR);
        else
            std::cout << "[ note ] no device node (" << std::strerror(errno) << "): that entry is left out\n";

        link("loop-a.jpg", "loop-b.jpg", Reason::DanglingLink);
        link("loop-b.jpg", "loop-a.jpg", Reason::DanglingLink);
        link("self-loop.jpg", "self-loop.jpg", Reason::DanglingLink);
        link("dangling.jpg", "nowhere/missing.jpg", Reason::DanglingLink);
        link("to-outside.jpg", "../outside/target.jpg", Reason::LinkOutside);
        link("to-outside-folder", "../outside/album", std::nullopt);
        link("to-own-folder", "sub", std::nullopt);
        link("to-parent", "..", std::nullopt);

        makeDeepTree();
    }

    ~HostileFolder()
    {
        const int fd = ::open(root_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        removeTreeAt(fd, "photos");
        ::close(fd);
    }

    std::string photos() const { return root_ / "photos"; }
    std::string outside() const { return root_ / "outside"; }
    std::string output() const { return root_ / "out"; }
    const std::map<std::string, Expected>& expected() const { return expected_; }
    const std::string& deepName() const { return deepName_; }
    std::size_t deepPathLength() const { return deepPathLength_; }

    // The bottom of the deep tree, read by descriptor.
    Bytes deepBytes() const
    {
        int fd = ::open(photos().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < kDeepLevels && fd >= 0; ++level) {
            const int next = ::openat(fd, deepFolderName(level).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        Bytes bytes;
        const int file = fd >= 0 ? ::openat(fd, "deep.jpg", O_RDONLY | O_CLOEXEC) : -1;
        if (file >= 0) {
            char buffer[65536];
            for (ssize_t n; (n = ::read(file, buffer, sizeof buffer)) > 0;)
                bytes.insert(bytes.end(), buffer, buffer + n);
            ::close(file);
        }
        if (fd >= 0)
            ::close(fd);
        return bytes;
    }

private:
    static constexpr int kDeepLevels = 24;

    static std::string deepFolderName(int level) { return std::string(200, char('a' + level % 26)); }

    void photo(const std::string& relative)
    {
        fixtures::writeBytes(photos() + "/" + relative, photoBytes());
        expect(relative, Reason::Rewritten, S_IFREG, {}, true, photoBytes());
    }

    void notAPhoto(const std::string& relative, const Bytes& bytes)
    {
        fixtures::writeBytes(photos() + "/" + relative, bytes);
        expect(relative, Reason::NotAnImage, S_IFREG, {}, false, bytes);
    }

    void expect(const std::string& relative, std::optional<Reason> reason, mode_t type, std::string linkText = {},
                bool rewrittenInPlace = false, Bytes bytes = {})
    {
        expected_[photos() + "/" + relative] =
            Expected{reason, type, std::move(linkText), rewrittenInPlace, std::move(bytes)};
    }

    // No link here is followed: each leads outside the folder, to a folder or nowhere.
    void link(const std::string& name, const std::string& target, std::optional<Reason> reason)
    {
        EXPECT_EQ(::symlink(target.c_str(), (photos() + "/" + name).c_str()), 0) << name;
        expect(name, reason, S_IFLNK, target);
    }

    static void makeSocket(const std::string& path)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        ::close(fd); // the socket file stays behind, unconnected
    }

    // 24 folders of 200-byte names: the photo at the bottom lies beyond
    // PATH_MAX, where every call taking a whole path fails.
    void makeDeepTree()
    {
        int fd = ::open(photos().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::string relative;
        for (int level = 0; level < kDeepLevels && fd >= 0; ++level) {
            const std::string name = deepFolderName(level);
            EXPECT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            relative += name + "/";
        }
        ASSERT_GE(fd, 0);
        const int file = ::openat(fd, "deep.jpg", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0);
        const Bytes& bytes = photoBytes();
        ASSERT_EQ(::write(file, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(file);
        ::close(fd);
        deepName_ = photos() + "/" + relative + "deep.jpg";
        deepPathLength_ = deepName_.size();
    }

    TempFolder root_;
    std::map<std::string, Expected> expected_;
    std::string deepName_;
    std::size_t deepPathLength_ = 0;
};

class HostileFolderTest : public ::testing::TestWithParam<bool> {};

TEST_P(HostileFolderTest, EveryEntryGetsAReasonAndNothingElseIsTouched)
{
    SKIP_WITHOUT_TOOLS(kTools);
    const bool toOutputFolder = GetParam();
    ASSERT_FALSE(photoRewritten().empty());
    HostileFolder folder;
    ASSERT_FALSE(HasFailure());
    ASSERT_GT(folder.deepPathLength(), std::size_t(PATH_MAX));

    RunOutcome outcome;
    {
        Watchdog watchdog;
        outcome = runOver(folder.photos(), toOutputFolder ? std::optional<std::string>(folder.output()) : std::nullopt);
    }

    for (const auto& [path, expected] : folder.expected()) {
        SCOPED_TRACE(path);
        const auto found = outcome.reports.find(path);
        if (!expected.reason) {
            EXPECT_EQ(found, outcome.reports.end()) << "a linked folder was listed";
        } else if (found == outcome.reports.end()) {
            ADD_FAILURE() << "no outcome reported";
        } else {
            EXPECT_EQ(found->second.reason, *expected.reason) << "reported " << reasonKey(found->second.reason);
            if (!isSuccess(found->second.reason) && found->second.reason != Reason::NotAnImage
                && found->second.reason != Reason::NotRegularFile && found->second.reason != Reason::DanglingLink
                && found->second.reason != Reason::LinkOutside) {
                EXPECT_NE(found->second.error, 0) << "no system error behind " << reasonKey(found->second.reason);
            }
        }
        EXPECT_EQ(typeOf(path), expected.type) << "the entry itself changed its kind";
        if (expected.type == S_IFLNK) {
            EXPECT_EQ(readLink(path), expected.linkText) << "a link was replaced or redirected";
        }
        if ((expected.type == S_IFREG || expected.rewrittenInPlace) && expected.reason != Reason::Unreadable) {
            const Bytes now = fixtures::readBytes(path);
            if (expected.rewrittenInPlace && !toOutputFolder) {
                EXPECT_EQ(now, photoRewritten());
            } else {
                EXPECT_EQ(now, expected.bytes) << "an input changed";
            }
        }
        if (toOutputFolder && expected.reason == Reason::Rewritten) {
            const std::string name = path.substr(path.rfind('/') + 1);
            EXPECT_EQ(fixtures::readBytes(folder.output() + "/" + name), photoRewritten()) << "output of " << name;
        }
    }

    // Beyond PATH_MAX the photo is rewritten, or the entry on its path
    // where the length runs out is reported (as a target or as a listing
    // problem) with ENAMETOOLONG; either way it is still whole.
    const std::string& deepName = folder.deepName();
    std::string deepOutcome;
    bool deepRewritten = false;
    for (const auto& [path, report] : outcome.reports) {
        if (folder.expected().count(path) != 0)
            continue;
        const bool onDeepPath = deepName.starts_with(path) && (path == deepName || deepName[path.size()] == '/');
        if (!onDeepPath) {
            ADD_FAILURE() << "unexpected target " << path << ": " << reasonKey(report.reason);
        } else if (isSuccess(report.reason) && path == deepName) {
            deepRewritten = true;
            deepOutcome = "rewritten";
        } else if (report.error == ENAMETOOLONG) {
            deepOutcome =
                std::string(reasonKey(report.reason)) + " (ENAMETOOLONG) at " + std::to_string(path.size()) + " bytes";
        } else {
            ADD_FAILURE() << "the deep path ends in " << reasonKey(report.reason) << ", errno " << report.error;
        }
    }
    for (const auto& problem : outcome.summary.listingProblems) {
        if (problem.error == ENAMETOOLONG)
            deepOutcome = "listing problem (ENAMETOOLONG) at " + std::to_string(problem.path.size()) + " bytes";
    }
    EXPECT_FALSE(deepOutcome.empty()) << "the photo beyond PATH_MAX has no outcome";

    int succeeded = 0;
    for (const auto& [path, report] : outcome.reports)
        succeeded += isSuccess(report.reason) ? 1 : 0;
    EXPECT_EQ(outcome.summary.rewritten, succeeded) << "the summary disagrees with the reports";
    EXPECT_EQ(outcome.summary.passedOver, int(outcome.reports.size()) - succeeded);
    EXPECT_EQ(folder.deepBytes(), deepRewritten && !toOutputFolder ? photoRewritten() : photoBytes());
    std::cout << "[ figure ] photo " << folder.deepPathLength() << " bytes deep: " << deepOutcome << "\n";

    EXPECT_EQ(fixtures::readBytes(folder.outside() + "/album/in-linked-folder.jpg"), photoBytes());
    EXPECT_EQ(fixtures::readBytes(folder.outside() + "/target.jpg"), photoBytes());
    EXPECT_EQ(countTemporaries(folder.photos()), 0);
    EXPECT_EQ(countTemporaries(folder.output()), 0);
    EXPECT_EQ(countTemporaries(folder.outside()), 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, HostileFolderTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "to_output_folder" : "in_place"; });

// --- 2 GiB sparse files --------------------------------------------------------

constexpr std::uint64_t kTwoGiB = 1ull << 31;

// The peak resident memory since the last reset, in KiB.
long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

bool resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

struct SparseCase {
    const char* name;
    bool startsLikeAPhoto; // a whole JPEG at the start, then 2 GiB of hole
    long maxPeakMiB; // the most the run may hold in memory
};

void PrintTo(const SparseCase& c, std::ostream* os)
{
    *os << c.name;
}

class SparseFileTest : public ::testing::TestWithParam<SparseCase> {};

TEST_P(SparseFileTest, MemoryStaysBoundedAndTheFileSurvives)
{
    SKIP_WITHOUT_TOOLS(kTools);
    const SparseCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / "sparse.jpg";
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const Bytes head =
            c.startsLikeAPhoto ? photoBytes() : Bytes{'N', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'};
        ASSERT_EQ(::write(fd, head.data(), head.size()), ssize_t(head.size()));
        ASSERT_EQ(::ftruncate(fd, off_t(kTwoGiB)), 0);
        ::close(fd);
    }
    // Only what the sparse file leads to: the first bytes and its size.
    const Bytes headBefore = [&] {
        Bytes all(4096);
        std::ifstream in(path, std::ios::binary);
        in.read(reinterpret_cast<char*>(all.data()), std::streamsize(all.size()));
        return all;
    }();

    if (!resetPeakResident())
        GTEST_SKIP() << "cannot reset the peak memory figure (/proc/self/clear_refs): skipped";
    const long baseline = peakResidentKiB();
    RunOutcome outcome;
    {
        Watchdog watchdog;
        outcome = runOver(folder.path(), std::nullopt);
    }
    const long peak = peakResidentKiB();
    const long grownMiB = (peak - baseline) / 1024;
    std::cout << "[ figure ] 2 GiB sparse file, " << c.name << ": peak RSS " << peak / 1024 << " MiB (" << grownMiB
              << " MiB above the " << baseline / 1024 << " MiB before the run)\n";
    RecordProperty("peak_rss_growth_mib", std::to_string(grownMiB));

    ASSERT_EQ(outcome.reports.size(), 1u);
    const FileReport& report = outcome.reports.begin()->second;
    std::cout << "[ figure ] 2 GiB sparse file, " << c.name << ": " << reasonKey(report.reason) << "\n";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(std::uint64_t(st.st_size), kTwoGiB) << "the file changed size";
    Bytes headAfter(4096);
    {
        std::ifstream in(path, std::ios::binary);
        in.read(reinterpret_cast<char*>(headAfter.data()), std::streamsize(headAfter.size()));
    }
    if (!isSuccess(report.reason)) {
        EXPECT_EQ(headAfter, headBefore) << "a file passed over was changed";
    }
    EXPECT_LE(grownMiB, c.maxPeakMiB) << "memory grew with the size of the file";
    EXPECT_EQ(countTemporaries(folder.path()), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SparseFileTest,
                         ::testing::Values(SparseCase{"not_an_image", false, 64},
                                           SparseCase{"starting_like_a_jpeg", true, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- another run's temporaries ----------------------------------------------------

// A second run on the same folder creates and renames its hidden temporaries
// while this run lists it. One that vanishes between readdir and lstat must
// still not become a target (it would be reported as not found).
TEST(ConcurrentTemporaries, AVanishingTemporaryOfAnotherRunIsNeverATarget)
{
    TempFolder folder;
    for (int i = 0; i < 50; ++i)
        fixtures::writeBytes(folder / ("photo-" + std::to_string(i) + ".jpg"), Bytes{'x'});
    std::atomic<bool> done{false};
    std::thread churn([&] {
        for (std::uint64_t n = 0; !done.load(); ++n) {
            char name[64];
            std::snprintf(name, sizeof name, ".shotdate-%016llx.tmp", static_cast<unsigned long long>(n));
            const std::string path = folder / name;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::close(fd);
            ::unlink(path.c_str());
        }
    });
    std::size_t listings = 0;
    std::string listed;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (listed.empty() && std::chrono::steady_clock::now() < until) {
        ++listings;
        for (const Target& target : getIchiran(folder.path(), false).targets) {
            if (isOurTemporaryName(target.relative))
                listed = target.relative;
        }
    }
    done = true;
    churn.join();
    EXPECT_EQ(listed, "") << "listed as a target after " << listings << " listings";
}

} // namespace
} // namespace shotdate
