#include "file_times.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace shotdate::fixtures {

void setTimes(const std::string& path, struct timespec atime, struct timespec mtime)
{
    const struct timespec times[2] = {atime, mtime};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << "setting the times of " << path << ": " << std::strerror(errno);
}

struct stat statOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << "stat " << path << ": " << std::strerror(errno);
    return st;
}

struct stat lstatOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << "lstat " << path << ": " << std::strerror(errno);
    return st;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace shotdate::fixtures
