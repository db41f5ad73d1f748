#include "formats/image_payload.h"

#include "bytes/byte_reader.h"
#include "formats/exif_block.h"
#include "formats/jpeg_segments.h"
#include "metadata/tiff_structure.h"

#include <algorithm>
#include <cstring>

namespace shotdate {

namespace {

std::optional<std::vector<std::uint64_t>> jpegDigests(std::span<const std::uint8_t> file)
{
    std::vector<std::uint64_t> digests;
    const auto scan = walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        const bool metadata = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (!metadata)
            digests.push_back(digestBytes(file.subspan(at, length + 2)));
        return true;
    });
    if (!scan)
        return std::nullopt;
    digests.push_back(digestBytes(file.subspan(*scan)));
    return digests;
}

std::optional<std::vector<std::uint64_t>> webpDigests(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, false);
    std::vector<std::uint64_t> digests;
    std::size_t at = 12;
    while (reader.has(at, 8)) {
        const std::uint32_t length = *reader.u32(at + 4);
        if (!reader.has(at + 8, length))
            return std::nullopt;
        const auto type = file.subspan(at, 4);
        const bool metadata = std::memcmp(type.data(), "EXIF", 4) == 0 || std::memcmp(type.data(), "XMP ", 4) == 0
            || std::memcmp(type.data(), "VP8X", 4) == 0;  // VP8X only carries flags and the canvas size
        if (!metadata)
            digests.push_back(digestBytes(file.subspan(at, 8 + std::size_t(length))));
        at += 8 + std::size_t(length) + (length & 1);
    }
    return digests;
}

std::optional<std::vector<std::uint64_t>> pngDigests(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, true);
    std::vector<std::uint64_t> digests{digestBytes(file.subspan(0, std::min<std::size_t>(8, file.size())))};
    std::size_t at = 8;
    while (reader.has(at, 12)) {
        const std::uint32_t length = *reader.u32(at);
        if (!reader.has(at + 8, std::size_t(length) + 4))
            return std::nullopt;
        if (std::memcmp(file.data() + at + 4, "eXIf", 4) != 0)
            digests.push_back(digestBytes(file.subspan(at, 12 + std::size_t(length))));
        at += 12 + std::size_t(length);
    }
    digests.push_back(digestBytes(file.subspan(std::min(at, file.size()))));
    return digests;
}

} // namespace

std::optional<std::vector<std::uint64_t>> imagePayloadDigests(std::span<const std::uint8_t> file,
                                                              ImageFormat format)
{
    switch (format) {
    case ImageFormat::Jpeg: return jpegDigests(file);
    case ImageFormat::WebP: return webpDigests(file);
    case ImageFormat::Png: return pngDigests(file);
    case ImageFormat::Tiff:
    case ImageFormat::TiffLike: {
        const auto data = readTiffImageData(file, ExifBlock{0, file.size()});
        if (!data)
            return std::nullopt;
        auto digests = data->digests;
        digests.push_back(data->pages);
        return digests;
    }
    default: return std::nullopt;
    }
}

bool jpegHasMultiPictureIndex(std::span<const std::uint8_t> file)
{
    bool found = false;
    walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        if (marker == 0xE2 && length >= 6 && std::memcmp(file.data() + at + 4, "MPF\0", 4) == 0)
            found = true;
        return !found;
    });
    return found;
}

} // namespace shotdate
