#pragma once

#include "exif_date.h"
#include "reason.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// The in-memory heart of the rewrite: given the bytes of one image file,
// produce the bytes of the same file with DateTimeOriginal and
// DateTimeDigitized set. Never touches the disk.
//
// When both fields already exist as 20-byte ASCII values the result differs
// from the input in exactly those bytes. Otherwise the metadata is rewritten
// through Exiv2 (for the formats it writes faithfully) and the result is
// checked against the original before it is accepted.
struct DateRewrite {
    Reason reason = Reason::NotAnImage;  // Rewritten on success
    std::string oldDate;                 // the file's DateTimeOriginal as found ("" when none)
    std::string newDate;                 // the text written (set on success)
    bool patchedInPlace = false;         // true: only the date bytes changed
    std::vector<std::uint8_t> bytes;     // the new file (on success)
};

DateRewrite rewriteExifDates(std::span<const std::uint8_t> file, const DateArguments& args);

} // namespace shotdate
