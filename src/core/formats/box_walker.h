#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace shotdate {

// The box structure of ISO base media files (HEIF, HEIC, AVIF, CR3) and
// JPEG XL containers, and the EXIF data gathered out of it.

struct Box {
    std::string_view type;
    std::size_t start; // of the box header
    std::size_t payload; // first byte after the header
    std::size_t end;
};

// The header of the box at `at`, whose container ends at `to`, read from
// `header` (the file's bytes from `at` on: at least 8, or 32 to be sure of a
// large size and a uuid). nullopt with `damaged` when the box runs past `to`
// or its size is too small for its own header; nullopt alone when fewer
// than 8 bytes are left before `to`. The type points into `header`.
std::optional<Box> boxHeaderAt(std::span<const std::uint8_t> header, std::size_t at, std::size_t to, bool& damaged);

// The boxes between `from` and `to`; stops quietly at a damaged one, which
// `damaged` reports.
std::vector<Box> childBoxes(std::span<const std::uint8_t> file, std::size_t from, std::size_t to, bool& damaged);

std::optional<Box> findBox(const std::vector<Box>& boxes, std::string_view type);

// The EXIF data of a box-structured file. A HEIF Exif item may be split
// over several extents of the file, so the TIFF structure is gathered into
// one buffer, and every position in it can be traced back to its place in
// the file.
struct GatheredExif {
    struct Piece {
        std::size_t fileOffset;
        std::size_t length;
    };
    std::vector<std::uint8_t> tiff; // from the TIFF header on
    std::vector<Piece> pieces; // where consecutive runs of `tiff` lie in the file
    bool exifTagsInFirstIfd = false; // CR3 keeps the Exif tags in its CMT2 box's first IFD

    // The file position of byte `at` of `tiff`; nullopt when out of range.
    std::optional<std::size_t> fileOffsetOf(std::size_t at) const;
};

enum class BoxExifStatus {
    Found,
    NoExif, // the structure was read through and holds no EXIF item
    Unreadable, // damaged, compressed or of a layout we do not patch
};

// Gathers an Exif item (a 4-byte offset to the TIFF header, then the TIFF
// structure) from `pieces` and drops its leading header.
bool gatherExifItem(std::span<const std::uint8_t> file, std::vector<GatheredExif::Piece> pieces, GatheredExif& out);

} // namespace shotdate
