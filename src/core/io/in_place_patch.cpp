#include "io/in_place_patch.h"

#include "io/sys_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

namespace shotdate {

std::optional<PatchSpan> spanOfPatches(std::span<const FilePatch> patches, std::span<const std::uint8_t> read,
                                       std::uint64_t fileSize)
{
    if (patches.empty())
        return std::nullopt;
    std::uint64_t begin = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t end = 0;
    for (const FilePatch& patch : patches) {
        if (patch.bytes.empty())
            continue;
        begin = std::min(begin, patch.offset);
        end = std::max(end, patch.offset + patch.bytes.size());
    }
    if (begin >= end || end > fileSize || end > read.size() || begin / kPatchPageBytes != (end - 1) / kPatchPageBytes)
        return std::nullopt;
    PatchSpan span;
    span.offset = begin;
    span.oldBytes.assign(read.begin() + std::ptrdiff_t(begin), read.begin() + std::ptrdiff_t(end));
    span.newBytes = span.oldBytes;
    for (const FilePatch& patch : patches)
        std::copy(patch.bytes.begin(), patch.bytes.end(), span.newBytes.begin() + std::ptrdiff_t(patch.offset - begin));
    return span;
}

InPlaceFile::~InPlaceFile()
{
    close();
}

InPlaceFile::InPlaceFile(InPlaceFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), state_(other.state_) {}

InPlaceFile& InPlaceFile::operator=(InPlaceFile&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        state_ = other.state_;
    }
    return *this;
}

bool InPlaceFile::open(int folderFd, const std::string& name, const struct stat& expected)
{
    close();
    // Write permission is whatever this open decides (ACLs, read-only
    // mounts, immutable files included).
    fd_ = sysOps().openat(folderFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd_ < 0)
        return false;
    // Owning the file is asked too: another user's photo that happens to be
    // writable is not patched behind its owner's back, as a rename would
    // refuse to keep their ownership.
    const bool ok = sysOps().fstat(fd_, &state_) == 0 && S_ISREG(state_.st_mode)
        && (state_.st_uid == ::geteuid() || ::geteuid() == 0) && state_.st_dev == expected.st_dev
        && state_.st_ino == expected.st_ino && state_.st_size == expected.st_size;
    if (!ok)
        close();
    return ok;
}

bool InPlaceFile::openPath(const std::string& path)
{
    close();
    fd_ = sysOps().openat(AT_FDCWD, path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd_ < 0)
        return false;
    if (sysOps().fstat(fd_, &state_) != 0 || !S_ISREG(state_.st_mode)) {
        close();
        return false;
    }
    return true;
}

bool InPlaceFile::readSpan(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) const
{
    out.assign(length, 0);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = sysOps().pread(fd_, out.data() + done, length - done, off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    out.resize(done);
    return true;
}

int InPlaceFile::writeSpan(std::uint64_t offset, std::span<const std::uint8_t> bytes) const
{
    // Never split in several writes: a signal between two would leave the
    // span half old, half new. A short write is put right by the caller.
    ssize_t written;
    do
        written = sysOps().pwrite(fd_, bytes.data(), bytes.size(), off_t(offset));
    while (written < 0 && errno == EINTR);
    if (written < 0)
        return errno;
    return std::size_t(written) == bytes.size() ? 0 : EIO;
}

PatchError InPlaceFile::apply(const PatchSpan& span, const struct timespec times[2])
{
    std::vector<std::uint8_t> now;
    if (!readSpan(span.offset, span.oldBytes.size(), now))
        return {PatchStep::Write, errno};
    if (now != span.oldBytes)
        return {PatchStep::Changed, 0};
    if (const int error = writeSpan(span.offset, span.newBytes)) {
        // A short write changed part of the span: the old bytes go back.
        (void)writeSpan(span.offset, span.oldBytes);
        return {PatchStep::Write, error};
    }
    if (const int error = setTimes(times)) {
        (void)writeSpan(span.offset, span.oldBytes);
        return {PatchStep::Times, error};
    }
    return {};
}

int InPlaceFile::setTimes(const struct timespec times[2]) const
{
    return sysOps().futimens(fd_, times) == 0 ? 0 : errno;
}

PatchError InPlaceFile::sync() const
{
    return sysOps().fsync(fd_) == 0 ? PatchError{} : PatchError{PatchStep::Sync, errno};
}

void InPlaceFile::close()
{
    if (fd_ >= 0)
        sysOps().close(std::exchange(fd_, -1));
}

} // namespace shotdate
