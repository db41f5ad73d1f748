#pragma once

#include "bytes/file_patch.h"
#include "metadata/exif_block.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// PNG: EXIF in an eXIf chunk, under the chunk's CRC; every other chunk is
// picture.

bool isPng(std::span<const std::uint8_t> file);

std::optional<ExifBlock> pngExifBlock(std::span<const std::uint8_t> file);

// The head up to the eXIf chunk's end.
std::optional<std::size_t> pngHeadLength(std::span<const std::uint8_t> head);

std::optional<std::vector<std::uint64_t>> pngPictureDigests(std::span<const std::uint8_t> file);

// The file with its eXIf chunk holding `tiff` instead; length and CRC follow.
std::optional<std::vector<std::uint8_t>> pngSpliceExif(std::span<const std::uint8_t> file, const ExifBlock& block,
                                                       std::span<const std::uint8_t> tiff);

// The new CRC of the eXIf chunk once it takes `patches`.
FilePatch pngChunkCrcPatch(std::span<const std::uint8_t> file, const ExifBlock& block,
                           const std::vector<FilePatch>& patches);

} // namespace shotdate
