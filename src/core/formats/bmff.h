#pragma once

#include "formats/box_walker.h"

#include <cstdint>
#include <span>

namespace shotdate {

// ISO base media files: HEIF, HEIC and AVIF keep EXIF as an item located
// through meta/iinf/iloc; Canon's CR3 keeps it in the CMT2 box of its
// moov uuid box.

bool isBmff(std::span<const std::uint8_t> file);

BoxExifStatus bmffGatherExif(std::span<const std::uint8_t> file, GatheredExif& out);

} // namespace shotdate
