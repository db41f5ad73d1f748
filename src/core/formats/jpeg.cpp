#include "formats/jpeg.h"

#include "bytes/byte_match.h"
#include "bytes/checksums.h"

namespace shotdate {

using namespace std::string_view_literals;

namespace {

struct JpegScan {
    std::optional<ExifBlock> block;
    std::optional<std::size_t> firstScan; // where the first SOS starts, when reached without a block
};

JpegScan scanJpeg(std::span<const std::uint8_t> file)
{
    JpegScan scan;
    scan.firstScan = walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        if (marker == jpeg_marker::app1 && length >= 2 + 6 + 8 && matchesAt(file, at + 4, "Exif\0\0"sv)) {
            ExifBlock& block = scan.block.emplace(ExifBlock{at + 10, length - 8});
            block.containerStart = at;
            block.containerEnd = at + 2 + length;
            block.prefixLength = 6;
            return false;
        }
        return true;
    });
    return scan;
}

} // namespace

bool isJpeg(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "\xFF\xD8\xFF"sv);
}

std::optional<ExifBlock> jpegExifBlock(std::span<const std::uint8_t> file)
{
    return scanJpeg(file).block;
}

std::optional<std::size_t> jpegHeadLength(std::span<const std::uint8_t> head)
{
    const JpegScan scan = scanJpeg(head);
    if (scan.block)
        return scan.block->containerEnd;
    // The walk stops at the marker and the length that follow it.
    if (scan.firstScan)
        return *scan.firstScan + 4;
    return std::nullopt;
}

std::optional<std::size_t> jpegSegmentsLength(std::span<const std::uint8_t> head)
{
    const auto scan = walkJpegSegments(head, [](std::uint8_t, std::size_t, std::size_t) { return true; });
    if (!scan)
        return std::nullopt;
    return *scan + 4;
}

std::optional<std::vector<std::uint64_t>> jpegPictureDigests(std::span<const std::uint8_t> file)
{
    std::vector<std::uint64_t> digests;
    const auto scan = walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        const bool metadata =
            (marker >= jpeg_marker::app0 && marker <= jpeg_marker::app15) || marker == jpeg_marker::com;
        if (!metadata)
            digests.push_back(digestBytes(file.subspan(at, length + 2)));
        return true;
    });
    if (!scan)
        return std::nullopt;
    digests.push_back(digestBytes(file.subspan(*scan)));
    return digests;
}

bool jpegHasMultiPictureIndex(std::span<const std::uint8_t> file)
{
    bool found = false;
    walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        if (marker == jpeg_marker::app2 && length >= 6 && matchesAt(file, at + 4, "MPF\0"sv))
            found = true;
        return !found;
    });
    return found;
}

} // namespace shotdate
