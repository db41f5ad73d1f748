#include "metadata/tiff_structure.h"

#include "bytes/byte_reader.h"
#include "bytes/checksums.h"
#include "bytes/work_meter.h"
#include "metadata/format_constants.h"
#include "metadata/shared_date_bytes.h"

#include <algorithm>
#include <set>

namespace shotdate {

namespace {

using namespace tiff_tag;
using namespace tiff_type;

constexpr std::size_t kMaxEntries = 4096;
constexpr std::size_t kMaxIfds = 1024;
constexpr std::size_t kMaxDateCopies = 64;

std::size_t typeSize(std::uint16_t type)
{
    switch (type) {
    case unsignedByte:
    case asciiString:
    case signedByte:
    case undefined: return 1;
    case unsignedShort:
    case signedShort: return 2;
    case unsignedLong:
    case signedLong:
    case tiffFloat:
    case tiffIfd: return 4;
    case unsignedRational:
    case signedRational:
    case tiffDouble: return 8;
    default: return 0;
    }
}

// A TIFF structure seen through a reader positioned on its block. The
// bytes at hand may stop before the block's end (a file read only as far as
// its head): every bound is still checked against the block's real size,
// nothing past the bytes at hand is ever read, and a read that would have
// needed them marks the answer as incomplete.
class Tiff {
public:
    // `headOnly`: `file` may stop before the block's end.
    static std::optional<Tiff> open(std::span<const std::uint8_t> file, const ExifBlock& block, bool headOnly = false)
    {
        if (block.offset > file.size() || block.size < 8)
            return std::nullopt;
        if (!headOnly && block.size > file.size() - block.offset)
            return std::nullopt;
        const auto bytes = file.subspan(block.offset, std::min(block.size, file.size() - block.offset));
        if (bytes.size() < 8)
            return std::nullopt;
        const auto big = tiffIsBigEndian(bytes);
        if (!big)
            return std::nullopt;
        Tiff tiff(bytes, *big, block.offset, block.size);
        const auto first = tiff.reader_.u32(4);
        if (!first)
            return std::nullopt;
        tiff.firstIfd_ = *first;
        return tiff;
    }

    // Whether a read needed bytes of the block beyond those at hand.
    bool incomplete() const { return incomplete_; }

    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::size_t valueOffset; // inside the block
        bool inBounds;
    };

    // The entries of the IFD at `offset`, nullopt when it does not fit.
    std::optional<std::vector<Entry>> entries(std::size_t offset, std::uint32_t* next = nullptr) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        const auto count = reader_.u16(offset);
        if (!count || *count > kMaxEntries || !has(offset + 2, std::size_t(*count) * 12 + 4))
            return std::nullopt;
        std::vector<Entry> list;
        list.reserve(*count);
        for (std::size_t i = 0; i < *count; ++i) {
            const std::size_t at = offset + 2 + i * 12;
            Entry e{*reader_.u16(at), *reader_.u16(at + 2), *reader_.u32(at + 4), at + 8, false};
            const std::size_t unit = typeSize(e.type);
            const std::uint64_t total = std::uint64_t(unit) * e.count;
            if (unit != 0 && total > 4)
                e.valueOffset = *reader_.u32(at + 8);
            // Judged by the block's size: a value's place is known without reading it.
            e.inBounds = unit != 0 && total <= size_ && e.valueOffset <= size_ && total <= size_ - e.valueOffset;
            list.push_back(e);
        }
        if (next)
            *next = *reader_.u32(offset + 2 + std::size_t(*count) * 12);
        return list;
    }

    // Unsigned integer values of an entry (SHORT, LONG or IFD type).
    std::vector<std::uint64_t> numbers(const Entry& e, std::size_t limit = 1u << 20) const
    {
        std::vector<std::uint64_t> values;
        if (!e.inBounds || e.count > limit || !has(e.valueOffset, std::size_t(e.count) * typeSize(e.type)))
            return values;
        const std::size_t unit = typeSize(e.type);
        for (std::uint32_t i = 0; i < e.count; ++i) {
            const std::size_t at = e.valueOffset + std::size_t(i) * unit;
            if (e.type == unsignedShort)
                values.push_back(*reader_.u16(at));
            else if (e.type == unsignedLong || e.type == tiffIfd)
                values.push_back(*reader_.u32(at));
            else
                return {};
        }
        return values;
    }

