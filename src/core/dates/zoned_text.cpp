#include "dates/zoned_text.h"

#include <cstdio>

namespace shotdate {

namespace {

bool digits(std::string_view text, std::size_t at, std::size_t count, unsigned& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    return true;
}

// "Z", "+HH", "+HHMM" or "+HH:MM" filling `zone` exactly; minutes east of UTC.
std::optional<std::int32_t> parseOffset(std::string_view zone)
{
    if (zone == "Z")
        return 0;
    if (zone.size() < 3 || (zone[0] != '+' && zone[0] != '-'))
        return std::nullopt;
    unsigned hours = 0, mins = 0;
    if (!digits(zone, 1, 2, hours))
        return std::nullopt;
    if (zone.size() == 5 && !digits(zone, 3, 2, mins))
        return std::nullopt;
    if (zone.size() == 6 && (zone[3] != ':' || !digits(zone, 4, 2, mins)))
        return std::nullopt;
    if ((zone.size() != 3 && zone.size() != 5 && zone.size() != 6) || hours > 23 || mins > 59)
        return std::nullopt;
    const std::int32_t total = std::int32_t(hours * 60 + mins);
    return zone[0] == '-' ? -total : total;
}

} // namespace

std::optional<ZonedText> parseZonedText(std::string_view text)
{
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day)
        || !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second) || text[4] != '-'
        || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const auto wall = makeLocalSeconds(int(year), month, day, hour, minute, second);
    if (!wall)
        return std::nullopt;
    std::size_t zoneAt = 19;
    if (zoneAt < text.size() && text[zoneAt] == '.') {
        ++zoneAt;
        while (zoneAt < text.size() && text[zoneAt] >= '0' && text[zoneAt] <= '9')
            ++zoneAt;
    }
    ZonedText result{*wall, std::nullopt, std::string(text), zoneAt};
    if (zoneAt < text.size()) {
        result.offsetMinutes = parseOffset(text.substr(zoneAt));
        if (!result.offsetMinutes)
            return std::nullopt;
    }
    return result;
}

std::optional<std::string> rewriteZonedText(const ZonedText& original, LocalSeconds wall,
                                            std::optional<std::int32_t> offsetMinutes)
{
    const auto exif = formatExifDate(wall);
    if (!exif)
        return std::nullopt;
    std::string text = original.text;
    // "yyyy:MM:dd HH:mm:ss" and "yyyy-MM-ddTHH:mm:ss" share every digit's place.
    for (std::size_t i = 0; i < 19; ++i)
        if ((*exif)[i] >= '0' && (*exif)[i] <= '9')
            text[i] = (*exif)[i];
    if (offsetMinutes == original.offsetMinutes)
        return text;
    const std::size_t zoneLength = text.size() - original.zoneAt;
    if (!offsetMinutes || zoneLength == 0 || (zoneLength == 1 && *offsetMinutes != 0))
        return std::nullopt;
    if (zoneLength == 1)
        return text; // "Z" already says UTC
    const std::int32_t magnitude = *offsetMinutes < 0 ? -*offsetMinutes : *offsetMinutes;
    if ((zoneLength == 3 && magnitude % 60 != 0) || magnitude >= 24 * 60)
        return std::nullopt;
    char zone[32];
    const char sign = *offsetMinutes < 0 ? '-' : '+';
    const int hh = magnitude / 60, mm = magnitude % 60;
    if (zoneLength == 3)
        std::snprintf(zone, sizeof zone, "%c%02d", sign, hh);
    else if (zoneLength == 5)
        std::snprintf(zone, sizeof zone, "%c%02d%02d", sign, hh, mm);
    else
        std::snprintf(zone, sizeof zone, "%c%02d:%02d", sign, hh, mm);
    text.replace(original.zoneAt, zoneLength, zone);
    return text;
}

} // namespace shotdate
