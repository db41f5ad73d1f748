#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shotdate {

// A photo opened for reading: its head first, the rest only when needed,
// and whether it changed while it was read.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` (following a symbolic link) and takes its state. A FIFO
    // or device never blocks the open. Answers 0 or the errno of the failing
    // step; `opened` tells which step failed.
    int open(const std::string& path, bool& opened);

    int fd() const { return fd_; }
    const struct stat& state() const { return state_; }
    bool isRegular() const { return S_ISREG(state_.st_mode); }

    // Regular files never block; reads should wait for slow disks as usual.
    void readBlocking();

    // Reads up to `limit` bytes from the current position onto the end of
    // `out`; false (with errno set) on a read error.
    bool readInto(std::vector<std::uint8_t>& out, std::size_t limit);

    // Whether size, times and identity are still those taken at open.
    bool unchanged() const;

private:
    int fd_ = -1;
    struct stat state_ {};
};

// The file a rewrite of `inPath` to `outPath` replaces: in place, a
// symbolic link stays a link and the file it points to is replaced.
std::string replacementTarget(const std::string& inPath, const std::string& outPath);

} // namespace shotdate
