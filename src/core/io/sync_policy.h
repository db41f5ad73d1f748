#pragma once

#include <string_view>

namespace shotdate {

// Whether one syncfs may stand in for an fsync of every file written on the
// file system holding `folderFd`. Only file systems known to write back all
// their dirty data on syncfs qualify (ext4, XFS, btrfs, f2fs, tmpfs,
// overlayfs); FUSE mounts (sshfs, exFAT or NTFS through FUSE) may return
// before the data is safe. And before Linux 5.8 syncfs returned 0 even
// after write-back had failed. Anything unknown or unreadable answers false:
// the files are then synced one by one.
bool syncfsIsTrusted(int folderFd);

// The rule itself, on a file system type (statfs f_type) and a kernel
// release ("6.1.0-18-amd64").
bool syncfsIsTrusted(long fileSystemType, std::string_view kernelRelease);

} // namespace shotdate
