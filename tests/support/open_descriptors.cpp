#include "open_descriptors.h"

#include <dirent.h>

namespace shotdate::fixtures {

int openDescriptorCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr)
            ++count;
        ::closedir(dir);
    }
    return count;
}

} // namespace shotdate::fixtures
