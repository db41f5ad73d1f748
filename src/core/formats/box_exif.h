#pragma once

#include "formats/image_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// The EXIF data of a box-structured file (HEIF, HEIC, AVIF, CR3, JPEG XL).
// A HEIF Exif item may be split over several extents of the file, so the
// TIFF structure is gathered into one buffer, and every position in it can
// be traced back to its place in the file.
struct GatheredExif {
    struct Piece {
        std::size_t fileOffset;
        std::size_t length;
    };
    std::vector<std::uint8_t> tiff;  // from the TIFF header on
    std::vector<Piece> pieces;       // where consecutive runs of `tiff` lie in the file
    bool exifTagsInFirstIfd = false; // CR3 keeps the Exif tags in its CMT2 box's first IFD

    // The file position of byte `at` of `tiff`; nullopt when out of range.
    std::optional<std::size_t> fileOffsetOf(std::size_t at) const;
};

enum class BoxExifStatus {
    Found,
    NoExif,       // the structure was read through and holds no EXIF item
    Unreadable,   // damaged, compressed or of a layout we do not patch
};

BoxExifStatus gatherBoxExif(std::span<const std::uint8_t> file, ImageFormat format, GatheredExif& out);

} // namespace shotdate
