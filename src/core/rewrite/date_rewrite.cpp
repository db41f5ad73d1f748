#include "rewrite/date_rewrite.h"

#include "formats/format_table.h"
#include "metadata/ifd_compare.h"
#include "metadata/tiff_structure.h"
#include "rewrite/date_site_rewrite.h"
#include "rewrite/exif_extras.h"
#include "rewrite/exif_ifd_append.h"
#include "rewrite/exiv2_adapter.h"
#include "rewrite/iptc_rewrite.h"
#include "rewrite/movie_date_rewrite.h"
#include "rewrite/xmp_rewrite.h"

#include <algorithm>
#include <functional>
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

// Every value but those set (and the layout) must come through.
bool sameMetadataOutsideKeys(const MetadataSnapshot& before, const MetadataSnapshot& after, const ExifValues& set)
{
    auto relevant = [&](const MetadataSnapshot& snapshot) {
        MetadataSnapshot kept;
        for (const auto& entry : snapshot) {
            const std::string& key = entry.first;
            const bool wasSet = std::any_of(set.begin(), set.end(), [&](const auto& v) {
                return key == v.first || (key.starts_with(v.first) && key[v.first.size()] == '#');
            });
            if (!wasSet && !isLayoutKey(key))
                kept.insert(entry);
        }
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

} // namespace

std::string exiv2Key(std::uint16_t tag)
{
    switch (tag) {
    case 0x9003: return "Exif.Photo.DateTimeOriginal";
    case 0x9004: return "Exif.Photo.DateTimeDigitized";
    case 0x0132: return "Exif.Image.DateTime";
    case 0x9010: return "Exif.Photo.OffsetTime";
    case 0x9011: return "Exif.Photo.OffsetTimeOriginal";
    case 0x9012: return "Exif.Photo.OffsetTimeDigitized";
    default: return {};
    }
}

Reason rewriteThroughExiv2(std::span<const std::uint8_t> file, const ContainerFormat& format, const ExifBlock& block,
                           const ExifValues& values, std::span<const std::uint16_t> alsoChanged,
                           const std::function<bool(std::span<const std::uint8_t>)>& readsBack,
                           std::vector<std::uint8_t>& out)
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
        written = exiv2WriteValues(file, values);
    }
    if (!written)
        return Reason::CannotAddDate;
    if (sniffFormat(*written) != format.type || format.pictureDigests(*written) != payloadBefore)
        return Reason::VerifyFailed;
    const auto after = exiv2ReadMetadata(*written);
    if (!after || !sameMetadataOutsideKeys(*before, *after, values))
        return Reason::VerifyFailed;
    const auto newBlock = locateExifBlock(*written, format);
    if (!newBlock)
        return Reason::VerifyFailed;
    const auto newTiff = std::span<const std::uint8_t>(*written).subspan(newBlock->offset, newBlock->size);
    if (!readsBack(newTiff))
        return Reason::VerifyFailed;
    // The byte order is part of how the values are stored: keep it.
    if (newBlock->size < 2 || block.size < 2 || (*written)[newBlock->offset] != file[block.offset])
        return Reason::VerifyFailed;
    // Exiv2 checking its own work would miss what it mis-reads: every IFD
    // must come through as our own walker sees it.
    if (!sameIfdsOutsideDates(file.subspan(block.offset, block.size), newTiff, alsoChanged))
        return Reason::VerifyFailed;
    out = std::move(*written);
    return Reason::Rewritten;
}

