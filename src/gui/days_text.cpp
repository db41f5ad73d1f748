#include "days_text.h"

#include <cstdint>
#include <limits>

namespace days_text {

int intValue(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    // Blanks as the C library's isspace sees them; full-width blanks are not
    // skipped, as before.
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'
                     || text[i] == u'\v' || text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulated in 64 bits and clamped as soon as it leaves the 32-bit
    // range, so a long run of digits cannot overflow.
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<int>::max()) + 1;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > limit)
            value = limit;
    }
    if (negative)
        return value >= limit ? std::numeric_limits<int>::min() : int(-value);
    return value >= limit ? std::numeric_limits<int>::max() : int(value);
}

bool accepted(const QString& text)
{
    const int n = intValue(text);
    if (n == 0)
        return text == QStringLiteral("0");
    // A negative count is "above 366" in the unsigned comparison this rule
    // has always used.
    return static_cast<unsigned>(n) <= static_cast<unsigned>(kMaxDays);
}

} // namespace days_text
