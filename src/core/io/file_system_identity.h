#pragma once

#include <optional>
#include <string>

namespace shotdate {

// Which file system a path lies on, in terms that survive mounting it
// elsewhere: a memory card read at /media/a today and /media/b tomorrow
// keeps its UUID and the path below its mount point.
struct FileSystemIdentity {
    std::string uuid; // from /dev/disk/by-uuid; empty when the device has none listed
    std::string fsid; // statfs f_fsid, as 16 hex digits
    std::string mountPoint; // where it is mounted now
    std::string relativePath; // the path below the mount point ("" for the mount point)
};

// `path` must be absolute.
FileSystemIdentity fileSystemOf(const std::string& path);

// Where the file system with this UUID is mounted now, if it is.
std::optional<std::string> mountPointOfUuid(const std::string& uuid);

} // namespace shotdate
