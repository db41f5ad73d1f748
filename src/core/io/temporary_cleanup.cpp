#include "io/temporary_cleanup.h"

#include "io/path_text.h"
#include "io/safe_replace.h"
#include "io/sys_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace shotdate {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

void clean(const std::string& folder, bool subfolders, CleanupReport& report)
{
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        report.problems.push_back({folder, errno});
        return;
    }
    std::vector<std::string> deeper;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = joinPath(folder, name);
        struct stat st {};
        if (sysOps().fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (subfolders)
                deeper.push_back(path);
        } else if (S_ISREG(st.st_mode) && isOurTemporaryName(name)) {
            if (sysOps().unlinkat(::dirfd(dir.get()), name.c_str(), 0) == 0)
                report.removed.push_back(path);
            else
                report.problems.push_back({path, errno});
        }
    }
    dir.reset();
    for (const auto& sub : deeper)
        clean(sub, subfolders, report);
}

} // namespace

CleanupReport removeOurTemporaryFiles(const std::string& folder, bool subfolders)
{
    CleanupReport report;
    clean(folder, subfolders, report);
    return report;
}

} // namespace shotdate
