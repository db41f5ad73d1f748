#include "rewrite/exif_ifd_append.h"

#include "metadata/exif_block.h"
#include "metadata/ifd_compare.h"
#include "metadata/ifd_tree.h"

#include <algorithm>
#include <array>
#include <limits>

namespace shotdate {

namespace {

using Entry = std::array<std::uint8_t, 12>;

void put(std::uint8_t* at, std::uint32_t value, std::size_t size, bool big)
{
    for (std::size_t i = 0; i < size; ++i)
        at[big ? size - 1 - i : i] = std::uint8_t(value >> (8 * i));
}

std::uint16_t tagOf(const Entry& e, bool big)
{
    return big ? std::uint16_t(e[0] << 8 | e[1]) : std::uint16_t(e[1] << 8 | e[0]);
}

Entry textEntry(std::uint16_t tag, std::uint32_t count, std::uint32_t valueAt, bool big)
{
    Entry e{};
    put(e.data(), tag, 2, big);
    put(e.data() + 2, 2, 2, big); // ASCII
    put(e.data() + 4, count, 4, big);
    put(e.data() + 8, valueAt, 4, big);
    return e;
}

void addTextPatch(std::vector<FilePatch>& patches, std::size_t at, const std::string& text)
{
    FilePatch patch{at, std::vector<std::uint8_t>(text.begin(), text.end())};
    patch.bytes.push_back(0);
    patches.push_back(std::move(patch));
}

// Values start on a word boundary.
std::size_t paddedSize(const std::string& text)
{
    return (text.size() + 2) & ~std::size_t(1);
}

bool datesKept(std::span<const std::uint8_t> bytes, const TiffDates& old)
{
    const auto dates = readTiffDates(bytes, ExifBlock{0, bytes.size()});
    return dates && dates->original.text == old.original.text && dates->digitized.text == old.digitized.text;
}

} // namespace

AppendedDates appendExifIfdWithDates(std::span<const std::uint8_t> file, std::size_t fileSize,
                                     const ContainerFormat& format, const TiffDates& dates, const std::string& newDate,
                                     const ExtraPlan& extras, bool haveWholeFile)
{
    AppendedDates result;
    const bool datesChange = !newDate.empty();
    if (!format.fileIsExifBlock || !format.pictureDigests || (datesChange && newDate.size() != 19) || !dates.hasExifIfd)
        return result;
    if ((!datesChange || (dates.original.patchable && dates.digitized.patchable)) && extras.additions.empty())
        return result;
    for (const DateField& copy : dates.otherCopies)
        if (datesChange && !copy.patchable)
            return result;
    const auto tree = walkIfdTree(file, std::max(fileSize, file.size()));
    if (!tree || tree->ifds.empty() || tree->ifds[0].broken)
        return result;
    const bool big = tree->bigEndian;
    const IfdEntryView* pointer = nullptr;
    for (const auto& e : tree->ifds[0].entries)
        if (e.tag == 0x8769) {
            pointer = &e;
            break;
        }
    if (!pointer || pointer->count != 1 || (pointer->type != 4 && pointer->type != 13))
        return result;
    const auto exifOffset = ifdNumbers(file, big, *pointer);
    const IfdView* exif = nullptr;
    for (const auto& ifd : tree->ifds)
        if (ifd.path == "IFD0/Exif" && !ifd.broken && !ifd.repeated && exifOffset.size() == 1
            && ifd.offset == exifOffset[0])
            exif = &ifd;
    if (!exif)
        return result;

    // The copy: the same entries, with the dates that cannot be patched
    // where they stand pointing to new values after the table.
    std::vector<Entry> entries;
    for (const auto& e : exif->entries) {
        Entry raw;
        std::copy_n(file.begin() + std::ptrdiff_t(e.entryOffset), 12, raw.begin());
        entries.push_back(raw);
    }
    const std::size_t newAt = fileSize + (fileSize & 1); // IFDs start on a word boundary
    std::vector<TagText> added;
    if (datesChange)
        for (const auto& [tag, field] :
             {std::pair{std::uint16_t(0x9003), &dates.original}, std::pair{std::uint16_t(0x9004), &dates.digitized}})
            if (!field->patchable)
                added.push_back({tag, newDate});
    added.insert(added.end(), extras.additions.begin(), extras.additions.end());
    std::size_t valuesSize = 0;
    for (const TagText& value : added)
        valuesSize += paddedSize(value.text);
    const std::size_t count = entries.size() + std::count_if(added.begin(), added.end(), [&](const TagText& value) {
                                  return std::none_of(entries.begin(), entries.end(),
                                                      [&](const Entry& e) { return tagOf(e, big) == value.tag; });
                              });
    const std::size_t tableSize = 2 + count * 12 + 4;
    const std::uint64_t end = std::uint64_t(newAt) + tableSize + valuesSize;
    if (count > 0xFFFF || end > std::numeric_limits<std::uint32_t>::max())
        return result;
    std::uint32_t valueAt = std::uint32_t(newAt + tableSize);
    for (const TagText& addition : added) {
        // Named, not bound: a lambda below takes `tag`.
        const std::uint16_t tag = addition.tag;
        const std::string& text = addition.text;
        const Entry fresh = textEntry(tag, std::uint32_t(text.size() + 1), valueAt, big);
        valueAt += std::uint32_t(paddedSize(text));
        const auto same =
            std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return tagOf(e, big) == tag; });
        if (same != entries.end()) {
            *same = fresh;
            continue;
        }
        const auto later =
            std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return tagOf(e, big) > tag; });
        entries.insert(later, fresh);
    }
    if (!haveWholeFile) {
        result.outcome = AppendOutcome::NeedsWholeFile;
        return result;
    }

    std::vector<FilePatch>& patches = result.patches;
    if (datesChange) {
        for (const DateField* field : {&dates.original, &dates.digitized})
            if (field->patchable)
                addTextPatch(patches, field->valueOffset, newDate);
        for (const DateField& copy : dates.otherCopies)
            addTextPatch(patches, copy.valueOffset, newDate);
    }
    for (const TextWrite& write : extras.writes)
        addTextPatch(patches, write.field.valueOffset, write.text);
    FilePatch repoint{pointer->valueOffset, std::vector<std::uint8_t>(4)};
    put(repoint.bytes.data(), std::uint32_t(newAt), 4, big);
    patches.push_back(std::move(repoint));
    FilePatch tail{fileSize, std::vector<std::uint8_t>(newAt - fileSize)};
    std::vector<std::uint8_t>& t = tail.bytes;
    t.resize(t.size() + 2);
    put(t.data() + t.size() - 2, std::uint32_t(count), 2, big);
    for (const Entry& e : entries)
        t.insert(t.end(), e.begin(), e.end());
    t.insert(t.end(), 4, 0);
    put(t.data() + t.size() - 4, exif->next, 4, big);
    for (const TagText& value : added) {
        t.insert(t.end(), value.text.begin(), value.text.end());
        t.resize(t.size() + paddedSize(value.text) - value.text.size());
    }
    patches.push_back(std::move(tail));
    std::sort(patches.begin(), patches.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });

    // The result must read back with the new dates and keep every IFD,
    // every picture and every other byte.
    std::vector<std::uint8_t>& out = result.bytes;
    out = withPatches(file, patches);
    const auto payload = format.pictureDigests(file);
    const auto alsoChanged = changedTags(extras);
    if (!extrasReadBack(out, newDate, extras, true) || (!datesChange && !datesKept(out, dates))
        || !sameIfdsOutsideDates(file, out, alsoChanged) || !payload || format.pictureDigests(out) != payload) {
        result = AppendedDates{};
        result.outcome = AppendOutcome::VerifyFailed;
        return result;
    }
    result.outcome = AppendOutcome::Rewritten;
    return result;
}

} // namespace shotdate
