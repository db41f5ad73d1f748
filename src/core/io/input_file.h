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

    // Opens the entry `name` of a held folder, never through a symbolic
    // link: first only as a place (O_PATH), and for reading only once its
    // state says it is a regular file; a FIFO, device or link swapped in is
    // never opened for reading (isRegular() is then false). Answers 0 or the
    // errno of the failing step; `opened` tells whether the name was found.
    int openAt(int folderFd, const std::string& name, bool& opened);

    int fd() const { return fd_; }
    const struct stat& state() const { return state_; }
    bool isRegular() const { return S_ISREG(state_.st_mode); }

    // Regular files never block; reads should wait for slow disks as usual.
    void readBlocking();

    // Reads up to `limit` bytes from the current position onto the end of
    // `out`; false (with errno set) on a read error.
    bool readInto(std::vector<std::uint8_t>& out, std::size_t limit);

    // Reads up to `length` bytes at `offset` into `out` (replacing what it
    // held), leaving the current position alone; false (with errno set) on a
    // read error. Fewer bytes than asked: the file ends there.
    bool readAt(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out);

    // Whether size, times and identity are still those taken at open.
    bool unchanged() const;

private:
    int fd_ = -1;
    struct stat state_ {};
};

} // namespace shotdate
