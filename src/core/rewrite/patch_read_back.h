#pragma once

#include "formats/format_table.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

enum class ReadBack {
    Holds, // Exiv2 reads the expected dates
    Differs, // Exiv2 reads the file, and other dates
    Unreadable, // Exiv2 cannot read what it was given (a head cut short)
};

// Whether Exiv2, reading the EXIF of `patchedHead` (a file's head with its
// patches applied), finds DateTimeOriginal and DateTimeDigitized as
// expected; a value left nullopt is not looked at. A patch written into the
// file itself has no new file to check afterwards: it is checked here, before.
// Exiv2 decodes the head where it lies, and may change it.
ReadBack patchReadsBack(std::vector<std::uint8_t> patchedHead, const ContainerFormat& format,
                        const std::optional<std::string>& original, const std::optional<std::string>& digitized);

} // namespace shotdate
