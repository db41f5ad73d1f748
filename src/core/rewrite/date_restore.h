#pragma once

#include "rewrite/date_rewrite.h"

#include <optional>
#include <span>
#include <string>

namespace shotdate {

// The two EXIF dates an undo expects to find (as a run left them) and puts
// back (as they were before it); nullopt stands for a field that is absent.
struct DateRestore {
    std::optional<std::string> expectedOriginal;
    std::optional<std::string> expectedDigitized;
    struct {
        std::optional<std::string> original;
        std::optional<std::string> digitized;
    } restored;
};

// Puts the old dates back into a file that may have been saved anew by
// another program since the run: the fields are found where they now stand
// and must hold what the run wrote (else DatesChangedSince). Texts of the
// same length are patched in place; a field to remove or to add needs a new
// layout, checked as every new layout is. Never touches the disk.
DateRewrite restoreExifDates(std::span<const std::uint8_t> file, const DateRestore& restore);

} // namespace shotdate
