#include "temp_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace shotdate::fixtures {

namespace fs = std::filesystem;

TempFolder::TempFolder()
{
    // /tmp rather than $TMPDIR: a socket made inside must keep its path
    // within the 108 bytes an AF_UNIX address holds.
    char pattern[] = "/tmp/shotdate-test-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    // A test may have taken permissions away; folders get them back so that
    // everything can be removed. Links are not followed: what they lead to
    // is none of ours.
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

} // namespace shotdate::fixtures
