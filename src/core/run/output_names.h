#pragma once

#include "io/file_probe.h"
#include "run/run_settings.h"
#include "run/target_list.h"

#include <set>
#include <string>
#include <vector>

namespace shotdate {

// The output path of one target, before the clash rule: in place the input
// itself; with an output folder, the folder joined with the entry (a deep
// run writes flat: the file name only).
std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target);

// "IMG_0001.JPG", 2 -> "IMG_0001 (2).JPG"; names without an extension get the suffix at the end.
std::string numberedFileName(const std::string& fileName, int number);

// `path` with every letter in lower case, as a file system that folds case
// compares names (UTF-8; bytes that are not valid UTF-8 stay as they are).
std::string foldedCase(const std::string& path);

// Whether letter case can matter to the names of a run's outputs: two of
// them the same, or the same but for case. Only then is it worth finding
// out whether the output folder folds case.
bool caseCouldMatter(const std::vector<std::string>& outputPaths);

// Within one run no file the run wrote and no input of the run is ever
// replaced by another file of the same run, whichever of the run's inputs
// listed it: the first input's outputs must already steer clear of the
// files a later input will read. Names are those of entries in the output
// folder, held open as `outputFd`; in an output folder that folds case,
// names that differ only in case are one name.
class OutputClaims {
public:
    OutputClaims(const std::vector<TargetList>& lists, int outputFd, bool foldsCase);

    bool taken(const std::string& name) const;

    // At prepare time the name is taken; once the file stands there, its
    // identity too.
    void claimName(const std::string& name) { names_.insert(key(name)); }
    void claimWritten(const std::string& name);

private:
    std::string key(const std::string& name) const { return foldsCase_ ? foldedCase(name) : name; }

    int outputFd_;
    bool foldsCase_;
    std::set<FileIdentity> inputs_;
    std::set<FileIdentity> written_;
    std::set<std::string> names_;
};

} // namespace shotdate
