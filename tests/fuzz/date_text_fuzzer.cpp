// libFuzzer target over the date text a file carries: whatever it holds,
// the rule either refuses it or writes a valid date 19 characters long that
// reads back as itself.
#include "dates/date_rule.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace shotdate;
    if (size < 4)
        return 0;
    // The first four bytes choose the shift; the rest is the file's date text.
    const std::int32_t shift = std::int32_t(data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24)
        % (kMaxShiftSeconds + 1);
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
    for (const std::int32_t mode : {0, 1, 2, 99}) {
        const NewDate result = computeNewDate(DateArguments{mode, *makeLocalSeconds(2013, 1, 15, 8, 0, 0), shift}, text);
        if (result.error != DateRuleError::None)
            continue;
        const auto back = parseExifDate(result.text);
        if (result.text.size() != 19 || !back || formatExifDate(*back) != result.text)
            std::abort();
    }
    return 0;
}
