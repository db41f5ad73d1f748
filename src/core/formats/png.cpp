#include "formats/png.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"
#include "bytes/checksums.h"

#include <algorithm>

namespace shotdate {

using namespace std::string_view_literals;

bool isPng(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "\x89PNG\r\n\x1A\n"sv);
}

std::optional<ExifBlock> pngExifBlock(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, true);
    std::size_t at = 8;
    while (reader.has(at, 12)) {
        const std::uint32_t length = *reader.u32(at);
        if (!reader.has(at + 8, std::size_t(length) + 4))
            return std::nullopt;
        if (matchesAt(file, at + 4, "eXIf"sv)) {
            ExifBlock block{at + 8, length, true, at + 4, std::size_t(length) + 4};
            block.containerStart = at;
            block.containerEnd = at + 12 + std::size_t(length);
            return block;
        }
        if (matchesAt(file, at + 4, "IEND"sv))
            return std::nullopt;
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

std::optional<std::size_t> pngHeadLength(std::span<const std::uint8_t> head)
{
    const auto block = pngExifBlock(head);
    if (block && block->size >= 8 && block->containerEnd <= head.size())
        return block->containerEnd;
    return std::nullopt;
}

std::optional<std::vector<std::uint64_t>> pngPictureDigests(std::span<const std::uint8_t> file)
{
    const ByteReader reader(file, true);
    std::vector<std::uint64_t> digests{digestBytes(file.subspan(0, std::min<std::size_t>(8, file.size())))};
    std::size_t at = 8;
    while (reader.has(at, 12)) {
        const std::uint32_t length = *reader.u32(at);
        if (!reader.has(at + 8, std::size_t(length) + 4))
            return std::nullopt;
        if (!matchesAt(file, at + 4, "eXIf"sv))
            digests.push_back(digestBytes(file.subspan(at, 12 + std::size_t(length))));
        at += 12 + std::size_t(length);
    }
    digests.push_back(digestBytes(file.subspan(std::min(at, file.size()))));
    return digests;
}

std::optional<std::vector<std::uint8_t>> pngSpliceExif(std::span<const std::uint8_t> file, const ExifBlock& block,
                                                       std::span<const std::uint8_t> tiff)
{
    if (block.containerEnd > file.size() || block.containerStart > block.containerEnd || tiff.size() > 0x7FFFFFF0u)
        return std::nullopt;
    const auto putBig = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    };
    std::vector<std::uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(block.containerStart));
    putBig(out, std::uint32_t(tiff.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), {'e', 'X', 'I', 'f'});
    out.insert(out.end(), tiff.begin(), tiff.end());
    putBig(out, crc32(std::span(out).subspan(typeAt)));
    out.insert(out.end(), file.begin() + std::ptrdiff_t(block.containerEnd), file.end());
    return out;
}

FilePatch chunkCrcPatch(std::span<const std::uint8_t> file, std::size_t crcStart, std::size_t crcLength,
                        std::span<const FilePatch> patches)
{
    std::vector<std::uint8_t> chunk(file.begin() + std::ptrdiff_t(crcStart),
                                    file.begin() + std::ptrdiff_t(crcStart + crcLength));
    for (const FilePatch& patch : patches)
        for (std::size_t i = 0; i < patch.bytes.size(); ++i)
            if (patch.offset + i >= crcStart && patch.offset + i < crcStart + crcLength)
                chunk[patch.offset + i - crcStart] = patch.bytes[i];
    const std::uint32_t crc = crc32(chunk);
    return {crcStart + crcLength,
            {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8), std::uint8_t(crc)}};
}

FilePatch pngChunkCrcPatch(std::span<const std::uint8_t> file, const ExifBlock& block,
                           const std::vector<FilePatch>& patches)
{
    return chunkCrcPatch(file, block.crcStart, block.crcLength, patches);
}

} // namespace shotdate
