#pragma once

#include "metadata/exif_block.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// TIFF and the raw files built on it: the file itself is the TIFF
// structure, and its pictures are the strips, tiles and embedded JPEGs
// its IFDs point to.

// The TIFF magic numbers ("II*\0", "MM\0*": TIFF, DNG, NEF, CR2, ARW, PEF...).
bool isTiff(std::span<const std::uint8_t> file);

// A TIFF structure under another magic number (ORF, RW2).
bool isTiffLike(std::span<const std::uint8_t> file);

std::optional<ExifBlock> tiffExifBlock(std::span<const std::uint8_t> file);

// The dates may lie anywhere: the rewrite reads what the head holds and
// says when it needed more, so any head will do.
std::optional<std::size_t> tiffHeadLength(std::span<const std::uint8_t> head);

std::optional<std::vector<std::uint64_t>> tiffPictureDigests(std::span<const std::uint8_t> file);

} // namespace shotdate
