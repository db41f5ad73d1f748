#include "metadata/ifd_tree.h"

#include "bytes/byte_reader.h"
#include "metadata/format_constants.h"

#include <set>

namespace shotdate {

namespace {

constexpr std::size_t kMaxIfds = 4096;
constexpr std::size_t kMaxDepth = 8;
constexpr std::size_t kMaxSubIfds = 256;
constexpr std::size_t kEntryAllowance = 4096;

std::uint64_t typeSize(std::uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13: return 4;
    case 5:
    case 10:
    case 12: return 8;
    default: return 0;
    }
}

struct Pending {
    std::string path;
    std::size_t offset;
    std::size_t depth;
};

class Walker {
public:
    Walker(std::span<const std::uint8_t> tiff, std::size_t blockSize, bool big)
        : reader_(tiff, big), blockSize_(blockSize),
          // Tables of a sound file never overlap, so their entries cannot
          // outnumber what the block holds; overlapping tables could repeat
          // each entry thousands of times.
          entryBudget_(blockSize / 12 * 2 + kEntryAllowance)
    {
        tree_.bigEndian = big;
    }

    bool walk(std::size_t first)
    {
        // The chain first, so that the paths IFD0..n come in order.
        std::vector<Pending> pending;
        std::size_t offset = first;
        for (std::size_t n = 0; offset != 0 && n < kMaxIfds; ++n) {
            IfdView& ifd = add("IFD" + std::to_string(n), offset);
            if (ifd.broken || ifd.repeated)
                break;
            offset = ifd.next;
        }
        for (std::size_t i = 0, chain = tree_.ifds.size(); i < chain; ++i)
            queueChildren(i, 0, pending);
        while (!pending.empty()) {
            if (tree_.ifds.size() >= kMaxIfds || entriesWalked_ > entryBudget_)
                return false;
            const Pending next = pending.back();
            pending.pop_back();
            add(next.path, next.offset);
            if (next.depth < kMaxDepth)
                queueChildren(tree_.ifds.size() - 1, next.depth + 1, pending);
        }
        return entriesWalked_ <= entryBudget_;
    }

    IfdTree take() { return std::move(tree_); }

private:
    IfdView& add(std::string path, std::size_t offset)
    {
        IfdView& ifd = tree_.ifds.emplace_back();
        ifd.path = std::move(path);
        ifd.offset = offset;
        if (!seen_.insert(offset).second) {
            ifd.repeated = true;
            return ifd;
        }
        const auto count = reader_.u16(offset);
        const std::size_t length = count ? 2 + std::size_t(*count) * 12 + 4 : 2;
        if (!count || !reader_.has(offset, length)) {
            if (offset <= blockSize_ && length <= blockSize_ - offset)
                tree_.incomplete = true;
            ifd.broken = true;
            return ifd;
        }
        if (*count == 0) {
            ifd.broken = true;
            return ifd;
        }
        entriesWalked_ += *count;
        if (entriesWalked_ > entryBudget_) {
            ifd.broken = true;
            return ifd;
        }
        ifd.entries.reserve(*count);
        for (std::size_t i = 0; i < *count; ++i) {
            const std::size_t at = offset + 2 + i * 12;
            IfdEntryView e;
            e.tag = *reader_.u16(at);
            e.type = *reader_.u16(at + 2);
            e.count = *reader_.u32(at + 4);
            e.entryOffset = at;
            e.valueSize = typeSize(e.type) * e.count;
            e.valueOffset = e.valueSize > 4 ? std::size_t(*reader_.u32(at + 8)) : at + 8;
            e.inBounds = e.valueSize > 0 && e.valueOffset <= blockSize_ && e.valueSize <= blockSize_ - e.valueOffset;
            ifd.entries.push_back(e);
        }
        ifd.next = *reader_.u32(offset + 2 + std::size_t(*count) * 12);
        return ifd;
    }

    // By index: adding a broken pointer's IFD may move the list.
    void queueChildren(std::size_t index, std::size_t depth, std::vector<Pending>& pending)
    {
        std::vector<std::string> broken;
        for (const IfdEntryView& e : tree_.ifds[index].entries) {
            const std::string& parent = tree_.ifds[index].path;
            const char* name = e.tag == 0x8769 ? "Exif"
                : e.tag == 0x8825              ? "GPS"
                : e.tag == 0xA005              ? "Interop"
                : e.tag == 0x014A              ? "SubIFD"
                                               : nullptr;
            if (!name)
                continue;
            const auto offsets = e.count <= kMaxSubIfds ? ifdNumbers(reader_, e) : std::vector<std::uint64_t>{};
            if (offsets.empty()) {
                // A pointer whose value cannot be read is still part of the
                // structure: it must come through a rewrite the same way.
                broken.push_back(parent + "/" + name);
                continue;
            }
            for (std::size_t i = 0; i < offsets.size(); ++i) {
                std::string path = parent + "/" + name;
                if (e.tag == 0x014A)
                    path += std::to_string(i);
                pending.push_back({std::move(path), std::size_t(offsets[i]), depth});
            }
        }
        for (auto& path : broken) {
            IfdView& ifd = tree_.ifds.emplace_back();
            ifd.path = std::move(path);
            ifd.broken = true;
        }
    }

public:
    static std::vector<std::uint64_t> ifdNumbers(const ByteReader& reader, const IfdEntryView& e)
    {
        std::vector<std::uint64_t> values;
        const std::uint64_t unit = typeSize(e.type);
        if (!e.inBounds || (e.type != 3 && e.type != 4 && e.type != 13) || !reader.has(e.valueOffset, e.valueSize))
            return values;
        values.reserve(e.count);
        for (std::uint32_t i = 0; i < e.count; ++i) {
            const std::size_t at = e.valueOffset + std::size_t(i * unit);
            values.push_back(e.type == 3 ? std::uint64_t(*reader.u16(at)) : std::uint64_t(*reader.u32(at)));
        }
        return values;
    }

private:
    ByteReader reader_;
    std::size_t blockSize_;
    std::size_t entryBudget_;
    std::size_t entriesWalked_ = 0;
    std::set<std::size_t> seen_;
    IfdTree tree_;
};

} // namespace

std::optional<IfdTree> walkIfdTree(std::span<const std::uint8_t> tiff, std::size_t blockSize)
{
    if (tiff.size() < 8 || blockSize < tiff.size())
        return std::nullopt;
    const auto big = tiffIsBigEndian(tiff);
    if (!big)
        return std::nullopt;
    Walker walker(tiff, blockSize, *big);
    if (!walker.walk(*ByteReader(tiff, *big).u32(4)))
        return std::nullopt;
    return walker.take();
}

std::vector<std::uint64_t> ifdNumbers(std::span<const std::uint8_t> tiff, bool bigEndian, const IfdEntryView& entry)
{
    return Walker::ifdNumbers(ByteReader(tiff, bigEndian), entry);
}

std::optional<std::span<const std::uint8_t>> ifdValue(std::span<const std::uint8_t> tiff, const IfdEntryView& entry)
{
    if (!entry.inBounds || entry.valueOffset > tiff.size() || entry.valueSize > tiff.size() - entry.valueOffset)
        return std::nullopt;
    return tiff.subspan(entry.valueOffset, std::size_t(entry.valueSize));
}

} // namespace shotdate
