#include "formats/box_walker.h"

#include "bytes/byte_reader.h"
#include "bytes/work_meter.h"
#include "formats/item_extents.h"

#include <algorithm>

namespace shotdate {

std::vector<Box> childBoxes(std::span<const std::uint8_t> file, std::size_t from, std::size_t to, bool& damaged)
{
    const ByteReader reader(file, true);
    std::vector<Box> boxes;
    std::size_t at = from;
    while (at + 8 <= to) {
        std::uint64_t size = *reader.u32(at);
        std::size_t header = 8;
        if (size == 1) {
            const auto high = reader.u32(at + 8);
            const auto low = reader.u32(at + 12);
            if (!high || !low) {
                damaged = true;
                break;
            }
            size = std::uint64_t(*high) << 32 | *low;
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at) {
            damaged = true;
            break;
        }
        const std::string_view type(reinterpret_cast<const char*>(file.data() + at + 4), 4);
        if (type == "uuid")
            header += 16;
        if (header > size) {
            damaged = true;
            break;
        }
        boxes.push_back({type, at, at + header, at + std::size_t(size)});
        at += std::size_t(size);
    }
    return boxes;
}

std::optional<Box> findBox(const std::vector<Box>& boxes, std::string_view type)
{
    for (const auto& box : boxes)
        if (box.type == type)
            return box;
    return std::nullopt;
}

std::optional<std::size_t> GatheredExif::fileOffsetOf(std::size_t at) const
{
    for (const auto& piece : pieces) {
        if (at < piece.length)
            return piece.fileOffset + at;
        at -= piece.length;
    }
    return std::nullopt;
}

bool gatherExifItem(std::span<const std::uint8_t> file, std::vector<GatheredExif::Piece> pieces, GatheredExif& out)
{
    if (!extentsFitFile(pieces, file.size()))
        return false;
    std::vector<std::uint8_t> item;
    for (const auto& piece : pieces)
        item.insert(item.end(), file.begin() + std::ptrdiff_t(piece.fileOffset),
                    file.begin() + std::ptrdiff_t(piece.fileOffset + piece.length));
    const ByteReader reader(item, true);
    const auto headerOffset = reader.u32(0);
    if (!headerOffset || *headerOffset > item.size() - 4)
        return false;
    workMeter().bytesGathered += item.size();
    std::size_t skip = 4 + *headerOffset;
    out.tiff.assign(item.begin() + std::ptrdiff_t(skip), item.end());
    for (auto& piece : pieces) {
        const std::size_t drop = std::min(skip, piece.length);
        piece.fileOffset += drop;
        piece.length -= drop;
        skip -= drop;
        if (piece.length > 0)
            out.pieces.push_back(piece);
    }
    return out.tiff.size() >= 8;
}

} // namespace shotdate
