#pragma once

#include "run/target_list.h"

#include <string>
#include <vector>

namespace shotdate {

struct CleanupReport {
    std::vector<std::string> removed;
    std::vector<ListingProblem> problems; // folders that could not be read, files that could not be removed
};

// Removes the hidden temporary files a run leaves behind when it is killed
// between writing a new file and renaming it: regular files named exactly
// ".shotdate-<16 hex digits>.tmp", never links, never anything else. The
// originals beside them are complete; these are only the unfinished copies.
// Must not run while a rewrite is writing into the same folder.
CleanupReport removeOurTemporaryFiles(const std::string& folder, bool subfolders);

} // namespace shotdate
