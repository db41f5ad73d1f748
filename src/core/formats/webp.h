#pragma once

#include "metadata/exif_block.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// WebP: EXIF in a RIFF "EXIF" chunk; the pictures are every chunk but
// EXIF, XMP and the VP8X flags.

bool isWebP(std::span<const std::uint8_t> file);

std::optional<ExifBlock> webpExifBlock(std::span<const std::uint8_t> file);

// The head up to the EXIF chunk's end.
std::optional<std::size_t> webpHeadLength(std::span<const std::uint8_t> head);

std::optional<std::vector<std::uint64_t>> webpPictureDigests(std::span<const std::uint8_t> file);

// The file with its EXIF chunk holding `tiff` instead (after the chunk's
// own prefix, if it had one); the chunk and RIFF sizes follow.
std::optional<std::vector<std::uint8_t>> webpSpliceExif(std::span<const std::uint8_t> file, const ExifBlock& block,
                                                        std::span<const std::uint8_t> tiff);

} // namespace shotdate
