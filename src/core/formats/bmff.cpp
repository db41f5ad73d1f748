#include "formats/bmff.h"

#include "bytes/byte_match.h"

#include <algorithm>
#include <cstring>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kMaxItems = 100000;

// Reads big-endian fields of 0 to 8 bytes, never past `end`.
class Cursor {
public:
    Cursor(std::span<const std::uint8_t> file, std::size_t at, std::size_t end)
        : file_(file), at_(at), end_(std::min(end, file.size()))
    {}

    std::optional<std::uint64_t> read(std::size_t bytes)
    {
        if (bytes > 8 || at_ > end_ || bytes > end_ - at_)
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            value = value << 8 | file_[at_ + i];
        at_ += bytes;
        return value;
    }
    bool skip(std::size_t bytes)
    {
        if (at_ > end_ || bytes > end_ - at_)
            return false;
        at_ += bytes;
        return true;
    }
    std::size_t at() const { return at_; }

private:
    std::span<const std::uint8_t> file_;
    std::size_t at_;
    std::size_t end_;
};

// An item's entry in an iinf box: its ID, its type's four bytes at
// `typeAt`, and where the entry ends.
struct ItemInfo {
    std::uint32_t id = 0;
    std::size_t typeAt = 0;
    std::size_t end = 0;
};

// The item entries (infe version 2 or later) of an iinf box; `damaged` when
// the box itself cannot be read.
std::vector<ItemInfo> itemInfos(std::span<const std::uint8_t> file, const Box& iinf, bool& damaged)
{
    std::vector<ItemInfo> items;
    Cursor cursor(file, iinf.payload, iinf.end);
    const auto version = cursor.read(1);
    if (!version || !cursor.skip(3) || !cursor.read(*version == 0 ? 2 : 4)) {
        damaged = true;
        return items;
    }
    for (const auto& infe : childBoxes(file, cursor.at(), iinf.end, damaged)) {
        if (infe.type != "infe")
            continue;
        Cursor entry(file, infe.payload, infe.end);
        const auto infeVersion = entry.read(1);
        if (!infeVersion || !entry.skip(3) || *infeVersion < 2)
            continue;
        const auto id = entry.read(*infeVersion == 2 ? 2 : 4);
        if (!id || !entry.skip(2) || entry.at() + 4 > infe.end)
            continue;
        items.push_back({std::uint32_t(*id), entry.at(), infe.end});
    }
    return items;
}

// The item ID of the first "Exif" item in an iinf box.
std::optional<std::uint32_t> exifItemId(std::span<const std::uint8_t> file, const Box& iinf, bool& damaged)
{
    for (const ItemInfo& item : itemInfos(file, iinf, damaged))
        if (std::memcmp(file.data() + item.typeAt, "Exif", 4) == 0)
            return item.id;
    return std::nullopt;
}

// The item IDs of the XMP items in an iinf box: "mime" items whose content
// type is application/rdf+xml.
std::vector<std::uint32_t> xmpItemIds(std::span<const std::uint8_t> file, const Box& iinf)
{
    constexpr std::string_view kRdf = "application/rdf+xml";
    std::vector<std::uint32_t> ids;
    bool damaged = false;
    for (const ItemInfo& item : itemInfos(file, iinf, damaged)) {
        if (std::memcmp(file.data() + item.typeAt, "mime", 4) != 0)
            continue;
        // The item's name, then its content type, each ending in a NUL.
        const auto* begin = file.data() + item.typeAt + 4;
        const auto* end = file.data() + std::min(item.end, file.size());
        const auto* nameEnd = std::find(begin, end, std::uint8_t(0));
        if (nameEnd == end)
            continue;
        const auto* typeEnd = std::find(nameEnd + 1, end, std::uint8_t(0));
        const std::string_view type(reinterpret_cast<const char*>(nameEnd + 1), std::size_t(typeEnd - nameEnd - 1));
        if (type == kRdf)
            ids.push_back(item.id);
    }
    return ids;
}

// The extents of `itemId` as file positions, from an iloc box.
bool itemExtents(std::span<const std::uint8_t> file, const Box& iloc, const std::optional<Box>& idat,
                 std::uint32_t itemId, std::vector<GatheredExif::Piece>& pieces)
{
    Cursor c(file, iloc.payload, iloc.end);
    const auto version = c.read(1);
    if (!version || *version > 2 || !c.skip(3))
        return false;
    const auto sizes = c.read(1);
    const auto sizes2 = c.read(1);
    if (!sizes || !sizes2)
        return false;
    const std::size_t offsetSize = *sizes >> 4, lengthSize = *sizes & 15, baseSize = *sizes2 >> 4;
    const std::size_t indexSize = (*version == 1 || *version == 2) ? (*sizes2 & 15) : 0;
    const auto count = c.read(*version < 2 ? 2 : 4);
    if (!count || *count > kMaxItems)
        return false;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const auto id = c.read(*version < 2 ? 2 : 4);
        std::uint64_t method = 0;
        if (*version == 1 || *version == 2) {
            const auto field = c.read(2);
            if (!field)
                return false;
            method = *field & 15;
        }
        const auto reference = c.read(2);
        const auto base = c.read(baseSize);
        const auto extents = c.read(2);
        if (!id || !reference || !base || !extents)
            return false;
        // Fields of no size read nothing: another item's extents would be
        // counted through up to 65535 times for no bytes at all.
        const bool empty = indexSize + offsetSize + lengthSize == 0 && *id != itemId;
        for (std::uint64_t e = 0; !empty && e < *extents; ++e) {
            if (!c.skip(indexSize))
                return false;
            const auto offset = c.read(offsetSize);
            const auto length = c.read(lengthSize);
            if (!offset || !length)
                return false;
            if (*id != itemId)
                continue;
            // Only data in this file, in the file itself or in its idat box.
            if (*reference != 0 || *length == 0 || method > 1 || (method == 1 && !idat))
                return false;
            const std::uint64_t origin = method == 1 ? idat->payload : 0;
            const std::uint64_t start = origin + *base + *offset;
            if (start > file.size() || *length > file.size() - start)
                return false;
            pieces.push_back({std::size_t(start), std::size_t(*length)});
        }
        if (*id == itemId)
            return !pieces.empty();
    }
    return false;
}

