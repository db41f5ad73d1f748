#include "metadata/ifd_compare.h"

#include "bytes/byte_reader.h"
#include "metadata/ifd_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {

namespace {

constexpr std::uint16_t kMakerNote = 0x927C;

bool isLayoutTag(std::uint16_t tag)
{
    switch (tag) {
    case 0x8769:
    case 0x8825:
    case 0xA005:
    case 0x014A: // pointers to IFDs
    case 0x0111:
    case 0x0144:
    case 0x0201: // strip, tile, thumbnail offsets
        return true;
    default: return false;
    }
}

bool isExifIfd(const std::string& path)
{
    return path.size() >= 5 && path.compare(path.size() - 5, 5, "/Exif") == 0;
}

// Entries in tag order: a writer may sort a table it lays out again.
std::vector<IfdEntryView> kept(const IfdView& ifd, std::span<const std::uint16_t> alsoChanged)
{
    std::vector<IfdEntryView> list;
    const bool exif = isExifIfd(ifd.path);
    for (const auto& e : ifd.entries)
        if (!(exif && (e.tag == 0x9003 || e.tag == 0x9004))
            && std::find(alsoChanged.begin(), alsoChanged.end(), e.tag) == alsoChanged.end())
            list.push_back(e);
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    return list;
}

// A MakerNote that is an IFD, read with its entries' values looked up from
// `base` (the TIFF header or the note's own start, as makers differ).
struct NoteLayout {
    std::size_t skip; // header bytes before the IFD
    std::optional<std::size_t> origin; // value offsets count from here in the note (else from the TIFF header)
};

std::optional<std::vector<std::pair<std::array<std::uint32_t, 3>, std::span<const std::uint8_t>>>> noteEntries(
    std::span<const std::uint8_t> tiff, bool big, std::size_t noteAt, std::size_t noteSize, NoteLayout layout)
{
    const ByteReader reader(tiff, big);
    const std::size_t at = noteAt + layout.skip;
    const auto count = reader.u16(at);
    if (layout.skip >= noteSize || !count || *count == 0 || *count > 1024
        || !reader.has(at + 2, std::size_t(*count) * 12))
        return std::nullopt;
    std::vector<std::pair<std::array<std::uint32_t, 3>, std::span<const std::uint8_t>>> list;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = at + 2 + i * 12;
        const std::uint16_t type = *reader.u16(entry + 2);
        const std::uint32_t n = *reader.u32(entry + 4);
        static constexpr std::uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        if (type == 0 || type >= sizeof kSizes)
            return std::nullopt;
        const std::uint64_t size = std::uint64_t(kSizes[type]) * n;
        std::uint64_t valueAt = entry + 8;
        if (size > 4)
            valueAt = std::uint64_t(*reader.u32(entry + 8)) + (layout.origin ? noteAt + *layout.origin : 0);
        if (valueAt > tiff.size() || size > tiff.size() - valueAt)
            return std::nullopt;
        list.push_back({{*reader.u16(entry), type, n}, tiff.subspan(std::size_t(valueAt), std::size_t(size))});
    }
    return list;
}

bool sameEntryValues(const auto& a, const auto& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].first != b[i].first
            || !std::equal(a[i].second.begin(), a[i].second.end(), b[i].second.begin(), b[i].second.end()))
            return false;
    return true;
}

bool sameMakerNote(std::span<const std::uint8_t> before, bool big, const IfdEntryView& a,
                   std::span<const std::uint8_t> after, const IfdEntryView& b)
{
    const auto va = ifdValue(before, a);
    const auto vb = ifdValue(after, b);
    if (!va || !vb)
        return false;
    if (std::equal(va->begin(), va->end(), vb->begin(), vb->end()))
        return true;
    if (va->size() != vb->size())
        return false;
    // The maker's header is part of the bytes compared above only through
    // the entries: it must be the same too.
    static constexpr std::size_t kSkips[] = {0, 8, 10, 12, 14, 18, 26};
    for (const std::size_t skip : kSkips) {
        if (skip > va->size() || !std::equal(va->begin(), va->begin() + std::ptrdiff_t(skip), vb->begin()))
            continue;
        // Some notes carry a TIFF header of their own (10 bytes in), with
        // its own byte order, and count their offsets from it.
        const bool ownHeader = skip == 18 && ((*va)[10] == 'M' || (*va)[10] == 'I') && (*va)[10] == (*va)[11];
        const bool order = ownHeader ? (*va)[10] == 'M' : big;
        const std::optional<std::size_t> origins[] = {std::nullopt, 0, 10};
        for (const auto& origin : origins) {
            const NoteLayout layout{skip, origin};
            const auto ea = noteEntries(before, order, a.valueOffset, va->size(), layout);
            const auto eb = noteEntries(after, order, b.valueOffset, vb->size(), layout);
            if (ea && eb && sameEntryValues(*ea, *eb))
                return true;
        }
    }
    return false;
}

bool sameEntries(std::span<const std::uint8_t> before, bool big, const IfdView& a, std::span<const std::uint8_t> after,
                 const IfdView& b, std::span<const std::uint16_t> alsoChanged)
{
    const auto ea = kept(a, alsoChanged);
    const auto eb = kept(b, alsoChanged);
    if (ea.size() != eb.size())
        return false;
    for (std::size_t i = 0; i < ea.size(); ++i) {
        const IfdEntryView& x = ea[i];
        const IfdEntryView& y = eb[i];
        if (x.tag != y.tag)
            return false;
        if (isLayoutTag(x.tag)) {
            // Offsets may move and be written as SHORT or LONG; how many
            // there are may not change.
            if (x.count != y.count)
                return false;
            continue;
        }
        if (x.type != y.type || x.count != y.count)
            return false;
        if (x.tag == kMakerNote) {
            if (!sameMakerNote(before, big, x, after, y))
                return false;
            continue;
        }
        const auto vx = ifdValue(before, x);
        const auto vy = ifdValue(after, y);
        if (vx.has_value() != vy.has_value())
            return false;
        if (vx && !std::equal(vx->begin(), vx->end(), vy->begin(), vy->end()))
            return false;
    }
    return true;
}

} // namespace

bool sameIfdsOutsideDates(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                          std::span<const std::uint16_t> alsoChanged)
{
    const auto a = walkIfdTree(before, before.size());
    const auto b = walkIfdTree(after, after.size());
    if (!a || !b || a->bigEndian != b->bigEndian)
        return false;
    std::map<std::string, const IfdView*> afterByPath;
    for (const auto& ifd : b->ifds)
        afterByPath.emplace(ifd.path, &ifd);
    if (afterByPath.size() != b->ifds.size())
        return false;
    std::size_t matched = 0;
    for (const auto& ifd : a->ifds) {
        const auto found = afterByPath.find(ifd.path);
        if (found == afterByPath.end())
            return false;
        const IfdView& other = *found->second;
        ++matched;
        if (ifd.broken != other.broken || ifd.repeated != other.repeated)
            return false;
        if (!ifd.broken && !ifd.repeated && !sameEntries(before, a->bigEndian, ifd, after, other, alsoChanged))
            return false;
    }
    return matched == b->ifds.size();
}

} // namespace shotdate
