#include "metadata/xmp_dates.h"

#include "dates/exif_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>

namespace shotdate {

namespace {

struct KnownDate {
    std::string_view uri;
    std::string_view local;
    std::string_view group; // exiftool's family-1 group
};

constexpr KnownDate kKnownDates[] = {
    {"http://ns.adobe.com/exif/1.0/", "DateTimeOriginal", "XMP-exif"},
    {"http://ns.adobe.com/exif/1.0/", "DateTimeDigitized", "XMP-exif"},
    {"http://ns.adobe.com/xap/1.0/", "CreateDate", "XMP-xmp"},
    {"http://ns.adobe.com/xap/1.0/", "ModifyDate", "XMP-xmp"},
    {"http://ns.adobe.com/tiff/1.0/", "DateTime", "XMP-tiff"},
    {"http://ns.adobe.com/photoshop/1.0/", "DateCreated", "XMP-photoshop"},
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || c == '.' || c == ':';
}

// Every "xmlns:prefix='uri'" of the packet. Prefixes are bound once in
// practice; a later binding of the same prefix wins.
std::map<std::string, std::string, std::less<>> namespaceBindings(std::string_view text)
{
    std::map<std::string, std::string, std::less<>> bindings;
    constexpr std::string_view kXmlns = "xmlns:";
    for (std::size_t at = text.find(kXmlns); at != std::string_view::npos; at = text.find(kXmlns, at + 1)) {
        std::size_t end = at + kXmlns.size();
        while (end < text.size() && isNameChar(text[end]) && text[end] != ':')
            ++end;
        const std::string_view prefix = text.substr(at + kXmlns.size(), end - at - kXmlns.size());
        while (end < text.size() && isSpace(text[end]))
            ++end;
        if (prefix.empty() || end >= text.size() || text[end] != '=')
            continue;
        ++end;
        while (end < text.size() && isSpace(text[end]))
            ++end;
        if (end >= text.size() || (text[end] != '"' && text[end] != '\''))
            continue;
        const std::size_t close = text.find(text[end], end + 1);
        if (close == std::string_view::npos)
            continue;
        bindings[std::string(prefix)] = std::string(text.substr(end + 1, close - end - 1));
    }
    return bindings;
}

// One date value in the packet: its text runs over [begin, end).
struct Site {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string name;
};

// The value of the property named `qualified` that starts at `at`, as an
// attribute (name="value") or a simple element (<name>value</name>).
std::optional<Site> siteAt(std::string_view text, std::size_t at, std::string_view qualified)
{
    if (at == 0)
        return std::nullopt;
    const char before = text[at - 1];
    std::size_t end = at + qualified.size();
    if (end >= text.size() || isNameChar(text[end]))
        return std::nullopt; // a longer name
    if (before == '<') {
        const std::size_t close = text.find('>', end);
        if (close == std::string_view::npos || text[close - 1] == '/')
            return std::nullopt; // an empty element holds no value
        const std::size_t valueEnd = text.find('<', close + 1);
        if (valueEnd == std::string_view::npos)
            return std::nullopt;
        std::size_t begin = close + 1;
        std::size_t last = valueEnd;
        while (begin < last && isSpace(text[begin]))
            ++begin;
        while (last > begin && isSpace(text[last - 1]))
            --last;
        // A structure (an rdf:Alt, say) is no date text.
        if (begin == last && text.substr(valueEnd, 2) != "</")
            return std::nullopt;
        return Site{begin, last, {}};
    }
    if (!isSpace(before))
        return std::nullopt;
    while (end < text.size() && isSpace(text[end]))
        ++end;
    if (end >= text.size() || text[end] != '=')
        return std::nullopt;
    ++end;
    while (end < text.size() && isSpace(text[end]))
        ++end;
    if (end >= text.size() || (text[end] != '"' && text[end] != '\''))
        return std::nullopt;
    const std::size_t close = text.find(text[end], end + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    return Site{end + 1, close, {}};
}

std::vector<Site> dateSites(std::string_view text)
{
    std::vector<Site> sites;
    for (const auto& [prefix, uri] : namespaceBindings(text)) {
        for (const KnownDate& known : kKnownDates) {
            if (uri != known.uri)
                continue;
            const std::string qualified = prefix + ":" + std::string(known.local);
            for (std::size_t at = text.find(qualified); at != std::string_view::npos;
                 at = text.find(qualified, at + 1)) {
                if (auto site = siteAt(text, at, qualified)) {
                    site->name = std::string(known.group) + ":" + std::string(known.local);
                    sites.push_back(std::move(*site));
                }
            }
        }
    }
    std::sort(sites.begin(), sites.end(), [](const Site& a, const Site& b) { return a.begin < b.begin; });
    // The same text reached twice (two prefixes for one namespace) is one value.
    sites.erase(
        std::unique(sites.begin(), sites.end(), [](const Site& a, const Site& b) { return a.begin == b.begin; }),
        sites.end());
    return sites;
}

// How much of a date an ISO 8601 value gives.
enum class Precision { Year, Month, Day, Minute, Second };

struct IsoDate {
    Precision precision = Precision::Year;
    LocalSeconds when{};
    std::string fraction; // ".123", kept as written
    std::string zone; // "Z", "+09:00" or empty
    // Some writers put EXIF's "yyyy:MM:dd HH:mm:ss" into XMP: kept as found.
    char dateSeparator = '-';
    char timeSeparator = 'T';
};

bool readDigits(std::string_view text, std::size_t& at, std::size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool readSeparated(std::string_view text, std::size_t& at, char separator, int& value)
{
    if (at >= text.size() || text[at] != separator)
        return false;
    ++at;
    return readDigits(text, at, 2, value);
}

std::optional<IsoDate> parseIsoDate(std::string_view text)
{
    IsoDate date;
    std::size_t at = 0;
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (!readDigits(text, at, 4, year))
        return std::nullopt;
    if (at < text.size() && text[at] == ':')
        date.dateSeparator = ':';
    if (at < text.size() && readSeparated(text, at, date.dateSeparator, month)) {
        date.precision = Precision::Month;
        if (at < text.size() && readSeparated(text, at, date.dateSeparator, day)) {
            date.precision = Precision::Day;
            if (at < text.size() && text[at] == ' ')
                date.timeSeparator = ' ';
            if (at < text.size() && readSeparated(text, at, date.timeSeparator, hour)) {
                if (!readSeparated(text, at, ':', minute))
                    return std::nullopt;
                date.precision = Precision::Minute;
                if (at < text.size() && text[at] == ':') {
                    if (!readSeparated(text, at, ':', second))
                        return std::nullopt;
                    date.precision = Precision::Second;
                    if (at < text.size() && text[at] == '.') {
                        std::size_t end = at + 1;
                        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                            ++end;
                        if (end == at + 1)
                            return std::nullopt;
                        date.fraction = std::string(text.substr(at, end - at));
                        at = end;
                    }
                }
                if (at < text.size()) {
                    const std::string_view zone = text.substr(at);
                    int zoneHour = 0, zoneMinute = 0;
                    std::size_t z = 1;
                    const bool offset = (zone[0] == '+' || zone[0] == '-') && readDigits(zone, z, 2, zoneHour)
                        && readSeparated(zone, z, ':', zoneMinute) && z == zone.size() && zoneHour <= 14
                        && zoneMinute <= 59;
                    if (zone != "Z" && !offset)
                        return std::nullopt;
                    date.zone = std::string(zone);
                    at = text.size();
                }
            }
        }
    }
    if (at != text.size() || year == 0)
        return std::nullopt;
    const auto when =
        makeLocalSeconds(year, unsigned(month), unsigned(day), unsigned(hour), unsigned(minute), unsigned(second));
    if (!when)
        return std::nullopt;
    date.when = *when;
    return date;
}

// "yyyy:MM:dd HH:mm:ss" cut down to the value's own form.
std::string formatIso(const std::string& exif, Precision precision, const std::string& fraction,
                      const std::string& zone, char dateSeparator = '-', char timeSeparator = 'T')
{
    std::string out = exif.substr(0, 4);
    if (precision >= Precision::Month)
        out += dateSeparator + exif.substr(5, 2);
    if (precision >= Precision::Day)
        out += dateSeparator + exif.substr(8, 2);
    if (precision >= Precision::Minute)
        out += timeSeparator + exif.substr(11, 5);
    if (precision >= Precision::Second)
        out += exif.substr(16, 3) + fraction;
    if (precision >= Precision::Minute)
        out += zone;
    return out;
}

std::string zoneSuffix(const std::string& old, const std::optional<std::int32_t>& zoneMinutes)
{
    if (old.empty() || !zoneMinutes)
        return old;
    if (*zoneMinutes == 0 && old == "Z")
        return old;
    const std::int32_t minutes = *zoneMinutes < 0 ? -*zoneMinutes : *zoneMinutes;
    char text[32];
    std::snprintf(text, sizeof text, "%c%02d:%02d", *zoneMinutes < 0 ? '-' : '+', int(minutes / 60), int(minutes % 60));
    return text;
}

struct NewValue {
    std::optional<std::string> text; // nullopt: left as it is
    std::string note;
    bool outOfRange = false;
};

NewValue newValueFor(std::string_view old, const DateArguments& args)
{
    const std::optional<IsoDate> own = parseIsoDate(old);
    const bool fixed = args.mode == int(DateMode::DateAndTime);
    if (!own) {
        if (!fixed || !args.datesChange)
            return {std::nullopt, "not a date", false};
        const auto exif = formatExifDate(args.givenDate);
        return exif ? NewValue{formatIso(*exif, Precision::Second, "", ""), {}, false} : NewValue{{}, {}, true};
    }
    if (args.datesChange && args.mode != int(DateMode::Shift) && !fixed && args.mode != int(DateMode::DateOnly)
        && own->precision < Precision::Minute)
        return {std::nullopt, "no time of day", false};
    LocalSeconds when = own->when;
    if (args.datesChange) {
        // A date without a time of day stands for the whole day: taken at
        // noon, a shift of a few hours (a zone put right) leaves it alone.
        const bool wholeDay = own->precision < Precision::Minute;
        const LocalSeconds from = wholeDay ? own->when + std::chrono::hours{12} : own->when;
        const NewDateTime next = computeNewDateTime(args, from);
        when = next.when;
    }
    const auto exif = formatExifDate(when);
    if (!exif)
        return {std::nullopt, {}, true};
    return {formatIso(*exif, own->precision, own->fraction, zoneSuffix(own->zone, args.zoneMinutes), own->dateSeparator,
                      own->timeSeparator),
            {},
            false};
}

// Where a packet keeps its padding: the blanks before "<?xpacket end=", or
// those it ends with. Answers [begin, end).
std::pair<std::size_t, std::size_t> paddingRun(std::string_view text)
{
    std::size_t end = text.rfind("<?xpacket end=");
    if (end == std::string_view::npos) {
        end = text.size();
        while (end > 0 && text[end - 1] == '\0')
            --end; // some writers end the packet with NULs
    }
    std::size_t begin = end;
    while (begin > 0 && isSpace(text[begin - 1]))
        --begin;
    return {begin, end};
}

} // namespace

XmpDateEdit changeXmpDates(std::string_view packet, const DateArguments& args, XmpLength length)
{
    XmpDateEdit edit;
    std::string out;
    out.reserve(packet.size());
    std::size_t copied = 0;
    for (const Site& site : dateSites(packet)) {
        const std::string_view old = packet.substr(site.begin, site.end - site.begin);
        const NewValue value = newValueFor(old, args);
        if (value.outOfRange) {
            edit.outcome = XmpOutcome::OutOfRange;
            return edit;
        }
        if (!value.note.empty())
            edit.notes.push_back(site.name + ": " + value.note);
        if (!value.text || *value.text == old)
            continue;
        out.append(packet.substr(copied, site.begin - copied));
        out += *value.text;
        copied = site.end;
        edit.changes.push_back({site.name, std::string(old), *value.text});
    }
    out.append(packet.substr(copied));
    if (length == XmpLength::Keep && out.size() != packet.size()) {
        const auto [begin, end] = paddingRun(out);
        if (out.size() > packet.size()) {
            const std::size_t extra = out.size() - packet.size();
            if (end - begin < extra) {
                edit.outcome = XmpOutcome::NoRoom;
                edit.changes.clear();
                return edit;
            }
            out.erase(end - extra, extra);
        } else {
            out.insert(end, packet.size() - out.size(), ' ');
        }
    }
    edit.packet = std::move(out);
    return edit;
}

} // namespace shotdate
