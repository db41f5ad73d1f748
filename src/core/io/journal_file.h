#pragma once

#include <string>
#include <vector>

namespace shotdate {

// The folder `path` and every missing folder above it, each new one created
// with `mode`; 0 or the errno that stopped it.
int makeFolders(const std::string& path, unsigned mode);

// A file that only grows, line by line, and is made durable on request: a
// run's journal. Created exclusively (0600) and its folder synced, so the
// name itself survives a crash. Every call goes through sys_ops.
class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // 0 or the errno.
    int create(const std::string& folder, const std::string& name);
    // An existing journal, to append to (a replay at start); 0 or the errno.
    int openExisting(const std::string& path);
    // Held while the run lives: no other run replays a live journal.
    // 0, or the errno (EWOULDBLOCK: another process holds it).
    int lock();
    int append(const std::string& text);
    int sync();
    bool open() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The whole of a file (a journal), or its first `limit` bytes; 0 or the errno.
int readWholeFile(const std::string& path, std::string& out, std::size_t limit = std::string::npos);

// The last `limit` bytes of a file (or all of it when shorter); 0 or the errno.
int readFileTail(const std::string& path, std::string& out, std::size_t limit);

// Removes a file by path (a journal the user forgot); 0 or the errno.
int removeFile(const std::string& path);

} // namespace shotdate
