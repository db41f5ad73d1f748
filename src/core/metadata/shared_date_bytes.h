#pragma once

#include "metadata/exif_block.h"
#include "metadata/tiff_structure.h"

#include <cstdint>
#include <span>
#include <vector>

namespace shotdate {

// A date may be patched in place only when its 20 bytes belong to it
// alone. Marks not patchable every field whose bytes overlap the TIFF
// header, any IFD's table (IFD0..n, Exif, GPS, Interop, SubIFDs), any other
// value, or the strips, tiles and thumbnail the IFDs point to. Two fields
// sharing one value outright are left to the caller.
//
// `file` may be only the head of the file (`block` then runs past it);
// answers false when the structures reach past the bytes at hand, true
// when the check is complete.
bool refuseDatesInSharedBytes(std::span<const std::uint8_t> file, const ExifBlock& block,
                              const std::vector<DateField*>& fields);

} // namespace shotdate
