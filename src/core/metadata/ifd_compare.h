#pragma once

#include <cstdint>
#include <span>

namespace shotdate {

// Whether the TIFF structure `after` (a rewrite of `before`) carries every
// IFD `before` has (IFD0..n, Exif, GPS, Interop wherever it hangs,
// SubIFDs), each with the same entries: tag, type, count and value bytes.
// Allowed to differ: DateTimeOriginal and DateTimeDigitized in an Exif IFD
// (added or changed: the caller checks them), the pointers between IFDs
// (followed instead) and the offsets of strips, tiles and the thumbnail
// (their bytes are compared elsewhere). A MakerNote must be identical byte
// for byte, or equal entry by entry when it is an IFD whose values moved.
// Tags in `alsoChanged` may differ, be added or go in any IFD (ModifyDate,
// the zone tags): the caller reads their new values back itself.
// Both spans start at the TIFF header and hold the whole structure.
bool sameIfdsOutsideDates(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                          std::span<const std::uint16_t> alsoChanged = {});

} // namespace shotdate
