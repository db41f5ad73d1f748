#include "rewrite/date_restore.h"

#include "metadata/tiff_structure.h"

#include <functional>

namespace shotdate {

namespace {

bool holds(const DateField& field, const std::optional<std::string>& value)
{
    return value ? field.present && field.text == *value : !field.present;
}

// The 19 characters and the NUL of a field, where it can take them in place.
bool patchField(std::vector<FilePatch>& patches, const DateField& field, const std::string& text,
                const std::function<std::optional<std::size_t>(std::size_t)>& toFile, std::size_t fileSize)
{
    if (!field.patchable || text.size() + 1 != field.count)
        return false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const std::optional<std::size_t> at = toFile(field.valueOffset + i);
        if (!at || *at >= fileSize)
            return false;
        patches.push_back({*at, {i < text.size() ? std::uint8_t(text[i]) : std::uint8_t(0)}});
    }
    return true;
}

} // namespace

DateRewrite restoreExifDates(std::span<const std::uint8_t> file, const DateRestore& restore)
{
    DateRewrite result;
    const ContainerFormat* row = containerFormat(sniffFormat(file));
    if (!row) {
        result.reason = Reason::NotAnImage;
        return result;
    }
    const ContainerFormat& format = *row;
    if (!format.rewritable || format.dateSites) {
        result.reason = Reason::UnsupportedFormat;
        return result;
    }
    const bool boxed = format.gatherExif != nullptr;
    GatheredExif gathered;
    std::optional<ExifBlock> block;
    std::optional<TiffDates> dates;
    if (boxed) {
        if (format.gatherExif(file, gathered) == BoxExifStatus::Found)
            dates = readTiffDates(gathered.tiff, ExifBlock{0, gathered.tiff.size()}, gathered.exifTagsInFirstIfd);
    } else {
        block = locateExifBlock(file, format);
        if (block)
            dates = readTiffDates(file, *block);
    }
    if (!dates || !dates->hasExifIfd) {
        result.reason = Reason::NoExif;
        return result;
    }
    result.oldDate = dates->original.text;
    if (dates->digitized.present)
        result.oldDigitized = dates->digitized.text;
    // Another program (or a later run) moved the date since: its date stays.
    if (!holds(dates->original, restore.expectedOriginal) || !holds(dates->digitized, restore.expectedDigitized)) {
        result.reason = Reason::DatesChangedSince;
        return result;
    }
    result.newDate = restore.restored.original.value_or("");

    const auto toFile = [&](std::size_t at) -> std::optional<std::size_t> {
        return boxed ? gathered.fileOffsetOf(at) : std::optional<std::size_t>(at);
    };
    bool patched = restore.restored.original.has_value() && restore.restored.digitized.has_value()
        && patchField(result.patches, dates->original, *restore.restored.original, toFile, file.size())
        && patchField(result.patches, dates->digitized, *restore.restored.digitized, toFile, file.size());
    // The run wrote DateTimeOriginal's date into every other copy too.
    for (const DateField& copy : dates->otherCopies)
        if (patched && copy.text == restore.expectedOriginal)
            patched = patchField(result.patches, copy, *restore.restored.original, toFile, file.size());
    if (patched) {
        if (block && block->hasCrc && format.checksumPatch)
            result.patches.push_back(format.checksumPatch(file, *block, result.patches));
        result.patchedInPlace = true;
        result.reason = Reason::Rewritten;
        return result;
    }
    result.patches.clear();
    if (boxed || !dates->otherCopies.empty()) {
        result.reason = Reason::CannotAddDate;
        return result;
    }
    const ExifValues values{{exiv2Key(0x9003), restore.restored.original},
                            {exiv2Key(0x9004), restore.restored.digitized}};
    const auto readsBack = [&](std::span<const std::uint8_t> tiff) {
        const auto back = readTiffDates(tiff, ExifBlock{0, tiff.size()});
        return back && holds(back->original, restore.restored.original)
            && holds(back->digitized, restore.restored.digitized);
    };
    result.reason = rewriteThroughExiv2(file, format, *block, values, {}, readsBack, result.bytes);
    if (result.reason != Reason::Rewritten)
        result.exiv2Message = exiv2LastMessage();
    return result;
}

} // namespace shotdate
