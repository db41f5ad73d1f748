#include "io/held_folder.h"

#include "io/sys_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace shotdate {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

} // namespace

int openFolderByPath(const std::string& path)
{
    return sysOps().openat(AT_FDCWD, path.c_str(), kFolderFlags, 0);
}

int openSubfolder(int folderFd, const std::string& name)
{
    // A name with a slash would walk further than one step.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        errno = EINVAL;
        return -1;
    }
    return sysOps().openat(folderFd, name.c_str(), kFolderFlags | O_NOFOLLOW, 0);
}

void closeFolder(int fd)
{
    if (fd >= 0)
        sysOps().close(fd);
}

std::optional<FileIdentity> identityOfDescriptor(int fd)
{
    struct stat st {};
    if (sysOps().fstat(fd, &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

bool folderGone(int fd)
{
    struct stat st {};
    return sysOps().fstat(fd, &st) != 0 || st.st_nlink == 0;
}

bool statEntry(int folderFd, const std::string& name, struct stat& st, bool followLink)
{
    return sysOps().fstatat(folderFd, name.c_str(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

FolderNames readFolderNamesAt(int folderFd)
{
    FolderNames result;
    // A descriptor of its own: the listing's position must not be shared
    // with the one the run keeps.
    const int fd = sysOps().openat(folderFd, ".", kFolderFlags, 0);
    std::unique_ptr<DIR, DirCloser> dir(fd >= 0 ? ::fdopendir(fd) : nullptr);
    if (!dir) {
        result.error = errno;
        if (fd >= 0)
            sysOps().close(fd);
        return result;
    }
    result.opened = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            result.names.push_back(std::move(name));
        errno = 0;
    }
    result.error = errno;
    return result;
}

std::optional<std::string> descriptorPath(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    std::string path(4096, '\0');
    const ssize_t n = ::readlink(link, path.data(), path.size());
    if (n <= 0 || std::size_t(n) >= path.size() || path[0] != '/')
        return std::nullopt;
    path.resize(std::size_t(n));
    // A removed file or folder reads "/x/y (deleted)": not a place any more.
    if (path.ends_with(" (deleted)"))
        return std::nullopt;
    return path;
}

std::optional<ResolvedEntry> resolveEntry(int folderFd, const std::string& name)
{
    // O_PATH opens nothing for reading: following the link to a device or
    // FIFO has no effect on it.
    const int fd = sysOps().openat(folderFd, name.c_str(), O_PATH | O_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    std::optional<ResolvedEntry> resolved;
    const auto identity = identityOfDescriptor(fd);
    auto path = descriptorPath(fd);
    if (identity && path)
        resolved = ResolvedEntry{std::move(*path), *identity};
    sysOps().close(fd);
    return resolved;
}

} // namespace shotdate
