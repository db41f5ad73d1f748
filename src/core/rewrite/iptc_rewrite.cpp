#include "rewrite/iptc_rewrite.h"

#include "bytes/byte_match.h"
#include "bytes/checksums.h"
#include "formats/fotostation.h"
#include "formats/jpeg.h"
#include "metadata/ifd_tree.h"
#include "metadata/iptc_records.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>

namespace shotdate {

namespace {

using namespace std::string_view_literals;
using namespace std::chrono;

// Where one IPTC block lies in the file: bare IIM, or inside a Photoshop
// image resource block.
struct IptcBlock {
    std::size_t offset = 0;
    std::size_t size = 0;
    bool photoshop = false;
};

constexpr std::uint8_t kApp13 = 0xED;
constexpr std::uint16_t kIptcNaaTag = 0x83BB;
constexpr std::uint16_t kPhotoshopTag = 0x8649;

// The date and time datasets of record 2, in pairs.
struct DatasetPair {
    std::uint8_t date;
    std::uint8_t time;
    const char* dateName;
    const char* timeName;
};
constexpr DatasetPair kPairs[] = {{55, 60, "IPTC:DateCreated", "IPTC:TimeCreated"},
                                  {62, 63, "IPTC:DigitalCreationDate", "IPTC:DigitalCreationTime"}};

std::optional<unsigned> digits(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size())
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + unsigned(text[i] - '0');
    }
    return value;
}

// "CCYYMMDD" as the start of that day.
std::optional<LocalSeconds> readDate(std::string_view text)
{
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 4, 2);
    const auto day = digits(text, 6, 2);
    if (text.size() != 8 || !year || !month || !day)
        return std::nullopt;
    return makeLocalSeconds(int(*year), *month, *day, 0, 0, 0);
}

// "HHMMSS" or "HHMMSS±HHMM": seconds into the day.
std::optional<seconds> readTime(std::string_view text)
{
    const auto hour = digits(text, 0, 2);
    const auto minute = digits(text, 2, 2);
    const auto second = digits(text, 4, 2);
    if ((text.size() != 6 && text.size() != 11) || !hour || !minute || !second || *hour > 23 || *minute > 59
        || *second > 59)
        return std::nullopt;
    if (text.size() == 11 && ((text[6] != '+' && text[6] != '-') || !digits(text, 7, 4)))
        return std::nullopt;
    return seconds(*hour * 3600 + *minute * 60 + *second);
}

std::string twoDigits(long long n)
{
    return {char('0' + n / 10 % 10), char('0' + n % 10)};
}

// The date part of a wall-clock value as CCYYMMDD; nullopt outside 0001-9999.
std::optional<std::string> dateText(LocalSeconds when)
{
    const auto exif = formatExifDate(when);
    if (!exif)
        return std::nullopt;
    return exif->substr(0, 4) + exif->substr(5, 2) + exif->substr(8, 2);
}

std::string timeDigits(LocalSeconds when)
{
    const auto intoDay = (when - floor<days>(when)).count();
    return twoDigits(intoDay / 3600) + twoDigits(intoDay / 60 % 60) + twoDigits(intoDay % 60);
}

std::string zoneSuffix(std::int32_t minutes)
{
    const std::int32_t size = minutes < 0 ? -minutes : minutes;
    return (minutes < 0 ? "-" : "+") + twoDigits(size / 60) + twoDigits(size % 60);
}

struct Value {
    const IimDataset* dataset = nullptr; // nullptr: absent
    std::string text;
};

class IimChanger {
public:
    IimChanger(std::uint64_t base, std::string_view place, const DateArguments& args, IptcDates& out)
        : base_(base), place_(place), args_(args), out_(out)
    {}

