#pragma once

#include "io/file_probe.h"
#include "run/run_settings.h"
#include "run/target_list.h"

#include <set>
#include <string>

namespace shotdate {

// The output path of one target, before the clash rule: in place the input
// itself; with an output folder, the folder joined with the entry (a deep
// run writes flat: the file name only).
std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target);

// "IMG_0001.JPG", 2 -> "IMG_0001 (2).JPG"; names without an extension get the suffix at the end.
std::string numberedFileName(const std::string& fileName, int number);

// Within one run no file the run wrote and no input of the run is ever
// replaced by another file of the same run. Names are those of entries in
// the output folder, held open as `outputFd`.
class OutputClaims {
public:
    OutputClaims(const TargetList& list, int outputFd);

    bool taken(const std::string& name) const;

    // At prepare time the name is taken; once the file stands there, its
    // identity too.
    void claimName(const std::string& name) { names_.insert(name); }
    void claimWritten(const std::string& name);

private:
    int outputFd_;
    std::set<FileIdentity> inputs_;
    std::set<FileIdentity> written_;
    std::set<std::string> names_;
};

} // namespace shotdate
