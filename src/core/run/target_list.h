#pragma once

#include "run/reason.h"

#include <string>
#include <vector>

namespace shotdate {

// One entry of a run's target list.
struct Target {
    std::string
        relative; // path below the input folder ("a.jpg", "sub/b.jpg"); the input path itself in a single-file run
    std::string inPath; // the input folder joined with `relative` (or the input path itself)
    bool passOver = false; // true: not rewritten, reported with `reason` (FIFO, socket, device, dangling link)
    Reason reason = Reason::Rewritten;
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
};

// Builds the list of a run. A folder yields its entries (direct ones, or
// every depth with `subfolders`), sorted by path; symbolic links to files
// are targets, symbolic links to folders are neither entered nor listed,
// folders are left out, and our own hidden temporary files never appear.
// A path that yields no entries (a file, an empty folder) makes a
// single-file run on the path itself; an empty folder then has no target.
TargetList getIchiran(const std::string& inputPath, bool subfolders);

} // namespace shotdate