    // The rule on one date and its time; false when the file must be passed over.
    bool change(const DatasetPair& pair, Value date, Value time)
    {
        std::optional<LocalSeconds> newWhen;
        const auto ownDate = date.dataset ? readDate(date.text) : std::nullopt;
        const auto ownTime = time.dataset ? readTime(time.text) : std::nullopt;
        if (!args_.datesChange) {
            // Only the zone: every digit stays.
        } else if (args_.mode == std::int32_t(DateMode::DateAndTime)) {
            newWhen = args_.givenDate;
        } else if (date.dataset && ownDate && (!time.dataset || ownTime)) {
            newWhen = computeNewDateTime(args_, *ownDate + ownTime.value_or(seconds(0))).when;
        } else if (!date.dataset && ownTime && args_.mode != std::int32_t(DateMode::Shift)) {
            // A time without its date: only its own time of day can move.
            newWhen = computeNewDateTime(args_, LocalSeconds(days(10957)) + *ownTime).when;
        } else {
            out_.notes.push_back(name(date.dataset ? pair.dateName : pair.timeName) + ": not a date");
            return true;
        }
        std::string newDate = date.text;
        std::string newTime = time.text;
        if (newWhen) {
            const auto text = dateText(*newWhen);
            if (!text) {
                out_.reason = Reason::DateOutOfRange;
                return false;
            }
            if (date.dataset)
                newDate = *text;
            if (time.dataset)
                newTime = timeDigits(*newWhen) + (time.text.size() > 6 ? time.text.substr(6) : "");
        }
        if (time.dataset && args_.zoneMinutes && newTime.size() == 11)
            newTime = newTime.substr(0, 6) + zoneSuffix(*args_.zoneMinutes);
        // A value of another width cannot take the new one where it stands.
        if ((date.dataset && newDate.size() != date.text.size())
            || (time.dataset && newTime.size() != time.text.size())) {
            out_.reason = Reason::CannotAddDate;
            return false;
        }
        write(pair.dateName, date, newDate);
        write(pair.timeName, time, newTime);
        return true;
    }

private:
    // A trailer's copy is told apart from the APP13 one by its place.
    std::string name(const char* tag) const { return place_.empty() ? tag : tag + (" (" + std::string(place_) + ")"); }

    void write(const char* tag, const Value& value, const std::string& text)
    {
        if (!value.dataset || text == value.text)
            return;
        out_.patches.push_back(
            {std::size_t(base_ + value.dataset->offset), std::vector<std::uint8_t>(text.begin(), text.end())});
        out_.changes.push_back({name(tag), value.text, text});
    }

    std::uint64_t base_;
    std::string_view place_;
    const DateArguments& args_;
    IptcDates& out_;
};

// Every date pair of one IIM block, which starts at file offset `base`;
// false when the file must be passed over.
bool changeIim(std::span<const std::uint8_t> iim, std::uint64_t base, const DateArguments& args, IptcDates& out,
               std::string_view place = {})
{
    const auto datasets = iimDatasets(iim);
    if (!datasets) {
        out.reason = Reason::CannotAddDate; // its dates cannot be told from the rest
        return false;
    }
    IimChanger changer(base, place, args, out);
    for (const DatasetPair& pair : kPairs) {
        std::vector<Value> dates;
        std::vector<Value> times;
        for (const IimDataset& dataset : *datasets) {
            if (dataset.record != 2 || (dataset.number != pair.date && dataset.number != pair.time))
                continue;
            Value value{&dataset,
                        std::string(iim.begin() + std::ptrdiff_t(dataset.offset),
                                    iim.begin() + std::ptrdiff_t(dataset.offset + dataset.length))};
            (dataset.number == pair.date ? dates : times).push_back(std::move(value));
        }
        for (std::size_t i = 0; i < std::max(dates.size(), times.size()); ++i)
            if (!changer.change(pair, i < dates.size() ? dates[i] : Value{}, i < times.size() ? times[i] : Value{}))
                return false;
    }
    return true;
}

// A digest that matched the IIM at `iimOffset` is worked out again over
// its new bytes; one that did not is another program's doing and stays.
void updateDigest(std::span<const std::uint8_t> file, std::size_t digestAt, std::size_t iimOffset, std::size_t iimSize,
                  IptcDates& out)
{
    const auto oldIim = file.subspan(iimOffset, iimSize);
    const auto oldDigest = md5(oldIim);
    if (!std::equal(oldDigest.begin(), oldDigest.end(), file.begin() + std::ptrdiff_t(digestAt)))
        return;
    std::vector<std::uint8_t> newIim(oldIim.begin(), oldIim.end());
    bool changed = false;
    for (const FilePatch& patch : out.patches) {
        if (patch.offset < iimOffset || patch.offset + patch.bytes.size() > iimOffset + iimSize)
            continue;
        std::copy(patch.bytes.begin(), patch.bytes.end(), newIim.begin() + std::ptrdiff_t(patch.offset - iimOffset));
        changed = true;
    }
    if (!changed)
        return;
    const auto newDigest = md5(newIim);
    out.patches.push_back({digestAt, std::vector<std::uint8_t>(newDigest.begin(), newDigest.end())});
}

// The IIM of a Photoshop block and its digest. A TIFF keeps its IIM in a tag
// of its own (`bareIim`), which a digest in its Photoshop block then covers.
bool changePhotoshopBlock(std::span<const std::uint8_t> file, const IptcBlock& block,
                          const std::optional<IptcBlock>& bareIim, const DateArguments& args, IptcDates& out)
{
    const auto resources = photoshopResources(file.subspan(block.offset, block.size));
    if (!resources) {
        out.reason = Reason::CannotAddDate;
        return false;
    }
    const auto find = [&](std::uint16_t id) -> const PhotoshopResource* {
        for (const auto& resource : *resources)
            if (resource.id == id)
                return &resource;
        return nullptr;
    };
    const PhotoshopResource* iim = find(kIptcResource);
    if (iim && !changeIim(file.subspan(block.offset + iim->offset, iim->size), block.offset + iim->offset, args, out))
        return false;
    const PhotoshopResource* digest = find(kIptcDigestResource);
    if (!digest || digest->size != 16)
        return true;
    if (iim)
        updateDigest(file, block.offset + digest->offset, block.offset + iim->offset, iim->size, out);
    else if (bareIim)
        updateDigest(file, block.offset + digest->offset, bareIim->offset, bareIim->size, out);
    return true;
}

