#pragma once

#include "bytes/file_patch.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// The second way a file reaches the user's disk, beside safe_replace: a
// same-length change that lies within one page, written into the file
// itself with one pwrite. A SIGKILL then leaves the file old or new; power
// loss can tear the page by sectors, which the run's journal repairs at the
// next start (run/patch_replay). Only a journaled run may use it.

// The page one write must stay within: torn by power loss at worst, never
// split by a signal.
inline constexpr std::uint64_t kPatchPageBytes = 4096;

// The bytes from the first changed byte to the last, before and after.
struct PatchSpan {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
};

// The span `patches` cover in a file of `fileSize` bytes whose first bytes
// are `read`; nullopt when a patch would grow the file, lies past what was
// read, or the span crosses a page boundary.
std::optional<PatchSpan> spanOfPatches(std::span<const FilePatch> patches, std::span<const std::uint8_t> read,
                                       std::uint64_t fileSize);

enum class PatchStep {
    None,
    Changed, // the span no longer holds the bytes read: another program saved the file
    Write,
    Times, // the access and modification times could not be put back (the span was put back)
    Sync, // written, but maybe not yet durable
};

struct PatchError {
    PatchStep step = PatchStep::None;
    int error = 0; // errno
    explicit operator bool() const { return step != PatchStep::None; }
};

// A file opened for patching in place. Move-only; closes its descriptor.
class InPlaceFile {
public:
    InPlaceFile() = default;
    ~InPlaceFile();
    InPlaceFile(InPlaceFile&& other) noexcept;
    InPlaceFile& operator=(InPlaceFile&& other) noexcept;
    InPlaceFile(const InPlaceFile&) = delete;
    InPlaceFile& operator=(const InPlaceFile&) = delete;

    // Opens the entry `name` of a held folder for writing, never through a
    // link, when the runner owns it (or is root) and may write it, and it is
    // still the file `expected` describes. false when any of that fails:
    // the caller then takes the temporary-and-rename path.
    bool open(int folderFd, const std::string& name, const struct stat& expected);
    // The same by path (a replay at start: the records hold absolute paths).
    bool openPath(const std::string& path);

    bool active() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const struct stat& state() const { return state_; }

    // Checks the span still holds `span.oldBytes`, writes `span.newBytes` with
    // one pwrite, then puts `times` (access, modification) back. On a failed
    // write or times the old bytes are put back: the file is then old.
    PatchError apply(const PatchSpan& span, const struct timespec times[2]);
    // The span's bytes as they stand now; false (errno set) on a read error.
    bool readSpan(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) const;
    // One pwrite of `bytes` at `offset`; 0 or the errno (EIO for a short write).
    int writeSpan(std::uint64_t offset, std::span<const std::uint8_t> bytes) const;
    // 0 or the errno.
    int setTimes(const struct timespec times[2]) const;
    PatchError sync() const;
    void close();

private:
    int fd_ = -1;
    struct stat state_ {};
};

} // namespace shotdate
