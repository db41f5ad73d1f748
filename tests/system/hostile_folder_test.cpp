// A folder full of entries that break naive tools: FIFOs, sockets, devices,
// symbolic link loops, links out of the folder, dangling links, names with
// newlines or invalid UTF-8, Japanese and 255-byte names, a path deeper than
// PATH_MAX, empty and unreadable files, and 2 GiB sparse files. A recursive
// run, in place and into an output folder, must not hang or crash, must give
// every entry a reason, and must touch nothing it should not.

#include "file_times.h"
#include "io/safe_replace.h"
#include "needed_tools.h"
#include "run/target_list.h"
#include "run_outcome.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::TempFolder;

const std::vector<std::string> kTools = {"convert", "exiftool"}; // what makes the photo

const Bytes& photoBytes()
{
    return fixtureBytes(fixtures::Fixture::JpegLittleEndian);
}

const Bytes& photoRewritten()
{
    static const Bytes bytes = rewrittenBytes(photoBytes());
    return bytes;
}

// Kills the test program if a run hangs (a blocked open of a FIFO, an endless
// walk through a link loop); a run over the hostile folder takes seconds.
class Watchdog {
public:
    Watchdog() { ::alarm(300); }
    ~Watchdog() { ::alarm(0); }
};

// Visits every entry below `name` in the folder `parentFd`, and then `name`
// itself, by descriptor: paths deeper than PATH_MAX can only be reached so.
void walkAt(int parentFd, const char* name,
            const std::function<void(int parentFd, const char* name, bool folder)>& visit)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        for (const auto& child : names)
            walkAt(::dirfd(dir), child.c_str(), visit);
        ::closedir(dir);
    }
    visit(parentFd, name, fd >= 0);
}

int countTemporaries(const std::string& folder)
{
    int count = 0;
    walkAt(AT_FDCWD, folder.c_str(), [&](int, const char* name, bool) {
        count += isOurTemporaryName(name) || std::string(name).starts_with(".shotdate-") ? 1 : 0;
    });
    return count;
}

// One entry of the folder and what a run must make of it.
struct Expected {
    std::optional<Reason> reason; // nullopt: must not be listed at all
    fs::file_type type; // what the entry itself still is afterwards
    std::string linkText = {}; // links: where they still point
    Bytes bytes = {}; // files: what they hold unless rewritten in place
};

class HostileFolderTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_TOOLS(kTools);
        for (const std::string& folder : {photos, outside, output, outside + "/album", photos + "/sub"})
            ::mkdir(folder.c_str(), 0755);
        fixtures::writeBytes(outside + "/target.jpg", photoBytes());
        fixtures::writeBytes(outside + "/album/in-linked-folder.jpg", photoBytes());

        // sub/plain.jpg: a name met twice, into one output folder it gets a number.
        for (const std::string& name :
             {std::string("plain.jpg"), std::string("sub/nested.jpg"), std::string("sub/plain.jpg"),
              std::string("new\nline.jpg"), std::string("bad\xff\xfe utf8.jpg"), std::string("写真_日本語の名前.jpg"),
              std::string(251, 'L') + ".jpg", std::string("unreadable.jpg")})
            file(name, photoBytes(), Reason::Rewritten);
        file("empty.jpg", {}, Reason::NotAnImage);
        file("notes.txt", Bytes{'h', 'i', '\n'}, Reason::NotAnImage);
        // Root reads it anyway; anyone else must be told it cannot be read.
        ::chmod((photos + "/unreadable.jpg").c_str(), 0);
        if (::geteuid() != 0)
            expected[photos + "/unreadable.jpg"].reason = Reason::Unreadable;
        EXPECT_EQ(::mkfifo((photos + "/fifo.jpg").c_str(), 0644), 0);
        expected[photos + "/fifo.jpg"] = {Reason::NotRegularFile, fs::file_type::fifo};
        const int socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s/socket.jpg", photos.c_str());
        EXPECT_EQ(::bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(socketFd); // the socket file stays behind, unconnected
        expected[photos + "/socket.jpg"] = {Reason::NotRegularFile, fs::file_type::socket};
        // A device node needs privileges a container may not grant.
        if (::mknod((photos + "/device.jpg").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0)
            expected[photos + "/device.jpg"] = {Reason::NotRegularFile, fs::file_type::character};
        else
            std::cout << "[ note ] no device node (" << std::strerror(errno) << "): that entry is left out\n";

        // No link here is followed: each leads outside the folder, to a folder or nowhere.
        link("loop-a.jpg", "loop-b.jpg", Reason::DanglingLink);
        link("loop-b.jpg", "loop-a.jpg", Reason::DanglingLink);
        link("self-loop.jpg", "self-loop.jpg", Reason::DanglingLink);
        link("dangling.jpg", "nowhere/missing.jpg", Reason::DanglingLink);
        link("to-outside.jpg", "../outside/target.jpg", Reason::LinkOutside);
        link("to-outside-folder", "../outside/album", std::nullopt);
        link("to-own-folder", "sub", std::nullopt);
        link("to-parent", "..", std::nullopt);

        // 24 folders of 200-byte names: the photo at the bottom lies beyond
        // PATH_MAX, where every call taking a whole path fails.
        int fd = ::open(photos.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        deepName = photos;
        for (int level = 0; level < 24 && fd >= 0; ++level) {
            const std::string name(200, char('a' + level));
            EXPECT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            deepName += "/" + name;
        }
        deepName += "/deep.jpg";
        EXPECT_TRUE(fixtures::writeBytes("/proc/self/fd/" + std::to_string(fd) + "/deep.jpg", photoBytes()));
        ::close(fd);
        ASSERT_GT(deepName.size(), std::size_t(PATH_MAX));
    }
    void TearDown() override
    {
        walkAt(AT_FDCWD, photos.c_str(), [](int parentFd, const char* name, bool folder) {
            ::unlinkat(parentFd, name, folder ? AT_REMOVEDIR : 0);
        });
    }
    void file(const std::string& relative, const Bytes& bytes, Reason reason)
    {
        fixtures::writeBytes(photos + "/" + relative, bytes);
        expected[photos + "/" + relative] = {reason, fs::file_type::regular, {}, bytes};
    }
    void link(const std::string& name, const std::string& target, std::optional<Reason> reason)
    {
        EXPECT_EQ(::symlink(target.c_str(), (photos + "/" + name).c_str()), 0) << name;
        expected[photos + "/" + name] = {reason, fs::file_type::symlink, target};
    }
    TempFolder root;
    const std::string photos = root / "photos";
    const std::string outside = root / "outside";
    const std::string output = root / "out";
    std::map<std::string, Expected> expected;
    std::string deepName;
};

TEST_P(HostileFolderTest, EveryEntryGetsAReasonAndNothingElseIsTouched)
{
    const bool toOutputFolder = GetParam();
    ASSERT_FALSE(photoRewritten().empty());
    RunOutcome outcome;
    {
        Watchdog watchdog;
        outcome = runOver(photos, toOutputFolder ? std::optional(output) : std::nullopt, true);
    }
    for (const auto& [path, expect] : expected) {
        SCOPED_TRACE(path);
        const auto found = outcome.reports.find(path);
        if (!expect.reason) {
            EXPECT_EQ(found, outcome.reports.end()) << "a linked folder was listed";
        } else if (found == outcome.reports.end()) {
            ADD_FAILURE() << "no outcome reported";
        } else {
            EXPECT_EQ(found->second.reason, *expect.reason) << "reported " << reasonKey(found->second.reason);
            if (found->second.reason == Reason::Unreadable) {
                EXPECT_NE(found->second.error, 0) << "no system error behind it";
            }
        }
        EXPECT_EQ(fs::symlink_status(path).type(), expect.type) << "the entry itself changed its kind";
        if (expect.type == fs::file_type::symlink) {
            EXPECT_EQ(fs::read_symlink(path), expect.linkText) << "a link was replaced or redirected";
        }
        const bool rewritten = expect.reason == Reason::Rewritten;
        if (expect.type == fs::file_type::regular && expect.reason != Reason::Unreadable) {
            EXPECT_EQ(fixtures::readBytes(path), rewritten && !toOutputFolder ? photoRewritten() : expect.bytes);
        }
        if (toOutputFolder && rewritten) {
            const std::string name = path.substr(path.rfind('/') + 1);
            EXPECT_EQ(fixtures::readBytes(output + "/" + name), photoRewritten()) << "output of " << name;
        }
    }

    // Beyond PATH_MAX the photo is rewritten, or the entry on its path
    // where the length runs out is reported (as a target or as a listing
    // problem) with ENAMETOOLONG; either way it is still whole.
    std::string deepOutcome;
    int succeeded = 0;
    for (const auto& [path, report] : outcome.reports) {
        succeeded += isSuccess(report.reason) ? 1 : 0;
        if (expected.count(path) != 0)
            continue;
        const bool onDeepPath = deepName.starts_with(path) && (path == deepName || deepName[path.size()] == '/');
        const bool rewritten = path == deepName && isSuccess(report.reason);
        EXPECT_TRUE(onDeepPath && (rewritten || report.error == ENAMETOOLONG))
            << "unexpected " << path << ": " << reasonKey(report.reason) << ", errno " << report.error;
        deepOutcome = std::string(reasonKey(report.reason)) + " at " + std::to_string(path.size()) + " bytes";
    }
    for (const auto& problem : outcome.summary.listingProblems) {
        if (problem.error == ENAMETOOLONG)
            deepOutcome = "listing problem (ENAMETOOLONG) at " + std::to_string(problem.path.size()) + " bytes";
    }
    EXPECT_FALSE(deepOutcome.empty()) << "the photo beyond PATH_MAX has no outcome";
    std::cout << "[ figure ] photo " << deepName.size() << " bytes deep: " << deepOutcome << "\n";
    Bytes deepBytes;
    walkAt(AT_FDCWD, photos.c_str(), [&](int parentFd, const char* name, bool) {
        if (std::strcmp(name, "deep.jpg") == 0)
            deepBytes = fixtures::readBytes("/proc/self/fd/" + std::to_string(parentFd) + "/deep.jpg");
    });
    const bool deepRewritten = outcome.reports.count(deepName) && isSuccess(outcome.reports.at(deepName).reason);
    EXPECT_EQ(deepBytes, deepRewritten && !toOutputFolder ? photoRewritten() : photoBytes());
    EXPECT_EQ(outcome.summary.rewritten, succeeded) << "the summary disagrees with the reports";
    EXPECT_EQ(outcome.summary.passedOver, int(outcome.reports.size()) - succeeded);
    for (const std::string& where : {photos, output, outside})
        EXPECT_EQ(countTemporaries(where), 0) << where;
    for (const char* linked : {"/album/in-linked-folder.jpg", "/target.jpg"})
        EXPECT_EQ(fixtures::readBytes(outside + linked), photoBytes()) << linked;
}

INSTANTIATE_TEST_SUITE_P(Runs, HostileFolderTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "to_output_folder" : "in_place"; });

