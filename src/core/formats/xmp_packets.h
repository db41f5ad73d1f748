#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// Where a container keeps its XMP packet as text: the bytes a date edit
// may patch, keeping their number.
struct XmpPacketPlace {
    std::size_t offset = 0;
    std::size_t size = 0; // may run past the bytes at hand when only a head was read
    // PNG: the chunk's CRC covers [crcStart, crcStart + crcLength) and
    // follows it.
    bool hasCrc = false;
    std::size_t crcStart = 0;
    std::size_t crcLength = 0;
};

// JPEG: the APP1 segments "http://ns.adobe.com/xap/1.0/\0". The extended
// XMP segments carry what did not fit (thumbnails, history) and are left alone.
std::vector<XmpPacketPlace> jpegXmpPackets(std::span<const std::uint8_t> file);
// TIFF and raws built on it: tag 700 (XMLPacket) of IFD0.
std::vector<XmpPacketPlace> tiffXmpPackets(std::span<const std::uint8_t> file);
// PNG: iTXt chunks "XML:com.adobe.xmp", uncompressed.
std::vector<XmpPacketPlace> pngXmpPackets(std::span<const std::uint8_t> file);
// WebP: the "XMP " chunk.
std::vector<XmpPacketPlace> webpXmpPackets(std::span<const std::uint8_t> file);

// JPEG XL: the "xml " box (a Brotli-compressed one is left alone).
std::vector<XmpPacketPlace> jpegXlXmpPackets(std::span<const std::uint8_t> file);

// How much of a head holds every XMP packet of the file, or nullopt when
// the head cannot tell (then the file is read whole). JPEG: up to the first
// scan. PNG and WebP: the whole file, whose chunks must all be in the head.
std::optional<std::size_t> jpegXmpHeadLength(std::span<const std::uint8_t> head);
std::optional<std::size_t> pngXmpHeadLength(std::span<const std::uint8_t> head);
std::optional<std::size_t> webpXmpHeadLength(std::span<const std::uint8_t> head);

} // namespace shotdate