BoxExifStatus heifExif(std::span<const std::uint8_t> file, GatheredExif& out)
{
    bool damaged = false;
    const auto top = childBoxes(file, 0, file.size(), damaged);
    const auto meta = findBox(top, "meta");
    if (!meta)
        return damaged ? BoxExifStatus::Unreadable : BoxExifStatus::NoExif;
    const auto inner = childBoxes(file, meta->payload + 4, meta->end, damaged); // meta is a full box
    const auto iinf = findBox(inner, "iinf");
    const auto iloc = findBox(inner, "iloc");
    if (!iinf || !iloc)
        return BoxExifStatus::Unreadable;
    const auto id = exifItemId(file, *iinf, damaged);
    if (!id)
        return damaged ? BoxExifStatus::Unreadable : BoxExifStatus::NoExif;
    std::vector<GatheredExif::Piece> pieces;
    if (!itemExtents(file, *iloc, findBox(inner, "idat"), *id, pieces) || !gatherExifItem(file, pieces, out))
        return BoxExifStatus::Unreadable;
    return BoxExifStatus::Found;
}

BoxExifStatus cr3Exif(std::span<const std::uint8_t> file, GatheredExif& out)
{
    static constexpr std::uint8_t kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                                    0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
    bool damaged = false;
    const auto top = childBoxes(file, 0, file.size(), damaged);
    const auto moov = findBox(top, "moov");
    if (!moov)
        return BoxExifStatus::Unreadable;
    for (const auto& box : childBoxes(file, moov->payload, moov->end, damaged)) {
        if (box.type != "uuid" || std::memcmp(file.data() + box.start + 8, kCanonUuid, 16) != 0)
            continue;
        const auto cmt2 = findBox(childBoxes(file, box.payload, box.end, damaged), "CMT2");
        if (!cmt2)
            return BoxExifStatus::NoExif;
        out.tiff.assign(file.begin() + std::ptrdiff_t(cmt2->payload), file.begin() + std::ptrdiff_t(cmt2->end));
        out.pieces.push_back({cmt2->payload, cmt2->end - cmt2->payload});
        out.exifTagsInFirstIfd = true;
        return out.tiff.size() >= 8 ? BoxExifStatus::Found : BoxExifStatus::Unreadable;
    }
    return BoxExifStatus::Unreadable;
}

bool isCr3(std::span<const std::uint8_t> file)
{
    return file.size() >= 12 && std::memcmp(file.data() + 8, "crx ", 4) == 0;
}

} // namespace

bool isBmff(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 4, "ftyp"sv);
}

BoxExifStatus bmffGatherExif(std::span<const std::uint8_t> file, GatheredExif& out)
{
    return isCr3(file) ? cr3Exif(file, out) : heifExif(file, out);
}

std::vector<XmpPacketPlace> bmffXmpPackets(std::span<const std::uint8_t> file)
{
    static constexpr std::uint8_t kXmpUuid[16] = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                                                  0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};
    std::vector<XmpPacketPlace> places;
    bool damaged = false;
    const auto top = childBoxes(file, 0, file.size(), damaged);
    for (const auto& box : top)
        if (box.type == "uuid" && std::memcmp(file.data() + box.start + 8, kXmpUuid, 16) == 0)
            places.push_back({box.payload, box.end - box.payload});
    const auto meta = findBox(top, "meta");
    if (!meta)
        return places;
    const auto inner = childBoxes(file, meta->payload + 4, meta->end, damaged);
    const auto iinf = findBox(inner, "iinf");
    const auto iloc = findBox(inner, "iloc");
    if (!iinf || !iloc)
        return places;
    for (const std::uint32_t id : xmpItemIds(file, *iinf)) {
        // An item in several extents is left alone: its text is not one run of bytes.
        std::vector<GatheredExif::Piece> pieces;
        if (itemExtents(file, *iloc, findBox(inner, "idat"), id, pieces) && pieces.size() == 1)
            places.push_back({pieces[0].fileOffset, pieces[0].length});
    }
    return places;
}

} // namespace shotdate
