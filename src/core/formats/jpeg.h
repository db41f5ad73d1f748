#pragma once

#include "bytes/byte_reader.h"
#include "metadata/exif_block.h"
#include "metadata/format_constants.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// JPEG: EXIF in the first APP1 "Exif" segment; the pictures are the tables
// and scans (and whatever follows the first scan).

bool isJpeg(std::span<const std::uint8_t> file);

// Walks a JPEG's marker segments up to the first scan. `visit(marker, at,
// length)` sees each segment that has a length (which counts its own two
// bytes) and answers false to stop the walk early. Answers the offset of
// the first SOS, or nullopt when the walk stopped early or the file is
// damaged before it.
template <typename Visit>
std::optional<std::size_t> walkJpegSegments(std::span<const std::uint8_t> file, Visit visit)
{
    const ByteReader reader(file, true);
    std::size_t at = 2; // after SOI
    while (reader.has(at, 4)) {
        if (file[at] != jpeg_marker::fill)
            return std::nullopt;
        const std::uint8_t marker = file[at + 1];
        if (marker == jpeg_marker::fill) {
            ++at;
            continue;
        }
        if (marker == jpeg_marker::sos)
            return at;
        if (marker == jpeg_marker::eoi)
            return std::nullopt;
        if (marker == jpeg_marker::tem || (marker >= jpeg_marker::rst0 && marker <= jpeg_marker::rst7)) {
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

std::optional<ExifBlock> jpegExifBlock(std::span<const std::uint8_t> file);

// Everything the rewrite reads lies before the EXIF segment's end, or, in a
// JPEG without one, before the first scan.
std::optional<std::size_t> jpegHeadLength(std::span<const std::uint8_t> head);

// Every segment before the first scan lies before this length (every copy
// of the date, IPTC's APP13 too); nullopt when `head` stops before it.
std::optional<std::size_t> jpegSegmentsLength(std::span<const std::uint8_t> head);

std::optional<std::vector<std::uint64_t>> jpegPictureDigests(std::span<const std::uint8_t> file);

// A JPEG carrying an MPF index (a second picture appended after the first):
// its offsets would go stale if a segment before them changed size.
bool jpegHasMultiPictureIndex(std::span<const std::uint8_t> file);

} // namespace shotdate
