#include "formats/format_table.h"

#include "bytes/byte_match.h"
#include "formats/bmff.h"
#include "formats/crw.h"
#include "formats/jpeg.h"
#include "formats/jpeg_xl.h"
#include "formats/movie.h"
#include "formats/png.h"
#include "formats/raf.h"
#include "formats/tiff.h"
#include "formats/webp.h"

#include <algorithm>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

// Images recognised so that they are reported as such, never rewritten:
// MRW, X3F and GIF.
bool isRecognisedOnly(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "\0MRM"sv) || matchesAt(file, 0, "FOVb"sv) || matchesAt(file, 0, "GIF8"sv);
}

constexpr ContainerFormat kFormats[] = {
    {.type = ImageFormat::Jpeg,
     .name = "JPEG",
     .sniff = isJpeg,
     .rewritable = true,
     .exifBlock = jpegExifBlock,
     .headLength = jpegHeadLength,
     .pictureDigests = jpegPictureDigests,
     .dateAddition = DateAddition::WholeFile,
     .keepsLayout = jpegHasMultiPictureIndex,
     .xmpPackets = jpegXmpPackets,
     .xmpHeadLength = jpegXmpHeadLength},
    {.type = ImageFormat::Tiff,
     .name = "TIFF",
     .sniff = isTiff,
     .rewritable = true,
     .exifBlock = tiffExifBlock,
     .fileIsExifBlock = true,
     .headLength = tiffHeadLength,
     .pictureDigests = tiffPictureDigests,
     .dateAddition = DateAddition::WholeFile,
     .xmpPackets = tiffXmpPackets,
     .xmpHeadLength = tiffHeadLength},
    {.type = ImageFormat::TiffLike,
     .name = "TIFF-like raw",
     .sniff = isTiffLike,
     .rewritable = true,
     .exifBlock = tiffExifBlock,
     .fileIsExifBlock = true,
     .headLength = tiffHeadLength,
     .pictureDigests = tiffPictureDigests,
     .xmpPackets = tiffXmpPackets,
     .xmpHeadLength = tiffHeadLength},
    {.type = ImageFormat::Png,
     .name = "PNG",
     .sniff = isPng,
     .rewritable = true,
     .exifBlock = pngExifBlock,
     .headLength = pngHeadLength,
     .pictureDigests = pngPictureDigests,
     .dateAddition = DateAddition::SpliceBlock,
     .spliceExif = pngSpliceExif,
     .checksumPatch = pngChunkCrcPatch,
     .xmpPackets = pngXmpPackets,
     .xmpHeadLength = pngXmpHeadLength},
    {.type = ImageFormat::WebP,
     .name = "WebP",
     .sniff = isWebP,
     .rewritable = true,
     .exifBlock = webpExifBlock,
     .headLength = webpHeadLength,
     .pictureDigests = webpPictureDigests,
     .dateAddition = DateAddition::SpliceBlock,
     .spliceExif = webpSpliceExif,
     .xmpPackets = webpXmpPackets,
     .xmpHeadLength = webpXmpHeadLength},
    // Before the HEIF row: both open with ftyp, and the brand tells them apart.
    {.type = ImageFormat::Movie, .name = "MOV/MP4", .sniff = isMovie, .rewritable = true, .datesInMovieHeader = true},
    {.type = ImageFormat::Bmff,
     .name = "HEIF/AVIF/CR3",
     .sniff = isBmff,
     .rewritable = true,
     .gatherExif = bmffGatherExif,
     .xmpPackets = bmffXmpPackets},
    {.type = ImageFormat::JpegXl,
     .name = "JPEG XL",
     .sniff = isJpegXl,
     .rewritable = true,
     .gatherExif = jpegXlGatherExif,
     .xmpPackets = jpegXlXmpPackets},
    {.type = ImageFormat::Raf,
     .name = "RAF",
     .sniff = isRaf,
     .rewritable = true,
     .exifBlock = rafExifBlock,
     .headLength = rafHeadLength},
    {.type = ImageFormat::Crw, .name = "CRW", .sniff = isCrw, .rewritable = true, .dateSites = crwDateSites},
    {.type = ImageFormat::Other, .name = "other image", .sniff = isRecognisedOnly},
};

} // namespace

std::span<const ContainerFormat> formatTable()
{
    return kFormats;
}

const ContainerFormat* containerFormat(ImageFormat type)
{
    for (const ContainerFormat& row : kFormats)
        if (row.type == type)
            return &row;
    return nullptr;
}

ImageFormat sniffFormat(std::span<const std::uint8_t> bytes)
{
    for (const ContainerFormat& row : kFormats)
        if (row.sniff(bytes))
            return row.type;
    return ImageFormat::Unknown;
}

std::string_view formatName(ImageFormat format)
{
    const ContainerFormat* row = containerFormat(format);
    return row ? row->name : "unknown";
}

std::optional<ExifBlock> locateExifBlock(std::span<const std::uint8_t> file, const ContainerFormat& format)
{
    std::optional<ExifBlock> block = format.exifBlock ? format.exifBlock(file) : std::nullopt;
    if (block && block->size < 8)
        return std::nullopt;
    return block;
}

std::optional<std::size_t> exifHeadLength(std::span<const std::uint8_t> head, ImageFormat format)
{
    const ContainerFormat* row = containerFormat(format);
    return row && row->headLength ? row->headLength(head) : std::nullopt;
}

std::optional<std::size_t> allDatesHeadLength(std::span<const std::uint8_t> head, ImageFormat format)
{
    const std::optional<std::size_t> exif = exifHeadLength(head, format);
    const ContainerFormat* row = containerFormat(format);
    if (!exif || !row || !row->xmpPackets)
        return exif;
    const std::optional<std::size_t> xmp = row->xmpHeadLength ? row->xmpHeadLength(head) : std::nullopt;
    if (!xmp)
        return std::nullopt;
    return std::max(*exif, *xmp);
}

} // namespace shotdate
