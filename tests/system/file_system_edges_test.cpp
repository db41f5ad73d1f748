// Whole runs on file systems unlike the test machine's own: a FUSE mount or
// an old kernel whose syncfs cannot be trusted.
// The file system's answers are faked through the system-call table, so
// each case is exact and needs no mount.

#include "file_bytes.h"
#include "fixtures.h"
#include "io/sys_ops.h"
#include "run/batch_run.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {
namespace {

using fixtures::TempFolder;
using testing_support::Bytes;

constexpr long kFuseMagic = 0x65735546;

// What the faked file system claims; zero values keep the real answer.
struct Look {
    long fileSystemType = 0;
    const char* kernelRelease = nullptr;
};

class LookalikeFileSystem {
public:
    explicit LookalikeFileSystem(const Look& look) : scope_(install(look)) {}
    ~LookalikeFileSystem() { state() = {}; }

    static int syncfsCalls() { return state().syncfs; }
    static int fileFsyncCalls() { return state().fileFsync; }

private:
    struct State {
        Look look;
        int syncfs = 0;
        int fileFsync = 0; // of regular files, not folders
    };
    static State& state()
    {
        static State shared;
        return shared;
    }

    static const SysOps& install(const Look& look)
    {
        state() = State{look};
        static const SysOps ops = [] {
            SysOps copy = realSysOps();
            copy.fstatfs = [](int fd, struct statfs* st) {
                const int result = realSysOps().fstatfs(fd, st);
                if (result == 0 && state().look.fileSystemType != 0)
                    st->f_type = state().look.fileSystemType;
                return result;
            };
            copy.uname = [](struct utsname* name) {
                const int result = realSysOps().uname(name);
                if (result == 0 && state().look.kernelRelease)
                    std::snprintf(name->release, sizeof name->release, "%s", state().look.kernelRelease);
                return result;
            };
            copy.syncfs = [](int fd) {
                ++state().syncfs;
                return realSysOps().syncfs(fd);
            };
            copy.fsync = [](int fd) {
                struct stat st {};
                if (realSysOps().fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
                    ++state().fileFsync;
                return realSysOps().fsync(fd);
            };
            return copy;
        }();
        return ops;
    }

    ScopedSysOps scope_;
};

const Bytes& photo()
{
    static const Bytes bytes =
        testing_support::jpegWith(testing_support::exifTiff("2016:09:28 18:18:05", "2016:09:28 18:18:05"));
    return bytes;
}

struct Outcome {
    RunSummary summary;
    std::map<std::string, FileReport> reports; // by input path
};

Outcome shiftOneHour(const std::string& input, std::optional<std::string> output)
{
    RunSettings settings;
    settings.inputPath = input;
    settings.outputFolder = std::move(output);
    settings.dates = DateArguments{std::int32_t(DateMode::Shift), {}, 3600};
    Outcome outcome;
    RunCallbacks callbacks;
    callbacks.onFile = [&](const FileReport& report) { outcome.reports[report.inPath] = report; };
    const std::atomic<bool> stop{false};
    outcome.summary = runBatch(settings, stop, callbacks);
    return outcome;
}

// --- syncfs only where it makes data durable ----------------------------------------

struct SyncRow {
    const char* name;
    Look look;
    bool batched; // one syncfs for the batch, else an fsync of each new file
};

class SyncChoice : public testing::TestWithParam<SyncRow> {};

TEST_P(SyncChoice, EachNewFileIsSyncedUnlessTheFileSystemIsTrusted)
{
    TempFolder folder;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        fixtures::writeBytes(folder / name, photo());
    {
        LookalikeFileSystem lookalike(GetParam().look);
        EXPECT_EQ(shiftOneHour(folder.path(), std::nullopt).summary.rewritten, 3);
        EXPECT_EQ(LookalikeFileSystem::syncfsCalls(), GetParam().batched ? 1 : 0);
        EXPECT_EQ(LookalikeFileSystem::fileFsyncCalls(), GetParam().batched ? 0 : 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SyncChoice,
                         testing::Values(SyncRow{"ext4", {.fileSystemType = EXT4_SUPER_MAGIC}, true},
                                         SyncRow{"fuse", {.fileSystemType = kFuseMagic}, false},
                                         SyncRow{"ext4_on_linux_5_4",
                                                 {.fileSystemType = EXT4_SUPER_MAGIC, .kernelRelease = "5.4.0-150"},
                                                 false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace shotdate
