#pragma once

#include "io/file_probe.h"
#include "run/folder_tree.h"
#include "run/reason.h"

#include <memory>
#include <string>
#include <vector>

namespace shotdate {

// One entry of a run's target list.
struct Target {
    std::string
        relative; // path below the input folder ("a.jpg", "sub/b.jpg"); the input path itself in a single-file run
    std::string inPath; // the input folder joined with `relative` (or the input path itself): for reports only
    bool passOver = false; // true: not rewritten, reported with `reason` (FIFO, socket, device, link, ...)
    Reason reason = Reason::Rewritten;
    // The file that is read: the entry `name` of a folder of the run (for a
    // link, the file it leads to), and what the listing saw there.
    FolderTree::Id folder = 0;
    std::string name;
    FileIdentity identity{};
};

// A folder that could not be read during a deep listing; the run goes on.
struct ListingProblem {
    std::string path;
    int error = 0; // errno
};

struct TargetList {
    bool singleFile = false; // the input path is the only target
    std::vector<Target> targets; // sorted by path; folders are never targets
    std::vector<ListingProblem> problems;
    // The folders the targets lie in, held for the run. Shared so that a
    // list can be handed around; the folders close with the last copy.
    std::shared_ptr<FolderTree> folders = std::make_shared<FolderTree>();
};

// Builds the list of a run. A folder yields its entries (direct ones, or
// every depth with `subfolders`), sorted by path; folders are left out, and
// our own hidden temporary files never appear. Every folder is opened by
// name from its parent, never through a symbolic link: symbolic links to
// folders are neither entered nor listed, and a symbolic link to a file is
// a target only when the file lies inside the input folder (else passed
// over as LinkOutside); XMP sidecars are left out too. A path that yields no entries (a file, an empty
// folder) makes a single-file run on the path itself, whose links are
// followed (the user chose it); an empty folder then has no target.
TargetList getIchiran(const std::string& inputPath, bool subfolders);

} // namespace shotdate
