#pragma once

#include "metadata/exif_block.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace shotdate {

// Fujifilm RAF: a header whose big-endian words at 84 and 88 give the
// position and length of an embedded JPEG; the camera's EXIF is that JPEG's
// Exif segment. Nothing in the file points inside the JPEG, so its dates
// can be patched like a JPEG's; a segment that grew would overrun the raw
// data behind it, so a missing date is never added.

bool isRaf(std::span<const std::uint8_t> file);

std::optional<ExifBlock> rafExifBlock(std::span<const std::uint8_t> file);

// The embedded JPEG's own head length, counted from the start of the file.
std::optional<std::size_t> rafHeadLength(std::span<const std::uint8_t> head);

} // namespace shotdate
