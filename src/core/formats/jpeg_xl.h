#pragma once

#include "formats/box_walker.h"

#include <cstdint>
#include <span>

namespace shotdate {

// JPEG XL: a bare codestream carries no metadata; the container keeps EXIF
// in an "Exif" box (or a Brotli-compressed "brob" one, which cannot be
// patched).

bool isJpegXl(std::span<const std::uint8_t> file);

BoxExifStatus jpegXlGatherExif(std::span<const std::uint8_t> file, GatheredExif& out);

} // namespace shotdate
