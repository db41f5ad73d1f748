#include "io/file_probe.h"

#include "io/sys_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace shotdate {

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

} // namespace shotdate
