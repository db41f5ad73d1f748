#include "rewrite/movie_date_rewrite.h"

#include "dates/instant_rule.h"
#include "dates/zoned_text.h"
#include "rewrite/xmp_rewrite.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace shotdate {

namespace {

std::string shownInstant(std::optional<LocalSeconds> utc)
{
    if (!utc)
        return "0000:00:00 00:00:00";
    return formatExifDate(*utc).value_or("") + "+00:00";
}

std::string textAt(std::span<const std::uint8_t> moov, std::uint64_t moovStart, const MovieTextSite& site)
{
    const auto at = std::size_t(site.offset - moovStart);
    return std::string(reinterpret_cast<const char*>(moov.data() + at), site.length);
}

DateRewrite failed(Reason reason)
{
    DateRewrite result;
    result.reason = reason;
    return result;
}

std::string_view packetText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Every XMP packet of the movie, or the reason to pass it over whole.
XmpPatches movieXmpPatches(std::span<const std::uint8_t> moov, std::uint64_t moovStart,
                           const std::vector<MovieTextSite>& inMoov, std::span<const MovieXmpPacket> boxes,
                           const DateArguments& args)
{
    XmpPatches result;
    for (const MovieTextSite& site : inMoov)
        if (!addXmpPacketPatches(packetText(moov.subspan(std::size_t(site.offset - moovStart), site.length)),
                                 site.offset, args, result))
            return result;
    for (const MovieXmpPacket& box : boxes)
        if (!addXmpPacketPatches(packetText(box.bytes), std::size_t(box.start), args, result))
            return result;
    return result;
}

void addPatch(DateRewrite& result, std::size_t offset, const std::string& text)
{
    result.patches.push_back({offset, std::vector<std::uint8_t>(text.begin(), text.end())});
}

} // namespace

Reason reasonForLayout(MovieLayout layout)
{
    switch (layout) {
    case MovieLayout::Found: return Reason::Rewritten;
    case MovieLayout::NoMovieHeader: return Reason::UnsupportedFormat;
    case MovieLayout::BoxPastEnd: return Reason::BoxPastEnd;
    case MovieLayout::HeaderTooLarge: return Reason::MovieHeaderTooLarge;
    case MovieLayout::ReadFailed: return Reason::Unreadable;
    }
    return Reason::UnsupportedFormat;
}

