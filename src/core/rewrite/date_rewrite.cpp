#include "rewrite/date_rewrite.h"

#include "formats/format_table.h"
#include "metadata/ifd_compare.h"
#include "metadata/tiff_structure.h"
#include "rewrite/date_site_rewrite.h"
#include "rewrite/exif_ifd_append.h"
#include "rewrite/exiv2_adapter.h"

#include <algorithm>
#include <string_view>

namespace shotdate {

namespace {

Reason reasonFor(DateRuleError error)
{
    switch (error) {
    case DateRuleError::NoFileDate: return Reason::NoFileDate;
    case DateRuleError::BadFileDate: return Reason::BadFileDate;
    case DateRuleError::OutOfRange: return Reason::DateOutOfRange;
    case DateRuleError::None: break;
    }
    return Reason::Rewritten;
}

// Exiv2 keys whose values are positions inside the file: a rewrite that
// moves data legitimately changes them.
bool isLayoutKey(std::string_view key)
{
    static constexpr std::string_view kSuffixes[] = {
        "Offsets",
        "Offset",
        "ExifTag",
        "GPSTag",
        "InteroperabilityTag",
        "JPEGInterchangeFormat",
        "SubIFDs",
        "ThumbnailOffset",
        "PreviewImageStart",
        "JpgFromRawStart",
    };
    const auto hash = key.find('#');
    const auto name = key.substr(0, hash);
    return std::any_of(std::begin(kSuffixes), std::end(kSuffixes), [&](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    });
}

bool isDateKey(std::string_view key)
{
    return key.starts_with("Exif.Photo.DateTimeOriginal") || key.starts_with("Exif.Photo.DateTimeDigitized");
}

bool sameMetadataOutsideDates(const MetadataSnapshot& before, const MetadataSnapshot& after)
{
    auto relevant = [](const MetadataSnapshot& snapshot) {
        MetadataSnapshot kept;
        for (const auto& [key, value] : snapshot)
            if (!isDateKey(key) && !isLayoutKey(key))
                kept.emplace(key, value);
        return kept;
    };
    return relevant(before) == relevant(after);
}

// The 19 characters and the NUL of one field as patches; `toFile` maps a
// position in the TIFF structure to its place in the file (a field may be
// split across the pieces of a HEIF item).
template <typename ToFile>
bool addFieldPatches(std::vector<FilePatch>& patches, const DateField& field, const std::string& text,
                     std::size_t fileSize, ToFile toFile)
{
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const std::optional<std::size_t> at = toFile(field.valueOffset + i);
        if (!at || *at >= fileSize)
            return false;
        const std::uint8_t value = i < text.size() ? std::uint8_t(text[i]) : 0;
        if (!patches.empty() && patches.back().offset + patches.back().bytes.size() == *at)
            patches.back().bytes.push_back(value);
        else
            patches.push_back({*at, {value}});
    }
    return true;
}

// The new file when a field is missing or has another size: Exiv2 lays the
// metadata out again, and the result is accepted only if it carries over
// every picture and every other value unchanged and reads back right.
} // namespace

Reason rewriteThroughExiv2(std::span<const std::uint8_t> file, const ContainerFormat& format, const ExifBlock& block,
                           const ExifDateValues& values, std::vector<std::uint8_t>& out)
{
    if (format.dateAddition == DateAddition::None || !format.pictureDigests)
        return Reason::CannotAddDate;
    if (format.keepsLayout && format.keepsLayout(file))
        return Reason::CannotAddDate;
    const bool spliced = format.dateAddition == DateAddition::SpliceBlock;
    const auto before = exiv2ReadMetadata(file);
    const auto payloadBefore = format.pictureDigests(file);
    if (!before || !payloadBefore)
        return Reason::CannotAddDate;
    std::optional<std::vector<std::uint8_t>> written;
    if (spliced) {
        const auto tiff = exiv2RebuildExifBlock(file.subspan(block.offset, block.size), values);
        if (tiff)
            written = format.spliceExif(file, block, *tiff);
    } else {
        written = exiv2WriteDates(file, values);
    }
    if (!written)
        return Reason::CannotAddDate;
    if (sniffFormat(*written) != format.type || format.pictureDigests(*written) != payloadBefore)
        return Reason::VerifyFailed;
    const auto after = exiv2ReadMetadata(*written);
    if (!after || !sameMetadataOutsideDates(*before, *after))
        return Reason::VerifyFailed;
    const auto newBlock = locateExifBlock(*written, format);
    const auto dates = newBlock ? readTiffDates(*written, *newBlock) : std::nullopt;
    const auto holds = [](const DateField& field, const std::optional<std::string>& value) {
        return value ? field.present && field.text == *value : !field.present;
    };
    if (!dates || !holds(dates->original, values.original) || !holds(dates->digitized, values.digitized))
        return Reason::VerifyFailed;
    // The byte order is part of how the values are stored: keep it.
    if (newBlock->size < 2 || block.size < 2 || (*written)[newBlock->offset] != file[block.offset])
        return Reason::VerifyFailed;
    // Exiv2 checking its own work would miss what it mis-reads: every IFD
    // must come through as our own walker sees it.
    if (!sameIfdsOutsideDates(file.subspan(block.offset, block.size),
                              std::span<const std::uint8_t>(*written).subspan(newBlock->offset, newBlock->size)))
        return Reason::VerifyFailed;
    out = std::move(*written);
    return Reason::Rewritten;
}

