#pragma once

#include "dates/exif_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// How a date that is a value rather than EXIF text is stored.
enum class DateEncoding {
    UnixSeconds32LittleEndian, // a CIFF time stamp ("II" files)
    UnixSeconds32BigEndian, // the same in an "MM" file
    MovieSeconds32, // a movie header's time: seconds since 1904-01-01 UTC, big-endian
    MovieSeconds64, // the same in a version 1 box
};

// One place in a file that holds a date as a value of fixed size: the date
// rule applies to each site on its own, and the new value takes exactly the
// old one's bytes.
struct DateSite {
    std::size_t offset = 0;
    DateEncoding encoding = DateEncoding::UnixSeconds32LittleEndian;
};

std::size_t encodedSize(DateEncoding encoding);

// The wall-clock time the bytes at the start of `bytes` hold; nullopt when
// they hold none (a zero count: the camera set no date) or are too few.
std::optional<LocalSeconds> decodeDate(std::span<const std::uint8_t> bytes, DateEncoding encoding);

// The bytes of `when`, encodedSize() of them; nullopt when the encoding
// cannot hold that date.
std::optional<std::vector<std::uint8_t>> encodeDate(LocalSeconds when, DateEncoding encoding);

} // namespace shotdate
