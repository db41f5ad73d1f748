#include "io/input_file.h"

#include "io/safe_replace.h"
#include "io/sys_ops.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

namespace shotdate {

InputFile::~InputFile()
{
    if (fd_ >= 0)
        sysOps().close(fd_);
}

int InputFile::openAt(int folderFd, const std::string& name, bool& opened)
{
    const SysOps& ops = sysOps();
    const int place = ops.openat(folderFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
    opened = place >= 0;
    if (!opened)
        return errno;
    if (ops.fstat(place, &state_) != 0) {
        const int error = errno;
        ops.close(place);
        return error;
    }
    if (!S_ISREG(state_.st_mode)) {
        fd_ = place; // enough to report what it is
        return 0;
    }
    // Opening the descriptor's /proc entry reopens that very inode with the
    // usual permission checks; nothing looks the name up again.
    char reopen[64];
    std::snprintf(reopen, sizeof reopen, "/proc/self/fd/%d", place);
    // Reading a photo leaves its access time alone where the kernel lets us
    // (our own files): the run restores the times of those it changes, and
    // a file read again afterwards, under another name, would undo that.
    int fd = ops.openat(AT_FDCWD, reopen, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOATIME, 0);
    if (fd < 0 && errno == EPERM)
        fd = ops.openat(AT_FDCWD, reopen, O_RDONLY | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0 && errno == ENOENT) {
        // No /proc: by name once more, checked against the state just taken;
        // O_NONBLOCK so that a FIFO swapped in meanwhile cannot hold us.
        fd = ops.openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    }
    const int openError = errno;
    ops.close(place);
    if (fd < 0)
        return openError;
    fd_ = fd;
    struct stat now {};
    if (ops.fstat(fd_, &now) != 0)
        return errno;
    if (now.st_dev != state_.st_dev || now.st_ino != state_.st_ino || !S_ISREG(now.st_mode))
        return ESTALE;
    state_ = now;
    return 0;
}

void InputFile::readBlocking()
{
    sysOps().fcntl(fd_, F_SETFL, sysOps().fcntl(fd_, F_GETFL, 0) & ~O_NONBLOCK);
}

bool InputFile::readInto(std::vector<std::uint8_t>& out, std::size_t limit)
{
    const std::size_t start = out.size();
    out.resize(start + limit);
    std::size_t filled = 0;
    while (filled < limit) {
        const ssize_t got = sysOps().read(fd_, out.data() + start + filled, limit - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            out.resize(start + filled);
            errno = error;
            return false;
        }
        if (got == 0)
            break;
        filled += std::size_t(got);
    }
    out.resize(start + filled);
    return true;
}

bool InputFile::readAt(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out)
{
    out.resize(length);
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t got = sysOps().pread(fd_, out.data() + filled, length - filled, off_t(offset + filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            out.resize(filled);
            errno = error;
            return false;
        }
        if (got == 0)
            break;
        filled += std::size_t(got);
    }
    out.resize(filled);
    return true;
}

bool InputFile::unchanged() const
{
    struct stat now {};
    return sysOps().fstat(fd_, &now) == 0 && sameFileState(state_, now);
}

} // namespace shotdate
