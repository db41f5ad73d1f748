#include "formats/webp.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"
#include "bytes/checksums.h"

namespace shotdate {

using namespace std::string_view_literals;

bool isWebP(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "RIFF"sv) && matchesAt(file, 8, "WEBP"sv);
}

std::optional<ExifBlock> webpExifBlock(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, false);
    std::size_t at = 12;
    while (reader.has(at, 8)) {
        const std::uint32_t length = *reader.u32(at + 4);
        if (!reader.has(at + 8, length))
            return std::nullopt;
        if (matchesAt(file, at, "EXIF"sv)) {
            ExifBlock block{at + 8, length};
            block.containerStart = at;
            block.containerEnd = at + 8 + std::size_t(length) + (length & 1);
            // Some writers keep the JPEG-style "Exif\0\0" prefix inside the chunk.
            if (length >= 6 && matchesAt(file, at + 8, "Exif\0\0"sv)) {
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

std::optional<std::size_t> webpHeadLength(std::span<const std::uint8_t> head)
{
    const auto block = webpExifBlock(head);
    if (block && block->size >= 8 && block->containerEnd <= head.size())
        return block->containerEnd;
    return std::nullopt;
}

std::optional<std::vector<std::uint64_t>> webpPictureDigests(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, false);
    std::vector<std::uint64_t> digests;
    std::size_t at = 12;
    while (reader.has(at, 8)) {
        const std::uint32_t length = *reader.u32(at + 4);
        if (!reader.has(at + 8, length))
            return std::nullopt;
        const bool metadata = matchesAt(file, at, "EXIF"sv) || matchesAt(file, at, "XMP "sv)
            || matchesAt(file, at, "VP8X"sv); // VP8X only carries flags and the canvas size
        if (!metadata)
            digests.push_back(digestBytes(file.subspan(at, 8 + std::size_t(length))));
        at += 8 + std::size_t(length) + (length & 1);
    }
    return digests;
}

std::optional<std::vector<std::uint8_t>> webpSpliceExif(std::span<const std::uint8_t> file, const ExifBlock& block,
                                                        std::span<const std::uint8_t> tiff)
{
    if (block.containerEnd > file.size() || block.containerStart > block.containerEnd || tiff.size() > 0x7FFFFFF0u)
        return std::nullopt;
    const auto putLittle = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
    };
    std::vector<std::uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(block.containerStart));
    const std::size_t length = block.prefixLength + tiff.size();
    out.insert(out.end(), {'E', 'X', 'I', 'F'});
    putLittle(out, std::uint32_t(length));
    out.insert(out.end(), file.begin() + std::ptrdiff_t(block.offset - block.prefixLength),
               file.begin() + std::ptrdiff_t(block.offset));
    out.insert(out.end(), tiff.begin(), tiff.end());
    if (length & 1)
        out.push_back(0);
    out.insert(out.end(), file.begin() + std::ptrdiff_t(block.containerEnd), file.end());
    const std::uint32_t riff = std::uint32_t(out.size() - 8);
    out[4] = std::uint8_t(riff);
    out[5] = std::uint8_t(riff >> 8);
    out[6] = std::uint8_t(riff >> 16);
    out[7] = std::uint8_t(riff >> 24);
    return out;
}

} // namespace shotdate
