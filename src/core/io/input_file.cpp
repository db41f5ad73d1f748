#include "io/input_file.h"

#include "io/safe_replace.h"
#include "io/sys_ops.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace shotdate {

InputFile::~InputFile()
{
    if (fd_ >= 0)
        sysOps().close(fd_);
}

int InputFile::open(const std::string& path, bool& opened)
{
    // O_NONBLOCK: opening a FIFO must never wait for a writer.
    fd_ = sysOps().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    opened = fd_ >= 0;
    if (!opened)
        return errno;
    if (sysOps().fstat(fd_, &state_) != 0)
        return errno;
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

bool InputFile::unchanged() const
{
    struct stat now {};
    return sysOps().fstat(fd_, &now) == 0 && sameFileState(state_, now);
}

std::string replacementTarget(const std::string& inPath, const std::string& outPath)
{
    if (inPath != outPath)
        return outPath;
    char resolved[PATH_MAX];
    if (::realpath(inPath.c_str(), resolved) == nullptr)
        return outPath;
    return resolved;
}

} // namespace shotdate