namespace {

// With every copy of the date, the XMP packets move too: patched beside the
// EXIF dates, or in the bytes Exiv2 laid out (which keep the packet as it
// was). A photo one packet cannot take is passed over whole.
void addXmpDates(std::span<const std::uint8_t> file, const ContainerFormat& format, const DateArguments& args,
                 const RewriteOptions& options, DateRewrite& result)
{
    if (!args.allDates || result.reason != Reason::Rewritten)
        return;
    const bool laidOut = !result.patchedInPlace;
    XmpPatches xmp = xmpDatePatches(laidOut ? std::span<const std::uint8_t>(result.bytes) : file, format, args,
                                    laidOut || options.haveWholeFile);
    if (xmp.needsWholeFile) {
        result = DateRewrite{};
        result.needsWholeFile = true;
        return;
    }
    if (xmp.reason != Reason::Rewritten) {
        result.reason = xmp.reason;
        result.patchedInPlace = false;
        result.patches.clear();
        result.bytes.clear();
        return;
    }
    if (!result.bytes.empty())
        result.bytes = withPatches(result.bytes, xmp.patches);
    if (!laidOut)
        result.patches.insert(result.patches.end(), xmp.patches.begin(), xmp.patches.end());
    result.changes.insert(result.changes.end(), xmp.changes.begin(), xmp.changes.end());
    result.notes.insert(result.notes.end(), xmp.notes.begin(), xmp.notes.end());
}

DateRewrite rewriteOwnDates(std::span<const std::uint8_t> file, const ContainerFormat& format,
                            const DateArguments& args, RewriteOptions options);

} // namespace

DateRewrite rewriteExifDates(std::span<const std::uint8_t> file, const DateArguments& args, RewriteOptions options)
{
    const ContainerFormat* row = containerFormat(sniffFormat(file));
    if (!row) {
        DateRewrite result;
        result.reason = Reason::NotAnImage;
        return result;
    }
    DateRewrite result = rewriteOwnDates(file, *row, args, options);
    addXmpDates(file, *row, args, options, result);
    return result;
}

