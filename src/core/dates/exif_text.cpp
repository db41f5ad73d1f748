#include "dates/exif_text.h"

#include <array>

namespace shotdate {

using namespace std::chrono;

namespace {

bool readNumber(std::string_view text, std::size_t at, std::size_t digits, unsigned& value)
{
    value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    return true;
}

void writeNumber(std::string& out, long long value, int digits)
{
    std::array<char, 8> buffer{};
    for (int i = digits - 1; i >= 0; --i) {
        buffer[std::size_t(i)] = char('0' + value % 10);
        value /= 10;
    }
    out.append(buffer.data(), std::size_t(digits));
}

} // namespace

std::optional<LocalSeconds> makeLocalSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                             unsigned second)
{
    const year_month_day date{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return local_days{date} + hours{hour} + minutes{minute} + seconds{second};
}

std::optional<LocalSeconds> parseExifDate(std::string_view text)
{
    // Writers pad the field with NULs or blanks; anything else after the
    // 19 characters means the text is in some other form.
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.remove_suffix(1);
    if (text.size() != 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readNumber(text, 0, 4, year) || !readNumber(text, 5, 2, month) || !readNumber(text, 8, 2, day)
        || !readNumber(text, 11, 2, hour) || !readNumber(text, 14, 2, minute) || !readNumber(text, 17, 2, second))
        return std::nullopt;
    if (year == 0)
        return std::nullopt;
    return makeLocalSeconds(int(year), month, day, hour, minute, second);
}

std::optional<std::string> formatExifDate(LocalSeconds when)
{
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const int year = int(date.year());
    if (year < 1 || year > 9999)
        return std::nullopt;
    const hh_mm_ss time{when - day};
    std::string text;
    text.reserve(19);
    writeNumber(text, year, 4);
    text += ':';
    writeNumber(text, unsigned(date.month()), 2);
    text += ':';
    writeNumber(text, unsigned(date.day()), 2);
    text += ' ';
    writeNumber(text, time.hours().count(), 2);
    text += ':';
    writeNumber(text, time.minutes().count(), 2);
    text += ':';
    writeNumber(text, time.seconds().count(), 2);
    return text;
}

} // namespace shotdate
