#pragma once

#include <cstddef>

namespace shotdate {

// Where a file keeps its EXIF data: a TIFF structure (header, IFDs) that
// starts at `offset` and runs for `size` bytes. Offsets inside the TIFF
// structure count from `offset`.
struct ExifBlock {
    std::size_t offset = 0;
    std::size_t size = 0;
    // PNG keeps a CRC over each chunk: the chunk's type starts at
    // `crcStart`, the CRC itself at `crcStart + crcLength`.
    bool hasCrc = false;
    std::size_t crcStart = 0;
    std::size_t crcLength = 0;
    // The whole segment or chunk that holds the block, header included, and
    // how many bytes of it stand between its header and the TIFF header
    // (an "Exif\0\0" prefix).
    std::size_t containerStart = 0;
    std::size_t containerEnd = 0;
    std::size_t prefixLength = 0;
};

} // namespace shotdate