DateRewrite rewriteMovieDates(std::span<const std::uint8_t> moov, std::uint64_t moovStart, const DateArguments& args,
                              std::span<const MovieXmpPacket> xmpBoxes)
{
    const std::optional<MovieDateSites> sites = movieDateSites(moov, moovStart);
    if (!sites)
        return failed(Reason::BoxPastEnd);
    std::vector<MovieTextSite> texts = sites->texts;
    texts.insert(texts.end(), sites->utcTexts.begin(), sites->utcTexts.end());
    if (args.allDates)
        texts.insert(texts.end(), sites->dayTexts.begin(), sites->dayTexts.end());

    // Apple's creation date, when it can be read, gives the movie's own zone.
    std::optional<ZonedText> creation;
    for (const MovieTextSite& site : sites->texts)
        if ((creation = parseZonedText(textAt(moov, moovStart, site))))
            break;
    const ClockZone zone{args.zoneMinutes ? args.zoneMinutes : creation ? creation->offsetMinutes : std::nullopt};

    std::vector<std::optional<LocalSeconds>> own;
    for (const MovieTimeSite& time : sites->times)
        own.push_back(decodeDate(moov.subspan(std::size_t(time.site.offset - moovStart)), time.site.encoding));
    const bool anyTime = std::any_of(own.begin(), own.end(), [](const auto& when) { return when.has_value(); });
    const bool fixed = args.mode == int(DateMode::DateAndTime);
    if (!anyTime && !creation && !fixed)
        return failed(Reason::NoFileDate);

    DateRewrite result;
    for (std::size_t i = 0; args.datesChange && i < sites->times.size(); ++i) {
        // A zero time was never set; it stays unset unless the movie has no
        // date at all and is given one.
        if (!own[i] && (anyTime || creation))
            continue;
        const NewDateTime next = computeNewInstant(args, own[i], zone);
        auto bytes = encodeDate(next.when, sites->times[i].site.encoding);
        if (next.error != DateRuleError::None || !bytes)
            return failed(next.error == DateRuleError::NoFileDate ? Reason::NoFileDate : Reason::DateOutOfRange);
        result.patches.push_back({sites->times[i].site.offset, std::move(*bytes)});
        result.changes.push_back({std::string(sites->times[i].name), shownInstant(own[i]), shownInstant(next.when)});
        if (result.newDate.empty()) {
            result.oldDate = own[i] ? formatExifDate(wallClockAt(*own[i], zone)).value_or("") : "";
            result.newDate = formatExifDate(wallClockAt(next.when, zone)).value_or("");
        }
    }

    bool creationShown = false;
    for (const MovieTextSite& site : texts) {
        const std::string old = textAt(moov, moovStart, site);
        const std::optional<ZonedText> parsed = parseZonedText(old);
        if (!parsed) {
            result.notes.push_back(std::string(site.name) + ": not a date");
            continue;
        }
        // Apple's date is the camera's clock reading: the rule moves the
        // clock, and a zone given relabels it. Any other text with a zone
        // is an instant, moved as the header times are and written back in
        // its own zone; one without a zone is a clock reading.
        const bool clockReading = site.name == "QuickTime:CreationDate" || !parsed->offsetMinutes;
        LocalSeconds wall = parsed->wall;
        if (args.datesChange && clockReading) {
            wall = computeNewDateTime(args, parsed->wall).when;
        } else if (args.datesChange) {
            const std::chrono::minutes offset{*parsed->offsetMinutes};
            wall = computeNewInstant(args, parsed->wall - offset, zone).when + offset;
        }
        std::optional<std::string> text;
        if (args.zoneMinutes && site.name == "QuickTime:CreationDate" && formatExifDate(wall)) {
            text = rewriteZonedText(*parsed, wall, args.zoneMinutes);
            if (!text)
                result.notes.push_back(std::string(site.name) + ": its zone cannot be written in the same length");
        }
        if (!text)
            text = rewriteZonedText(*parsed, wall, parsed->offsetMinutes);
        if (!text)
            return failed(Reason::DateOutOfRange);
        if (!creationShown && site.name == "QuickTime:CreationDate") {
            // The movie's creation date as its owner reads it, changed or
            // not: the report shows one date the same way every time.
            result.oldDate = formatExifDate(parsed->wall).value_or("");
            result.newDate = formatExifDate(wall).value_or("");
            creationShown = true;
        }
        if (*text == parsed->text)
            continue;
        addPatch(result, site.offset, *text);
        result.changes.push_back({std::string(site.name), parsed->text, *text});
    }
    if (args.allDates) {
        XmpPatches xmp = movieXmpPatches(moov, moovStart, sites->xmpPackets, xmpBoxes, args);
        if (xmp.reason != Reason::Rewritten)
            return failed(xmp.reason);
        result.patches.insert(result.patches.end(), xmp.patches.begin(), xmp.patches.end());
        result.changes.insert(result.changes.end(), xmp.changes.begin(), xmp.changes.end());
        result.notes.insert(result.notes.end(), xmp.notes.begin(), xmp.notes.end());
    }
    result.reason = Reason::Rewritten;
    result.patchedInPlace = true;
    return result;
}

DateRewrite rewriteMovieAt(const MovieHeaderPlace& place, const ReadRange& read, const DateArguments& args)
{
    if (place.status != MovieLayout::Found)
        return failed(reasonForLayout(place.status));
    if (args.allDates && place.xmpBytes > kMaxMovieHeaderBytes)
        return failed(Reason::MovieHeaderTooLarge);
    std::vector<std::uint8_t> moov;
    if (!read(place.start, std::size_t(place.size), moov) || moov.size() != place.size)
        return failed(Reason::Unreadable);
    std::vector<MovieXmpPacket> boxes;
    for (std::size_t i = 0; args.allDates && i < place.xmpBoxes.size(); ++i) {
        MovieXmpPacket& box = boxes.emplace_back();
        box.start = place.xmpBoxes[i].start;
        if (!read(box.start, std::size_t(place.xmpBoxes[i].size), box.bytes)
            || box.bytes.size() != place.xmpBoxes[i].size)
            return failed(Reason::Unreadable);
    }
    return rewriteMovieDates(moov, place.start, args, boxes);
}

DateRewrite rewriteMovieFile(std::span<const std::uint8_t> file, const DateArguments& args, bool wantWholeFile)
{
    const ReadRange read = [&](std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) {
        const auto end = std::min<std::uint64_t>(file.size(), offset + length);
        out.assign(file.begin() + std::ptrdiff_t(offset), file.begin() + std::ptrdiff_t(end));
        return true;
    };
    DateRewrite result = rewriteMovieAt(findMovieHeader(file.size(), read), read, args);
    if (result.reason == Reason::Rewritten && wantWholeFile)
        result.bytes = withPatches(file, result.patches);
    return result;
}

} // namespace shotdate
