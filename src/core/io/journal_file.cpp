#include "io/journal_file.h"

#include "io/path_text.h"
#include "io/sys_ops.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>

namespace shotdate {

int makeFolders(const std::string& path, unsigned mode)
{
    if (path.empty())
        return ENOENT;
    struct stat st {};
    if (sysOps().fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::string parent = parentPath(path);
    if (!parent.empty() && parent != path)
        if (const int error = makeFolders(parent, mode))
            return error;
    if (sysOps().mkdirat(AT_FDCWD, path.c_str(), mode_t(mode)) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

AppendOnlyFile::~AppendOnlyFile()
{
    if (fd_ >= 0)
        sysOps().close(fd_);
}

int AppendOnlyFile::create(const std::string& folder, const std::string& name)
{
    const SysOps& ops = sysOps();
    const int dirFd = ops.openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd < 0)
        return errno;
    fd_ = ops.openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    int error = fd_ < 0 ? errno : 0;
    if (error == 0 && ops.fsync(dirFd) != 0)
        error = errno;
    ops.close(dirFd);
    return error;
}

int AppendOnlyFile::openExisting(const std::string& path)
{
    if (fd_ >= 0)
        return EBUSY;
    fd_ = sysOps().openat(AT_FDCWD, path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0);
    return fd_ < 0 ? errno : 0;
}

int AppendOnlyFile::lock()
{
    if (fd_ < 0)
        return EBADF;
    int result;
    do
        result = sysOps().flock(fd_, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int AppendOnlyFile::append(const std::string& text)
{
    if (fd_ < 0)
        return EBADF;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = sysOps().write(fd_, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        done += std::size_t(written);
    }
    return 0;
}

int AppendOnlyFile::sync()
{
    if (fd_ < 0)
        return EBADF;
    return sysOps().fsync(fd_) == 0 ? 0 : errno;
}

int readWholeFile(const std::string& path, std::string& out, std::size_t limit)
{
    const SysOps& ops = sysOps();
    const int fd = ops.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0)
        return errno;
    out.clear();
    char buffer[65536];
    int error = 0;
    while (out.size() < limit) {
        const ssize_t got = ops.read(fd, buffer, std::min(sizeof buffer, limit - out.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        out.append(buffer, std::size_t(got));
    }
    ops.close(fd);
    return error;
}

int readFileTail(const std::string& path, std::string& out, std::size_t limit)
{
    const SysOps& ops = sysOps();
    const int fd = ops.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = ops.fstat(fd, &st) == 0 ? 0 : errno;
    out.clear();
    if (error == 0) {
        const std::size_t size = std::size_t(st.st_size);
        const std::size_t start = size > limit ? size - limit : 0;
        out.resize(size - start);
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ops.pread(fd, out.data() + done, out.size() - done, off_t(start + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                error = errno;
            if (got <= 0)
                break;
            done += std::size_t(got);
        }
        out.resize(done);
    }
    ops.close(fd);
    return error;
}

int removeFile(const std::string& path)
{
    return sysOps().unlinkat(AT_FDCWD, path.c_str(), 0) == 0 ? 0 : errno;
}

} // namespace shotdate
