#include "formats/exif_block.h"

#include "bytes/byte_reader.h"
#include "formats/jpeg_segments.h"

#include <array>
#include <cstring>

namespace shotdate {

namespace {

bool matches(std::span<const std::uint8_t> file, std::size_t at, const char* magic, std::size_t length)
{
    return at <= file.size() && length <= file.size() - at && std::memcmp(file.data() + at, magic, length) == 0;
}

struct JpegScan {
    std::optional<ExifBlock> block;
    std::optional<std::size_t> firstScan;  // where the first SOS starts, when reached without a block
};

JpegScan scanJpeg(std::span<const std::uint8_t> file)
{
    JpegScan scan;
    scan.firstScan = walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        if (marker == 0xE1 && length >= 2 + 6 + 8 && matches(file, at + 4, "Exif\0\0", 6)) {
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

std::optional<ExifBlock> pngBlock(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, true);
    std::size_t at = 8;
    while (reader.has(at, 12)) {
        const std::uint32_t length = *reader.u32(at);
        if (!reader.has(at + 8, std::size_t(length) + 4))
            return std::nullopt;
        if (matches(file, at + 4, "eXIf", 4)) {
            ExifBlock block{at + 8, length, true, at + 4, std::size_t(length) + 4};
            block.containerStart = at;
            block.containerEnd = at + 12 + std::size_t(length);
            return block;
        }
        if (matches(file, at + 4, "IEND", 4))
            return std::nullopt;
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

std::optional<ExifBlock> webpBlock(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, false);
    std::size_t at = 12;
    while (reader.has(at, 8)) {
        const std::uint32_t length = *reader.u32(at + 4);
        if (!reader.has(at + 8, length))
            return std::nullopt;
        if (matches(file, at, "EXIF", 4)) {
            ExifBlock block{at + 8, length};
            block.containerStart = at;
            block.containerEnd = at + 8 + std::size_t(length) + (length & 1);
            // Some writers keep the JPEG-style "Exif\0\0" prefix inside the chunk.
            if (length >= 6 && matches(file, at + 8, "Exif\0\0", 6)) {
                block.offset += 6;
                block.size -= 6;
                block.prefixLength = 6;
            }
            return block;
        }
        at += 8 + std::size_t(length) + (length & 1);
    }
    return std::nullopt;
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const auto b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace

std::optional<ExifBlock> locateExifBlock(std::span<const std::uint8_t> file, ImageFormat format)
{
    std::optional<ExifBlock> block;
    switch (format) {
    case ImageFormat::Jpeg: block = scanJpeg(file).block; break;
    case ImageFormat::Tiff:
    case ImageFormat::TiffLike: block = ExifBlock{0, file.size()}; break;
    case ImageFormat::Png: block = pngBlock(file); break;
    case ImageFormat::WebP: block = webpBlock(file); break;
    default: break;
    }
    if (block && block->containerEnd == 0) {  // the file itself is the block
        block->containerEnd = file.size();
    }
    if (block && block->size < 8)
        return std::nullopt;
    return block;
}

std::optional<std::size_t> exifHeadLength(std::span<const std::uint8_t> head, ImageFormat format)
{
    switch (format) {
    case ImageFormat::Jpeg: {
        const JpegScan scan = scanJpeg(head);
        if (scan.block)
            return scan.block->containerEnd;
        // The walk stops at the marker and the length that follow it.
        if (scan.firstScan)
            return *scan.firstScan + 4;
        return std::nullopt;
    }
    // The dates of a TIFF may lie anywhere: the rewrite reads what the head
    // holds and says when it needed more.
    case ImageFormat::Tiff:
    case ImageFormat::TiffLike: return head.size();
    case ImageFormat::Png:
    case ImageFormat::WebP: {
        const auto block = locateExifBlock(head, format);
        if (block && block->containerEnd <= head.size())
            return block->containerEnd;
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> spliceExifBlock(std::span<const std::uint8_t> file, ImageFormat format,
                                                         const ExifBlock& block,
                                                         std::span<const std::uint8_t> tiff)
{
    if ((format != ImageFormat::Png && format != ImageFormat::WebP) || block.containerEnd > file.size()
        || block.containerStart > block.containerEnd || tiff.size() > 0x7FFFFFF0u)
        return std::nullopt;
    const auto putBig = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    };
    const auto putLittle = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
    };
    std::vector<std::uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(block.containerStart));
    if (format == ImageFormat::Png) {
        putBig(out, std::uint32_t(tiff.size()));
        const std::size_t typeAt = out.size();
        out.insert(out.end(), {'e', 'X', 'I', 'f'});
        out.insert(out.end(), tiff.begin(), tiff.end());
        putBig(out, crc32(std::span(out).subspan(typeAt)));
    } else {
        const std::size_t length = block.prefixLength + tiff.size();
        out.insert(out.end(), {'E', 'X', 'I', 'F'});
        putLittle(out, std::uint32_t(length));
        out.insert(out.end(), file.begin() + std::ptrdiff_t(block.offset - block.prefixLength),
                   file.begin() + std::ptrdiff_t(block.offset));
        out.insert(out.end(), tiff.begin(), tiff.end());
        if (length & 1)
            out.push_back(0);
    }
    out.insert(out.end(), file.begin() + std::ptrdiff_t(block.containerEnd), file.end());
    if (format == ImageFormat::WebP) {
        const std::uint32_t riff = std::uint32_t(out.size() - 8);
        out[4] = std::uint8_t(riff);
        out[5] = std::uint8_t(riff >> 8);
        out[6] = std::uint8_t(riff >> 16);
        out[7] = std::uint8_t(riff >> 24);
    }
    return out;
}

FilePatch chunkCrcPatch(std::span<const std::uint8_t> file, const ExifBlock& block,
                        const std::vector<FilePatch>& patches)
{
    std::vector<std::uint8_t> chunk(file.begin() + std::ptrdiff_t(block.crcStart),
                                    file.begin() + std::ptrdiff_t(block.crcStart + block.crcLength));
    for (const FilePatch& patch : patches)
        for (std::size_t i = 0; i < patch.bytes.size(); ++i)
            if (patch.offset + i >= block.crcStart && patch.offset + i < block.crcStart + block.crcLength)
                chunk[patch.offset + i - block.crcStart] = patch.bytes[i];
    const std::uint32_t crc = crc32(chunk);
    return {block.crcStart + block.crcLength,
            {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8), std::uint8_t(crc)}};
}

} // namespace shotdate
