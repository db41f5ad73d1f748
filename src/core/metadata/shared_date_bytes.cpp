#include "metadata/shared_date_bytes.h"

#include "bytes/work_meter.h"
#include "metadata/ifd_tree.h"

#include <algorithm>
#include <utility>

namespace shotdate {

namespace {

using Range = std::pair<std::uint64_t, std::uint64_t>; // [first, last) inside the block

constexpr std::uint16_t kDataPairs[][2] = {{0x0111, 0x0117}, {0x0144, 0x0145}, {0x0201, 0x0202}};

const IfdEntryView* findTag(const IfdView& ifd, std::uint16_t tag)
{
    for (const auto& e : ifd.entries)
        if (e.tag == tag)
            return &e;
    return nullptr;
}

} // namespace

bool refuseDatesInSharedBytes(std::span<const std::uint8_t> file, const ExifBlock& block,
                              const std::vector<DateField*>& fields)
{
    auto refuseAll = [&] {
        for (DateField* field : fields)
            field->patchable = false;
    };
    if (block.offset > file.size()) {
        refuseAll();
        return true;
    }
    const auto tiff = file.subspan(block.offset, std::min(block.size, file.size() - block.offset));
    const auto tree = walkIfdTree(tiff, std::max(block.size, tiff.size()));
    if (!tree) {
        refuseAll();
        return true;
    }
    bool complete = !tree->incomplete;
    // The fields' own values, inside the block, by tag: another tag's value
    // at the same place is something else sharing the bytes.
    std::vector<std::pair<std::uint16_t, std::uint64_t>> dates;
    for (const DateField* field : fields)
        if (field->present && field->valueOffset >= block.offset)
            dates.push_back({field->tag, field->valueOffset - block.offset});
    std::sort(dates.begin(), dates.end());

    std::vector<Range> used{{0, 8}};
    // Sound files list each strip once; numbers read are bounded by the
    // block's size, so that entries pointing many times at one long array
    // cannot multiply the work.
    std::uint64_t budget = std::uint64_t(block.size) * 2 + (1u << 16);
    for (const IfdView& ifd : tree->ifds) {
        if (ifd.broken || ifd.repeated)
            continue;
        used.push_back({ifd.offset, ifd.offset + 2 + ifd.entries.size() * 12 + 4});
        for (const IfdEntryView& e : ifd.entries) {
            if (e.valueSize <= 4 || !e.inBounds)
                continue;
            if (std::binary_search(dates.begin(), dates.end(), std::pair{e.tag, std::uint64_t(e.valueOffset)}))
                continue;
            used.push_back({e.valueOffset, e.valueOffset + e.valueSize}); // valueSize > 4
        }
        for (const auto& pair : kDataPairs) {
            const IfdEntryView* offsets = findTag(ifd, pair[0]);
            const IfdEntryView* lengths = findTag(ifd, pair[1]);
            if (!offsets || !lengths)
                continue;
            if (offsets->valueSize + lengths->valueSize > budget) {
                refuseAll();
                return true;
            }
            budget -= offsets->valueSize + lengths->valueSize;
            const auto starts = ifdNumbers(tiff, tree->bigEndian, *offsets);
            const auto sizes = ifdNumbers(tiff, tree->bigEndian, *lengths);
            if ((starts.empty() && offsets->inBounds && offsets->valueOffset + offsets->valueSize > tiff.size())
                || (sizes.empty() && lengths->inBounds && lengths->valueOffset + lengths->valueSize > tiff.size()))
                complete = false;
            for (std::size_t i = 0; i < starts.size() && i < sizes.size(); ++i)
                if (sizes[i] > 0)
                    used.push_back({starts[i], starts[i] + sizes[i]});
        }
    }
    workMeter().rangesChecked += used.size();

    // Sorted by start, with the furthest end reached so far: one binary
    // search per field tells whether anything before its end reaches into it.
    std::sort(used.begin(), used.end());
    std::vector<std::uint64_t> reach(used.size());
    std::uint64_t furthest = 0;
    for (std::size_t i = 0; i < used.size(); ++i)
        reach[i] = furthest = std::max(furthest, used[i].second);
    for (DateField* field : fields) {
        if (!field->patchable)
            continue;
        if (field->valueOffset < block.offset) {
            field->patchable = false;
            continue;
        }
        const std::uint64_t first = field->valueOffset - block.offset;
        const std::uint64_t last = first + field->width();
        const auto before = std::lower_bound(used.begin(), used.end(), Range{last, 0});
        if (before != used.begin() && reach[std::size_t(before - used.begin()) - 1] > first)
            field->patchable = false;
    }
    return complete;
}

} // namespace shotdate
