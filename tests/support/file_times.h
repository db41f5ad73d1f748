#pragma once

// Times and attributes of a file as the tests set and compare them.

#include <sys/stat.h>

#include <ctime>
#include <string>

namespace shotdate::fixtures {

// Times with nanoseconds no file system would produce by chance: a file
// that still carries them was kept as it was, or had them copied on purpose.
inline constexpr struct timespec kAtime{1234567890, 123456789};
inline constexpr struct timespec kMtime{1000000000, 987654321};

// Sets the times of the entry itself (of a link, not of its target); a
// failure fails the test.
void setTimes(const std::string& path, struct timespec atime = kAtime, struct timespec mtime = kMtime);

// stat() and lstat(); a failure fails the test and gives all zeros.
struct stat statOf(const std::string& path);
struct stat lstatOf(const std::string& path);

bool sameTime(const struct timespec& a, const struct timespec& b);

} // namespace shotdate::fixtures