    // The bytes of a value, when at hand (see incomplete()).
    std::optional<std::span<const std::uint8_t>> value(const Entry& e) const
    {
        const std::size_t length = std::size_t(e.count) * typeSize(e.type);
        if (!e.inBounds || !has(e.valueOffset, length))
            return std::nullopt;
        return bytes_.subspan(e.valueOffset, length);
    }

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::size_t firstIfd() const { return firstIfd_; }
    std::size_t base() const { return base_; }

private:
    Tiff(std::span<const std::uint8_t> bytes, bool big, std::size_t base, std::size_t size)
        : bytes_(bytes), reader_(bytes, big), base_(base), size_(size)
    {}

    // Inside the bytes at hand; a range inside the block but past them
    // marks the reading incomplete.
    bool has(std::size_t offset, std::size_t length) const
    {
        if (reader_.has(offset, length))
            return true;
        if (offset <= size_ && length <= size_ - offset)
            incomplete_ = true;
        return false;
    }

    std::span<const std::uint8_t> bytes_;
    ByteReader reader_;
    std::size_t base_;
    std::size_t size_; // of the whole block, of which bytes_ may be the start
    std::size_t firstIfd_ = 0;
    mutable bool incomplete_ = false;
};

// The tags read besides the two dates; each kind is changed only when a
// run asks for it.
bool isExtraTag(std::uint16_t tag)
{
    return tag == modifyDate || tag == offsetTime || tag == offsetTimeOriginal || tag == offsetTimeDigitized;
}

bool isReadTag(std::uint16_t tag)
{
    return tag == dateTimeOriginal || tag == dateTimeDigitized || isExtraTag(tag);
}

// Fields that share their bytes outright are safe to patch only when they
// always take the same new text.
int shareGroup(std::uint16_t tag)
{
    if (tag == dateTimeOriginal || tag == dateTimeDigitized)
        return 0;
    if (tag == offsetTimeOriginal || tag == offsetTimeDigitized)
        return 1;
    return 2 + tag;
}

DateField dateField(const Tiff& tiff, const Tiff::Entry& e, bool mainCopy = false)
{
    DateField field;
    field.present = true;
    field.tag = e.tag;
    field.mainCopy = mainCopy;
    field.type = e.type;
    field.count = e.count;
    field.valueOffset = tiff.base() + e.valueOffset;
    if (const auto value = typeSize(e.type) == 1 && e.count <= 256 ? tiff.value(e) : std::nullopt) {
        std::string text(value->begin(), value->end());
        if (const auto nul = text.find('\0'); nul != std::string::npos)
            text.resize(nul);
        field.text = std::move(text);
    }
    field.patchable = e.type == asciiString && e.count == field.width() && e.inBounds;
    return field;
}

// `budget`: bytes still to be read and hashed. Sound files point at each
// byte of image data once; a file whose strips all cover the whole file
// would otherwise cost its size times their number. False when spent.
bool digestImageData(const Tiff& tiff, const std::vector<Tiff::Entry>& entries, std::vector<std::uint64_t>& out,
                     std::uint64_t& budget)
{
    // Pairs of (offsets tag, byte counts tag) whose ranges hold image data.
    static constexpr std::uint16_t kPairs[][2] = {{stripOffsets, stripByteCounts},
                                                  {tileOffsets, tileByteCounts},
                                                  {jpegInterchangeFormat, jpegInterchangeFormatLength}};
    for (const auto& pair : kPairs) {
        const Tiff::Entry* offsets = nullptr;
        const Tiff::Entry* counts = nullptr;
        for (const auto& e : entries) {
            if (e.tag == pair[0])
                offsets = &e;
            if (e.tag == pair[1])
                counts = &e;
        }
        if (!offsets || !counts)
            continue;
        // JPEGInterchangeFormat is a LONG offset, the length a LONG count.
        const std::uint64_t listed = std::uint64_t(offsets->count) * typeSize(offsets->type)
            + std::uint64_t(counts->count) * typeSize(counts->type);
        if (listed > budget)
            return false;
        budget -= listed;
        const auto starts = tiff.numbers(*offsets);
        const auto lengths = tiff.numbers(*counts);
        std::uint64_t digest = digestBytes({});
        for (std::size_t i = 0; i < starts.size() && i < lengths.size(); ++i) {
            const auto bytes = tiff.bytes();
            if (starts[i] > bytes.size() || lengths[i] > bytes.size() - starts[i]) {
                digest ^= 0x9E3779B97F4A7C15ull; // out of range: still compared, never read
                continue;
            }
            if (lengths[i] > budget)
                return false;
            budget -= lengths[i];
            digest = digestBytes(bytes.subspan(std::size_t(starts[i]), std::size_t(lengths[i])), digest);
        }
        out.push_back(digest);
    }
    return true;
}

using Entries = std::vector<Tiff::Entry>;