// A JPEG's Photoshop APP13 segments up to the first scan. Photoshop splits a
// block too long for one segment over several, cutting resources anywhere.
std::vector<IptcBlock> jpegIptcBlocks(std::span<const std::uint8_t> file, bool& complete)
{
    std::vector<IptcBlock> blocks;
    const auto scan = walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        if (marker == kApp13 && length >= 2 + 14 && matchesAt(file, at + 4, "Photoshop 3.0\0"sv))
            blocks.push_back({at + 4 + 14, length - 2 - 14, true});
        return true;
    });
    complete = scan.has_value();
    return blocks;
}

std::vector<IptcBlock> tiffIptcBlocks(std::span<const std::uint8_t> file)
{
    std::vector<IptcBlock> blocks;
    const auto tree = walkIfdTree(file, file.size());
    if (!tree || tree->ifds.empty() || tree->ifds[0].broken)
        return blocks;
    for (const IfdEntryView& e : tree->ifds[0].entries)
        if ((e.tag == kIptcNaaTag || e.tag == kPhotoshopTag) && e.inBounds && e.valueSize > 4)
            blocks.push_back({e.valueOffset, std::size_t(e.valueSize), e.tag == kPhotoshopTag});
    return blocks;
}

// The IPTC records of a JPEG's FotoStation trailer; false when the file must
// be passed over. A trailer that cannot be walked may hide IPTC dates.
bool changeTrailerIptc(const FotoStationTrailer& trailer, const DateArguments& args, IptcDates& out)
{
    if (trailer.status == TrailerStatus::Damaged || trailer.status == TrailerStatus::ReadFailed) {
        out.reason = Reason::CannotAddDate;
        return false;
    }
    for (const TrailerIptc& record : trailer.iptc)
        if (!changeIim(record.bytes, record.offset, args, out, "FotoStation"))
            return false;
    return true;
}

FotoStationTrailer trailerInMemory(std::span<const std::uint8_t> file)
{
    return readFotoStationTrailer(
        file.size(), [file](std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) {
            const auto bytes = file.subspan(std::size_t(offset), std::min(length, file.size() - std::size_t(offset)));
            out.assign(bytes.begin(), bytes.end());
            return true;
        });
}

} // namespace

IptcDates planIptcDates(std::span<const std::uint8_t> file, const ContainerFormat& format, const DateArguments& args,
                        bool haveWholeFile, const FotoStationTrailer* trailer)
{
    IptcDates result;
    if (!args.allDates)
        return result;
    std::vector<IptcBlock> blocks;
    if (format.type == ImageFormat::Jpeg) {
        bool complete = false;
        blocks = jpegIptcBlocks(file, complete);
        if (!complete && !haveWholeFile) {
            result.needsWholeFile = true;
            return result;
        }
        if (blocks.size() > 1) {
            result.reason = Reason::CannotAddDate; // one block split over several segments
            return result;
        }
        if (!haveWholeFile && !trailer) {
            result.needsWholeFile = true; // the trailer lies at the end
            return result;
        }
    } else if (format.fileIsExifBlock) {
        if (!haveWholeFile) {
            result.needsWholeFile = true;
            return result;
        }
        blocks = tiffIptcBlocks(file);
    }
    // Bare IIM first: a Photoshop block's digest may cover it.
    std::stable_partition(blocks.begin(), blocks.end(), [](const IptcBlock& block) { return !block.photoshop; });
    std::optional<IptcBlock> bareIim;
    for (const IptcBlock& block : blocks) {
        if (!block.photoshop && !bareIim)
            bareIim = block;
        const bool ok = block.photoshop ? changePhotoshopBlock(file, block, bareIim, args, result)
                                        : changeIim(file.subspan(block.offset, block.size), block.offset, args, result);
        if (!ok) {
            result.patches.clear();
            result.changes.clear();
            return result;
        }
    }
    if (format.type == ImageFormat::Jpeg
        && !changeTrailerIptc(haveWholeFile ? trailerInMemory(file) : *trailer, args, result)) {
        result.patches.clear();
        result.changes.clear();
        return result;
    }
    std::sort(result.patches.begin(), result.patches.end(),
              [](const FilePatch& a, const FilePatch& b) { return a.offset < b.offset; });
    return result;
}

} // namespace shotdate
