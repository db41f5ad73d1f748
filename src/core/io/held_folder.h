#pragma once

#include "io/file_probe.h"

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace shotdate {

// A run reaches each folder once, by name from a folder it already holds,
// and from then on works only through the descriptor: a folder renamed,
// moved or swapped for a symbolic link later cannot redirect a read or a
// write. These are the system calls that takes.

// A folder the user named: links on the way are followed (the user chose
// the path). -1 with errno set on failure.
int openFolderByPath(const std::string& path);

// The entry `name` of a held folder, opened as a folder and never through a
// symbolic link (ELOOP or ENOTDIR when it is one). -1 with errno set.
int openSubfolder(int folderFd, const std::string& name);

void closeFolder(int fd);

std::optional<FileIdentity> identityOfDescriptor(int fd);

// A folder that was removed (no name left) or no longer answers.
bool folderGone(int fd);

// The state of the entry `name` of a held folder (lstat, or stat with
// followLink); false with errno set.
bool statEntry(int folderFd, const std::string& name, struct stat& st, bool followLink = false);

struct FolderNames {
    bool opened = false;
    int error = 0; // errno of the open, or of a read that ended the listing early
    std::vector<std::string> names; // without "." and ".."
};

// The names in a held folder.
FolderNames readFolderNamesAt(int folderFd);

// Where an open descriptor lies now, every link resolved; nullopt when the
// kernel cannot say (no /proc, or a path longer than it will give).
std::optional<std::string> descriptorPath(int fd);

// Where the entry `name` of a held folder leads through symbolic links, and
// the identity of what it leads to.
struct ResolvedEntry {
    std::string path;
    FileIdentity identity;
};
std::optional<ResolvedEntry> resolveEntry(int folderFd, const std::string& name);

} // namespace shotdate