using Range = std::pair<std::size_t, std::size_t>; // [first, last) inside the block

// The bytes an IFD's own entry table takes.
Range tableRange(std::size_t offset, const Entries& entries)
{
    return {offset, offset + 2 + entries.size() * 12 + 4};
}

// The date fields of Exif IFDs hung off IFDs after the first; answers those
// Exif IFDs' entries, and adds every IFD table walked to `tables`.
std::vector<Entries> addOtherCopies(const Tiff& tiff, TiffDates& dates, std::vector<Range>& tables)
{
    std::vector<Entries> others;
    std::set<std::size_t> seen{tiff.firstIfd()};
    std::set<std::size_t> exifSeen;
    // Tables that overlap could make a small file list millions of entries.
    std::size_t entryBudget = tiff.bytes().size() / 12 * 2 + kMaxEntries;
    std::uint32_t next = 0;
    tiff.entries(tiff.firstIfd(), &next);
    while (next != 0 && seen.size() < kMaxIfds && seen.insert(next).second) {
        const std::size_t at = next;
        next = 0;
        const auto entries = tiff.entries(at, &next);
        if (!entries || entries->size() > entryBudget)
            break;
        entryBudget -= entries->size();
        tables.push_back(tableRange(at, *entries));
        for (const auto& e : *entries)
            if (e.tag == modifyDate)
                dates.extras.push_back(dateField(tiff, e));
        for (const auto& e : *entries) {
            if (e.tag != exifTag)
                continue;
            const auto pointer = tiff.numbers(e, 1);
            if (pointer.size() != 1 || !exifSeen.insert(std::size_t(pointer[0])).second)
                continue;
            auto exif = tiff.entries(std::size_t(pointer[0]));
            if (!exif || exif->size() > entryBudget)
                continue;
            entryBudget -= exif->size();
            tables.push_back(tableRange(std::size_t(pointer[0]), *exif));
            for (const auto& field : *exif)
                if (field.tag == dateTimeOriginal || field.tag == dateTimeDigitized)
                    dates.otherCopies.push_back(dateField(tiff, field));
                else if (isExtraTag(field.tag) && field.tag != modifyDate)
                    dates.extras.push_back(dateField(tiff, field));
            others.push_back(std::move(*exif));
        }
    }
    return others;
}

// A writer may let two tags share one value, or point a value into the
// header or an IFD's own table; patching a date that shares its bytes with
// anything else would change that too. Two dates may share one value
// outright (both take the same new text), but not overlap in part: the
// second patch would cut into the first.
void refuseSharedBytes(const Tiff& tiff, const std::vector<const Entries*>& lists, const std::vector<Range>& tables,
                       std::vector<DateField*> fields)
{
    // No camera writes more than a few copies of a date; thousands would
    // only make the comparisons below square.
    if (fields.size() > kMaxDateCopies) {
        for (DateField* field : fields)
            field->patchable = false;
        return;
    }
    for (DateField* a : fields)
        for (DateField* b : fields)
            if (a != b && a->patchable && b->patchable
                && (a->valueOffset != b->valueOffset || shareGroup(a->tag) != shareGroup(b->tag))
                && a->valueOffset < b->valueOffset + b->width() && b->valueOffset < a->valueOffset + a->width()) {
                a->patchable = false;
                b->patchable = false;
            }
    for (const auto& [first, last] : tables)
        for (DateField* field : fields)
            if (field->patchable && tiff.base() + first < field->valueOffset + field->width()
                && field->valueOffset < tiff.base() + last)
                field->patchable = false;
    for (const Entries* list : lists) {
        for (const auto& other : *list) {
            if (isReadTag(other.tag) || !other.inBounds)
                continue;
            const std::size_t start = tiff.base() + other.valueOffset;
            const std::size_t end = start + typeSize(other.type) * other.count;
            for (DateField* field : fields)
                if (field->patchable && start < field->valueOffset + field->width() && field->valueOffset < end)
                    field->patchable = false;
        }
    }
}

} // namespace

