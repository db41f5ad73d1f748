#include "io/file_probe.h"

#include "io/sys_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace shotdate {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

bool statPath(const std::string& path, struct stat& st, bool followLink)
{
    return sysOps().fstatat(AT_FDCWD, path.c_str(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

bool folderWritable(const std::string& folder)
{
    return sysOps().faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, 0) == 0;
}

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat st {};
    if (!statPath(path, st))
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<std::string> resolvedPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return std::nullopt;
    return std::string(resolved);
}

FolderNames readFolderNames(const std::string& folder)
{
    FolderNames result;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        result.error = errno;
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

} // namespace shotdate
