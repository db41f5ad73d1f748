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

// The new CRC of the chunk whose CRC covers [crcStart, crcStart + crcLength)
// once it takes `patches` (those outside it are ignored).
FilePatch chunkCrcPatch(std::span<const std::uint8_t> file, std::size_t crcStart, std::size_t crcLength,
                        std::span<const FilePatch> patches);

// The same for the eXIf chunk.
FilePatch pngChunkCrcPatch(std::span<const std::uint8_t> file, const ExifBlock& block,
                           const std::vector<FilePatch>& patches);

} // namespace shotdate