namespace {

std::optional<TiffDates> datesOf(const Tiff& tiff, bool exifTagsInFirstIfd)
{
    const auto ifd0 = tiff.entries(tiff.firstIfd());
    if (!ifd0)
        return std::nullopt;
    TiffDates dates;
    std::vector<Range> tables{{0, 8}, tableRange(tiff.firstIfd(), *ifd0)};
    std::optional<Entries> pointedExif;
    if (!exifTagsInFirstIfd) {
        for (const auto& e : *ifd0) {
            if (e.tag != exifTag)
                continue;
            const auto pointer = tiff.numbers(e, 1);
            if (pointer.size() == 1)
                pointedExif = tiff.entries(std::size_t(pointer[0]));
            if (pointedExif)
                tables.push_back(tableRange(std::size_t(pointer[0]), *pointedExif));
            break;
        }
    }
    const Entries* exif = exifTagsInFirstIfd ? &*ifd0 : pointedExif ? &*pointedExif : nullptr;
    if (!exif)
        return dates;
    bool modifyDateSeen = false;
    if (!exifTagsInFirstIfd)
        for (const auto& e : *ifd0)
            if (e.tag == modifyDate) {
                dates.extras.push_back(dateField(tiff, e, !modifyDateSeen));
                modifyDateSeen = true;
            }
    dates.hasExifIfd = true;
    const std::vector<Entries> others =
        exifTagsInFirstIfd ? std::vector<Entries>{} : addOtherCopies(tiff, dates, tables);
    // A writer may repeat a date entry in the one IFD; readers differ in
    // which they show, so a repeat is one more copy to change.
    for (const auto& field : *exif) {
        if (isExtraTag(field.tag) && field.tag != modifyDate) {
            const bool repeat = std::any_of(dates.extras.begin(), dates.extras.end(),
                                            [&](const DateField& f) { return f.tag == field.tag && f.mainCopy; });
            dates.extras.push_back(dateField(tiff, field, !repeat));
            continue;
        }
        DateField* first = field.tag == dateTimeOriginal ? &dates.original
            : field.tag == dateTimeDigitized             ? &dates.digitized
                                                         : nullptr;
        if (!first)
            continue;
        if (!first->present)
            *first = dateField(tiff, field);
        else
            dates.otherCopies.push_back(dateField(tiff, field));
    }
    std::vector<const Entries*> lists{&*ifd0, exif};
    for (const auto& list : others)
        lists.push_back(&list);
    std::vector<DateField*> fields{&dates.original, &dates.digitized};
    for (auto& copy : dates.otherCopies)
        fields.push_back(&copy);
    for (auto& extra : dates.extras)
        fields.push_back(&extra);
    refuseSharedBytes(tiff, lists, tables, fields);
    return dates;
}

} // namespace

std::optional<TiffDates> readTiffDates(std::span<const std::uint8_t> file, const ExifBlock& block,
                                       bool exifTagsInFirstIfd, bool* needsMore)
{
    const auto tiff = Tiff::open(file, block, needsMore != nullptr);
    if (!tiff)
        return std::nullopt;
    auto dates = datesOf(*tiff, exifTagsInFirstIfd);
    bool sharedChecked = true;
    if (dates) {
        std::vector<DateField*> fields{&dates->original, &dates->digitized};
        for (auto& copy : dates->otherCopies)
            fields.push_back(&copy);
        for (auto& extra : dates->extras)
            fields.push_back(&extra);
        sharedChecked = refuseDatesInSharedBytes(file, block, fields);
    }
    if (needsMore)
        *needsMore = tiff->incomplete() || !sharedChecked;
    return dates;
}

std::optional<TiffImageData> readTiffImageData(std::span<const std::uint8_t> file, const ExifBlock& block)
{
    const auto tiff = Tiff::open(file, block);
    if (!tiff)
        return std::nullopt;
    TiffImageData data;
    std::uint64_t budget = std::uint64_t(block.size) * 2 + (1u << 16);
    // Overlapping tables could make a small file list millions of entries.
    std::size_t entryBudget = block.size / 12 * 2 + kMaxEntries;
    std::set<std::size_t> seen;
    std::size_t offset = tiff->firstIfd();
    while (offset != 0 && seen.size() < kMaxIfds && seen.insert(offset).second) {
        std::uint32_t next = 0;
        const auto entries = tiff->entries(offset, &next);
        if (!entries)
            break;
        if (entries->size() > entryBudget)
            return std::nullopt;
        entryBudget -= entries->size();
        ++data.pages;
        if (!digestImageData(*tiff, *entries, data.digests, budget))
            return std::nullopt;
        for (const auto& e : *entries) {
            if (e.tag != subIFDs)
                continue;
            for (const auto sub : tiff->numbers(e, 64)) {
                if (!seen.insert(std::size_t(sub)).second)
                    continue;
                const auto subEntries = tiff->entries(std::size_t(sub));
                if (subEntries && subEntries->size() > entryBudget)
                    return std::nullopt;
                if (subEntries)
                    entryBudget -= subEntries->size();
                if (subEntries && !digestImageData(*tiff, *subEntries, data.digests, budget))
                    return std::nullopt;
            }
        }
        offset = next;
    }
    return data;
}

} // namespace shotdate