// --- 2 GiB sparse files --------------------------------------------------------

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

Bytes headOf(const std::string& path)
{
    Bytes head(4096);
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    return head;
}

// A whole JPEG, or some text, then 2 GiB of hole: the run may hold 64 MiB
// more than before it, and only what the files lead to (head and size) counts.
TEST(SparseFileTest, MemoryStaysBoundedAndTheFileSurvives)
{
    SKIP_WITHOUT_TOOLS(kTools);
    constexpr off_t kTwoGiB = off_t(1) << 31;
    TempFolder folder;
    const std::string photo = folder / "photo.jpg";
    const std::string text = folder / "text.jpg";
    ASSERT_TRUE(fixtures::writeBytes(photo, photoBytes()));
    ASSERT_TRUE(fixtures::writeBytes(text, Bytes{'N', 'o', 't', ' ', 'a'}));
    ASSERT_EQ(::truncate(photo.c_str(), kTwoGiB) | ::truncate(text.c_str(), kTwoGiB), 0);
    const Bytes textHead = headOf(text);
    if (!(std::ofstream("/proc/self/clear_refs") << "5").flush().good())
        GTEST_SKIP() << "cannot reset the peak memory figure (/proc/self/clear_refs): skipped";
    const long baseline = peakResidentKiB();
    RunOutcome outcome;
    {
        Watchdog watchdog;
        outcome = runOver(folder.path());
    }
    const long grownMiB = (peakResidentKiB() - baseline) / 1024;
    RecordProperty("peak_rss_growth_mib", std::to_string(grownMiB));
    std::cout << "[ figure ] two 2 GiB sparse files: peak RSS " << grownMiB << " MiB above the " << baseline / 1024
              << " MiB before the run\n";
    EXPECT_LE(grownMiB, 64) << "memory grew with the size of the files";
    ASSERT_EQ(outcome.reports.size(), 2u);
    EXPECT_EQ(std::pair(outcome.reports.at(text).reason, outcome.reports.at(photo).reason),
              std::pair(Reason::NotAnImage, Reason::Rewritten));
    EXPECT_EQ(headOf(text), textHead) << "a file passed over was changed";
    for (const std::string& path : {photo, text})
        EXPECT_EQ(fixtures::statOf(path).st_size, kTwoGiB) << path << " changed size";
    EXPECT_EQ(countTemporaries(folder.path()), 0);
}

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
