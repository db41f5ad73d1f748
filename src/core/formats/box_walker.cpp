#include "formats/box_walker.h"

#include "bytes/byte_reader.h"
#include "bytes/work_meter.h"
#include "formats/item_extents.h"

#include <algorithm>

namespace shotdate {

std::optional<Box> boxHeaderAt(std::span<const std::uint8_t> header, std::size_t at, std::size_t to, bool& damaged)
{
    const ByteReader reader(header, true);
    if (at > to || to - at < 8 || !reader.has(0, 8))
        return std::nullopt;
    std::uint64_t size = *reader.u32(0);
    std::size_t length = 8;
    if (size == 1) {
        const auto high = reader.u32(8);
        const auto low = reader.u32(12);
        if (!high || !low) {
            damaged = true;
            return std::nullopt;
        }
        size = std::uint64_t(*high) << 32 | *low;
        length = 16;
    } else if (size == 0) {
        size = to - at;
    }
    if (size < length || size > to - at) {
        damaged = true;
        return std::nullopt;
    }
    const std::string_view type(reinterpret_cast<const char*>(header.data() + 4), 4);
    if (type == "uuid")
        length += 16;
    if (length > size) {
        damaged = true;
        return std::nullopt;
    }
    return Box{type, at, at + length, at + std::size_t(size)};
}

std::vector<Box> childBoxes(std::span<const std::uint8_t> file, std::size_t from, std::size_t to, bool& damaged)
{
    std::vector<Box> boxes;
    std::size_t at = from;
    to = std::min(to, file.size());
    while (at + 8 <= to) {
        const std::optional<Box> box = boxHeaderAt(file.subspan(at), at, to, damaged);
        if (!box)
            break;
        boxes.push_back(*box);
        at = box->end;
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
