#pragma once

#include "bytes/file_patch.h"
#include "formats/format_table.h"
#include "metadata/tiff_structure.h"
#include "rewrite/exif_extras.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// A date that is missing (or not a 20-byte text) from a file that is itself
// a TIFF structure, added without laying anything out again: a copy of the
// Exif IFD holding the new entries, with their 20-byte values, goes at the
// end of the file, and the 4-byte Exif IFD offset in IFD0 points to it.
// Every other byte stays where it is, so nothing another reader relies on
// (MakerNote offsets, an Interop IFD, strips) can move. Dates that can be
// patched where they are still are.
enum class AppendOutcome {
    NotApplicable, // another way must be found (or none)
    NeedsWholeFile, // given a head only: it applies, but is checked on the whole file
    Rewritten,
    VerifyFailed,
};

struct AppendedDates {
    AppendOutcome outcome = AppendOutcome::NotApplicable;
    std::vector<FilePatch> patches; // in file order; the last one starts at the old end of the file
    std::vector<std::uint8_t> bytes; // the new file (Rewritten)
};

// Applies to containers that are themselves a TIFF structure (their row
// says fileIsExifBlock). `file` is the whole file, or its head when `haveWholeFile` is false;
// `fileSize` the size of the whole. `newDate` "" leaves the two dates as they
// are; `extras` adds its texts the same way (its additions into the copy).
AppendedDates appendExifIfdWithDates(std::span<const std::uint8_t> file, std::size_t fileSize,
                                     const ContainerFormat& format, const TiffDates& dates, const std::string& newDate,
                                     const ExtraPlan& extras, bool haveWholeFile);

} // namespace shotdate