namespace {

DateRewrite rewriteOwnDates(std::span<const std::uint8_t> file, const ContainerFormat& format,
                            const DateArguments& args, RewriteOptions options)
{
    DateRewrite result;
    if (!format.rewritable) {
        result.reason = Reason::UnsupportedFormat;
        return result;
    }
    if (format.datesInMovieHeader) {
        if (!options.haveWholeFile) {
            result.needsWholeFile = true;
            return result;
        }
        return rewriteMovieFile(file, args, options.wantWholeFile);
    }
    if (format.dateSites) {
        // These files keep no zone: a run that sets one cannot finish them.
        if (args.zoneMinutes) {
            result.reason = Reason::CannotAddDate;
            return result;
        }
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
    // A run that only relabels the zone leaves both dates as they are.
    std::string newDateText;
    if (args.datesChange) {
        const NewDate newDate =
            computeNewDate(args, original.present ? std::optional<std::string_view>(original.text) : std::nullopt);
        if (newDate.error != DateRuleError::None) {
            result.reason = reasonFor(newDate.error);
            return result;
        }
        newDateText = newDate.text;
    }
    result.newDate = args.datesChange ? newDateText : original.text;
    ExtraPlan extras = planExtraFields(*dates, args);
    if (extras.reason != Reason::Rewritten) {
        result.reason = extras.reason;
        return result;
    }
    if (args.datesChange) {
        std::vector<DateChange> changes{{exifTagName(0x9003), original.text, newDateText},
                                        {exifTagName(0x9004), dates->digitized.text, newDateText}};
        for (const DateField& copy : dates->otherCopies)
            changes.push_back({exifTagName(copy.tag), copy.text, newDateText});
        extras.changes.insert(extras.changes.begin(), changes.begin(), changes.end());
    }
    const IptcDates iptc = planIptcDates(file, format, args, options.haveWholeFile, options.trailer);
    if (iptc.needsWholeFile) {
        result = DateRewrite{};
        result.needsWholeFile = true;
        return result;
    }
    if (iptc.reason != Reason::Rewritten) {
        result.reason = iptc.reason;
        return result;
    }
    result.changes = extras.changes;
    result.changes.insert(result.changes.end(), iptc.changes.begin(), iptc.changes.end());
    result.notes = extras.notes;
    result.notes.insert(result.notes.end(), iptc.notes.begin(), iptc.notes.end());

    const bool datesInPlace = !args.datesChange || (original.patchable && dates->digitized.patchable);
    if (datesInPlace && extras.additions.empty()) {
        const auto toFile = [&](std::size_t at) -> std::optional<std::size_t> {
            return boxed ? gathered.fileOffsetOf(at) : std::optional<std::size_t>(at);
        };
        bool placed = true;
        if (args.datesChange) {
            placed = addFieldPatches(result.patches, original, newDateText, file.size(), toFile)
                && addFieldPatches(result.patches, dates->digitized, newDateText, file.size(), toFile);
            for (const DateField& copy : dates->otherCopies) {
                if (!copy.patchable) {
                    result.reason = Reason::CannotAddDate;
                    result.patches.clear();
                    return result;
                }
                placed = placed && addFieldPatches(result.patches, copy, newDateText, file.size(), toFile);
            }
        }
        for (const TextWrite& write : extras.writes)
            placed = placed && addFieldPatches(result.patches, write.field, write.text, file.size(), toFile);
        result.patches.insert(result.patches.end(), iptc.patches.begin(), iptc.patches.end());
        if (!placed) {
            result.patches.clear();
            result.reason = Reason::UnsupportedFormat;
            return result;
        }
        std::sort(result.patches.begin(), result.patches.end(),
                  [](const FilePatch& x, const FilePatch& y) { return x.offset < y.offset; });
        if (block && block->hasCrc && format.checksumPatch && !result.patches.empty())
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
                                                        format, *dates, newDateText, extras, options.haveWholeFile);
        switch (appended.outcome) {
        case AppendOutcome::NotApplicable: break;
        case AppendOutcome::NeedsWholeFile: {
            result = DateRewrite{};
            result.needsWholeFile = true;
            return result;
        }
        case AppendOutcome::VerifyFailed: result.reason = Reason::VerifyFailed; return result;
        case AppendOutcome::Rewritten:
            result.patches = std::move(appended.patches);
            result.patches.insert(result.patches.end(), iptc.patches.begin(), iptc.patches.end());
            std::sort(result.patches.begin(), result.patches.end(),
                      [](const FilePatch& x, const FilePatch& y) { return x.offset < y.offset; });
            if (options.wantWholeFile)
                result.bytes = withPatches(appended.bytes, iptc.patches);
            result.patchedInPlace = true;
            result.reason = Reason::Rewritten;
            return result;
        }
    }
    // Exiv2 knows only IFD0 and the first Exif IFD and would leave other
    // copies old.
    const bool copiesElsewhere = std::any_of(extras.writes.begin(), extras.writes.end(),
                                             [](const TextWrite& write) { return !write.field.mainCopy; });
    if (boxed || (args.datesChange && !dates->otherCopies.empty()) || copiesElsewhere
        || format.dateAddition == DateAddition::None) {
        result.reason = Reason::CannotAddDate;
        return result;
    }
    if (!options.haveWholeFile) {
        result = DateRewrite{};
        result.needsWholeFile = true;
        return result;
    }
    // IPTC's new values first, in a copy: Exiv2 then lays out that copy.
    std::vector<std::uint8_t> withIptc;
    if (!iptc.patches.empty())
        withIptc = withPatches(file, iptc.patches);
    const auto input = iptc.patches.empty() ? file : std::span<const std::uint8_t>(withIptc);
    ExifValues values;
    if (!newDateText.empty())
        values = {{exiv2Key(0x9003), newDateText}, {exiv2Key(0x9004), newDateText}};
    for (const TextWrite& write : extras.writes)
        values.push_back({exiv2Key(write.field.tag), write.text});
    for (const TagText& added : extras.additions)
        values.push_back({exiv2Key(added.tag), added.text});
    const auto readsBack = [&](std::span<const std::uint8_t> newTiff) {
        return extrasReadBack(newTiff, newDateText, extras, false);
    };
    result.reason = rewriteThroughExiv2(input, format, *block, values, changedTags(extras), readsBack, result.bytes);
    if (result.reason != Reason::Rewritten)
        result.exiv2Message = exiv2LastMessage();
    return result;
}

} // namespace

} // namespace shotdate
