#include "formats/crw.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"

#include <string_view>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kEntrySize = 10;
// Cameras nest heaps three deep and write a few hundred records. Heaps
// that point back at themselves, many times over, stop here.
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxRecords = 1 << 16;

// The top two bits of a record's tag say where its value lies, the next
// three its kind; the rest, with the kind, name it.
constexpr std::uint16_t kLocationMask = 0xC000;
constexpr std::uint16_t kValueInHeap = 0x0000;
constexpr std::uint16_t kKindMask = 0x3800;
constexpr std::uint16_t kHeapKind = 0x2800;
constexpr std::uint16_t kOtherHeapKind = 0x3000;
constexpr std::uint16_t kIdMask = 0x3FFF;
constexpr std::uint16_t kTimeStamp = 0x180E;
constexpr std::uint32_t kTimeStampSize = 12;

struct Heap {
    std::size_t start = 0;
    std::size_t length = 0;
};

struct Walk {
    const ByteReader& reader;
    DateEncoding encoding;
    std::vector<DateSite>& sites;
    std::size_t records = 0;
};

bool walkHeap(Walk& walk, Heap heap, int depth)
{
    const ByteReader& reader = walk.reader;
    if (depth > kMaxDepth || heap.length < 4 || !reader.has(heap.start, heap.length))
        return false;
    const auto tableOffset = reader.u32(heap.start + heap.length - 4);
    if (!tableOffset || *tableOffset > heap.length - 4)
        return false;
    const std::size_t table = heap.start + *tableOffset;
    const std::size_t tableEnd = heap.start + heap.length - 4;
    const auto count = reader.u16(table);
    if (!count || table + 2 > tableEnd || std::size_t(*count) * kEntrySize > tableEnd - table - 2)
        return false;
    walk.records += *count;
    if (walk.records > kMaxRecords)
        return false;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = table + 2 + i * kEntrySize;
        const std::uint16_t tag = *reader.u16(entry);
        if ((tag & kLocationMask) != kValueInHeap)
            continue; // the value is inside the entry itself
        const std::uint32_t size = *reader.u32(entry + 2);
        const std::uint32_t offset = *reader.u32(entry + 6);
        if (offset > heap.length || size > heap.length - offset)
            return false;
        const Heap value{heap.start + offset, size};
        const std::uint16_t kind = tag & kKindMask;
        if (kind == kHeapKind || kind == kOtherHeapKind) {
            if (!walkHeap(walk, value, depth + 1))
                return false;
        } else if ((tag & kIdMask) == kTimeStamp && size >= kTimeStampSize) {
            walk.sites.push_back({value.start, walk.encoding});
        }
    }
    return true;
}

} // namespace

bool isCrw(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "II\x1A\0\0\0HEAPCCDR"sv) || matchesAt(file, 0, "MM\0\0\0\x1AHEAPCCDR"sv);
}

std::optional<std::vector<DateSite>> crwDateSites(std::span<const std::uint8_t> file)
{
    const bool bigEndian = file.size() >= 2 && file[0] == 'M';
    const ByteReader reader(file, bigEndian);
    const auto headerLength = reader.u32(2);
    if (!headerLength || *headerLength > file.size())
        return std::nullopt;
    std::vector<DateSite> sites;
    const DateEncoding encoding =
        bigEndian ? DateEncoding::UnixSeconds32BigEndian : DateEncoding::UnixSeconds32LittleEndian;
    Walk walk{reader, encoding, sites};
    if (!walkHeap(walk, {*headerLength, file.size() - *headerLength}, 0))
        return std::nullopt;
    return sites;
}

} // namespace shotdate
