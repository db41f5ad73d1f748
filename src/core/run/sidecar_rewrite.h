#pragma once

#include "dates/date_rule.h"
#include "io/file_probe.h"
#include "io/safe_replace.h"
#include "run/file_rewrite.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace shotdate {

// The XMP sidecars of a photo: "NAME.xmp" and "NAME.EXT.xmp" beside it (the
// extension in any case), looked up through the photo's held folder. With
// every copy of the date they move with the photo and go through the same
// safe write path: each is prepared next to the photo's new file, under the
// new file's name, and put in place in the same batch.
//
// On any failure the photo's
// own rewrite is abandoned and `result` says why: a photo and its sidecars
// succeed or are passed over together.
// A name ending in ".xmp" in any case: a sidecar, never a target of its own.
bool isSidecarName(const std::string& name);

// What a run keeps about sidecars: those it has already taken care of (the
// "NAME.xmp" of a raw+JPEG pair changes once), and the sidecar names of
// each folder, read once when its first photo asks (nullopt: the folder
// could not be listed, and each spelling is looked up instead).
struct SidecarRun {
    std::set<FileIdentity> done;
    std::map<FileIdentity, std::optional<std::vector<std::string>>> folders;
};

void addSidecarRewrites(const FileLocation& in, const FileLocation& out, const DateArguments& args, bool dryRun,
                        SidecarRun& run, FileRewrite& result, PreparedReplacement& photo,
                        std::vector<PreparedReplacement>& sidecars);

} // namespace shotdate