DateRewrite rewriteExifDates(std::span<const std::uint8_t> file, const DateArguments& args, RewriteOptions options)
{
    DateRewrite result;
    const ContainerFormat* row = containerFormat(sniffFormat(file));
    if (!row) {
        result.reason = Reason::NotAnImage;
        return result;
    }
    const ContainerFormat& format = *row;
    if (!format.rewritable) {
        result.reason = Reason::UnsupportedFormat;
        return result;
    }
    if (format.dateSites) {
        if (!options.haveWholeFile) {
            result.needsWholeFile = true;
            return result;
        }
        return rewriteDateSites(file, format, args, options.wantWholeFile);
    }

    // Box-structured files keep their EXIF item possibly in pieces: gather
    // it, and map every position back to the file when patching.
    const bool boxed = format.gatherExif != nullptr;
    GatheredExif gathered;
    std::optional<ExifBlock> block;
    std::optional<TiffDates> dates;
    if (boxed) {
        const BoxExifStatus status = format.gatherExif(file, gathered);
        if (status == BoxExifStatus::Unreadable) {
            result.reason = Reason::UnsupportedFormat;
            return result;
        }
        if (status == BoxExifStatus::Found)
            dates = readTiffDates(gathered.tiff, ExifBlock{0, gathered.tiff.size()}, gathered.exifTagsInFirstIfd);
    } else {
        block = locateExifBlock(file, format);
        if (block && format.fileIsExifBlock && !options.haveWholeFile) {
            // The file itself is the block, and only its head is at hand.
            block->size = options.fileSize;
            block->containerEnd = options.fileSize;
        }
        bool needsMore = false;
        if (block)
            dates = readTiffDates(file, *block, false, options.haveWholeFile ? nullptr : &needsMore);
        if (needsMore) {
            result.needsWholeFile = true;
            return result;
        }
    }
    if (!dates || !dates->hasExifIfd) {
        result.reason = Reason::NoExif;
        return result;
    }

    const DateField& original = dates->original;
    result.oldDate = original.text;
    if (dates->digitized.present)
        result.oldDigitized = dates->digitized.text;
    const NewDate newDate =
        computeNewDate(args, original.present ? std::optional<std::string_view>(original.text) : std::nullopt);
    if (newDate.error != DateRuleError::None) {
        result.reason = reasonFor(newDate.error);
        return result;
    }
    result.newDate = newDate.text;

    if (original.patchable && dates->digitized.patchable) {
        const auto toFile = [&](std::size_t at) -> std::optional<std::size_t> {
            return boxed ? gathered.fileOffsetOf(at) : std::optional<std::size_t>(at);
        };
        bool placed = addFieldPatches(result.patches, original, newDate.text, file.size(), toFile)
            && addFieldPatches(result.patches, dates->digitized, newDate.text, file.size(), toFile);
        for (const DateField& copy : dates->otherCopies) {
            if (!copy.patchable) {
                result.reason = Reason::CannotAddDate;
                result.patches.clear();
                return result;
            }
            placed = placed && addFieldPatches(result.patches, copy, newDate.text, file.size(), toFile);
        }
        if (!placed) {
            result.patches.clear();
            result.reason = Reason::UnsupportedFormat;
            return result;
        }
        if (block && block->hasCrc && format.checksumPatch)
            result.patches.push_back(format.checksumPatch(file, *block, result.patches));
        if (options.wantWholeFile)
            result.bytes = withPatches(file, result.patches);
        result.patchedInPlace = true;
        result.reason = Reason::Rewritten;
        return result;
    }
    // A TIFF file can take a missing date without anything moving.
    if (!boxed) {
        AppendedDates appended = appendExifIfdWithDates(file, options.haveWholeFile ? file.size() : options.fileSize,
                                                        format, *dates, newDate.text, options.haveWholeFile);
        switch (appended.outcome) {
        case AppendOutcome::NotApplicable: break;
        case AppendOutcome::NeedsWholeFile:
            result = DateRewrite{};
            result.needsWholeFile = true;
            return result;
        case AppendOutcome::VerifyFailed: result.reason = Reason::VerifyFailed; return result;
        case AppendOutcome::Rewritten:
            result.patches = std::move(appended.patches);
            if (options.wantWholeFile)
                result.bytes = std::move(appended.bytes);
            result.patchedInPlace = true;
            result.reason = Reason::Rewritten;
            return result;
        }
    }
    // Exiv2 knows only the first Exif IFD and would leave other copies old.
    if (boxed || !dates->otherCopies.empty() || format.dateAddition == DateAddition::None) {
        result.reason = Reason::CannotAddDate;
        return result;
    }
    if (!options.haveWholeFile) {
        result = DateRewrite{};
        result.needsWholeFile = true;
        return result;
    }
    result.reason = rewriteThroughExiv2(file, format, *block, ExifDateValues{newDate.text, newDate.text}, result.bytes);
    if (result.reason != Reason::Rewritten)
        result.exiv2Message = exiv2LastMessage();
    return result;
}

} // namespace shotdate
