#pragma once

#include "bytes/file_patch.h"
#include "formats/image_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

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

// Finds the EXIF block of a JPEG (the first APP1 "Exif" segment), a TIFF or
// TIFF-like raw (the file itself), a PNG (eXIf chunk) or a WebP (EXIF chunk).
// nullopt when the file has none or its structure is damaged.
std::optional<ExifBlock> locateExifBlock(std::span<const std::uint8_t> file, ImageFormat format);

// How much of the head of a file is enough to find and patch its dates, or
// to know it has none: JPEG, PNG and WebP keep EXIF in one segment or chunk,
// found by walking the headers before it, so everything a rewrite looks at
// lies before that segment's end (or, in a JPEG without one, before the
// first scan). A TIFF's structure may point anywhere: for a TIFF or a
// TIFF-like raw the answer is all of `head`. Given at least that many bytes,
// rewriteExifDates() answers as it would for the whole file, or says it
// needs the whole file. nullopt when `head` is too short to tell, or for
// other formats.
std::optional<std::size_t> exifHeadLength(std::span<const std::uint8_t> head, ImageFormat format);

// The file with its EXIF block replaced by `tiff`, for PNG (eXIf chunk)
// and WebP (EXIF chunk): lengths, CRC and the RIFF size follow. nullopt for
// other formats.
std::optional<std::vector<std::uint8_t>> spliceExifBlock(std::span<const std::uint8_t> file, ImageFormat format,
                                                         const ExifBlock& block,
                                                         std::span<const std::uint8_t> tiff);

// The new CRC of a PNG chunk whose data takes `patches`.
FilePatch chunkCrcPatch(std::span<const std::uint8_t> file, const ExifBlock& block,
                        const std::vector<FilePatch>& patches);

} // namespace shotdate
