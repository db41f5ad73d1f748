#pragma once

#include "formats/image_format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// Digests of everything in a file that is image rather than metadata, so a
// metadata rewrite can be checked to have carried the pictures over byte
// for byte: a JPEG's tables and scans (and anything after them), a WebP's
// image chunks, a TIFF's strips, tiles and embedded JPEGs page by page.
// nullopt when the structure cannot be walked.
std::optional<std::vector<std::uint64_t>> imagePayloadDigests(std::span<const std::uint8_t> file,
                                                              ImageFormat format);

// A JPEG carrying an MPF index (a second picture appended after the first):
// its offsets would go stale if a segment before them changed size.
bool jpegHasMultiPictureIndex(std::span<const std::uint8_t> file);

} // namespace shotdate
