#pragma once

#include "dates/exif_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shotdate {

// An ISO 8601 date and time as phones write it into a movie:
// "2019-03-02T10:11:12+0900", "2019-03-02T10:11:12.345+09:00",
// "2019-03-02T10:11:12Z", or with no zone at all. A rewrite keeps every
// character it does not change, so the text keeps its length.
struct ZonedText {
    LocalSeconds wall{}; // the clock time as written
    std::optional<std::int32_t> offsetMinutes; // east of UTC; nullopt when no zone is written
    std::string text; // as read
    std::size_t zoneAt = 0; // where the zone starts in `text` (its length when none)
};

// nullopt when the text is not such a date (trailing NULs are tolerated).
std::optional<ZonedText> parseZonedText(std::string_view text);

// The same text with the clock time `wall` and the offset `offsetMinutes`,
// in the form and length of the original; nullopt when the year is outside
// 0001-9999, or the offset cannot be written in the original's form (a text
// with no zone, or "Z" given anything but UTC).
std::optional<std::string> rewriteZonedText(const ZonedText& original, LocalSeconds wall,
                                            std::optional<std::int32_t> offsetMinutes);

} // namespace shotdate
