#pragma once

#include "formats/box_walker.h"

#include <cstddef>
#include <span>

namespace shotdate {

// Whether the extents of one item can be gathered at a cost bounded by the
// file: none overlaps another, and together they are no larger than the
// file. A sound file stores each byte of an item once; an index that lists
// the whole file thousands of times would otherwise cost that many copies.
bool extentsFitFile(std::span<const GatheredExif::Piece> pieces, std::size_t fileSize);

} // namespace shotdate
