#pragma once

#include "bytes/file_patch.h"
#include "formats/format_table.h"
#include "io/in_place_patch.h"
#include "run/journal_record.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace shotdate {

// A change to be written into the file itself, held open until its batch
// has journaled it.
struct PreparedPatch {
    InPlaceFile file;
    PatchSpan span;
    struct timespec times[2]{}; // access, modification: put back after the write
    bool active() const { return file.active(); }
};

enum class PatchChoice {
    Patch, // `out` holds the open file and its span
    Rename, // not this way: the temporary-and-rename path
    VerifyFailed, // the patched head reads other dates than asked: nothing may be written
};

// What a rewrite of the file the held folder `folderFd` calls `name`
// should be written by. A patch needs a same-length change within one page
// of what was read (`head`), a file the runner owns and may write, still
// `before`, and a patched head that reads back `original` and `digitized`.
// `times` are those the file keeps (or gets) afterwards.
PatchChoice preparePatch(int folderFd, const std::string& name, const struct stat& before,
                         std::span<const std::uint8_t> head, std::span<const FilePatch> patches,
                         const ContainerFormat& format, const std::optional<std::string>& original,
                         const std::optional<std::string>& digitized, const struct stat& times, PreparedPatch& out);

// The journal's record of a prepared patch, written in boot `bootId`.
InPlaceRecord inPlaceRecordOf(const PreparedPatch& patch, const std::string& bootId);

} // namespace shotdate
