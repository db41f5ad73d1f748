#pragma once

#include "bytes/byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace shotdate {

// Walks a JPEG's marker segments up to the first scan. `visit(marker, at,
// length)` sees each segment that has a length (which counts its own two
// bytes) and answers false to stop the walk early. Answers the offset of
// the first SOS, or nullopt when the walk stopped early or the file is
// damaged before it.
template <typename Visit>
std::optional<std::size_t> walkJpegSegments(std::span<const std::uint8_t> file, Visit visit)
{
    const ByteReader reader(file, true);
    std::size_t at = 2;  // after SOI
    while (reader.has(at, 4)) {
        if (file[at] != 0xFF)
            return std::nullopt;
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA)
            return at;
        if (marker == 0xD9)
            return std::nullopt;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const auto length = reader.u16(at + 2);
        if (!length || *length < 2 || !reader.has(at + 2, *length))
            return std::nullopt;
        if (!visit(marker, at, std::size_t(*length)))
            return std::nullopt;
        at += 2 + *length;
    }
    return std::nullopt;
}

} // namespace shotdate
