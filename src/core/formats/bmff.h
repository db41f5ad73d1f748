#pragma once

#include "formats/box_walker.h"
#include "formats/xmp_packets.h"

#include <cstdint>
#include <span>

namespace shotdate {

// ISO base media files: HEIF, HEIC and AVIF keep EXIF as an item located
// through meta/iinf/iloc; Canon's CR3 keeps it in the CMT2 box of its
// moov uuid box.

bool isBmff(std::span<const std::uint8_t> file);

BoxExifStatus bmffGatherExif(std::span<const std::uint8_t> file, GatheredExif& out);

// The XMP packets: a HEIF "mime" item of type application/rdf+xml stored in
// one extent, and the XMP uuid box at the top level (CR3).
std::vector<XmpPacketPlace> bmffXmpPackets(std::span<const std::uint8_t> file);

} // namespace shotdate
